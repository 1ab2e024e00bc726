#include "upgradeengine.h"

#include "dfu/dfuutilpath.h"
#include "dfu/flashcommand.h"
#include "dfu/processerror.h"
#include "engine/downloadprogress.h"
#include "engine/firmwarefile.h"
#include "engine/sha256.h"
#include "manifest/manifest.h"

#include <QDateTime>
#include <QDebug>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

namespace {

using Stage = RunProgress::Stage;

constexpr qint64 kSpeedIntervalMs = 1000;

// Where a run keeps its files; empty when there is no such folder.
QString temporaryFolder()
{
    const QString path = QStandardPaths::writableLocation(QStandardPaths::TempLocation);
    return QFileInfo(path).isDir() ? path : QString();
}

} // namespace

bool UpgradeEngine::talksToDevice(Phase phase)
{
    return phase == Phase::Scanning || writesDevice(phase);
}

bool UpgradeEngine::writesDevice(Phase phase)
{
    return phase == Phase::Flashing || phase == Phase::ReadingBack || phase == Phase::Leaving;
}

UpgradeEngine::UpgradeEngine(const Endpoints &endpoints, Manifest *manifest,
                             QNetworkAccessManager *network, QObject *parent)
    : QObject(parent)
    , m_endpoints(endpoints)
    , m_manifest(manifest)
    , m_network(network)
    , m_toolPath(dfuUtilPath())
    , m_scanner(new DeviceScanner(this))
{
    connect(m_scanner, &DeviceScanner::finished, this, &UpgradeEngine::onScanFinished);
    // Queued: whoever else shows the manifest's outcome sees this run still
    // waiting for it, whichever connection was made first.
    connect(m_manifest, &Manifest::manifestDownloaded, this, &UpgradeEngine::onManifestOutcome,
            Qt::QueuedConnection);
    m_burnTimer.setSingleShot(true);
    connect(&m_burnTimer, &QTimer::timeout, this, &UpgradeEngine::startBurning);
    m_restartTimer.setSingleShot(true);
    connect(&m_restartTimer, &QTimer::timeout, this, &UpgradeEngine::start);
    setLimits(m_limits);
}

UpgradeEngine::~UpgradeEngine()
{
    shutdown();
}

void UpgradeEngine::setLimits(const EngineLimits &limits)
{
    m_limits = limits;
    m_manifest->setTransferTimeout(limits.transferMs);
}

void UpgradeEngine::start()
{
    if (m_phase != Phase::Idle && m_phase != Phase::RestartPending)
        return;
    m_restartTimer.stop();
    endRun(0); // an image a fetch-only run kept
    m_device = DfuDevice();
    m_device.path = m_plan.usbPath;
    m_seen.clear();
    m_imageChecked = false;
    m_progress = RunProgress();
    if (m_plan.fetchOnly) {
        afterScan();
        return;
    }
    log(Level::Info, tr("Starting firmware upgrade process..."));
    showProgress(Stage::Scan, 0, tr("Starting upgrade..."));
    setPhase(Phase::Scanning);
    const QString problem = dfuUtilProblem(m_toolPath);
    if (!problem.isEmpty()) {
        log(Level::Error, problem);
        fail(UpgradeFailure::Stage::Scan, tr("Failed to meet upgrade preconditions"),
             Diagnosis::unusableTool(m_toolPath));
        return;
    }
    m_scanner->start(m_toolPath, m_limits.scanMs);
}

void UpgradeEngine::cancel()
{
    m_restartTimer.stop();
    if (m_phase == Phase::Idle)
        return;
    qDebug().noquote() << QStringLiteral("取消当前升级...");
    endRun(m_limits.cancelGraceMs);
    setPhase(Phase::Idle);
    log(Level::Info, tr("Upgrade cancelled by user"));
}

void UpgradeEngine::restart()
{
    cancel();
    setPhase(Phase::RestartPending);
    m_restartTimer.start(m_limits.restartDelayMs);
}

void UpgradeEngine::shutdown()
{
    m_restartTimer.stop();
    endRun(m_limits.closeGraceMs);
    // Silent: whoever listens may be going away too.
    m_phase = Phase::Idle;
}

