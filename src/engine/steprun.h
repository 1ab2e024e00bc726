#pragma once

#include "dfu/dfuoutput.h"
#include "engine/childprocess.h"

#include <QObject>
#include <QProcess>
#include <QTimer>

#include <optional>

// One dfu-util process for one step of a flash (write, read back, leave): its
// output turned into that step's progress-bar states, its end into the
// step's verdict. A process of its own for every step, so nothing of an
// earlier run reaches this one.
class StepRun : public QObject
{
    Q_OBJECT
public:
    struct Result
    {
        enum class Status
        {
            Done,         // the step's rule holds (DfuOutput::verdict)
            Refused,      // the device refused the step
            Failed,       // the tool ended without doing the step
            ProcessError, // did not start, crashed, ...
            StartTimeout, // not started within the start limit
        };
        FlashStep step = FlashStep::Write;
        Status status = Status::Failed;
        int exitCode = 0;
        QProcess::ProcessError error = QProcess::UnknownError;
        QString errorString; // QProcess's own words for a process error
        QString output;      // everything the tool printed
    };

    explicit StepRun(FlashStep step, QObject *parent = nullptr);
    ~StepRun() override;

    void start(const QString &toolPath, const QStringList &arguments,
               const QString &workingDirectory, qint64 imageSize, int startTimeoutMs);
    // Ends a running tool within graceMs without reporting it; false when it
    // had to be killed.
    bool stop(int graceMs);
    bool isRunning() const { return m_process.state() != QProcess::NotRunning; }

signals:
    // What a line of the step's own shows (DfuOutput::progress).
    void progress(const ToolProgress &progress);
    void finished(const StepRun::Result &result);

private slots:
    void onDFUProcessReadyRead();
    void onDFUProcessFinished(int exitCode, QProcess::ExitStatus exitStatus);
    void onDFUProcessError(QProcess::ProcessError error);

private:
    void interpret(const QString &chunk);
    // Ends the tool with its signals cut off from this run.
    bool halt(int graceMs);
    void report(Result::Status status, int exitCode,
                QProcess::ProcessError error = QProcess::UnknownError);

    const FlashStep m_step;
    ToolProcess m_process;
    QTimer m_startTimeout;
    QString m_output;
    qint64 m_imageSize = 0;
    std::optional<QProcess::ProcessError> m_processError;
    bool m_reported = false;
};
