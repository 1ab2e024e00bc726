#pragma once

#include "engine/endpoints.h"
#include "engine/upgradeengine.h"

#include <QMainWindow>

class Logger;
class Manifest;
class QNetworkAccessManager;
class QPushButton;

namespace Ui {
class MainWindow;
}

// The one window of the program: the view of an UpgradeEngine (its bar, log
// lines and boxes), the version check and the showcase panel. Its
// implementation is split by area over the mainwindow_*.cpp files (see
// ARCHITECTURE.md).
class MainWindow : public QMainWindow
{
    Q_OBJECT

public:
    explicit MainWindow(QWidget *parent = nullptr);
    // A window that talks to the given addresses instead of the production
    // ones; used by tests to aim it at loopback servers.
    explicit MainWindow(const Endpoints &endpoints, QWidget *parent = nullptr);
    ~MainWindow() override;

private slots:
    void VersionButtonClicked();
    void UpgradeButtonClicked();
    void setupToolButtonLink();
    void setupBtnPictureLink();
    void checkVersionUpdate(const QString &remoteVersion);
    int compareVersions(const QString &version1, const QString &version2);
    void downloadProductImage();
    void downloadProductImage2();
    void onManifestDownloaded(bool success, const QString &errorMsg);
    void onBtnGuidance();

private:
    // Construction and teardown (mainwindow.cpp)
    void initComponents();
    void initUI();
    void initProgressBar();
    void initConnections();
    void checkDependencies();
    void cleanupResources();
    // The progress bar: the text only while the form exists.
    void setProgressValue(int value);
    void setProgressText(const QString &text);
    QString getDfuUtilPath() const;
    bool checkDfuUtilAvailable();

    // The upgrade as the user sees it (mainwindow_upgrade.cpp)
    void startUpgradeProcess();
    void resetUpgradeState();
    void handleUpgradeError(const QString &message);
    void showPhase(UpgradeEngine::Phase phase);
    void showLogLine(UpgradeEngine::Level level, const QString &text);
    void onUpgradeFailed(const UpgradeFailure &failure);
    // Written, but the device refused to be read back.
    void onUpgradeUnproven(const Diagnosis::Finding &finding);
    void onUpgradeSucceeded();

    // Manifest and version (mainwindow_version.cpp)
    QString acceptedWebsiteUrl(const QString &address) const;

    // Showcase panel (mainwindow_showcase.cpp)
    void showBuiltInPicturesAfterFirstFrame();
    void downloadPicture(const QString &url, const QString &fileName, QPushButton *button,
                         const QString &builtInPicture, int buttonNumber);
    void openWebsite();

    const Endpoints m_endpoints;
    Ui::MainWindow *ui;
    Logger *m_logger = nullptr;
    // One network manager for every request: manifest, pictures and image.
    QNetworkAccessManager *m_networkManager = nullptr;
    Manifest *m_manifest = nullptr;
    UpgradeEngine *m_engine = nullptr;
    QString m_remoteAppVersion;
    QString m_websiteUrl;
    QString m_firmwareVersion;
};