void UpgradeEngine::setPhase(Phase phase)
{
    if (m_phase == phase)
        return;
    m_phase = phase;
    emit phaseChanged(phase);
}

void UpgradeEngine::log(Level level, const QString &text)
{
    emit logLine(level, text);
}

void UpgradeEngine::showProgress(RunProgress::Stage stage, int percent, const QString &text)
{
    m_progress.stage = stage;
    m_progress.percent = percent;
    m_progress.value = std::max(m_progress.value, RunProgress::barValue(stage, percent));
    if (!text.isNull())
        m_progress.text = text;
    emit progress(m_progress);
}

void UpgradeEngine::showText(const QString &text)
{
    m_progress.text = text;
    emit progress(m_progress);
}

void UpgradeEngine::onScanFinished(const DeviceScanner::Result &result)
{
    if (m_phase != Phase::Scanning)
        return;
    const QString preconditions = tr("Failed to meet upgrade preconditions");
    if (result.error) {
        log(Level::Error, tr("Scanning device timeout"));
        Diagnosis::Run run;
        run.phase = Diagnosis::Phase::Scan;
        run.processError = result.error;
        run.errorString = result.errorString;
        fail(UpgradeFailure::Stage::Scan, preconditions, Diagnosis::diagnose(run));
        return;
    }
    for (const QString &message : result.scan.otherMessages)
        qDebug().noquote() << QStringLiteral("dfu-util -l: ") + message;
    const Diagnosis::Finding finding = chooseDevice(result.scan);
    if (finding.cause != Diagnosis::Cause::None) {
        fail(UpgradeFailure::Stage::Scan, preconditions, finding);
        return;
    }
    afterScan();
}

Diagnosis::Finding UpgradeEngine::chooseDevice(const DfuScan &scan)
{
    const DeviceSelection selection{m_plan.serial, m_plan.usbPath};
    const Diagnosis::Finding finding = Diagnosis::diagnoseScan(scan, selection);
    const QList<DfuDevice> candidates = scan.candidates(selection);
    m_seen = scan.devices;
    const auto orUnknown = [](const QString &text) {
        return text.isEmpty() ? QStringLiteral("未知") : text;
    };
    if (!scan.devices.isEmpty())
        qDebug().noquote() << QStringLiteral("发现 %1 个设备").arg(scan.devices.size());
    for (int i = 0; i < scan.devices.size(); ++i) {
        const DfuDevice &device = scan.devices.at(i);
        qDebug().noquote() << QStringLiteral("设备 %1 - VID:PID: %2, 序列号: %3, 路径: %4")
                                  .arg(i + 1)
                                  .arg(device.vidPid, orUnknown(device.serial),
                                       orUnknown(device.path));
    }
    if (!scan.ravloProblems.isEmpty()) {
        log(Level::Error,
            tr("Device scanning error: %1").arg(scan.ravloProblems.join(QLatin1Char('\n'))));
    } else if (scan.listing.isEmpty()) {
        log(Level::Error, tr("The device did not connect successfully, please connect "
                             "the device to the PC"));
    } else if (scan.devices.isEmpty()) {
        log(Level::Error, tr("The device did not connect successfully, please connect the device"));
    } else if (candidates.isEmpty()) {
        qDebug().noquote() << QStringLiteral("未发现目标设备，请连接目标设备并进入 DFU 模式");
        log(Level::Error, m_plan.serial.isEmpty()
                              ? tr("No Ravlo device detected")
                              : tr("No Ravlo device with serial %1 detected").arg(m_plan.serial));
    } else if (candidates.size() > 1) {
        // What to do is the diagnosis', in the words of the front end.
        log(Level::Error, tr("%1 Ravlo devices are connected.").arg(candidates.size()));
    }
    if (finding.cause != Diagnosis::Cause::None)
        return finding;
    m_device = candidates.first();
    qDebug().noquote() << QStringLiteral("检测到目标设备，VID:PID: %1, 路径: %2")
                              .arg(m_device.vidPid, m_device.path);
    return finding;
}

