// The road of an upgrade without a window: the real dfu-util against the
// simulated device, the image from a loopback HTTPS bucket, a stand-in only
// for what the real tool cannot be made to do. Every road ends in one
// verdict, with no image file and no child process left behind.

#include "dfusimscenario.h"
#include "rig.h"

#include "engine/cachefolder.h"
#include "engine/firmwarefile.h"
#include "engine/sha256.h"
#include "manifest/acceptedsequence.h"

#include <QtTest>

#include <sys/prctl.h>

namespace {

using Phase = UpgradeEngine::Phase;
using Stage = UpgradeFailure::Stage;
using Step = EngineRig::Step;
using Cause = Diagnosis::Cause;

const QByteArray &firmware()
{
    static const QByteArray bytes = DfuSim::image(150000);
    return bytes;
}

// A manifest that names the digest of these bytes.
QByteArray manifestJson(const QByteArray &digestOf)
{
    return Release::manifestJson("V1.0.0", "", "1.2", Release::sha256Hex(digestOf));
}

LoopbackReply manifestNaming(const QByteArray &digestOf)
{
    return LoopbackReply::ok(manifestJson(digestOf));
}

// The manifest with the image's size declared.
QByteArray withSize(const QByteArray &manifest, qint64 size)
{
    QJsonObject document = QJsonDocument::fromJson(manifest).object();
    QJsonObject products = document.value("products").toObject();
    QJsonObject product = products.value("Ravlo").toObject();
    product.insert("size", size);
    products.insert("Ravlo", product);
    document.insert("products", products);
    return QJsonDocument(document).toJson();
}

using Fault = DfuSimScenario::Fault;

// The tool: the real one, or a stand-in for what it cannot be made to do.
enum class Tool
{
    Real,
    FlashCrashes,
    FlashHangs,        // and ignores the request to end
    FlashHangsInChild, // in a process of its own, which ignores it too
    ScanHangs,
    ScanHangsInChild,
};

enum class Temporary
{
    Folder,
    Gone,     // no temporary folder
    DiskFull, // every write fails
};

// What the bucket, the bus, the tool and the disk hold for one road.
struct Road
{
    LoopbackReply manifest = manifestNaming(firmware());
    LoopbackReply image = LoopbackReply::ok(firmware());
    DfuSimScenario bus = DfuSimScenario().addDevice();
    Tool tool = Tool::Real;
    Temporary temporary = Temporary::Folder;
    // Held to the maker's key: its signature, and the highest sequence seen before.
    QStringList keys = {};
    LoopbackReply signature = LoopbackReply::status(404);
    qint64 seen = 0;
};

// A manifest and its signature (none: null) in the bucket, the engine held to
// the maker's key.
Road signedRoad(const QByteArray &manifest, const QByteArray &signature, qint64 seen = 0)
{
    Road road;
    road.manifest = LoopbackReply::ok(manifest);
    if (!signature.isNull())
        road.signature = LoopbackReply::ok(signature);
    road.keys = QStringList{TestKeys::maker().publicKey()};
    road.seen = seen;
    return road;
}

} // namespace

using Replies = QList<LoopbackReply>;
using Images = QList<QByteArray>;
Q_DECLARE_METATYPE(Road)
Q_DECLARE_METATYPE(Stage)
Q_DECLARE_METATYPE(Cause)
Q_DECLARE_METATYPE(LoopbackReply)
Q_DECLARE_METATYPE(Replies)

class TestUpgradeEngine : public QObject
{
    Q_OBJECT
private slots:
    // A process the tool started and left behind becomes this one's child.
    void initTestCase() { QVERIFY(prctl(PR_SET_CHILD_SUBREAPER, 1) == 0); }
    void init() { m_dir = std::make_unique<QTemporaryDir>(); }
    void goodRun_data();
    void goodRun();
    void failedRun_data();
    void failedRun();
    void readBackRefused();
    void cancel_data();
    void cancel();
    void resume_data();
    void resume();
    void keptImage_data();
    void keptImage();

private:
    void prepare(EngineRig &rig, Road road);
    void verifyNothingLeft(EngineRig &rig);

    std::unique_ptr<QTemporaryDir> m_dir;
    DfuSimScenario m_bus;
};

