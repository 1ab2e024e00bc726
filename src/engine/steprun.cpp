#include "steprun.h"

#include "childprocess.h"

#include <QDebug>
#include <QRegularExpression>

StepRun::StepRun(FlashStep step, QObject *parent)
    : QObject(parent)
    , m_step(step)
{
    // Standard error mixed into standard output, in the order the tool wrote them.
    m_process.setProcessChannelMode(QProcess::MergedChannels);
    m_startTimeout.setSingleShot(true);
    connect(&m_startTimeout, &QTimer::timeout, this, [this] {
        if (m_process.state() != QProcess::Starting)
            return;
        halt(0);
        report(Result::Status::StartTimeout, 0);
    });
    connect(&m_process, &QProcess::readyReadStandardOutput, this, &StepRun::onDFUProcessReadyRead);
    connect(&m_process, QOverload<int, QProcess::ExitStatus>::of(&QProcess::finished), this,
            &StepRun::onDFUProcessFinished);
    connect(&m_process, &QProcess::errorOccurred, this, &StepRun::onDFUProcessError);
}

StepRun::~StepRun()
{
    stop(0);
}

void StepRun::start(const QString &toolPath, const QStringList &arguments,
                    const QString &workingDirectory, qint64 imageSize, int startTimeoutMs)
{
    m_imageSize = imageSize;
    qDebug().noquote() << QStringLiteral("执行命令: ") + toolPath + QLatin1Char(' ') +
                              arguments.join(QLatin1Char(' '));
    m_process.setWorkingDirectory(workingDirectory);
    m_startTimeout.start(startTimeoutMs);
    m_process.start(toolPath, arguments);
}

bool StepRun::stop(int graceMs)
{
    // A tool stopped on purpose is neither a crash nor a step's result.
    m_reported = true;
    m_startTimeout.stop();
    return halt(graceMs);
}

bool StepRun::halt(int graceMs)
{
    m_process.disconnect(this);
    return ChildProcess::end(m_process, graceMs);
}

void StepRun::onDFUProcessReadyRead()
{
    const QString chunk = QString::fromLocal8Bit(m_process.readAllStandardOutput());
    m_output += chunk;
    qDebug().noquote() << QStringLiteral("dfu-util: ") + chunk.trimmed();
    interpret(chunk);
}

void StepRun::interpret(const QString &chunk)
{
    // Lines, and the progress updates a carriage return starts, are judged
    // one by one; nothing is carried over between chunks.
    static const QRegularExpression lineEnd(QStringLiteral("[\\r\\n]"));
    for (const QString &part : chunk.split(lineEnd, Qt::SkipEmptyParts)) {
        const QString line = part.trimmed();
        const std::optional<ToolProgress> shown = DfuOutput::progress(line, m_imageSize, m_step);
        if (shown)
            emit progress(*shown);
        else if (DfuOutput::classify(line) == DfuOutput::LineKind::Warning)
            qDebug().noquote() << QStringLiteral("dfu-util警告/错误: ") + line;
    }
}

void StepRun::onDFUProcessFinished(int exitCode, QProcess::ExitStatus exitStatus)
{
    const QString rule = QStringLiteral("============================");
    qDebug().noquote() << rule;
    qDebug().noquote() << QStringLiteral("DFU进程完成回调被调用");
    qDebug() << "step:" << int(m_step) << "exitCode:" << exitCode << "exitStatus:" << exitStatus;
    qDebug().noquote() << rule;
    if (m_processError) {
        if (exitStatus != QProcess::NormalExit)
            qDebug().noquote() << QStringLiteral("Process terminated abnormally");
        report(Result::Status::ProcessError, exitCode, *m_processError);
        return;
    }
    switch (DfuOutput::verdict(m_step, exitCode, m_output)) {
    case DfuOutput::StepVerdict::Done:
        report(Result::Status::Done, exitCode);
        return;
    case DfuOutput::StepVerdict::Refused:
        report(Result::Status::Refused, exitCode);
        return;
    case DfuOutput::StepVerdict::Failed:
        break;
    }
    qDebug().noquote() << QStringLiteral("dfu-util failed: Exit code") << exitCode;
    report(Result::Status::Failed, exitCode);
}

void StepRun::onDFUProcessError(QProcess::ProcessError error)
{
    // Reported once the process has ended (a crash is followed by its
    // finish); a start that failed has no finish to wait for.
    m_processError = error;
    if (m_process.state() == QProcess::NotRunning)
        report(Result::Status::ProcessError, -1, error);
}

void StepRun::report(Result::Status status, int exitCode, QProcess::ProcessError error)
{
    if (m_reported)
        return;
    m_reported = true;
    m_startTimeout.stop();
    emit finished({m_step, status, exitCode, error,
                   status == Result::Status::ProcessError ? m_process.errorString() : QString(),
                   m_output});
}