void UpgradeEngine::afterScan()
{
    if (!m_plan.imageFile.isEmpty()) {
        m_imagePath = m_plan.imageFile;
        setPhase(Phase::Verifying);
        verify(Sha256::ofFile(m_plan.imageFile), m_plan.imageSha256);
    } else if (!manifestDigest().isEmpty()) {
        obtainImage();
    } else {
        fetchManifest();
    }
}

void UpgradeEngine::fetchManifest()
{
    // Nothing is written without the digest that vouches for it: a manifest
    // that has not arrived, or named none, is asked for once more.
    setPhase(Phase::FetchingManifest);
    showText(tr("Loading update information..."));
    if (!m_manifest->isDownloading())
        m_manifest->downloadManifest(m_endpoints.manifestUrl());
}

void UpgradeEngine::onManifestOutcome(bool success, const QString &errorMsg)
{
    if (m_phase != Phase::FetchingManifest)
        return;
    if (!manifestDigest().isEmpty()) {
        obtainImage();
        return;
    }
    if (!success && m_manifest->verificationFailed()) {
        fail(UpgradeFailure::Stage::Manifest,
             tr("The update information could not be verified (%1), so nothing was written. %2")
                 .arg(errorMsg, Manifest::verificationAdvice()));
        return;
    }
    const QString why =
        success ? tr("it names no SHA-256 digest for the firmware image") : errorMsg;
    fail(UpgradeFailure::Stage::Manifest,
         tr("The update information could not be loaded (%1), so nothing was written").arg(why));
}

QString UpgradeEngine::manifestDigest() const
{
    // Held to keys, the manifest holds only what they signed; a manifest that
    // is not, where the endpoints name keys, vouches for nothing.
    const bool vouched = m_endpoints.manifestKeys.isEmpty() ||
                         m_manifest->signature().result == SignatureCheck::Result::Verified;
    const QString digest = m_manifest->productSha256();
    return vouched && Sha256::isDigest(digest) ? digest : QString();
}

void UpgradeEngine::obtainImage()
{
    m_expectedSha256 = manifestDigest();
    // Nothing is downloaded that cannot be written.
    if (!fits(m_manifest->productSize()))
        return;
    const QString kept = m_cache.take(m_expectedSha256);
    if (kept.isEmpty()) {
        startFirmwareDownload();
        return;
    }
    log(Level::Info, tr("Using the firmware image downloaded before, unchanged since (SHA-256 "
                        "%1): nothing to download")
                         .arg(m_expectedSha256.toLower()));
    m_imagePath = kept;
    setPhase(Phase::Verifying);
    imageVerified(m_expectedSha256.toLower());
}

void UpgradeEngine::startFirmwareDownload()
{
    setPhase(Phase::Downloading);
    const QString tempPath = temporaryFolder();
    if (tempPath.isEmpty()) {
        fail(UpgradeFailure::Stage::Download,
             tr("Failed to create firmware file: the temporary folder does not exist"));
        return;
    }
    const QString url = m_endpoints.firmwareUrl();
    const QString path = QDir(tempPath).filePath(
        FirmwareFile::fileName(m_manifest->productVersion(), QDateTime::currentDateTime()));
    qDebug().noquote() << QStringLiteral("下载固件: %1").arg(url);
    qDebug().noquote() << QStringLiteral("保存到: %1").arg(path);
    showProgress(Stage::Download, 0, tr("Start downloading firmware"));
    m_imagePath = path;
    m_lastSpeedUpdateTime = QDateTime::currentMSecsSinceEpoch();
    m_lastBytesReceived = 0;

    m_download = new ImageDownload(m_network, this);
    connect(m_download, &ImageDownload::progress, this, &UpgradeEngine::onFirmwareDownloadProgress);
    connect(m_download, &ImageDownload::finished, this, &UpgradeEngine::onDownloadFinished);
    connect(m_download, &ImageDownload::notice, this,
            [this](const QString &text) { log(Level::Warning, text); });
    if (!m_download->start(QUrl(url), path, m_limits))
        fail(UpgradeFailure::Stage::Download, m_download->outcome().message);
}