void TestUpgradeEngine::prepare(EngineRig &rig, Road road)
{
    rig.bucket().serve(Release::kManifestPath, road.manifest);
    rig.bucket().serve(Release::kSignaturePath, road.signature);
    rig.bucket().serve(Release::kFirmwarePath, road.image);
    AcceptedSequence::raise(road.seen);
    m_bus = road.bus;
    m_bus.setDirectory(m_dir->path());
    QVERIFY(m_bus.setFlash(DfuSim::previousFirmware()));
    m_bus.applyToThisProcess();
    if (road.tool != Tool::Real) {
        const QMap<Tool, QByteArray> flash = {{Tool::FlashCrashes, StandIn::kCrash},
                                              {Tool::FlashHangsInChild, StandIn::kHangInChild}};
        const QMap<Tool, QByteArray> list = {{Tool::ScanHangs, "exec sleep 600"},
                                             {Tool::ScanHangsInChild, "sleep 600"}};
        const QString path = m_dir->filePath(QStringLiteral("dfu-util"));
        QVERIFY(
            StandIn::install(path, flash.value(road.tool, StandIn::kHang), list.value(road.tool)));
        rig.engine().setToolPath(path);
    }
    if (road.temporary == Temporary::Gone)
        qputenv("TMPDIR", QFile::encodeName(QDir(rig.tempPath()).filePath("gone")));
    // Every image file the engine may start in the next minute is a link to
    // /dev/full, where each write fails as on a full disk.
    for (int second = 0; road.temporary == Temporary::DiskFull && second < 60; ++second)
        QFile::link("/dev/full", QDir(rig.tempPath())
                                     .filePath(FirmwareFile::fileName(
                                         "1.2", QDateTime::currentDateTime().addSecs(second))));
}

void TestUpgradeEngine::verifyNothingLeft(EngineRig &rig)
{
    QCOMPARE(rig.engine().phase(), Phase::Idle);
    QCOMPARE(Leftovers::runFiles(rig.tempPath()), QStringList());
    QTRY_COMPARE(Leftovers::childProcesses(), QStringList());
}

void TestUpgradeEngine::goodRun_data()
{
    QTest::addColumn<Road>("road");
    QTest::addColumn<bool>("manifestFirst"); // loaded before the run, or by it
    QTest::addColumn<int>("device");         // the one written
    QTest::addColumn<bool>("verify");        // read back before the leave

    Road road;
    QTest::newRow("manifest loaded") << road << true << 0 << true;
    QTest::newRow("manifest fetched by the run") << road << false << 0 << true;
    road.manifest = LoopbackReply::ok(
        Release::manifestJson("V1.0.0", "", "1.2", Release::sha256Hex(firmware()).toUpper()));
    QTest::newRow("upper-case digest") << road << true << 0 << true;
    // Verified, then the device resets before it answers the leave.
    QTest::newRow("leave unanswered")
        << Road{Road().manifest, Road().image,
                DfuSimScenario().addDevice().setFault(Fault::LeaveSilent)}
        << true << 0 << true;
    QTest::newRow("another device attached")
        << Road{Road().manifest, Road().image, DfuSimScenario().addDevice("1234:5678").addDevice()}
        << true << 1 << true;
    QTest::newRow("redirect within https")
        << Road{Road().manifest, LoopbackReply::redirect(302, "/moved.bin")} << true << 0 << true;
    QTest::newRow("signed, fetched by the run")
        << signedRoad(manifestJson(firmware()), TestKeys::sign(manifestJson(firmware()), 7), 7)
        << false << 0 << true;
    QTest::newRow("not verified") << Road() << true << 0 << false;
}

