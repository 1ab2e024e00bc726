#pragma once

#include "dfu/dfuscan.h"
#include "engine/childprocess.h"

#include <QObject>
#include <QProcess>
#include <QTimer>

#include <optional>

// Runs `dfu-util -l` without blocking and reads what it listed.
class DeviceScanner : public QObject
{
    Q_OBJECT
public:
    explicit DeviceScanner(QObject *parent = nullptr);
    ~DeviceScanner() override;

    // Starts a scan; a scan still running is stopped first.
    void start(const QString &toolPath, int timeoutMs);
    // Stops a running scan without reporting it.
    void stop();
    bool isRunning() const { return m_process != nullptr; }

    struct Result
    {
        // Unset when the tool listed; FailedToStart, or Timedout when it did
        // not finish in time.
        std::optional<QProcess::ProcessError> error;
        QString errorString;
        DfuScan scan;
    };

signals:
    void finished(const DeviceScanner::Result &result);

private:
    void report(std::optional<QProcess::ProcessError> error);

    ToolProcess *m_process = nullptr; // a child; gone by deleteLater, it may be mid-signal
    QTimer m_timeout;
};