void UpgradeEngine::onFirmwareDownloadProgress(qlonglong bytesReceived, qlonglong bytesTotal)
{
    if (bytesTotal <= 0) {
        showProgress(Stage::Download, 0, tr("Download firmware: Unknown size"));
        return;
    }
    const int percent = DownloadProgress::percent(bytesReceived, bytesTotal);
    showProgress(Stage::Download, percent);

    // The text with speed and remaining time changes at most once a second.
    const qint64 now = QDateTime::currentMSecsSinceEpoch();
    if (bytesReceived < m_lastBytesReceived) {
        // The download started over: the speed is measured from here.
        m_lastBytesReceived = 0;
        m_lastSpeedUpdateTime = now;
    }
    const qint64 elapsed = now - m_lastSpeedUpdateTime;
    if (elapsed <= kSpeedIntervalMs)
        return;
    const double speed =
        DownloadProgress::kilobytesPerSecond(bytesReceived - m_lastBytesReceived, elapsed);
    showText(DownloadProgress::barText(percent, speed, bytesTotal - bytesReceived));
    m_lastBytesReceived = bytesReceived;
    m_lastSpeedUpdateTime = now;
}

void UpgradeEngine::onDownloadFinished(const ImageDownload::Outcome &outcome)
{
    if (!outcome.complete) {
        if (outcome.networkError) {
            log(Level::Error, outcome.message);
            showText(tr("Network error"));
        }
        fail(UpgradeFailure::Stage::Download, outcome.message);
        return;
    }
    qDebug().noquote() << QStringLiteral("固件下载完成: %1").arg(m_download->filePath());
    setPhase(Phase::Verifying);
    verify(m_download->sha256(), m_expectedSha256);
}

void UpgradeEngine::verify(const QString &actualSha256, const QString &expectedSha256)
{
    showProgress(Stage::Verify, 0, tr("Verifying firmware integrity..."));
    qDebug().noquote() << QStringLiteral("开始校验固件完整性");
    const QString failure = tr("Firmware verification failed, please click upgrade again");
    if (actualSha256.isEmpty()) {
        qDebug().noquote() << QStringLiteral("无法计算文件的SHA256值");
        fail(UpgradeFailure::Stage::Verify, failure);
        return;
    }
    qDebug().noquote() << QStringLiteral("计算得到的SHA256: %1").arg(actualSha256);
    qDebug().noquote() << QStringLiteral("期望的SHA256:    %1").arg(expectedSha256);
    if (actualSha256 != expectedSha256.toLower()) {
        qDebug().noquote() << QStringLiteral("SHA256校验失败！");
        qDebug().noquote() << QStringLiteral("文件可能已被篡改或下载损坏");
        qDebug().noquote() << QStringLiteral("期望: %1").arg(expectedSha256);
        qDebug().noquote() << QStringLiteral("实际: %1").arg(actualSha256);
        fail(UpgradeFailure::Stage::Verify, failure);
        return;
    }
    qDebug().noquote() << QStringLiteral("✓ SHA256校验通过");
    imageVerified(actualSha256);
}

void UpgradeEngine::imageVerified(const QString &sha256)
{
    m_imageSha256 = sha256;
    // For the next run, with the manifest that vouched for it (unless that
    // changed meanwhile); a local image is the user's own.
    if (m_plan.imageFile.isEmpty()) {
        if (m_download && !m_cache.keepImage(m_imagePath, sha256))
            qDebug().noquote() << QStringLiteral("无法保留固件: %1").arg(CacheFolder::path());
        if (manifestDigest().toLower() == sha256)
            m_cache.keepManifest(m_manifest->source(), m_manifest->signatureFile());
    }
    if (m_plan.fetchOnly) {
        setPhase(Phase::Idle);
        emit succeeded();
        return;
    }
    // An image that cannot fit is not sent to the device at all.
    m_imageSize = QFileInfo(m_imagePath).size();
    if (!fits(m_imageSize))
        return;
    showProgress(Stage::Verify, 100, tr("Firmware download completed, start burning"));
    setPhase(Phase::BurnPending);
    m_imageChecked = true;
    m_burnTimer.start(m_limits.burnDelayMs);
}

bool UpgradeEngine::fits(qint64 imageSize)
{
    const qint64 flashSize = m_device.flashSize();
    if (imageSize <= 0 || flashSize <= 0 || imageSize <= flashSize)
        return true;
    fail(UpgradeFailure::Stage::Flash,
         tr("The firmware image is larger than the device's flash memory"),
         Diagnosis::imageTooLarge(imageSize, flashSize));
    return false;
}

