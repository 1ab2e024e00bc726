// The road of an upgrade without a window: the real dfu-util against the
// simulated device, the image from a loopback HTTPS bucket, the stand-in only
// for what the real tool cannot be made to do. Every road must end in one
// verdict, with no image file and no child process left behind.

#include "dfusim.h"
#include "enginerig.h"
#include "release.h"
#include "standin.h"
#include "transcripts.h"

#include "engine/firmwarefile.h"
#include "manifest/manifest.h"

#include <QtTest>


namespace {

using Fault = DfuSimScenario::Fault;
using Phase = UpgradeEngine::Phase;
using Stage = UpgradeFailure::Stage;
using Step = BarRecorder::Step;
using Cause = Diagnosis::Cause;

const QByteArray &image()
{
    static const QByteArray bytes = DfuSim::image(150000);
    return bytes;
}

// What the bucket and the bus hold for one road.
enum class Setup
{
    NoManifest,
    ManifestStalls,
    ManifestNotJson,
    NoDigest,
    DigestNotText,
    DigestMismatch,
    NoDevice,
    TwoDevices,
    OtherDeviceOnly,
    OpenDenied,
    ToolMissing,
    Dropped,
    Stalled,
    NotFound,
    ServerError,
    NoContent,
    RedirectToHttp,
    TooLarge,
    NoTempFolder,
    DiskFull,
    BlockError,
    Vanish,
    Crash,
    CannotStart,
};

// Every image file the engine may start in the next minute is a link to
// /dev/full, where each write fails as on a full disk.
void fillDiskAhead(const QString &directory)
{
    const QDateTime now = QDateTime::currentDateTime();
    for (int second = 0; second < 60; ++second)
        QFile::link(QStringLiteral("/dev/full"),
                    QDir(directory).filePath(FirmwareFile::fileName("1.2", now.addSecs(second))));
}

QStringList realImages(const QString &directory)
{
    QStringList files = Release::imageFiles(directory);
    files.erase(std::remove_if(files.begin(), files.end(),
                               [&](const QString &name) {
                                   return QFileInfo(QDir(directory).filePath(name)).isSymLink();
                               }),
                files.end());
    return files;
}

} // namespace

Q_DECLARE_METATYPE(Fault)
Q_DECLARE_METATYPE(Setup)
Q_DECLARE_METATYPE(Stage)
Q_DECLARE_METATYPE(Cause)

class TestUpgradeEngine : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void goodRun_data();
    void goodRun();
    void failedRun_data();
    void failedRun();
    void cancel_data();
    void cancel();
    void restartRunsAgain();

private:
    void prepare(Setup setup, EngineRig &rig);
    // Both the scan and the flash run the stand-in: the scan lists one
    // Ravlo device, the flash runs the script.
    void useStandIn(EngineRig &rig, const QByteArray &flash,
                    const QByteArray &list = QByteArray());
    // Nothing of the run is left: no image, no process.
    void verifyNothingLeft(EngineRig &rig);

    std::unique_ptr<QTemporaryDir> m_dir;
    DfuSimScenario m_bus;
};

void TestUpgradeEngine::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    m_bus = DfuSimScenario(m_dir->path());
}

void TestUpgradeEngine::cleanup()
{
    DfuSimScenario::clearFromThisProcess();
}

void TestUpgradeEngine::useStandIn(EngineRig &rig, const QByteArray &flash,
                                   const QByteArray &list)
{
    const QString path = m_dir->filePath(QStringLiteral("dfu-util"));
    QVERIFY(StandIn::install(path, flash, list));
    rig.engine().setToolPath(path);
}

void TestUpgradeEngine::verifyNothingLeft(EngineRig &rig)
{
    QCOMPARE(rig.engine().phase(), Phase::Idle);
    QCOMPARE(realImages(rig.tempPath()), QStringList());
    QTRY_COMPARE(Release::childProcesses(), QStringList());
}

