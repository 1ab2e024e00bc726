#include "devicescanner.h"

#include <QDebug>
#include <QProcess>

#include <utility>

DeviceScanner::DeviceScanner(QObject *parent)
    : QObject(parent)
{
    m_timeout.setSingleShot(true);
    connect(&m_timeout, &QTimer::timeout, this, [this] { report(QProcess::Timedout); });
}

DeviceScanner::~DeviceScanner()
{
    stop();
}

void DeviceScanner::start(const QString &toolPath, int timeoutMs)
{
    stop();
    qDebug().noquote() << QStringLiteral("扫描 DFU 设备...");
    m_process = new ToolProcess(this);
    connect(m_process, QOverload<int, QProcess::ExitStatus>::of(&QProcess::finished), this,
            [this] { report(std::nullopt); });
    connect(m_process, &QProcess::errorOccurred, this, [this](QProcess::ProcessError error) {
        if (error == QProcess::FailedToStart)
            report(error);
    });
    m_timeout.start(timeoutMs);
    m_process->start(toolPath, {QStringLiteral("-l")});
}

void DeviceScanner::stop()
{
    m_timeout.stop();
    if (!m_process)
        return;
    ToolProcess *process = std::exchange(m_process, nullptr);
    process->disconnect(this);
    ChildProcess::kill(*process);
    process->deleteLater();
}

void DeviceScanner::report(std::optional<QProcess::ProcessError> error)
{
    m_timeout.stop();
    if (!m_process)
        return;
    Result result;
    result.error = error;
    result.errorString = m_process->errorString();
    if (!error)
        result.scan = DfuScan::parse(QString::fromLocal8Bit(m_process->readAllStandardOutput()),
                                     QString::fromLocal8Bit(m_process->readAllStandardError()));
    stop();
    emit finished(result);
}