void TestUpgradeEngine::goodRun()
{
    QFETCH(Road, road);
    QFETCH(bool, manifestFirst);
    QFETCH(int, device);
    QFETCH(bool, verify);
    EngineRig rig(road.keys);
    prepare(rig, road);
    rig.bucket().serve("/moved.bin", LoopbackReply::ok(firmware()));
    if (manifestFirst)
        QVERIFY(rig.loadManifest());
    UpgradeEngine::Plan plan;
    plan.verify = verify;
    rig.engine().setPlan(plan);

    rig.engine().start();
    QTRY_VERIFY_WITH_TIMEOUT(rig.ended(), 30000);
    QCOMPARE(rig.successes, 1);
    QCOMPARE(rig.log, (QStringList{"Starting firmware upgrade process...",
                                   "Upgrade completed successfully"}));
    QList<Phase> phases = {Phase::Scanning,    Phase::Downloading, Phase::Verifying,
                           Phase::BurnPending, Phase::Flashing,    Phase::ReadingBack,
                           Phase::Leaving,     Phase::Idle};
    if (!manifestFirst)
        phases.insert(1, Phase::FetchingManifest);
    if (!verify)
        phases.removeOne(Phase::ReadingBack);
    QCOMPARE(rig.phases, phases);
    QVERIFY(m_bus.flash(device).startsWith(firmware()));
    verifyNothingLeft(rig);

    // The bar only rises from the click to the verdict, and the erase, the
    // write and the read-back each move it.
    QVERIFY(std::is_sorted(rig.steps.begin(), rig.steps.end(),
                           [](const Step &a, const Step &b) { return a.first < b.first; }));
    QCOMPARE(rig.steps.last(), (Step{100, "Firmware upgrade completed!"}));
    const auto moves = [&rig](const char *text) {
        return std::count_if(rig.steps.begin(), rig.steps.end(),
                             [text](const Step &step) { return step.second.startsWith(text); });
    };
    QVERIFY(moves("Erase Flash:") > 1 && moves("firmware burning:") > 1);
    QCOMPARE(moves("Verifying written firmware:") > 1, verify);
}