void TestUpgradeEngine::goodRun_data()
{
    QTest::addColumn<QString>("digest");
    QTest::addColumn<bool>("manifestFirst"); // loaded before the run, or by it
    QTest::addColumn<Fault>("fault");
    QTest::addColumn<QString>("otherDevice"); // attached beside the Ravlo device
    QTest::addColumn<bool>("redirected");     // the image is elsewhere on the https bucket

    const QString digest = Release::sha256Hex(image());
    QTest::newRow("manifest loaded") << digest << true << Fault::None << QString() << false;
    QTest::newRow("manifest fetched by the run")
        << digest << false << Fault::None << QString() << false;
    QTest::newRow("upper-case digest")
        << digest.toUpper() << true << Fault::None << QString() << false;
    // Every byte written, then the device resets before it answers the leave.
    QTest::newRow("exit 74 after completion")
        << digest << true << Fault::LeaveSilent << QString() << false;
    QTest::newRow("another device attached")
        << digest << true << Fault::None << "1234:5678" << false;
    QTest::newRow("redirect within https") << digest << true << Fault::None << QString() << true;
}

void TestUpgradeEngine::goodRun()
{
    QFETCH(QString, digest);
    QFETCH(bool, manifestFirst);
    QFETCH(Fault, fault);
    QFETCH(QString, otherDevice);
    QFETCH(bool, redirected);
    if (!otherDevice.isEmpty())
        m_bus.addDevice(otherDevice);
    m_bus.addDevice().setFault(fault);
    QVERIFY(m_bus.setFlash(DfuSim::previousFirmware()));
    m_bus.applyToThisProcess();
    EngineRig rig;
    Release::serve(rig.bucket(), image(), digest);
    if (redirected) {
        rig.bucket().serve("/moved.bin", LoopbackReply::ok(image()));
        rig.bucket().serve(Release::kFirmwarePath, LoopbackReply::redirect(302, "/moved.bin"));
    }
    if (manifestFirst)
        QVERIFY(rig.loadManifest());

    rig.engine().start();
    QTRY_VERIFY_WITH_TIMEOUT(rig.ended(), 30000);
    QCOMPARE(rig.successes, 1);
    QCOMPARE(rig.log, (QStringList{"INFO: Starting firmware upgrade process...",
                                   "INFO: Upgrade completed successfully"}));
    QList<Phase> road = {Phase::Scanning,    Phase::Downloading, Phase::Verifying,
                         Phase::BurnPending, Phase::Flashing,    Phase::Idle};
    if (!manifestFirst)
        road.insert(1, Phase::FetchingManifest);
    QCOMPARE(rig.phases, road);
    QVERIFY(m_bus.flash(otherDevice.isEmpty() ? 0 : 1).left(image().size()) == image());
    QCOMPARE(rig.bucket().requestCount(Release::kFirmwarePath), 1);
    verifyNothingLeft(rig);

    // Erase 0 to 10, write 10 to 90, never back: the leave lines after the
    // completion keep the bar at 98.
    const QList<Step> steps = rig.bar->stepsAfter("Firmware download completed, start burning");
    QVERIFY(!steps.isEmpty());
    QCOMPARE(steps.first(), (Step{50, "Burning firmware .."}));
    QCOMPARE(steps.last(), (Step{100, "Firmware upgrade completed!"}));
    QVERIFY(std::is_sorted(steps.begin() + 1, steps.end(),
                           [](const Step &a, const Step &b) { return a.value < b.value; }));
    QVERIFY(std::any_of(steps.begin(), steps.end(), [](const Step &s) {
        return s.text.endsWith(QStringLiteral("/150000 bytes)"));
    }));
}

