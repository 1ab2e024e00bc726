#pragma once

#include "dfu/dfuscan.h"

#include <QObject>
#include <QTimer>

class QProcess;

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

signals:
    // completed is false when the tool did not start or did not finish in time.
    void finished(bool completed, const DfuScan &scan);

private:
    void report(bool completed);

    QProcess *m_process = nullptr; // a child; gone by deleteLater, it may be mid-signal
    QTimer m_timeout;
};
