// MainWindow: construction, the start-up check of the tool, teardown, and the
// small helpers every area uses (progress bar, tool path).

#include "mainwindow.h"
#include "ui_mainwindow.h"

#include "app/dialogguidance.h"
#include "app/framelesswindowhelper.h"
#include "app/logviewmenu.h"
#include "dfu/dfuutilpath.h"
#include "log/logger.h"
#include "manifest/manifest.h"
#include "ravlo_config.h"

#include <QDebug>
#include <QMessageBox>
#include <QNetworkAccessManager>

MainWindow::MainWindow(QWidget *parent)
    : MainWindow(Endpoints::production(), parent)
{}

MainWindow::MainWindow(const Endpoints &endpoints, QWidget *parent)
    : QMainWindow(parent)
    , m_endpoints(endpoints)
    , ui(new Ui::MainWindow)
    , m_websiteUrl(endpoints.storeUrl)
{
    ui->setupUi(this);
    setWindowTitle(QStringLiteral("Ravlo"));
    ui->ProductName->setText(QStringLiteral("Ravlo Firmware Downloader ") +
                             QCoreApplication::applicationVersion());

    initComponents();
    initUI();
    initConnections();
    checkDependencies();
    // Written straight into the view, without time stamp or level: what a demo
    // build is, then the instructions.
#ifdef RAVLO_DEMO
    const QString demo = tr("Demo: the Ravlo device is simulated and the update bucket is local "
                            "(%1).")
                             .arg(m_endpoints.bucketBaseUrl);
    ui->LogEdit->append(
        QStringLiteral("<font color=\"#8FD3FF\">%1</font>").arg(demo.toHtmlEscaped()));
#endif
    ui->LogEdit->append(
        QStringLiteral("<font color=\"#FFFFFF\">%1</font>")
            .arg(tr("Please press and hold the \"1\" key, then turn on the power switch and wait "
                    "2-3 seconds before releasing the \"1\" key. This will bring the device to "
                    "the \"DFU FW update mode\" interface. Ensure the device is connected to "
                    "your PC.")));
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
    m_manifest = new Manifest(m_networkManager, m_endpoints.manifestKeys, this);
    m_engine = new UpgradeEngine(m_endpoints, m_manifest, m_networkManager, this);
}

void MainWindow::initUI()
{
    setWindowFlags(Qt::FramelessWindowHint);
    FramelessWindowHelper::instance()->addWidget(this);

    ui->line->setStyleSheet(QStringLiteral("color: gray;"));
    const QString host = m_endpoints.storeHost();
    ui->SupplierId->setText(host);
    ui->toolButton->setText(ui->toolButton->text().arg(host));
    ui->Product->setText(ui->Product->text().arg(host));
    initProgressBar();
    m_logger->setTextEdit(ui->LogEdit);
    LogViewMenu::install(ui->LogEdit);

    ui->BtnVersion->setEnabled(true);
    ui->BtnUpgrade->setEnabled(true);

    showBuiltInPicturesAfterFirstFrame();
    m_websiteUrl = m_endpoints.storeUrl;
    setupToolButtonLink();
    setupBtnPictureLink();
}

void MainWindow::initProgressBar()
{
    ui->BurningProgress->setRange(0, 100);
    ui->BurningProgress->setValue(0);
    ui->BurningProgress->setTextVisible(true);
    ui->BurningProgress->setFormat(tr("Ready"));
}

void MainWindow::initConnections()
{
    connect(ui->BtnMinimize, &QPushButton::clicked, this, &MainWindow::showMinimized);
    connect(ui->BtnClose, &QPushButton::clicked, this, &MainWindow::close);
    connect(ui->BtnVersion, &QPushButton::clicked, this, &MainWindow::VersionButtonClicked);
    connect(ui->BtnUpgrade, &QPushButton::clicked, this, &MainWindow::UpgradeButtonClicked);
    connect(m_manifest, &Manifest::manifestDownloaded, this, &MainWindow::onManifestDownloaded);
    connect(ui->BtnGuidance, &QPushButton::clicked, this, &MainWindow::onBtnGuidance);

    connect(m_engine, &UpgradeEngine::phaseChanged, this, &MainWindow::showPhase);
    connect(m_engine, &UpgradeEngine::progress, this, [this](const RunProgress &progress) {
        setProgressValue(progress.value);
        setProgressText(progress.text);
    });
    connect(m_engine, &UpgradeEngine::logLine, this, &MainWindow::showLogLine);
    connect(m_engine, &UpgradeEngine::failed, this, &MainWindow::onUpgradeFailed);
    connect(m_engine, &UpgradeEngine::succeeded, this, &MainWindow::onUpgradeSucceeded);
    connect(m_engine, &UpgradeEngine::unproven, this, &MainWindow::onUpgradeUnproven);
}

void MainWindow::checkDependencies()
{
    const QString path = getDfuUtilPath();
    if (dfuUtilProblem(path).isEmpty()) {
        qDebug().noquote() << QStringLiteral("dfu-util 工具就绪: %1").arg(dfuUtilShownPath(path));
    } else {
        m_logger->error(
            tr("dfu-util Verification failed: No executable dfu-util found: %1").arg(path));
        QMessageBox::critical(this, tr("Dependency error"),
                              tr("dfu-util not found or unavailable\nPlease ensure that the "
                                 "executable file exists at the following path:\n%1")
                                  .arg(path),
                              QMessageBox::Ok, QMessageBox::NoButton);
    }

    m_manifest->downloadManifest(m_endpoints.manifestUrl());
    downloadProductImage();
    downloadProductImage2();
}

void MainWindow::cleanupResources()
{
    // The engine stops its download and its tool within the close grace and
    // removes the image.
    m_engine->disconnect(this);
    m_engine->shutdown();
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

QString MainWindow::getDfuUtilPath() const
{
    return dfuUtilPath();
}

bool MainWindow::checkDfuUtilAvailable()
{
    const QString problem = dfuUtilProblem(getDfuUtilPath());
    if (!problem.isEmpty())
        m_logger->error(problem);
    return problem.isEmpty();
}

void MainWindow::onBtnGuidance()
{
    DialogGuidance dialog;
    dialog.exec();
}