void TestUpgradeEngine::failedRun_data()
{
    QTest::addColumn<Road>("road");
    QTest::addColumn<Stage>("stage");
    QTest::addColumn<QString>("reason"); // a regular expression
    QTest::addColumn<Cause>("cause");    // what the user is told about the tool or device
    QTest::addColumn<int>("imageRequests");

    const QString preconditions = "^Failed to meet upgrade preconditions$";
    const QString noInfo = "^The update information could not be loaded \\(.+\\), so nothing was "
                           "written$";
    const QString network = "^Network error: .+";
    const LoopbackReply good = Road().image;
    const LoopbackReply manifest = Road().manifest;
    const auto bus = [](Fault fault = Fault::None, int n = 1) {
        return DfuSimScenario().addDevice().setFault(fault, n);
    };
    // Nothing unverified is ever written: no image is asked for without a digest.
    QTest::newRow("manifest 404") << Road{LoopbackReply::status(404)} << Stage::Manifest << noInfo
                                  << Cause::None << 0;
    QTest::newRow("no digest") << Road{LoopbackReply::ok(
                                      Release::manifestJson("V1.0.0", "", "1.2", ""))}
                               << Stage::Manifest << noInfo << Cause::None << 0;
    QTest::newRow("digest mismatch")
        << Road{manifestNaming("other")} << Stage::Verify
        << "^Firmware verification failed, please click upgrade again$" << Cause::None << 1;
    QTest::newRow("no device") << Road{manifest, good, DfuSimScenario()} << Stage::Scan
                               << preconditions << Cause::NoDevice << 0;
    // Told apart by their USB paths although nothing else differs.
    QTest::newRow("two Ravlo devices")
        << Road{manifest, good, DfuSimScenario().addDevice().addDevice()} << Stage::Scan
        << preconditions << Cause::SeveralDevices << 0;
    QTest::newRow("device refuses to open")
        << Road{manifest, good, bus(Fault::OpenDenied)} << Stage::Scan << preconditions
        << Cause::Permission << 0;
    // Which of the two would be written cannot be told: neither is.
    QTest::newRow("a second Ravlo device refuses to open")
        << Road{manifest, good,
                DfuSimScenario().addDevice().addDevice().setFault(Fault::OpenDenied, 2)}
        << Stage::Scan << preconditions << Cause::SecondUnopenable << 0;
    // An error page is not saved as the image.
    QTest::newRow("HTTP 404") << Road{manifest, LoopbackReply::status(404, "<h1>gone</h1>")}
                              << Stage::Download << network << Cause::None << 1;
    // Redirects are followed, but never from https to plain http.
    QTest::newRow("redirect to http")
        << Road{manifest, LoopbackReply::redirect(302, "http://127.0.0.1:9/image.bin")}
        << Stage::Download << "^(Network error|Unexpected server response).+" << Cause::None << 1;
    QTest::newRow("temporary folder missing")
        << Road{manifest, good, bus(), Tool::Real, Temporary::Gone} << Stage::Download
        << "^Failed to create firmware file: the temporary folder does not exist$" << Cause::None
        << 0;
    QTest::newRow("disk full") << Road{manifest, good, bus(), Tool::Real, Temporary::DiskFull}
                               << Stage::Download << "^Failed to write firmware file$"
                               << Cause::None << 1;
    const QByteArray large = DfuSim::image(DfuSim::kFlashSize + 2048);
    const QString tooLarge = "^The firmware image is larger than the device's flash memory$";
    QTest::newRow("image larger than the flash")
        << Road{manifestNaming(large), LoopbackReply::ok(large)} << Stage::Flash << tooLarge
        << Cause::ImageTooLarge << 1;
    // Declared, it is not even downloaded.
    QTest::newRow("image declared larger than the flash")
        << Road{LoopbackReply::ok(withSize(manifestJson(large), large.size())),
                LoopbackReply::ok(large)}
        << Stage::Flash << tooLarge << Cause::ImageTooLarge << 0;
    // The tool's own reason goes with the failure.
    QTest::newRow("block fails to program")
        << Road{manifest, good, bus(Fault::BlockError, 40)} << Stage::Flash
        << "^dfu-util failed with exit code 74: Failed to write whole chunk" << Cause::WriteRefused
        << 1;
    QTest::newRow("device gone mid-write")
        << Road{manifest, good, bus(Fault::Vanish, 20)} << Stage::Flash
        << "^dfu-util failed with exit code 74: Error during download$" << Cause::ConnectionLost
        << 1;
    QTest::newRow("tool crashes") << Road{manifest, good, bus(), Tool::FlashCrashes} << Stage::Flash
                                  << "^dfu-util process error: Process crashed - .+"
                                  << Cause::ToolCrashed << 1;
    // Every block acknowledged: only the read-back tells.
    QTest::newRow("device keeps nothing")
        << Road{manifest, good, bus(Fault::KeepsNothing)} << Stage::ReadBack
        << "^The firmware read back from the device differs from the image$" << Cause::NotKept << 1;
    QTest::newRow("device gone while read back")
        << Road{manifest, good, bus(Fault::VanishReading, 20)} << Stage::ReadBack
        << "^dfu-util failed with exit code 74: dfuse_upload: libusb_control_transfer returned "
           "-4 \\(LIBUSB_ERROR_NO_DEVICE\\)$"
        << Cause::ConnectionLost << 1;
    // Ended with whatever it started.
    QTest::newRow("scan hangs in a child") << Road{manifest, good, bus(), Tool::ScanHangsInChild}
                                           << Stage::Scan << preconditions << Cause::ToolHung << 0;
    // Held to the maker's key, nothing is written from what it did not sign.
    const auto unverified = [](const QString &why) {
        return "^The update information could not be verified \\(" + why +
               "\\), so nothing was written\\. Try again later; .+ "
               "\\(manifest\\.json\\.minisig\\) too\\.$";
    };
    const QByteArray json = manifestJson(firmware());
    const QByteArray signature = TestKeys::sign(json, 7);
    QTest::newRow("signed, a byte of the manifest changed")
        << signedRoad(QByteArray(json).replace("1.2", "1.3"), signature) << Stage::Manifest
        << unverified("its signature does not match it") << Cause::None << 0;
    QTest::newRow("signed, signature removed")
        << signedRoad(json, QByteArray()) << Stage::Manifest
        << unverified("the update bucket has no signature for it .+") << Cause::None << 0;
    QTest::newRow("signed, older after newer")
        << signedRoad(json, signature, 8) << Stage::Manifest
        << unverified("it is older than the update information already seen: .+") << Cause::None
        << 0;
    QTest::newRow("signed, expired")
        << signedRoad(json, TestKeys::sign(json, 7, QDateTime::currentDateTimeUtc().addSecs(-60)))
        << Stage::Manifest << unverified("it expired on .+") << Cause::None << 0;
}

void TestUpgradeEngine::failedRun()
{
    QFETCH(Road, road);
    EngineRig rig(road.keys);
    prepare(rig, road);
    rig.engine().start();
    QTRY_VERIFY_WITH_TIMEOUT(rig.ended(), 30000);
    QCOMPARE(rig.successes, 0);
    QCOMPARE(rig.failures.size(), 1);
    const UpgradeFailure failure = rig.failures.first();
    QTEST(failure.stage, "stage");
    QFETCH(QString, reason);
    QVERIFY2(QRegularExpression(reason).match(failure.reason).hasMatch(),
             qPrintable(failure.reason));
    QTEST(failure.finding.cause, "cause");
    QCOMPARE(failure.finding.what.isEmpty(), failure.finding.cause == Cause::None);
    QCOMPARE(failure.processErrorKind.isEmpty(), road.tool != Tool::FlashCrashes);
    QTEST(rig.bucket().requestCount(Release::kFirmwarePath), "imageRequests");
    // Nothing is written before the flash, nor an image that cannot fit.
    if (failure.stage < Stage::Flash || failure.finding.cause == Cause::ImageTooLarge)
        QVERIFY(m_bus.flash() == DfuSim::previousFirmware());
    // A device that did not give back what was written stays in DFU mode.
    QCOMPARE(rig.phases.contains(Phase::Leaving), false);
    verifyNothingLeft(rig);
}

