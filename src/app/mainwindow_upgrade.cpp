// MainWindow: the upgrade as the user meets it - the Upgrade button, and the
// engine's phases, bar, log lines and verdicts shown as buttons, bar, log view
// and boxes.

#include "mainwindow.h"
#include "ui_mainwindow.h"

#include "log/logger.h"

#include <QDebug>
#include <QMessageBox>

using Phase = UpgradeEngine::Phase;

void MainWindow::UpgradeButtonClicked()
{
    switch (m_engine->phase()) {
    case Phase::Idle:
        startUpgradeProcess();
        return;
    case Phase::FetchingManifest:
    case Phase::Downloading:
        m_logger->warning(tr("Download in progress, please wait for completion"));
        return;
    case Phase::Scanning:
        return; // the button is disabled meanwhile
    case Phase::Verifying:
    case Phase::BurnPending:
    case Phase::Flashing:
    case Phase::ReadingBack:
    case Phase::Leaving:
    case Phase::RestartPending:
        break;
    }
    const auto answer = QMessageBox::question(
        this, tr("Upgrade in Progress"),
        tr("An upgrade is already in progress. Do you want to cancel it and start a new one?"),
        QMessageBox::Yes | QMessageBox::No);
    if (answer == QMessageBox::No)
        return;
    // The run may have ended while the question was open: a restart of an
    // idle engine just starts a new run.
    m_engine->restart();
    resetUpgradeState();
}

void MainWindow::startUpgradeProcess()
{
    resetUpgradeState();
    m_engine->start();
}

void MainWindow::resetUpgradeState()
{
    ui->BtnVersion->setEnabled(true);
    ui->BtnUpgrade->setEnabled(true);
    setProgressValue(0);
    setProgressText(tr("Ready"));
    qDebug().noquote() << QStringLiteral("升级状态已完全重置");
}

void MainWindow::handleUpgradeError(const QString &message)
{
    m_logger->error(tr("Upgrade process error: %1").arg(message));
    resetUpgradeState();
    setProgressValue(0);
    setProgressText(tr("Upgrade failed"));
}

void MainWindow::showPhase(Phase phase)
{
    // The scan is short and decides everything after it; while the tool
    // talks to the device, Get Version waits.
    ui->BtnUpgrade->setEnabled(phase != Phase::Scanning);
    ui->BtnVersion->setEnabled(!UpgradeEngine::talksToDevice(phase));
}

void MainWindow::showLogLine(UpgradeEngine::Level level, const QString &text)
{
    switch (level) {
    case UpgradeEngine::Level::Info:
        m_logger->info(text);
        break;
    case UpgradeEngine::Level::Warning:
        m_logger->warning(text);
        break;
    case UpgradeEngine::Level::Error:
        m_logger->error(text);
        break;
    }
}

void MainWindow::onUpgradeFailed(const UpgradeFailure &failure)
{
    const Diagnosis::Finding &finding = failure.finding;
    if (!failure.processErrorKind.isEmpty()) {
        QMessageBox::critical(
            this, tr("Process Error"),
            tr("dfu-util process execution failed!\n\nError type: %1\nDetails: %2")
                .arg(failure.processErrorKind, failure.processErrorDetails),
            QMessageBox::Ok);
    }
    handleUpgradeError(failure.reason);
    if (finding.cause == Diagnosis::Cause::None)
        return;
    m_logger->error(finding.what);
    m_logger->warning(finding.advice);
    // The device steps are in the log and behind the question mark; every
    // other trouble with the tool or the device is put in front of the user.
    const bool scanFoundNothing =
        failure.stage == UpgradeFailure::Stage::Scan && finding.cause == Diagnosis::Cause::NoDevice;
    if (failure.processErrorKind.isEmpty() && !scanFoundNothing)
        QMessageBox::warning(this, tr("Upgrade failed"),
                             finding.what + QStringLiteral("\n\n") + finding.advice,
                             QMessageBox::Ok);
}

void MainWindow::onUpgradeUnproven(const Diagnosis::Finding &finding)
{
    m_logger->warning(finding.what);
    m_logger->warning(finding.advice);
    ui->BtnVersion->setEnabled(false);
    QMessageBox::warning(this, tr("Firmware Written, Not Verified"),
                         finding.what + QStringLiteral("\n\n") + finding.advice, QMessageBox::Ok);
    resetUpgradeState();
    setProgressText(tr("Firmware written, not verified"));
}

void MainWindow::onUpgradeSucceeded()
{
    // Get Version comes back once the verdict has been read.
    ui->BtnVersion->setEnabled(false);
    QMessageBox::information(this, tr("Upgrade Successful"),
                             tr("Firmware upgrade completed successfully!"), QMessageBox::Ok);
    resetUpgradeState();
}
