// MainWindow: writing the verified image into the device with dfu-util, and
// turning the tool's output into the progress bar.

#include "mainwindow.h"
#include "ui_mainwindow.h"

#include "dfu/dfuoutput.h"
#include "dfu/diagnosis.h"
#include "dfu/flashcommand.h"
#include "dfu/processerror.h"

#include <QDebug>
#include <QFileInfo>
#include <QMessageBox>

namespace {
constexpr int kStartTimeoutMs = 3000;
}

void MainWindow::startBurning()
{
    setProgressValue(50);
    setProgressText(QStringLiteral("Burning firmware .."));
    qDebug().noquote() << QStringLiteral("开始烧录固件...");
    const QFileInfo image(m_firmwarePath);
    m_firmwareFileSize = image.exists() ? image.size() : 0;
    ui->BtnVersion->setEnabled(false);
    startDfuProcess();
}

QStringList MainWindow::buildDfuArguments() const
{
    return FlashCommand::arguments(m_targetVidPid, m_firmwarePath);
}

void MainWindow::startDfuProcess()
{
    if (!m_dfuProcess) {
        handleUpgradeError(QStringLiteral("dfu-util Process not initialized"));
        return;
    }
    m_dfuOutput.clear();

    const QStringList arguments = buildDfuArguments();
    const QString program = getDfuUtilPath();
    qDebug().noquote() << QStringLiteral("执行命令: ") + program + QLatin1Char(' ') +
                              arguments.join(QLatin1Char(' '));

    m_dfuProcess->setWorkingDirectory(QFileInfo(m_firmwarePath).absolutePath());
    // The process object serves every flash of the window's life; each signal
    // must reach its slot once, however many flashes ran before.
    connect(m_dfuProcess, &QProcess::readyReadStandardOutput, this,
            &MainWindow::onDFUProcessReadyRead, Qt::UniqueConnection);
    connect(m_dfuProcess, QOverload<int, QProcess::ExitStatus>::of(&QProcess::finished), this,
            &MainWindow::onDFUProcessFinished, Qt::UniqueConnection);
    connect(m_dfuProcess, &QProcess::errorOccurred, this, &MainWindow::onDFUProcessError,
            Qt::UniqueConnection);

    m_dfuProcess->start(program, arguments);
    if (!m_dfuProcess->waitForStarted(kStartTimeoutMs))
        handleUpgradeError(QStringLiteral("Unable to start dfu uti process"));
}

void MainWindow::onDFUProcessReadyRead()
{
    if (!m_dfuProcess)
        return;
    const QString chunk = QString::fromLocal8Bit(m_dfuProcess->readAllStandardOutput());
    m_dfuOutput += chunk;
    qDebug().noquote() << QStringLiteral("dfu-util: ") + chunk.trimmed();
    processDfuOutput(chunk);
}

void MainWindow::processDfuOutput(const QString &output)
{
    // Lines are judged one by one; nothing is carried over between chunks.
    const QStringList parts = output.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    for (const QString &part : parts) {
        const QString line = part.trimmed();
        switch (DfuOutput::classify(line)) {
        case DfuOutput::LineKind::EraseProgress:
            parseEraseProgress(line);
            break;
        case DfuOutput::LineKind::DownloadProgress:
            parseDownloadProgress(line);
            break;
        case DfuOutput::LineKind::Stage:
            updateStageProgress(line);
            break;
        case DfuOutput::LineKind::Completion:
            checkBurnCompletion(line);
            break;
        case DfuOutput::LineKind::Warning:
            qDebug().noquote() << QStringLiteral("dfu-util警告/错误: ") + line;
            break;
        case DfuOutput::LineKind::Other:
            break;
        }
    }
}

void MainWindow::parseEraseProgress(const QString &line)
{
    if (const auto update = DfuOutput::eraseProgress(line))
        showProgress(*update);
}

void MainWindow::parseDownloadProgress(const QString &line)
{
    if (const auto update = DfuOutput::downloadProgress(line, m_firmwareFileSize))
        showProgress(*update);
}

void MainWindow::updateStageProgress(const QString &line)
{
    if (const auto update = DfuOutput::stageProgress(line))
        showProgress(*update);
}

void MainWindow::checkBurnCompletion(const QString &line)
{
    if (const auto update = DfuOutput::completion(line))
        showProgress(*update);
}

void MainWindow::onDFUProcessError(QProcess::ProcessError error)
{
    const QString kind = ProcessErrorText::kindText(error);
    const QString details = explainProcessError(error, m_dfuOutput);
    QMessageBox::critical(
        this, QStringLiteral("Process Error"),
        QStringLiteral("dfu-util process execution failed!\n\nError type: %1\nDetails: %2")
            .arg(kind, details),
        QMessageBox::Ok);
    handleUpgradeError(QStringLiteral("dfu-util process error: ") + kind + QStringLiteral(" - ") +
                       details);
}

QString MainWindow::explainProcessError(QProcess::ProcessError error, const QString &output) const
{
    Diagnosis::Run run;
    run.output = output;
    run.processError = error;
    run.errorString = m_dfuProcess->errorString();
    const Diagnosis::Finding finding = Diagnosis::diagnose(run);
    return finding.what + QLatin1Char(' ') + finding.advice;
}
