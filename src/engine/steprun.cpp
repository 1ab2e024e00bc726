#include "flashrun.h"

#include "childprocess.h"

#include <QDebug>

FlashRun::FlashRun(QObject *parent)
    : QObject(parent)
{
    // Standard error mixed into standard output, in the order the tool wrote them.
    m_process.setProcessChannelMode(QProcess::MergedChannels);
    m_startTimeout.setSingleShot(true);
    connect(&m_startTimeout, &QTimer::timeout, this, [this] {
        if (m_process.state() != QProcess::Starting)
            return;
        halt(0);
        report({Result::Status::StartTimeout, 0, QProcess::UnknownError, QString(), m_output});
    });
    connect(&m_process, &QProcess::readyReadStandardOutput, this, &FlashRun::onDFUProcessReadyRead);
    connect(&m_process, QOverload<int, QProcess::ExitStatus>::of(&QProcess::finished), this,
            &FlashRun::onDFUProcessFinished);
    connect(&m_process, &QProcess::errorOccurred, this, &FlashRun::onDFUProcessError);
}

FlashRun::~FlashRun()
{
    stop(0);
}

void FlashRun::start(const QString &toolPath, const QStringList &arguments,
                     const QString &workingDirectory, qint64 imageSize, int startTimeoutMs)
{
    m_imageSize = imageSize;
    qDebug().noquote() << QStringLiteral("执行命令: ") + toolPath + QLatin1Char(' ') +
                              arguments.join(QLatin1Char(' '));
    m_process.setWorkingDirectory(workingDirectory);
    m_startTimeout.start(startTimeoutMs);
    m_process.start(toolPath, arguments);
}

bool FlashRun::stop(int graceMs)
{
    // A tool stopped on purpose is neither a crash nor a flash result.
    m_reported = true;
    m_startTimeout.stop();
    return halt(graceMs);
}

bool FlashRun::halt(int graceMs)
{
    m_process.disconnect(this);
    return ChildProcess::end(m_process, graceMs);
}

void FlashRun::onDFUProcessReadyRead()
{
    const QString chunk = QString::fromLocal8Bit(m_process.readAllStandardOutput());
    m_output += chunk;
    qDebug().noquote() << QStringLiteral("dfu-util: ") + chunk.trimmed();
    interpret(chunk);
}

void FlashRun::interpret(const QString &chunk)
{
    // Lines are judged one by one; nothing is carried over between chunks.
    for (const QString &part : chunk.split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
        const QString line = part.trimmed();
        const std::optional<BarUpdate> update = DfuOutput::barUpdate(line, m_imageSize);
        if (update)
            show(*update);
        else if (DfuOutput::classify(line) == DfuOutput::LineKind::Warning)
            qDebug().noquote() << QStringLiteral("dfu-util警告/错误: ") + line;
    }
}

void FlashRun::show(const BarUpdate &update)
{
    m_highest = std::max(m_highest, update.value);
    emit progress({m_highest, update.text});
}

void FlashRun::onDFUProcessFinished(int exitCode, QProcess::ExitStatus exitStatus)
{
    const QString rule = QStringLiteral("============================");
    qDebug().noquote() << rule;
    qDebug().noquote() << QStringLiteral("DFU进程完成回调被调用");
    qDebug() << "exitCode:" << exitCode;
    qDebug() << "exitStatus:" << exitStatus;
    qDebug().noquote() << rule;
    if (m_processError) {
        if (exitStatus != QProcess::NormalExit)
            qDebug().noquote() << QStringLiteral("Process terminated abnormally");
        report({Result::Status::ProcessError, exitCode, *m_processError, m_process.errorString(),
                m_output});
        return;
    }
    const bool written = DfuOutput::flashSucceeded(exitCode, m_output);
    if (DfuOutput::completionDetected(m_output))
        qDebug().noquote() << QStringLiteral("Firmware download completion detected");
    if (written && exitCode == 0)
        qDebug().noquote() << QStringLiteral("Complete success: Exit code 0");
    else if (written)
        qDebug().noquote() << QStringLiteral(
            "Firmware download successful, but device requires manual reboot (Exit code 74)");
    else
        qDebug().noquote() << QStringLiteral("Upgrade failed: Exit code") << exitCode;
    report({written ? Result::Status::Written : Result::Status::Failed, exitCode,
            QProcess::UnknownError, QString(), m_output});
}

void FlashRun::onDFUProcessError(QProcess::ProcessError error)
{
    // Reported once the process has ended (a crash is followed by its
    // finish); a start that failed has no finish to wait for.
    m_processError = error;
    if (m_process.state() == QProcess::NotRunning)
        report({Result::Status::ProcessError, -1, error, m_process.errorString(), m_output});
}

void FlashRun::report(Result result)
{
    if (m_reported)
        return;
    m_reported = true;
    m_startTimeout.stop();
    emit finished(result);
}
