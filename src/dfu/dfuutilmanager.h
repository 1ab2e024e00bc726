#pragma once

#include <QObject>
#include <QString>
#include <QStringList>

class QProcess;

// Locates and validates the dfu-util beside the program and runs it with
// arbitrary arguments. Every operation blocks the calling thread until the
// tool has ended or a time limit has passed.
class DFUUtilManager : public QObject
{
    Q_OBJECT
public:
    explicit DFUUtilManager(QObject *parent = nullptr);

    QString getDfuUtilPath() const { return m_dfuUtilPath; }
    // Why the last check, validation or command failed; empty after a success.
    QString getLastError() const { return m_lastError; }
    // The first line the tool printed for "--version" ("dfu-util 0.11") at the
    // last successful validation.
    QString getVersion() const { return m_version; }

    // The file exists and is not implausibly small for the tool.
    bool checkDfuUtilFile();
    // The file check, then a "--version" run that must exit with 0. Emits
    // dfuUtilValidated exactly once.
    bool validateDfuUtil();
    // Validates, then runs the tool with the arguments and returns its trimmed
    // standard output; empty on any failure (see getLastError).
    QString executeCommand(const QStringList &arguments);
    // One line of diagnostic output, tagged with this class.
    void logMessage(const QString &message) const;

signals:
    void dfuUtilValidated(bool valid, const QString &message);

private:
    // Starts the tool and waits for its end; on failure m_lastError says why
    // and a tool that is still running has been killed.
    bool runTool(QProcess &process, const QStringList &arguments, int finishTimeoutMs,
                 const QString &timeoutError);
    bool rejectTool(const QString &error);

    const QString m_dfuUtilPath;
    QString m_lastError;
    QString m_version;
};
