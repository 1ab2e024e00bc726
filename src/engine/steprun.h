#pragma once

#include "dfu/dfuoutput.h"
#include "engine/childprocess.h"

#include <QObject>
#include <QProcess>
#include <QTimer>

#include <optional>

// One dfu-util process writing one image into one device: its output turned
// into progress-bar states, its end into a verdict. A process of its own for
// every flash, so nothing of an earlier flash reaches this one.
class FlashRun : public QObject
{
    Q_OBJECT
public:
    struct Result
    {
        enum class Status
        {
            Written,      // exit 0, or 74 once the whole image was written
            Failed,       // any other exit code
            ProcessError, // did not start, crashed, ...
            StartTimeout, // not started within the start limit
        };
        Status status = Status::Failed;
        int exitCode = 0;
        QProcess::ProcessError error = QProcess::UnknownError;
        QString errorString; // QProcess's own words for a process error
        QString output;      // everything the tool printed
    };

    explicit FlashRun(QObject *parent = nullptr);
    ~FlashRun() override;

    void start(const QString &toolPath, const QStringList &arguments,
               const QString &workingDirectory, qint64 imageSize, int startTimeoutMs);
    // Ends a running tool within graceMs without reporting it; false when it
    // had to be killed.
    bool stop(int graceMs);
    bool isRunning() const { return m_process.state() != QProcess::NotRunning; }

signals:
    // The bar never moves back within a flash: a lower value keeps the bar
    // where it is and only the text changes.
    void progress(const BarUpdate &update);
    void finished(const FlashRun::Result &result);

private slots:
    void onDFUProcessReadyRead();
    void onDFUProcessFinished(int exitCode, QProcess::ExitStatus exitStatus);
    void onDFUProcessError(QProcess::ProcessError error);

private:
    void interpret(const QString &chunk);
    void show(const BarUpdate &update);
    // Ends the tool with its signals cut off from this run.
    bool halt(int graceMs);
    void report(Result result);

    ToolProcess m_process;
    QTimer m_startTimeout;
    QString m_output;
    qint64 m_imageSize = 0;
    int m_highest = -1; // the highest bar value this flash has shown
    std::optional<QProcess::ProcessError> m_processError;
    bool m_reported = false;
};