void TestUpgradeEngine::prepare(Setup setup, EngineRig &rig)
{
    const QString digest = Release::sha256Hex(
        setup == Setup::DigestMismatch ? DfuSim::image(image().size(), 2) : image());
    Release::serve(rig.bucket(), image(), digest);
    LoopbackReply manifest = LoopbackReply::status(404);
    QByteArray json = Release::manifestJson("V1.0.0", "", "1.2", QString());
    switch (setup) {
    case Setup::NoManifest:
        rig.bucket().serve(Release::kManifestPath, LoopbackReply::status(404));
        break;
    case Setup::ManifestStalls:
        rig.bucket().serve(Release::kManifestPath, LoopbackReply::ok("{\"a\":").stallAfter(2));
        break;
    case Setup::ManifestNotJson:
        rig.bucket().serve(Release::kManifestPath, LoopbackReply::ok("<html>"));
        break;
    case Setup::NoDigest:
        rig.bucket().serve(Release::kManifestPath, LoopbackReply::ok(json));
        break;
    case Setup::DigestNotText:
        json.replace("\"sha256\": \"\"", "\"sha256\": 12");
        rig.bucket().serve(Release::kManifestPath, LoopbackReply::ok(json));
        break;
    case Setup::Dropped:
        rig.bucket().serve(Release::kFirmwarePath, LoopbackReply::ok(image()).dropAfter(70000));
        break;
    case Setup::Stalled:
        rig.bucket().serve(Release::kFirmwarePath, LoopbackReply::ok(image()).stallAfter(70000));
        break;
    case Setup::NotFound:
        rig.bucket().serve(Release::kFirmwarePath, LoopbackReply::status(404, "<h1>gone</h1>"));
        break;
    case Setup::ServerError:
        rig.bucket().serve(Release::kFirmwarePath, LoopbackReply::status(500, "<h1>oops</h1>"));
        break;
    case Setup::NoContent:
        rig.bucket().serve(Release::kFirmwarePath, LoopbackReply::status(204));
        break;
    case Setup::RedirectToHttp:
        rig.bucket().serve(Release::kFirmwarePath,
                           LoopbackReply::redirect(302, "http://127.0.0.1:9/image.bin"));
        break;
    case Setup::TooLarge: {
        const QByteArray large = DfuSim::image(DfuSim::kFlashSize + 2048);
        Release::serve(rig.bucket(), large);
        break;
    }
    case Setup::NoTempFolder:
        qputenv("TMPDIR", QFile::encodeName(QDir(rig.tempPath()).filePath("gone")));
        break;
    case Setup::DiskFull:
        fillDiskAhead(rig.tempPath());
        break;
    default:
        break;
    }

    switch (setup) {
    case Setup::NoDevice:
        break;
    case Setup::TwoDevices:
        m_bus.addDevice().addDevice();
        break;
    case Setup::OtherDeviceOnly:
        m_bus.addDevice("1234:5678");
        break;
    case Setup::OpenDenied:
        m_bus.addDevice().setFault(Fault::OpenDenied);
        break;
    case Setup::BlockError:
        m_bus.addDevice().setFault(Fault::BlockError, 40);
        break;
    case Setup::Vanish:
        m_bus.addDevice().setFault(Fault::Vanish, 20);
        break;
    default:
        m_bus.addDevice();
    }
    QVERIFY(m_bus.setFlash(DfuSim::previousFirmware()));
    m_bus.applyToThisProcess();
    if (setup == Setup::ToolMissing)
        rig.engine().setToolPath(m_dir->filePath("no-such-tool"));
    if (setup == Setup::Crash)
        useStandIn(rig, StandIn::kCrash);
    // The tool is gone by the time the image is ready.
    if (setup == Setup::CannotStart)
        connect(&rig.engine(), &UpgradeEngine::phaseChanged, &rig, [&rig, this](Phase phase) {
            if (phase == Phase::BurnPending)
                rig.engine().setToolPath(m_dir->filePath(QStringLiteral("gone")));
        });
}

