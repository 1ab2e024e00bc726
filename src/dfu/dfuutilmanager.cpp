#include "dfuutilmanager.h"

#include "dfuutilpath.h"
#include "ravlo_config.h"

#include <QDebug>
#include <QFileInfo>
#include <QProcess>

namespace {

// The real tool is well above this (Debian's is about 60 KiB, the Windows
// build larger); anything smaller is a stub or a broken copy. The demo
// build's tool is a small script that starts the real one.
#ifdef RAVLO_DEMO
const qint64 kMinimumToolSize = 0;
#else
const qint64 kMinimumToolSize = 32 * 1024;
#endif

const int kStartTimeoutMs = 3000;
const int kVersionTimeoutMs = 5000;
const int kCommandTimeoutMs = 30000;

} // namespace

DFUUtilManager::DFUUtilManager(QObject *parent)
    : QObject(parent)
    , m_dfuUtilPath(dfuUtilPath())
{}

bool DFUUtilManager::checkDfuUtilFile()
{
    m_lastError.clear();
    const QFileInfo tool(m_dfuUtilPath);
    if (!tool.exists()) {
        m_lastError = QStringLiteral("dfu-util文件不存在: %1").arg(m_dfuUtilPath);
        return false;
    }
    if (tool.size() < kMinimumToolSize) {
        m_lastError = QStringLiteral("dfu-util文件大小异常: %1字节").arg(tool.size());
        return false;
    }
    return true;
}

bool DFUUtilManager::validateDfuUtil()
{
    if (!checkDfuUtilFile())
        return rejectTool(m_lastError);

    QProcess process;
    if (!runTool(process, {QStringLiteral("--version")}, kVersionTimeoutMs,
                 QStringLiteral("dfu-util版本检测超时")))
        return rejectTool(m_lastError);

    if (process.exitCode() != 0) {
        QString details = QString::fromLocal8Bit(process.readAllStandardError());
        if (details.isEmpty())
            details = QStringLiteral("未知错误");
        return rejectTool(QStringLiteral("dfu-util验证失败 (退出码: %1): %2")
                              .arg(QString::number(process.exitCode()), details));
    }
    const QString version = QString::fromLocal8Bit(process.readAllStandardOutput()).trimmed();
    m_version = version.section(QLatin1Char('\n'), 0, 0);
    emit dfuUtilValidated(true, QStringLiteral("dfu-util验证成功: %1").arg(version));
    return true;
}

QString DFUUtilManager::executeCommand(const QStringList &arguments)
{
    if (!validateDfuUtil())
        return QString();

    QProcess process;
    if (!runTool(process, arguments, kCommandTimeoutMs, QStringLiteral("dfu-util命令执行超时")))
        return QString();

    if (process.exitCode() != 0) {
        m_lastError = QStringLiteral("dfu-util命令执行失败 (退出码: %1): %2")
                          .arg(QString::number(process.exitCode()),
                               QString::fromLocal8Bit(process.readAllStandardError()));
        return QString();
    }
    return QString::fromLocal8Bit(process.readAllStandardOutput()).trimmed();
}

void DFUUtilManager::logMessage(const QString &message) const
{
    qDebug().noquote() << "[DFUUtilManager]" << message;
}

bool DFUUtilManager::runTool(QProcess &process, const QStringList &arguments, int finishTimeoutMs,
                             const QString &timeoutError)
{
    process.start(m_dfuUtilPath, arguments);
    if (!process.waitForStarted(kStartTimeoutMs)) {
        m_lastError = QStringLiteral("无法启动dfu-util: %1").arg(process.errorString());
        return false;
    }
    if (!process.waitForFinished(finishTimeoutMs)) {
        process.kill();
        process.waitForFinished();
        m_lastError = timeoutError;
        return false;
    }
    return true;
}

bool DFUUtilManager::rejectTool(const QString &error)
{
    m_lastError = error;
    emit dfuUtilValidated(false, error);
    return false;
}
