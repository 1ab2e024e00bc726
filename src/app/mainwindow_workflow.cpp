// MainWindow: what the Upgrade button does - start a run, cancel one that is
// under way, and judge the finished flash.

#include "mainwindow.h"
#include "ui_mainwindow.h"

#include "dfu/dfuoutput.h"
#include "log/logger.h"

#include <QDebug>
#include <QMessageBox>
#include <QTimer>

namespace {
constexpr int kCancelGraceMs = 1000;
constexpr int kExitCodeIoError = 74;
} // namespace

void MainWindow::UpgradeButtonClicked()
{
    if (m_isDownloading) {
        m_logger->warning(QStringLiteral("Download in progress, please wait for completion"));
        return;
    }
    if (isUpgradeUnderway()) {
        const auto answer = QMessageBox::question(
            this, QStringLiteral("Upgrade in Progress"),
            QStringLiteral("An upgrade is already in progress. Do you want to cancel it and start "
                           "a new one?"),
            QMessageBox::Yes | QMessageBox::No);
        if (answer == QMessageBox::No)
            return;
        cancelCurrentUpgrade();
        m_restartTimer->start();
        return;
    }
    startUpgradeProcess();
}

bool MainWindow::isUpgradeUnderway() const
{
    // The device scan clears m_isUpgrading at every start, and from a passed
    // integrity check to the tool's end no flag is set at all; the pending
    // starts and the running tool say that a run is still under way.
    return m_isUpgrading || m_burnTimer->isActive() || m_restartTimer->isActive() ||
           (m_dfuProcess && m_dfuProcess->state() != QProcess::NotRunning);
}

void MainWindow::startUpgradeProcess()
{
    resetUpgradeState();
    m_isUpgrading = true;
    ui->BtnVersion->setEnabled(false);
    ui->BtnUpgrade->setEnabled(false);
    m_logger->info(QStringLiteral("Starting firmware upgrade process..."));
    setProgressText(QStringLiteral("Starting upgrade..."));

    if (checkUpgradePreconditions())
        startFirmwareDownload();
    else
        handleUpgradeError(QStringLiteral("Failed to meet upgrade preconditions"));
}

void MainWindow::cancelCurrentUpgrade()
{
    qDebug().noquote() << QStringLiteral("取消当前升级...");
    abandonFirmwareReply();
    m_burnTimer->stop();
    if (m_dfuProcess && m_dfuProcess->state() != QProcess::NotRunning) {
        qDebug().noquote() << QStringLiteral("停止dfu-util进程...");
        if (!stopDfuProcess(kCancelGraceMs))
            qDebug().noquote() << QStringLiteral("强制终止dfu-util进程");
    }
    closeFirmwareFile();
    cleanupFirmwareFile();
    resetUpgradeState();
    m_logger->info(QStringLiteral("Upgrade cancelled by user"));
}

bool MainWindow::stopDfuProcess(int graceMs)
{
    // Cut off from the window first: a tool stopped on purpose is neither a
    // crash to report in a box nor a flash result. The next flash connects again.
    disconnect(m_dfuProcess, nullptr, this, nullptr);
    m_dfuProcess->terminate();
    if (m_dfuProcess->waitForFinished(graceMs))
        return true;
    m_dfuProcess->kill();
    m_dfuProcess->waitForFinished(graceMs);
    return false;
}

void MainWindow::onDFUProcessFinished(int exitCode, QProcess::ExitStatus exitStatus)
{
    const QString rule = QStringLiteral("============================");
    qDebug().noquote() << rule;
    qDebug().noquote() << QStringLiteral("DFU进程完成回调被调用");
    qDebug() << "m_isUpgrading:" << m_isUpgrading;
    qDebug() << "m_isDownloading:" << m_isDownloading;
    qDebug() << "exitCode:" << exitCode;
    qDebug() << "exitStatus:" << exitStatus;
    qDebug().noquote() << rule;

    const bool completed = DfuOutput::completionDetected(m_dfuOutput);
    if (completed)
        qDebug().noquote() << QStringLiteral("Firmware download completion detected");

    bool success = false;
    if (exitStatus != QProcess::NormalExit) {
        qDebug().noquote() << QStringLiteral("Process terminated abnormally");
    } else if (exitCode == 0) {
        success = true;
        qDebug().noquote() << QStringLiteral("Complete success: Exit code 0");
    } else if (exitCode == kExitCodeIoError && completed) {
        // Common with STM32 parts: every byte is written, then the device
        // resets before it answers the leave request.
        success = true;
        qDebug().noquote() << QStringLiteral(
            "Firmware download successful, but device requires manual reboot (Exit code 74)");
    } else {
        qDebug().noquote() << QStringLiteral("Upgrade failed: Exit code") << exitCode;
    }

    if (!success) {
        // The image and the output stay for a look; the next run clears them.
        setProgressText(QStringLiteral("Upgrade failed"));
        return;
    }
    setProgressValue(100);
    setProgressText(QStringLiteral("Firmware upgrade completed!"));
    m_logger->info(QStringLiteral("Upgrade completed successfully"));
    QMessageBox::information(this, QStringLiteral("Upgrade Successful"),
                             QStringLiteral("Firmware upgrade completed successfully!"),
                             QMessageBox::Ok);
    cleanupFirmwareFile();
    resetUpgradeState();
}
