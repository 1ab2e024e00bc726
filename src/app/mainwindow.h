#pragma once

#include "app/endpoints.h"
#include "dfu/dfuutilmanager.h"

#include <QMainWindow>
#include <QProcess>

class Logger;
class Manifest;
class QFile;
class QNetworkAccessManager;
class QNetworkReply;
class QPushButton;
class QTimer;
struct BarUpdate;

namespace Ui {
class MainWindow;
}

// The one window of the program and the owner of the upgrade workflow: device
// scan, firmware download, integrity check and flash, the version check and
// the showcase panel. Its implementation is split by area over the
// mainwindow_*.cpp files (see ARCHITECTURE.md).
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
    void onNetworkReplyFinished(QNetworkReply *reply);
    void onFirmwareDownloadProgress(qlonglong bytesReceived, qlonglong bytesTotal);
    void onDFUProcessReadyRead();
    void onDFUProcessFinished(int exitCode, QProcess::ExitStatus exitStatus);
    void onDFUProcessError(QProcess::ProcessError error);
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
    QTimer *makeDelayedStart(void (MainWindow::*step)());
    void initUI();
    void initProgressBar();
    void initConnections();
    void checkDependencies();
    void cleanupResources();
    // The progress bar: the text only while the form exists.
    void setProgressValue(int value);
    void setProgressText(const QString &text);
    void showProgress(const BarUpdate &update);

    // The tool (mainwindow.cpp)
    QString getDfuUtilPath() const;
    bool checkDfuUtilAvailable();

    // Ending a run (mainwindow_runstate.cpp)
    void resetUpgradeState();
    void handleUpgradeError(const QString &message);
    void cleanupFirmwareFile();

    // Device scan (mainwindow_scan.cpp)
    bool checkUpgradePreconditions();
    bool scanDfuDevices();
    bool parseDeviceList(const QString &listing);
    QString extractVidPid(const QString &line) const;
    QString extractSerial(const QString &line) const;
    QString deviceKey(const QString &line) const;
    bool isTargetDevice(const QString &vidPid) const;
    void logDeviceInfo(const QString &line, int index);
    bool evaluateScanResult(int deviceCount);

    // Flashing and the tool's output (mainwindow_flash.cpp)
    void startBurning();
    QStringList buildDfuArguments() const;
    void startDfuProcess();
    void processDfuOutput(const QString &output);
    void parseEraseProgress(const QString &line);
    void parseDownloadProgress(const QString &line);
    void updateStageProgress(const QString &line);
    void checkBurnCompletion(const QString &line);
    QString explainProcessError(QProcess::ProcessError error, const QString &output) const;

    // Firmware download and integrity (mainwindow_download.cpp)
    void startFirmwareDownload();
    void writeFirmwareChunk();
    void handleNetworkError(QNetworkReply *reply);
    void finishFirmwareDownload(const QByteArray &remainingData);
    void failFirmwareDownload(const QString &message);
    void abandonFirmwareReply();
    void closeFirmwareFile();
    bool verifyFirmwareIntegrity(const QString &filePath);
    QString calculateFileSha256(const QString &filePath) const;

    // The Upgrade button (mainwindow_workflow.cpp)
    void startUpgradeProcess();
    void cancelCurrentUpgrade();
    bool isUpgradeUnderway() const;
    bool stopDfuProcess(int graceMs);

    // Manifest and version (mainwindow_version.cpp)
    QString acceptedWebsiteUrl(const QString &address) const;

    // Showcase panel (mainwindow_showcase.cpp)
    void downloadPicture(const QString &url, const QString &fileName, QPushButton *button,
                         const QString &builtInPicture, int buttonNumber);
    void openWebsite();

    const Endpoints m_endpoints;
    Ui::MainWindow *ui;
    Logger *m_logger = nullptr;
    DFUUtilManager m_dfuUtilManager;
    QNetworkAccessManager *m_networkManager = nullptr;
    Manifest *m_manifest = nullptr;
    QNetworkReply *m_firmwareReply = nullptr;
    QFile *m_firmwareFile = nullptr;
    QProcess *m_dfuProcess = nullptr;
    qint64 m_firmwareFileSize = 0;
    bool m_isDownloading = false;
    bool m_isUpgrading = false;
    bool m_targetDeviceFound = false;
    QString m_targetVidPid;
    QString m_firmwareUrl;
    QString m_firmwarePath;
    QString m_remoteAppVersion;
    QString m_websiteUrl;
    QString m_firmwareVersion;
    QString m_firmwareSha256;
    qint64 m_lastSpeedUpdateTime = 0;
    qint64 m_lastBytesReceived = 0;
    QString m_dfuOutput;
    // The two delayed starts of the workflow: the flash 500 ms after a passed
    // integrity check, and a new run 500 ms after a cancel. They are members so
    // that a pending start counts as a run under way and can be called off.
    QTimer *m_burnTimer = nullptr;
    QTimer *m_restartTimer = nullptr;
};