void UpgradeEngine::startBurning()
{
    // The road here chose one device by its scan and checked the image
    // against its flash; a flash without both is the engine's fault.
    Q_ASSERT(m_device.isRavlo() && m_imageChecked);
    if (!m_device.isRavlo() || !m_imageChecked) {
        fail(UpgradeFailure::Stage::Flash, tr("No device was chosen for the firmware"));
        return;
    }
    // An empty image leaves nothing to read back.
    if (m_plan.verify && m_imageSize > 0) {
        // A folder of its own: the tool will not write into a file that exists.
        const QString folder = temporaryFolder();
        if (!folder.isEmpty())
            m_readBackDir = std::make_unique<QTemporaryDir>(
                QDir(folder).filePath(QStringLiteral("Ravlo_readback_XXXXXX")));
        if (!m_readBackDir || !m_readBackDir->isValid()) {
            fail(UpgradeFailure::Stage::Flash,
                 tr("Failed to create the file the firmware is read back into, so nothing was "
                    "written"));
            return;
        }
    }
    setPhase(Phase::Flashing);
    showProgress(Stage::Connect, 0, tr("Burning firmware .."));
    qDebug().noquote() << QStringLiteral("开始烧录固件...");
    m_awake.hold(tr("Writing firmware to a Ravlo device"));
    runStep(FlashStep::Write,
            FlashCommand::write(m_device.path, QFileInfo(m_imagePath).absoluteFilePath()));
}

void UpgradeEngine::runStep(FlashStep step, const QStringList &arguments)
{
    m_step = new StepRun(step, this);
    connect(m_step, &StepRun::progress, this, [this](const ToolProgress &shown) {
        showProgress(RunProgress::ofTool(shown.stage), shown.percent, shown.text);
    });
    connect(m_step, &StepRun::finished, this, &UpgradeEngine::onStepFinished);
    m_step->start(m_toolPath, arguments, QFileInfo(m_imagePath).absolutePath(), m_imageSize,
                  m_limits.startMs);
}

void UpgradeEngine::onStepFinished(const StepRun::Result &result)
{
    using Status = StepRun::Result::Status;
    m_step->deleteLater(); // it is inside its own signal
    m_step = nullptr;
    switch (result.step) {
    case FlashStep::Write:
        if (result.status != Status::Done)
            failStep(result);
        else if (m_readBackDir)
            readBack();
        else
            leave();
        return;
    case FlashStep::ReadBack:
        if (result.status == Status::Done) {
            compareReadBack();
        } else if (result.status == Status::Refused) {
            endRun(0);
            log(Level::Warning, tr("Firmware written, but not verified"));
            setPhase(Phase::Idle);
            emit unproven(Diagnosis::diagnose(diagnosisRun(result)));
        } else {
            failStep(result);
        }
        return;
    case FlashStep::Leave:
        // The firmware is proven by now: a device that does not confirm the
        // leave only needs to be switched off and on.
        if (result.status != Status::Done)
            log(Level::Warning, tr("The device did not confirm that it left DFU mode; switch it "
                                   "off and on to start the new firmware"));
        succeed();
        return;
    }
}

void UpgradeEngine::readBack()
{
    setPhase(Phase::ReadingBack);
    showProgress(Stage::ReadBack, 0, tr("Verifying written firmware..."));
    runStep(FlashStep::ReadBack,
            FlashCommand::readBack(m_device.path, m_imageSize, readBackFile()));
}

void UpgradeEngine::compareReadBack()
{
    const QString readBack = Sha256::ofFile(readBackFile());
    qDebug().noquote() << QStringLiteral("回读的SHA256: %1").arg(readBack);
    if (readBack.isEmpty()) {
        fail(UpgradeFailure::Stage::ReadBack,
             tr("The firmware read back from the device could not be opened"));
    } else if (readBack != m_imageSha256) {
        fail(UpgradeFailure::Stage::ReadBack,
             tr("The firmware read back from the device differs from the image"),
             Diagnosis::describe(Diagnosis::Cause::NotKept));
    } else {
        leave();
    }
}