void TestUpgradeEngine::failedRun_data()
{
    QTest::addColumn<Setup>("setup");
    QTest::addColumn<Stage>("stage");
    QTest::addColumn<QString>("reason"); // a regular expression
    QTest::addColumn<QString>("logged"); // a regular expression for the last log line, or ""
    QTest::addColumn<int>("imageRequests");
    QTest::addColumn<Cause>("cause"); // what the user is told about the tool or the device

    const QString preconditions = QStringLiteral("^Failed to meet upgrade preconditions$");
    const QString noInfo = QStringLiteral("^The update information could not be loaded \\(.+\\), "
                                          "so nothing was written$");
    const QString network = QStringLiteral("^Network error: .+");
    // Nothing unverified is ever written: no image is asked for without a digest.
    QTest::newRow("manifest 404") << Setup::NoManifest << Stage::Manifest << noInfo << "" << 0
                                  << Cause::None;
    QTest::newRow("manifest stalls")
        << Setup::ManifestStalls << Stage::Manifest << noInfo << "" << 0 << Cause::None;
    QTest::newRow("manifest not JSON")
        << Setup::ManifestNotJson << Stage::Manifest << noInfo << "" << 0 << Cause::None;
    QTest::newRow("no digest") << Setup::NoDigest << Stage::Manifest << noInfo << "" << 0
                               << Cause::None;
    QTest::newRow("digest not text")
        << Setup::DigestNotText << Stage::Manifest << noInfo << "" << 0 << Cause::None;
    QTest::newRow("digest mismatch") << Setup::DigestMismatch << Stage::Verify
                                     << "^Firmware verification failed, please click upgrade again$"
                                     << "" << 1 << Cause::None;
    QTest::newRow("no device") << Setup::NoDevice << Stage::Scan << preconditions
                               << "^ERROR: The device did not connect successfully, please "
                                  "connect the device$"
                               << 0 << Cause::NoDevice;
    // Told apart by their USB paths although nothing else differs.
    QTest::newRow("two Ravlo devices")
        << Setup::TwoDevices << Stage::Scan << preconditions
        << "^ERROR: 2 Ravlo devices are connected. Connect only the one to upgrade" << 0
        << Cause::SeveralDevices;
    QTest::newRow("another device only")
        << Setup::OtherDeviceOnly << Stage::Scan << preconditions
        << "^ERROR: No Ravlo device detected$" << 0 << Cause::OtherDeviceOnly;
    QTest::newRow("device refuses to open")
        << Setup::OpenDenied << Stage::Scan << preconditions
        << "^ERROR: Device scanning error: dfu-util: Cannot open DFU device 0483:df11 .+ "
           "\\(LIBUSB_ERROR_ACCESS\\)$"
        << 0 << Cause::Permission;
    QTest::newRow("tool missing") << Setup::ToolMissing << Stage::Scan << preconditions
                                  << "^ERROR: dfu-util does not exist: .+" << 0
                                  << Cause::ToolMissing;
    QTest::newRow("connection dropped") << Setup::Dropped << Stage::Download << network
                                        << "^ERROR: Network error: .+" << 1 << Cause::None;
    QTest::newRow("transfer stalls") << Setup::Stalled << Stage::Download << network
                                     << "^ERROR: Network error: .+" << 1 << Cause::None;
    QTest::newRow("HTTP 404") << Setup::NotFound << Stage::Download << network << "" << 1
                              << Cause::None;
    QTest::newRow("HTTP 500") << Setup::ServerError << Stage::Download << network << "" << 1
                              << Cause::None;
    QTest::newRow("HTTP 204") << Setup::NoContent << Stage::Download
                              << "^Unexpected server response \\(HTTP 204\\)$"
                              << "" << 1 << Cause::None;
    // Redirects are followed, but never from https to plain http.
    QTest::newRow("redirect to http") << Setup::RedirectToHttp << Stage::Download
                                      << "^(Network error|Unexpected server response).+"
                                      << "" << 1 << Cause::None;
    QTest::newRow("temporary folder missing")
        << Setup::NoTempFolder << Stage::Download
        << "^Failed to create firmware file: the temporary folder does not exist$"
        << "" << 0 << Cause::None;
    QTest::newRow("disk full") << Setup::DiskFull << Stage::Download
                               << "^Failed to write firmware file$"
                               << "" << 1 << Cause::None;
    // The tool's own reason goes with the failure.
    QTest::newRow("block fails to program")
        << Setup::BlockError << Stage::Flash
        << "^dfu-util failed with exit code 74: Failed to write whole chunk"
        << "" << 1 << Cause::DeviceRefused;
    QTest::newRow("device gone mid-write") << Setup::Vanish << Stage::Flash
                                           << "^dfu-util failed with exit code 74: Error during "
                                              "download$"
                                           << "" << 1 << Cause::ConnectionLost;
    QTest::newRow("tool crashes") << Setup::Crash << Stage::Flash
                                  << "^dfu-util process error: Process crashed - .+"
                                  << "" << 1 << Cause::ToolCrashed;
    QTest::newRow("image larger than the flash")
        << Setup::TooLarge << Stage::Flash
        << "^The firmware image is larger than the device's flash memory$"
        << "" << 1 << Cause::ImageTooLarge;
    QTest::newRow("tool cannot start") << Setup::CannotStart << Stage::Flash
                                       << "^dfu-util process error: Process failed to start - .+"
                                       << "" << 1 << Cause::ToolMissing;
}

