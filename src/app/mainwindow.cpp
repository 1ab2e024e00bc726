// MainWindow: construction, the start-up check of the tool, teardown, and the
// small helpers every area uses (progress bar, tool path).

#include "mainwindow.h"
#include "ui_mainwindow.h"

#include "app/dialogguidance.h"
#include "app/framelesswindowhelper.h"
#include "app/logviewmenu.h"
#include "dfu/dfuoutput.h"
#include "dfu/dfuutilpath.h"
#include "log/logger.h"
#include "manifest/manifest.h"

#include <QDebug>
#include <QFile>
#include <QFileInfo>
#include <QMessageBox>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QTimer>

#include <utility>

namespace {
const char kInstructions[] =
    "<font color=\"#FFFFFF\">Please press and hold the \"1\" key, then turn on the power switch "
    "and wait 2-3 seconds before releasing the \"1\" key. This will bring the device to the "
    "\"DFU FW update mode\" interface. Ensure the device is connected to your PC.</font>";
constexpr int kDelayedStartMs = 500;
constexpr int kShutdownGraceMs = 2000;
} // namespace

MainWindow::MainWindow(QWidget *parent)
    : MainWindow(Endpoints::production(), parent)
{}

MainWindow::MainWindow(const Endpoints &endpoints, QWidget *parent)
    : QMainWindow(parent)
    , m_endpoints(endpoints)
    , ui(new Ui::MainWindow)
    , m_websiteUrl(endpoints.storeUrl)
{
    qRegisterMetaType<QNetworkReply *>("QNetworkReply*");
    qRegisterMetaType<QProcess::ExitStatus>("QProcess::ExitStatus");
    qRegisterMetaType<QProcess::ProcessError>("QProcess::ProcessError");

    ui->setupUi(this);
    setWindowTitle(QStringLiteral("Ravlo"));
    ui->ProductName->setText(QStringLiteral("Ravlo Firmware Downloader ") +
                             QCoreApplication::applicationVersion());

    initComponents();
    initUI();
    initConnections();
    checkDependencies();
    // Written straight into the view: the instructions carry no time stamp or level.
    ui->LogEdit->append(QString::fromUtf8(kInstructions));
}

MainWindow::~MainWindow()
{
    cleanupResources();
    delete ui;
}

void MainWindow::initComponents()
{
    m_logger = Logger::instance();

    m_networkManager = new QNetworkAccessManager(this);
    connect(m_networkManager, &QNetworkAccessManager::finished, this,
            &MainWindow::onNetworkReplyFinished);

    m_dfuProcess = new QProcess(this);
    m_dfuProcess->setProcessChannelMode(QProcess::MergedChannels);

    m_manifest = new Manifest(this);

    m_burnTimer = makeDelayedStart(&MainWindow::startBurning);
    m_restartTimer = makeDelayedStart(&MainWindow::startUpgradeProcess);
}

QTimer *MainWindow::makeDelayedStart(void (MainWindow::*step)())
{
    auto *timer = new QTimer(this);
    timer->setSingleShot(true);
    timer->setInterval(kDelayedStartMs);
    connect(timer, &QTimer::timeout, this, step);
    return timer;
}

void MainWindow::initUI()
{
    setWindowFlags(Qt::FramelessWindowHint);
    FramelessWindowHelper::instance()->addWidget(this);

    ui->line->setStyleSheet(QStringLiteral("color: gray;"));
    initProgressBar();
    m_logger->setTextEdit(ui->LogEdit);
    LogViewMenu::install(ui->LogEdit);

    ui->BtnVersion->setEnabled(true);
    ui->BtnUpgrade->setEnabled(true);

    m_websiteUrl = m_endpoints.storeUrl;
    setupToolButtonLink();
    setupBtnPictureLink();
}

void MainWindow::initProgressBar()
{
    ui->BurningProgress->setRange(0, 100);
    ui->BurningProgress->setValue(0);
    ui->BurningProgress->setTextVisible(true);
    ui->BurningProgress->setFormat(QStringLiteral("Ready"));
}

void MainWindow::initConnections()
{
    connect(ui->BtnMinimize, &QPushButton::clicked, this, &MainWindow::showMinimized);
    connect(ui->BtnClose, &QPushButton::clicked, this, &MainWindow::close);
    connect(ui->BtnVersion, &QPushButton::clicked, this, &MainWindow::VersionButtonClicked);
    connect(ui->BtnUpgrade, &QPushButton::clicked, this, &MainWindow::UpgradeButtonClicked);
    connect(m_manifest, &Manifest::manifestDownloaded, this, &MainWindow::onManifestDownloaded);
    connect(ui->BtnGuidance, &QPushButton::clicked, this, &MainWindow::onBtnGuidance);
}

void MainWindow::checkDependencies()
{
    const QString path = getDfuUtilPath();
    const QFileInfo tool(path);
    if (tool.exists() && tool.isExecutable()) {
        qDebug().noquote() << QStringLiteral("dfu-util 工具就绪: %1").arg(path);
    } else {
        m_logger->error(QStringLiteral("dfu-util Verification failed: ") +
                        QStringLiteral("No executable dfu-util found: %1").arg(path));
        QMessageBox::critical(this, QStringLiteral("Dependency error"),
                              QStringLiteral("dfu-util not found or unavailable\nPlease ensure "
                                             "that the executable file exists at the following "
                                             "path:\n%1")
                                  .arg(path),
                              QMessageBox::Ok, QMessageBox::NoButton);
    }

    m_manifest->downloadManifest(m_endpoints.manifestUrl());
    downloadProductImage();
    downloadProductImage2();
}

void MainWindow::cleanupResources()
{
    abandonFirmwareReply();
    closeFirmwareFile();
    if (m_dfuProcess) {
        if (m_dfuProcess->state() == QProcess::Running)
            stopDfuProcess(kShutdownGraceMs);
        delete std::exchange(m_dfuProcess, nullptr);
    }
    cleanupFirmwareFile();
}

void MainWindow::setProgressValue(int value)
{
    ui->BurningProgress->setValue(value);
}

void MainWindow::setProgressText(const QString &text)
{
    if (ui && ui->BurningProgress)
        ui->BurningProgress->setFormat(text);
}

void MainWindow::showProgress(const BarUpdate &update)
{
    setProgressValue(update.value);
    setProgressText(update.text);
}

QString MainWindow::getDfuUtilPath() const
{
    return dfuUtilPath();
}

bool MainWindow::checkDfuUtilAvailable()
{
    const QString path = getDfuUtilPath();
    const QFileInfo tool(path);
    if (!tool.exists()) {
        m_logger->error(QStringLiteral("dfu-util does not exist: %1").arg(path));
        return false;
    }
    if (!tool.isExecutable()) {
        m_logger->error(QStringLiteral("dfu-util is not executable: %1").arg(path));
        return false;
    }
    return true;
}

void MainWindow::onBtnGuidance()
{
    DialogGuidance dialog;
    dialog.exec();
}