// Written, but the device will not be read back: neither a success nor a
// failure, and it is not told to leave DFU mode.
void TestUpgradeEngine::readBackRefused()
{
    EngineRig rig;
    prepare(rig, Road{Road().manifest, Road().image,
                      DfuSimScenario().addDevice().setFault(Fault::ReadProtected)});
    rig.engine().start();
    QTRY_VERIFY_WITH_TIMEOUT(rig.ended(), 30000);
    QCOMPARE(rig.successes + rig.failures.size(), 0);
    QCOMPARE(rig.unproven.size(), 1);
    QCOMPARE(rig.unproven.first().cause, Cause::ReadBackRefused);
    QCOMPARE(rig.log.last(), QStringLiteral("Firmware written, but not verified"));
    QCOMPARE(rig.phases.mid(rig.phases.indexOf(Phase::Flashing)),
             (QList<Phase>{Phase::Flashing, Phase::ReadingBack, Phase::Idle}));
    QVERIFY(m_bus.flash().startsWith(firmware()));
    verifyNothingLeft(rig);
}

void TestUpgradeEngine::cancel_data()
{
    QTest::addColumn<Phase>("phase");
    QTest::addColumn<Road>("road");
    QTest::addColumn<bool>("shutdown"); // the program ends instead of a cancel

    const LoopbackReply manifest = Road().manifest;
    const Road paced{manifest, Road().image, DfuSimScenario().addDevice().setPollTimeout(20)};
    const Road hangs{manifest, Road().image, Road().bus, Tool::FlashHangs};
    QTest::newRow("scanning") << Phase::Scanning
                              << Road{manifest, Road().image, Road().bus, Tool::ScanHangs} << false;
    QTest::newRow("downloading") << Phase::Downloading
                                 << Road{manifest, LoopbackReply::ok(firmware()).stallAfter(1000)}
                                 << false;
    QTest::newRow("flashing") << Phase::Flashing << paced << false;
    // A tool that hangs and ignores the request to end is killed in time.
    QTest::newRow("flashing, tool hangs") << Phase::Flashing << hangs << false;
    QTest::newRow("shutdown while flashing, tool hangs") << Phase::Flashing << hangs << true;
    // Whatever the tool started ends with it.
    QTest::newRow("flashing, tool hangs in a child")
        << Phase::Flashing << Road{manifest, Road().image, Road().bus, Tool::FlashHangsInChild}
        << false;
}

void TestUpgradeEngine::cancel()
{
    QFETCH(Phase, phase);
    QFETCH(Road, road);
    QFETCH(bool, shutdown);
    EngineRig rig;
    prepare(rig, road);
    QVERIFY(rig.loadManifest());
    const EngineLimits limits = testLimits();

    rig.engine().start();
    QTRY_COMPARE_WITH_TIMEOUT(rig.engine().phase(), phase, 20000);
    // Caught while the tool talks to the device, or the image is coming.
    if (phase == Phase::Flashing)
        QTRY_VERIFY(rig.steps.last().second != "Burning firmware ..");
    if (phase == Phase::Downloading)
        QTRY_VERIFY(!Leftovers::runFiles(rig.tempPath()).isEmpty());

    QElapsedTimer clock;
    clock.start();
    if (shutdown)
        rig.engine().shutdown();
    else
        rig.engine().cancel();
    const int grace = shutdown ? limits.closeGraceMs : limits.cancelGraceMs;
    QVERIFY2(clock.elapsed() <= grace + 100, qPrintable(QString::number(clock.elapsed())));
    if (road.tool == Tool::FlashHangs || road.tool == Tool::FlashHangsInChild)
        QVERIFY(clock.elapsed() >= grace - 300);
    verifyNothingLeft(rig);
    QVERIFY(!rig.ended());
    QCOMPARE(rig.log.last(), shutdown ? QStringLiteral("Starting firmware upgrade process...")
                                      : QStringLiteral("Upgrade cancelled by user"));
}