void UpgradeEngine::leave()
{
    setPhase(Phase::Leaving);
    showProgress(Stage::Leave, 0);
    runStep(FlashStep::Leave, FlashCommand::leave(m_device.path));
}

void UpgradeEngine::succeed()
{
    endRun(0);
    showProgress(Stage::Done, 100, tr("Firmware upgrade completed!"));
    log(Level::Info, tr("Upgrade completed successfully"));
    setPhase(Phase::Idle);
    emit succeeded();
}

Diagnosis::Run UpgradeEngine::diagnosisRun(const StepRun::Result &result) const
{
    Diagnosis::Run run;
    run.phase =
        result.step == FlashStep::ReadBack ? Diagnosis::Phase::ReadBack : Diagnosis::Phase::Flash;
    run.output = result.output;
    run.exitCode = result.exitCode;
    run.seen = m_seen;
    run.usbPath = m_device.path;
    return run;
}

void UpgradeEngine::failStep(const StepRun::Result &result)
{
    using Status = StepRun::Result::Status;
    UpgradeFailure failure;
    failure.stage = result.step == FlashStep::ReadBack ? UpgradeFailure::Stage::ReadBack
                                                       : UpgradeFailure::Stage::Flash;
    Diagnosis::Run run = diagnosisRun(result);
    if (result.status == Status::StartTimeout) {
        failure.reason = tr("Unable to start dfu uti process");
        failure.finding = Diagnosis::describe(Diagnosis::Cause::ToolCannotStart);
    } else if (result.status == Status::ProcessError) {
        run.processError = result.error;
        run.errorString = result.errorString;
        failure.finding = Diagnosis::diagnose(run);
        failure.processErrorKind = ProcessErrorText::kindText(result.error);
        failure.processErrorDetails = failure.finding.inOneLine();
        failure.reason = tr("dfu-util process error: %1 - %2")
                             .arg(failure.processErrorKind, failure.processErrorDetails);
    } else {
        failure.finding = Diagnosis::diagnose(run);
        const QString reason = Diagnosis::endingMessage(result.output);
        failure.reason = tr("dfu-util failed with exit code %1").arg(result.exitCode);
        if (!reason.isEmpty())
            failure.reason += QStringLiteral(": ") + reason;
    }
    fail(failure);
}

void UpgradeEngine::fail(UpgradeFailure::Stage stage, const QString &reason,
                         const Diagnosis::Finding &finding)
{
    UpgradeFailure failure;
    failure.stage = stage;
    failure.reason = reason;
    failure.finding = finding;
    fail(failure);
}

void UpgradeEngine::fail(const UpgradeFailure &failure)
{
    endRun(m_limits.cancelGraceMs);
    setPhase(Phase::Idle);
    emit failed(failure);
}

void UpgradeEngine::endRun(int graceMs)
{
    m_burnTimer.stop();
    m_scanner->stop();
    // Released by deleteLater: a run may end inside their own signals.
    if (StepRun *step = m_step.data()) {
        m_step = nullptr;
        if (step->isRunning())
            qDebug().noquote() << QStringLiteral("停止dfu-util进程...");
        if (!step->stop(graceMs))
            qDebug().noquote() << QStringLiteral("强制终止dfu-util进程");
        step->deleteLater();
    }
    // Once no tool can write into it any more.
    m_readBackDir.reset();
    if (ImageDownload *download = m_download.data()) {
        m_download = nullptr;
        download->discard();
        download->deleteLater();
    }
    m_imagePath.clear();
    m_imageSha256.clear();
    // Once no tool writes any more.
    m_awake.release();
}

QString UpgradeEngine::verifiedImage() const
{
    return m_plan.fetchOnly && m_phase == Phase::Idle && !m_imageSha256.isEmpty() ? m_imagePath
                                                                                  : QString();
}

QString UpgradeEngine::verifiedSha256() const
{
    return verifiedImage().isEmpty() ? QString() : m_imageSha256;
}

QString UpgradeEngine::readBackFile() const
{
    return m_readBackDir->filePath(QStringLiteral("readback.bin"));
}
