// MainWindow: the three ways every upgrade run ends - back to idle, the common
// failure path, and removing the downloaded image.

#include "mainwindow.h"
#include "ui_mainwindow.h"

#include "log/logger.h"

#include <QDebug>
#include <QFile>

void MainWindow::resetUpgradeState()
{
    // A running request, an open file or a running process are left alone:
    // only the workflow's flags and what the user sees go back to idle.
    m_isDownloading = false;
    m_isUpgrading = false;
    m_dfuOutput.clear();
    ui->BtnVersion->setEnabled(true);
    ui->BtnUpgrade->setEnabled(true);
    setProgressValue(0);
    setProgressText(QStringLiteral("Ready"));
    qDebug().noquote() << QStringLiteral("升级状态已完全重置");
}

void MainWindow::handleUpgradeError(const QString &message)
{
    m_logger->error(QStringLiteral("Upgrade process error: ") + message);
    resetUpgradeState();
    setProgressValue(0);
    setProgressText(QStringLiteral("Upgrade failed"));
}

void MainWindow::cleanupFirmwareFile()
{
    if (m_firmwarePath.isEmpty() || !QFile::exists(m_firmwarePath))
        return;
    if (QFile::remove(m_firmwarePath))
        qDebug().noquote() << QStringLiteral("固件文件已清理: ") + m_firmwarePath;
    else
        qDebug().noquote() << QStringLiteral("无法删除固件文件: ") + m_firmwarePath;
    // Not retried either way.
    m_firmwarePath.clear();
}