void TestUpgradeEngine::failedRun()
{
    QFETCH(Setup, setup);
    EngineRig rig;
    prepare(setup, rig);

    rig.engine().start();
    QTRY_VERIFY_WITH_TIMEOUT(rig.ended(), 30000);
    QCOMPARE(rig.successes, 0);
    QCOMPARE(rig.failures.size(), 1);
    const UpgradeFailure failure = rig.failures.first();
    QTEST(failure.stage, "stage");
    QFETCH(QString, reason);
    QVERIFY2(QRegularExpression(reason).match(failure.reason).hasMatch(),
             qPrintable(failure.reason));
    QFETCH(QString, logged);
    if (!logged.isEmpty())
        QVERIFY2(QRegularExpression(logged).match(rig.log.last()).hasMatch(),
                 qPrintable(rig.log.join('\n')));
    QCOMPARE(failure.processErrorKind.isEmpty(),
             setup != Setup::Crash && setup != Setup::CannotStart);
    QTEST(rig.bucket().requestCount(Release::kFirmwarePath), "imageRequests");
    QTEST(failure.finding.cause, "cause");
    QCOMPARE(failure.finding.what.isEmpty(), failure.finding.cause == Cause::None);
    if (failure.stage != Stage::Flash || setup == Setup::TooLarge)
        QVERIFY(m_bus.flash() == DfuSim::previousFirmware());
    verifyNothingLeft(rig);
    if (setup == Setup::DiskFull)
        QCOMPARE(QDir(rig.tempPath()).entryList(QDir::System).size(), 59);
}

void TestUpgradeEngine::cancel_data()
{
    QTest::addColumn<Phase>("phase");
    QTest::addColumn<bool>("shutdown"); // the program ends instead of a cancel
    QTest::addColumn<bool>("toolIgnoresTerm");

    QTest::newRow("scanning") << Phase::Scanning << false << false;
    QTest::newRow("fetching the manifest") << Phase::FetchingManifest << false << false;
    QTest::newRow("downloading") << Phase::Downloading << false << false;
    QTest::newRow("burn pending") << Phase::BurnPending << false << false;
    QTest::newRow("flashing") << Phase::Flashing << false << false;
    // A tool that hangs and ignores the request to end is killed in time.
    QTest::newRow("flashing, tool hangs") << Phase::Flashing << false << true;
    QTest::newRow("shutdown while downloading") << Phase::Downloading << true << false;
    QTest::newRow("shutdown while flashing, tool hangs") << Phase::Flashing << true << true;
}