void TestUpgradeEngine::resume_data()
{
    QTest::addColumn<Replies>("replies");     // the image's, one a try, in turn
    QTest::addColumn<int>("requests");        // of the image
    QTest::addColumn<double>("served");       // at most, in images
    QTest::addColumn<QStringList>("notices"); // what the log says of the tries
    QTest::addColumn<bool>("resumed");        // the file continued, never started over
    QTest::addColumn<bool>("succeeds");

    const QByteArray &image = firmware();
    const int half = image.size() / 2;
    // Another file of the same size, which differs from the image in the part
    // that comes first.
    QByteArray other = image;
    other[0] = char(~image.at(0));
    const auto ranged = [](const QByteArray &body, const QByteArray &etag = "\"v1\"") {
        return LoopbackReply::ok(body).ranges("ETag", etag);
    };
    const LoopbackReply lastModified =
        LoopbackReply::ok(image).ranges("Last-Modified", "Wed, 01 Jan 2025 00:00:00 GMT");
    // The rest of the image, as the file it belongs to had changed.
    const LoopbackReply otherRange{
        206, {{"Content-Range", "bytes 75000-149999/150000"}, {"ETag", "\"v2\""}}, image.mid(half)};
    const QString retry = "^Download interrupted after \\d+ bytes \\(Network error: .+\\); trying "
                          "again in 0\\.0[248] s, retry [123] of 3$";
    const QString again = "^The server sent the whole firmware image again; the download starts "
                          "over$";
    const QString over = "^The server does not continue the firmware image where the download "
                         "stopped; the download starts over$";
    QTest::newRow("drop at half") << Replies{ranged(image).dropAfter(half), ranged(image)} << 2
                                  << 1.1 << QStringList{retry} << true << true;
    QTest::newRow("drop twice") << Replies{ranged(image).dropAfter(half / 2),
                                           ranged(image).dropAfter(half / 2), ranged(image)}
                                << 3 << 1.1 << QStringList{retry, retry} << true << true;
    // The transfer time-out ends the stalled try.
    QTest::newRow("stall then resume") << Replies{ranged(image).stallAfter(half), ranged(image)}
                                       << 2 << 1.1 << QStringList{retry} << true << true;
    QTest::newRow("held by Last-Modified")
        << Replies{LoopbackReply(lastModified).dropAfter(half), lastModified} << 2 << 1.1
        << QStringList{retry} << true << true;
    QTest::newRow("server ignores Range")
        << Replies{LoopbackReply::ok(image).dropAfter(half), LoopbackReply::ok(image)} << 2 << 1.6
        << QStringList{retry} << false << true;
    // If-Range: the server sends the new file whole.
    QTest::newRow("file changed between tries")
        << Replies{ranged(other).dropAfter(half), ranged(image, "\"v2\"")} << 2 << 1.6
        << QStringList{retry, again} << false << true;
    QTest::newRow("a range of a changed file")
        << Replies{ranged(other).dropAfter(half), otherRange, ranged(image, "\"v2\"")} << 3 << 2.1
        << QStringList{retry, over} << false << true;
    QTest::newRow("range not satisfiable")
        << Replies{ranged(image).dropAfter(half), LoopbackReply::status(416), ranged(image)} << 3
        << 1.6 << QStringList{retry, over} << false << true;
    QTest::newRow("every try drops") << Replies{ranged(image).dropAfter(1000)} << 4 << 0.1
                                     << QStringList{retry, retry, retry} << true << false;
}

