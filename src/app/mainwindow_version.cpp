// MainWindow: what the manifest brings - the newest versions, the image's
// digest and the store link - the update prompt, and the Get Version button.

#include "mainwindow.h"

#include "log/logger.h"
#include "manifest/manifest.h"
#include "manifest/versioncompare.h"

#include <QCoreApplication>
#include <QDebug>
#include <QDesktopServices>
#include <QMessageBox>
#include <QUrl>

void MainWindow::onManifestDownloaded(bool success, const QString &errorMsg)
{
    // A run that asked for the manifest reports its outcome itself, and is
    // not interrupted by the update prompt.
    const bool runWaiting = m_engine->phase() == UpgradeEngine::Phase::FetchingManifest;
    if (!success) {
        qDebug().noquote() << QStringLiteral("下载失败: ") + errorMsg;
        if (runWaiting)
            return;
        const QString text =
            m_manifest->verificationFailed()
                ? tr("The update information could not be verified: %1. No firmware is "
                     "written without verified update information.")
                          .arg(errorMsg) +
                      QStringLiteral("\n\n") + Manifest::verificationAdvice()
                : tr("Failed to download the update information: %1").arg(errorMsg);
        QMessageBox::warning(this, tr("Error"), text, QMessageBox::Ok);
        return;
    }
    m_remoteAppVersion = m_manifest->appVersion();
    m_websiteUrl = acceptedWebsiteUrl(m_manifest->address());
    m_firmwareVersion = m_manifest->productVersion();
    if (!runWaiting)
        checkVersionUpdate(m_remoteAppVersion);
    setupToolButtonLink();
    setupBtnPictureLink();
}

QString MainWindow::acceptedWebsiteUrl(const QString &address) const
{
    // The address is handed to the desktop, which would open a file or start
    // a program just as readily as a web page: only web pages are taken.
    if (address.isEmpty())
        return address;
    const QUrl url(address);
    const QString scheme = url.scheme().toLower();
    if (url.isValid() && !url.host().isEmpty() &&
        (scheme == QLatin1String("http") || scheme == QLatin1String("https")))
        return address;
    qWarning().noquote() << QStringLiteral("manifest中的网站地址不是http/https地址，已忽略:")
                         << address;
    return m_endpoints.storeUrl;
}

void MainWindow::checkVersionUpdate(const QString &remoteVersion)
{
    const QString current = QCoreApplication::applicationVersion();
    qDebug().noquote() << QStringLiteral("版本检查 - 当前版本:") << current
                       << QStringLiteral("远程版本:") << remoteVersion;
    if (compareVersions(remoteVersion, current) <= 0) {
        qDebug().noquote() << QStringLiteral("当前已是最新版本");
        return;
    }
    qDebug().noquote() << QStringLiteral("检测到新版本，提示用户更新");

    QMessageBox box(this);
    box.setWindowTitle(tr("New version found"));
    box.setText(
        tr("Detected a new version %1\nThe current version is %2").arg(remoteVersion, current));
    box.setInformativeText(tr(
        "Do you want to go to the official website immediately to download the latest version?"));
    box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
    box.setDefaultButton(QMessageBox::Yes);
    box.setIcon(QMessageBox::Question);
    if (box.exec() == QMessageBox::Yes) {
        const QString page = m_endpoints.storeDownloadPage();
        QDesktopServices::openUrl(QUrl(page));
        qDebug().noquote() << QStringLiteral("用户选择更新，跳转到: ") + page;
    } else {
        qDebug().noquote() << QStringLiteral("用户选择暂不更新");
    }
}

int MainWindow::compareVersions(const QString &version1, const QString &version2)
{
    return Version::compare(version1, version2);
}

void MainWindow::VersionButtonClicked()
{
    if (UpgradeEngine::talksToDevice(m_engine->phase())) {
        m_logger->warning(tr("Upgrading in progress, please wait for completion"));
        return;
    }
    if (!checkDfuUtilAvailable())
        return;
    m_logger->info(tr("The latest version is %1").arg(m_firmwareVersion));
}