void TestUpgradeEngine::cancel()
{
    QFETCH(Phase, phase);
    QFETCH(bool, shutdown);
    QFETCH(bool, toolIgnoresTerm);
    EngineRig rig;
    Release::serve(rig.bucket(), image());
    if (phase != Phase::FetchingManifest)
        QVERIFY(rig.loadManifest());
    else
        rig.bucket().serve(Release::kManifestPath, LoopbackReply::ok("{").stallAfter(0));
    if (phase == Phase::Downloading)
        rig.bucket().serve(Release::kFirmwarePath, LoopbackReply::ok(image()).stallAfter(1000));
    EngineLimits limits = EngineRig::testLimits();
    limits.burnDelayMs = 10000;
    if (phase != Phase::BurnPending)
        limits.burnDelayMs = 0;
    rig.engine().setLimits(limits);
    if (phase == Phase::Scanning) {
        useStandIn(rig, QByteArray(), "exec sleep 600");
    } else if (toolIgnoresTerm) {
        useStandIn(rig, StandIn::kHang);
    } else {
        // Slow enough a flash to be caught while it runs.
        m_bus.addDevice().setPollTimeout(20).applyToThisProcess();
    }

    rig.engine().start();
    QTRY_COMPARE_WITH_TIMEOUT(rig.engine().phase(), phase, 20000);
    // Caught while the tool talks to the device.
    if (phase == Phase::Flashing)
        QTRY_VERIFY(rig.bar->steps().last().value != 50);
    if (phase == Phase::Downloading)
        QTRY_VERIFY(!realImages(rig.tempPath()).isEmpty());

    QElapsedTimer clock;
    clock.start();
    if (shutdown)
        rig.engine().shutdown();
    else
        rig.engine().cancel();
    const int grace =
        shutdown ? rig.engine().limits().closeGraceMs : rig.engine().limits().cancelGraceMs;
    QVERIFY2(clock.elapsed() <= grace + 100, qPrintable(QString::number(clock.elapsed())));
    if (toolIgnoresTerm)
        QVERIFY(clock.elapsed() >= grace - 300);
    verifyNothingLeft(rig);
    QVERIFY(!rig.ended());
    QCOMPARE(rig.log.last(), shutdown ? QStringLiteral("INFO: Starting firmware upgrade process...")
                                      : QStringLiteral("INFO: Upgrade cancelled by user"));
}

void TestUpgradeEngine::restartRunsAgain()
{
    m_bus.addDevice().applyToThisProcess();
    EngineRig rig;
    Release::serve(rig.bucket(), image());
    QVERIFY(rig.loadManifest());
    rig.bucket().serve(Release::kFirmwarePath, LoopbackReply::ok(image()).stallAfter(1000));
    rig.engine().start();
    QTRY_COMPARE(rig.bucket().requestCount(Release::kFirmwarePath), 1);
    rig.bucket().serve(Release::kFirmwarePath, LoopbackReply::ok(image()));

    rig.engine().restart();
    QCOMPARE(rig.engine().phase(), Phase::RestartPending);
    QTRY_VERIFY_WITH_TIMEOUT(rig.ended(), 30000);
    QCOMPARE(rig.successes, 1);
    QCOMPARE(rig.log, (QStringList{"INFO: Starting firmware upgrade process...",
                                   "INFO: Upgrade cancelled by user",
                                   "INFO: Starting firmware upgrade process...",
                                   "INFO: Upgrade completed successfully"}));
    QCOMPARE(rig.bucket().requestCount(Release::kFirmwarePath), 2);
    verifyNothingLeft(rig);
}

QTEST_GUILESS_MAIN(TestUpgradeEngine)
#include "tst_upgradeengine.moc"
