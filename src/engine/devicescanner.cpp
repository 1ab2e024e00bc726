#include "devicescanner.h"

#include "childprocess.h"

#include <QDebug>
#include <QProcess>

#include <utility>

DeviceScanner::DeviceScanner(QObject *parent)
    : QObject(parent)
{
    m_timeout.setSingleShot(true);
    connect(&m_timeout, &QTimer::timeout, this, [this] { report(false); });
}

DeviceScanner::~DeviceScanner()
{
    stop();
}

void DeviceScanner::start(const QString &toolPath, int timeoutMs)
{
    stop();
    qDebug().noquote() << QStringLiteral("扫描 DFU 设备...");
    m_process = new QProcess(this);
    connect(m_process, QOverload<int, QProcess::ExitStatus>::of(&QProcess::finished), this,
            [this] { report(true); });
    connect(m_process, &QProcess::errorOccurred, this, [this](QProcess::ProcessError error) {
        if (error == QProcess::FailedToStart)
            report(false);
    });
    m_timeout.start(timeoutMs);
    m_process->start(toolPath, {QStringLiteral("-l")});
}

void DeviceScanner::stop()
{
    m_timeout.stop();
    if (!m_process)
        return;
    QProcess *process = std::exchange(m_process, nullptr);
    process->disconnect(this);
    ChildProcess::kill(*process);
    process->deleteLater();
}

void DeviceScanner::report(bool completed)
{
    m_timeout.stop();
    if (!m_process)
        return;
    DfuScan scan;
    if (completed)
        scan = DfuScan::parse(QString::fromLocal8Bit(m_process->readAllStandardOutput()),
                              QString::fromLocal8Bit(m_process->readAllStandardError()));
    stop();
    emit finished(completed, scan);
}