// A download that drops or stalls is taken up where it stopped, a bounded
// number of times; what does not continue the same file starts it over; only
// the whole file's digest decides.
void TestUpgradeEngine::resume()
{
    QFETCH(Replies, replies);
    QFETCH(QStringList, notices);
    QFETCH(bool, succeeds);
    EngineRig rig;
    prepare(rig, Road());
    rig.bucket().serveInTurn(Release::kFirmwarePath, replies);
    UpgradeEngine::Plan plan;
    plan.fetchOnly = true;
    rig.engine().setPlan(plan);
    // The bar counts the whole image across the tries.
    QList<int> downloaded;
    connect(&rig.engine(), &UpgradeEngine::progress, this, [&downloaded](const RunProgress &bar) {
        if (bar.stage == RunProgress::Stage::Download)
            downloaded << bar.percent;
    });
    rig.engine().start();
    QTRY_VERIFY_WITH_TIMEOUT(rig.ended(), 30000);

    QCOMPARE(rig.successes, int(succeeds));
    QTEST(rig.bucket().requestCount(Release::kFirmwarePath), "requests");
    QFETCH(double, served);
    QVERIFY(rig.bucket().bytesServed(Release::kFirmwarePath) <= served * firmware().size());
    // The failure is said once more.
    QCOMPARE(rig.log.size(), notices.size() + (succeeds ? 0 : 1));
    for (int i = 0; i < notices.size(); ++i)
        QVERIFY2(QRegularExpression(notices[i]).match(rig.log[i]).hasMatch(),
                 qPrintable(rig.log[i]));
    if (!succeeds)
        QVERIFY2(rig.failures.first().reason.endsWith(" (tried 4 times)"),
                 qPrintable(rig.failures.first().reason));
    QFETCH(bool, resumed);
    if (resumed)
        QVERIFY(std::is_sorted(downloaded.begin(), downloaded.end()));
    QCOMPARE(downloaded.last() == 100, succeeds);
    rig.engine().shutdown();
    verifyNothingLeft(rig);
}

void TestUpgradeEngine::keptImage_data()
{
    QTest::addColumn<Images>("images");          // upgraded in turn, each the manifest's of its run
    QTest::addColumn<bool>("changedBeforeLast"); // the kept file, before the last run
    QTest::addColumn<int>("downloads");
    QTest::addColumn<QList<int>>("kept"); // of the images, those kept afterwards

    const QByteArray second = DfuSim::image(150000, 2);
    const QByteArray third = DfuSim::image(150000, 3);
    QTest::newRow("the same image again")
        << Images{firmware(), firmware()} << false << 1 << QList<int>{0};
    QTest::newRow("the kept image changed")
        << Images{firmware(), firmware()} << true << 2 << QList<int>{0};
    QTest::newRow("the two newest kept")
        << Images{firmware(), second, third} << false << 3 << QList<int>{1, 2};
}

// A verified image is kept for the next run, which hashes it again and uses
// it instead of downloading it.
void TestUpgradeEngine::keptImage()
{
    QFETCH(Images, images);
    QFETCH(bool, changedBeforeLast);
    EngineRig rig;
    prepare(rig, Road());
    const QDir folder(CacheFolder::path());
    for (int run = 0; run < images.size(); ++run) {
        const QByteArray &image = images.at(run);
        rig.bucket().serve(Release::kManifestPath, manifestNaming(image));
        rig.bucket().serve(Release::kFirmwarePath, LoopbackReply::ok(image));
        QVERIFY(rig.loadManifest() && m_bus.setFlash(DfuSim::previousFirmware()));
        const bool changed = changedBeforeLast && run == images.size() - 1;
        if (changed) {
            QFile kept(folder.filePath(Release::sha256Hex(image) + ".bin"));
            QVERIFY(kept.open(QIODevice::ReadWrite) && kept.write("X") == 1);
        }
        rig.log.clear();
        rig.successes = 0;
        rig.engine().start();
        QTRY_VERIFY_WITH_TIMEOUT(rig.ended(), 30000);
        QCOMPARE(rig.successes, 1);
        QVERIFY(m_bus.flash().startsWith(image));
        const bool fromKept = run > 0 && image == images.at(run - 1) && !changed;
        QCOMPARE(rig.log
                     .filter(QRegularExpression("^Using the firmware image downloaded before, "
                                                "unchanged since \\(SHA-256 [0-9a-f]{64}\\): "
                                                "nothing to download$"))
                     .size(),
                 int(fromKept));
    }
    QTEST(rig.bucket().requestCount(Release::kFirmwarePath), "downloads");
    QFETCH(QList<int>, kept);
    QStringList names;
    for (int index : kept)
        names << Release::sha256Hex(images.at(index)) + ".bin";
    names.sort();
    QCOMPARE(folder.entryList({"*.bin"}, QDir::Files, QDir::Name), names);
    for (const QString &name : names)
        QCOMPARE(Sha256::ofFile(folder.filePath(name)) + ".bin", name);
    verifyNothingLeft(rig);
}

QTEST_GUILESS_MAIN(TestUpgradeEngine)
#include "tst_upgradeengine.moc"
