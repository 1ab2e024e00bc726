// The Upgrade button as far as dfu-util is concerned: the device scan, the
// flash and what its output and its failures do to the progress bar, the log
// view and the boxes. The real dfu-util 0.11 runs against the simulated
// device; the stand-in replays the real tool's recorded output or does what
// the real tool cannot be made to do.

#include "app/application.h"
#include "barrecorder.h"
#include "dfu/diagnosis.h"
#include "dfusim.h"
#include "messagecapture.h"
#include "standinscript.h"
#include "toolslot.h"
#include "transcripts.h"
#include "windowharness.h"

#include <QProgressBar>
#include <QPushButton>
#include <QtTest>

Q_DECLARE_METATYPE(DfuSimScenario)
Q_DECLARE_METATYPE(StandInScript)

namespace {

using Step = BarRecorder::Step;
using Fault = DfuSimScenario::Fault;

constexpr int kRunTimeoutMs = 60000;
// More than any transcript: the stand-in writes it at once.
constexpr int kWhole = 1 << 16;
const QString kBurning = QStringLiteral("Burning firmware ..");
// What the bar shows before the burn start.
const QString kImageChecked = QStringLiteral("Firmware download completed, start burning");
const QString kFlashEnded = QStringLiteral("DFU进程完成回调被调用");
const QString kPreconditions =
    QStringLiteral("Upgrade process error: Failed to meet upgrade preconditions");

// The bar from the burn start until the device is ready, as the tool's
// connection lines call for it.
const QList<Step> kConnecting = {{50, kBurning},
                                 {5, "Open DFU device..."},
                                 {6, "Obtain USB DFU interface..."},
                                 {7, "Set interface mode..."},
                                 {8, "Detecting equipment status..."},
                                 {10, "Equipment ready, start burning..."}};
// ... and from the written image to the end of a successful upgrade.
const QList<Step> kSucceeded = {{98, "Firmware burning completed!"},
                                {91, "Submit a request to leave..."},
                                {92, "Switch to dfuMANIFEST state..."},
                                {100, "Firmware upgrade completed!"},
                                {0, "Ready"}};

enum class FlashAfter
{
    Image,
    Partial,
    Previous
};

// The bucket serves the image and a manifest with its digest.
void serveImage(WindowHarness &harness, const QByteArray &image)
{
    harness.serveRelease(WindowHarness::sha256Hex(image));
    harness.bucket().serve(WindowHarness::kFirmwarePath, LoopbackReply::ok(image));
}

// The messages of the log view's ERROR lines.
QStringList errorMessages(const WindowHarness &harness)
{
    const QString tag = QStringLiteral("] [ERROR] ");
    QStringList messages;
    for (const QString &line : harness.logLines()) {
        const int at = line.indexOf(tag);
        if (at >= 0)
            messages << line.mid(at + tag.size()).trimmed();
    }
    return messages;
}

bool flashEnded(const MessageCapture &capture)
{
    return capture.texts(QtDebugMsg).contains(kFlashEnded);
}

bool firmwareRequested(const WindowHarness &harness)
{
    return harness.requestCount(WindowHarness::kFirmwarePath) > 0;
}

// Why the download and erase steps of a flash break the plan (erase 0 to 10,
// then download 10 to 90 of an image of imageSize bytes, never going back),
// or an empty text.
QString progressFault(const QList<Step> &steps, int imageSize)
{
    const QString erase = QStringLiteral("Erase Flash: ");
    const QString download = QStringLiteral("firmware burning: ");
    const QString size = QStringLiteral("/%1 bytes)").arg(imageSize);
    if (steps.isEmpty() || !steps.first().text.startsWith(erase) ||
        !steps.last().text.startsWith(download))
        return QStringLiteral("no erase, or no download after it");
    bool downloading = false;
    int previous = 0;
    for (const Step &step : steps) {
        downloading = downloading || step.text.startsWith(download);
        const bool fits = downloading
                              ? step.text.startsWith(download) && step.text.endsWith(size) &&
                                    step.value >= 10 && step.value <= 90
                              : step.text.startsWith(erase) && step.value <= 10;
        if (!fits || step.value < previous)
            return QStringLiteral("%1 \"%2\"").arg(step.value).arg(step.text);
        previous = step.value;
    }
    return QString();
}

// Puts the stand-in at the tool's place: the scan lists one target device,
// the flash runs the script.
bool useStandIn(const QTemporaryDir &directory, const StandInScript &flash)
{
    const QString list = directory.filePath(QStringLiteral("list"));
    const QString script = directory.filePath(QStringLiteral("flash"));
    if (!StandIn::install() ||
        !StandInScript().replay(Transcripts::path("list-one"), kWhole, 0).save(list) ||
        !flash.save(script))
        return false;
    StandIn::useListScript(list);
    StandIn::useScript(script);
    return true;
}

} // namespace

Q_DECLARE_METATYPE(FlashAfter)

class TestFlashing : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();
    void scan_data();
    void scan();
    void flashWithRealTool_data();
    void flashWithRealTool();
    void transcript_data();
    void transcript();
    void processError_data();
    void processError();
    void secondFlashRunsEachSlotOnce();
};

void TestFlashing::initTestCase()
{
    setupApplication(*qobject_cast<QApplication *>(QCoreApplication::instance()));
}

void TestFlashing::init()
{
    QVERIFY(ToolSlot::installRealTool());
}

void TestFlashing::cleanup()
{
    DfuSimScenario::clearFromThisProcess();
    StandIn::clearScript();
}

void TestFlashing::scan_data()
{
    QTest::addColumn<DfuSimScenario>("devices");
    QTest::addColumn<bool>("toolStarts");
    QTest::addColumn<QStringList>("scanLines");
    QTest::addColumn<QStringList>("errors"); // empty: the scan passed

    const QString scanning = QStringLiteral("扫描 DFU 设备...");
    const QString found = QStringLiteral("检测到目标设备，VID:PID: 0483:df11");
    const QString missing = QStringLiteral("未发现目标设备，请连接目标设备并进入 DFU 模式");

    // Every device lists four alt settings with its serial; it counts once.
    QTest::newRow("target") << DfuSimScenario().addDevice() << true
                            << QStringList{scanning,
                                           "设备 1 - VID:PID: 0483:df11, 序列号: \"3276386A3133\"",
                                           "发现 1 个设备", found}
                            << QStringList();
    // Listed last-first: a device of another identity after the target
    // does not clear the verdict.
    QTest::newRow("target and another device")
        << DfuSimScenario().addDevice("1234:5678").addDevice() << true
        << QStringList{scanning, "设备 1 - VID:PID: 0483:df11, 序列号: \"3276386A3134\"",
                       "设备 2 - VID:PID: 1234:5678, 序列号: \"3276386A3133\"", "发现 2 个设备",
                       found}
        << QStringList();
    QTest::newRow("serial with quotes of its own")
        << DfuSimScenario().addDevice("0483:df11", "\"3276386A3133\"") << true
        << QStringList{scanning, "设备 1 - VID:PID: 0483:df11, 序列号: \"\"3276386A3133\"\"",
                       "发现 1 个设备", found}
        << QStringList();
    QTest::newRow("another identity only")
        << DfuSimScenario().addDevice("1234:5678") << true
        << QStringList{scanning, "设备 1 - VID:PID: 1234:5678, 序列号: \"3276386A3133\"",
                       "发现 1 个设备", missing}
        << QStringList{"No Ravlo device detected", kPreconditions};
    QTest::newRow("no device")
        << DfuSimScenario() << true << QStringList{scanning}
        << QStringList{"The device did not connect successfully, please connect the device",
                       kPreconditions};
    QTest::newRow("device listed, tool complains")
        << DfuSimScenario().addDevice().setFault(Fault::OpenDenied) << true << QStringList{scanning}
        << QStringList{"Device scanning error: dfu-util: Cannot open DFU device 0483:df11 found "
                       "on devnum 5 (LIBUSB_ERROR_ACCESS)",
                       kPreconditions};
    QTest::newRow("tool cannot start")
        << DfuSimScenario().addDevice() << false << QStringList{scanning}
        << QStringList{"Scanning device timeout", kPreconditions};
}

void TestFlashing::scan()
{
    QFETCH(DfuSimScenario, devices);
    QFETCH(bool, toolStarts);
    QFETCH(QStringList, scanLines);
    QFETCH(QStringList, errors);
    devices.applyToThisProcess();
    // Executable, so that the window's own check passes, but no program.
    if (!toolStarts)
        QVERIFY(ToolSlot::installContent("not a program\n", QFileDevice::ReadOwner |
                                                                QFileDevice::WriteOwner |
                                                                QFileDevice::ExeOwner));

    WindowHarness harness;
    harness.serveRelease();
    // A passed scan goes on to the download, which then waits here.
    harness.bucket().serve(WindowHarness::kFirmwarePath,
                           LoopbackReply::ok(DfuSim::image(1000)).stallAfter(0));
    harness.open();
    MessageCapture capture;
    harness.button("BtnUpgrade")->click();

    // The scan runs inside the click.
    const QRegularExpression scanLine(
        QStringLiteral("^(扫描 DFU 设备|设备 \\d|发现 \\d|检测到目标设备|未发现目标设备)"));
    QCOMPARE(capture.texts(QtDebugMsg).filter(scanLine), scanLines);
    if (errors.isEmpty()) {
        QTRY_VERIFY(firmwareRequested(harness));
        QCOMPARE(errorMessages(harness), QStringList());
        return;
    }
    QTRY_COMPARE(errorMessages(harness), errors);
    QCOMPARE(harness.bar()->value(), 0);
    QCOMPARE(harness.bar()->format(), QStringLiteral("Upgrade failed"));
    QVERIFY(harness.button("BtnUpgrade")->isEnabled());
    QVERIFY(harness.button("BtnVersion")->isEnabled());
    QVERIFY(!firmwareRequested(harness));
}

void TestFlashing::flashWithRealTool_data()
{
    QTest::addColumn<DfuSimScenario>("atFlash");
    QTest::addColumn<FlashAfter>("flashAfter");

    QTest::newRow("writes the image") << DfuSimScenario().addDevice() << FlashAfter::Image;
    QTest::newRow("device fails mid-write")
        << DfuSimScenario().addDevice().setFault(Fault::BlockError, 40) << FlashAfter::Partial;
    // Unplugged after the scan, another board in DFU mode plugged in.
    QTest::newRow("only another device attached")
        << DfuSimScenario().addDevice("1234:5678") << FlashAfter::Previous;
}

void TestFlashing::flashWithRealTool()
{
    QFETCH(DfuSimScenario, atFlash);
    QFETCH(FlashAfter, flashAfter);
    const QTemporaryDir device;
    DfuSimScenario atScan(device.path());
    atScan.addDevice();
    QVERIFY(atScan.setFlash(DfuSim::previousFirmware()));
    atScan.applyToThisProcess();
    const QByteArray image = DfuSim::image(150000);

    WindowHarness harness;
    serveImage(harness, image);
    harness.open();
    MessageCapture capture;
    BarRecorder bar(harness.bar());
    harness.button("BtnUpgrade")->click();
    // The scan is over; the flash starts only once the image is in and checked.
    atFlash.setDirectory(device.path());
    atFlash.applyToThisProcess();
    QTRY_VERIFY_WITH_TIMEOUT(flashEnded(capture), kRunTimeoutMs);

    const QList<Step> steps = bar.stepsAfter(kImageChecked);
    const QByteArray flash = atFlash.flash();
    if (flashAfter == FlashAfter::Image) {
        QCOMPARE(steps.mid(0, kConnecting.size()), kConnecting);
        QCOMPARE(steps.mid(steps.size() - kSucceeded.size()), kSucceeded);
        QCOMPARE(progressFault(steps.mid(kConnecting.size(),
                                         steps.size() - kConnecting.size() - kSucceeded.size()),
                               image.size()),
                 QString());
        QVERIFY(flash.left(image.size()) == image);
        QCOMPARE(harness.boxes().titles(), QStringList{"Upgrade Successful"});
        QCOMPARE(harness.firmwareFiles(), QStringList());
        return;
    }
    // Failed: the bar says so where the flash stopped, the image stays.
    QVERIFY(!steps.isEmpty());
    QCOMPARE(steps.last().text, QStringLiteral("Upgrade failed"));
    QVERIFY(std::all_of(steps.begin(), steps.end(), [](const Step &s) { return s.value <= 90; }));
    QCOMPARE(harness.boxes().titles(), QStringList());
    QCOMPARE(harness.firmwareFiles().size(), 1);
    QVERIFY(flash.left(image.size()) != image);
    if (flashAfter == FlashAfter::Previous) {
        QCOMPARE(steps, (QList<Step>{{50, "Upgrade failed"}}));
        QVERIFY(flash == DfuSim::previousFirmware());
        QCOMPARE(atFlash.transferLog().filter("req=DNLOAD"), QStringList());
    }
}

void TestFlashing::transcript_data()
{
    QTest::addColumn<QString>("transcript");
    QTest::addColumn<int>("chunkBytes");
    QTest::addColumn<QList<Step>>("steps"); // from the burn start; with small chunks, the last ones

    // Each progress line holds carriage-return separated updates; the first
    // one counts. The download text names the image's size, not the tool's.
    QTest::newRow("device in error first, whole")
        << "fault-start-in-error" << kWhole
        << kConnecting.mid(0, 5) +
               QList<Step>{{9, "Clear device status..."},
                           {8, "Detecting equipment status..."},
                           kConnecting.last(),
                           {0, "Erase Flash: 0% (0 bytes)"},
                           {10, "firmware burning: 0% (0/1000 bytes)"}} +
               kSucceeded;
    // Exit code 74 after the erase bar reached 100 %, but not the download's.
    QTest::newRow("write failed, whole")
        << "fault-block-error" << kWhole
        << kConnecting + QList<Step>{{0, "Erase Flash: 0% (0 bytes)"}, {10, "Upgrade failed"}};
    // Exit code 74 after the completion line, which arrived in pieces.
    QTest::newRow("leave unanswered, 7-byte chunks")
        << "fault-leave-silent" << 7 << kSucceeded.mid(kSucceeded.size() - 2);
}

void TestFlashing::transcript()
{
    QFETCH(QString, transcript);
    QFETCH(int, chunkBytes);
    QFETCH(QList<Step>, steps);
    const QTemporaryDir scripts;
    const QString record = scripts.filePath(QStringLiteral("record"));
    QVERIFY(useStandIn(scripts, StandInScript()
                                    .record(record)
                                    .replay(Transcripts::path(transcript), chunkBytes, 1)
                                    .exit(Transcripts::exitCode(transcript))));

    WindowHarness harness;
    serveImage(harness, DfuSim::image(1000));
    harness.open();
    MessageCapture capture;
    BarRecorder bar(harness.bar());
    harness.button("BtnUpgrade")->click();
    QTRY_VERIFY_WITH_TIMEOUT(flashEnded(capture), kRunTimeoutMs);

    const QList<Step> shown = bar.stepsAfter(kImageChecked);
    QCOMPARE(chunkBytes == kWhole ? shown : shown.mid(shown.size() - steps.size()), steps);
    // Only a success box leads back to "Ready".
    QCOMPARE(harness.boxes().titles().contains("Upgrade Successful"), steps.last().text == "Ready");

    // The image by its absolute path, from the image's own directory.
    const StandIn::Record run = StandIn::readRecord(record);
    QVERIFY(run.valid);
    QCOMPARE(run.workingDirectory, QDir(harness.tempPath()).canonicalPath());
    QCOMPARE(run.arguments.mid(0, 7), (QStringList{"-d", "0483:df11,0483:df11", "-a", "0", "-s",
                                                   "0x08000000:force:leave", "-D"}));
    QCOMPARE(QFileInfo(run.arguments.value(7)).dir().canonicalPath(), run.workingDirectory);
    QVERIFY(QFileInfo(run.arguments.value(7)).isAbsolute());
}

void TestFlashing::processError_data()
{
    QTest::addColumn<StandInScript>("flash"); // empty: the tool cannot be started
    QTest::addColumn<QList<Step>>("steps");
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("details");
    QTest::addColumn<QStringList>("errors");

    const QByteArray opening = "Opening DFU capable USB device...\n";
    const QList<Step> crashed = {{50, kBurning}, {5, "Open DFU device..."}, {0, "Upgrade failed"}};
    const auto failure = [](const QString &kind, const QString &details) {
        return "Upgrade process error: dfu-util process error: " + kind + " - " + details;
    };
    // The details are the diagnosis of what QProcess says went wrong.
    const auto explained = [](QProcess::ProcessError error, const QString &errorString) {
        Diagnosis::Run run;
        run.processError = error;
        run.errorString = errorString;
        const Diagnosis::Finding finding = Diagnosis::diagnose(run);
        return finding.what + ' ' + finding.advice;
    };
    QString kind = "Process crashed";
    QString details = explained(QProcess::Crashed, "Process crashed");
    QTest::newRow("crash") << StandInScript().out(opening).crash("KILL") << crashed << kind
                           << details << QStringList{failure(kind, details)};
    kind = "Process failed to start";
    details = explained(QProcess::FailedToStart, "execvp: Permission denied");
    QTest::newRow("cannot start") << StandInScript()
                                  << QList<Step>{{50, kBurning}, {0, "Upgrade failed"}} << kind
                                  << details
                                  << QStringList{
                                         failure(kind, details),
                                         "Upgrade process error: Unable to start dfu uti process"};
}

void TestFlashing::processError()
{
    QFETCH(StandInScript, flash);
    QFETCH(QList<Step>, steps);
    QFETCH(QString, kind);
    QFETCH(QString, details);
    QFETCH(QStringList, errors);
    const QTemporaryDir scripts;
    QVERIFY(useStandIn(scripts, flash));

    WindowHarness harness;
    serveImage(harness, DfuSim::image(1000));
    harness.open();
    BarRecorder bar(harness.bar());
    harness.button("BtnUpgrade")->click();
    // The scan ran inside the click; the flash starts 500 ms after the image
    // has been checked, so the tool can be spoilt in between. No execute
    // permission: even root cannot start it.
    if (flash.text().isEmpty())
        QVERIFY(ToolSlot::installContent("", QFileDevice::ReadOwner | QFileDevice::WriteOwner));
    QTRY_COMPARE_WITH_TIMEOUT(errorMessages(harness), errors, kRunTimeoutMs);

    QCOMPARE(harness.boxes().count(), 1);
    const ModalBoxes::Seen box = harness.boxes().seen().first();
    QCOMPARE(box.title, QStringLiteral("Process Error"));
    QCOMPARE(box.text,
             "dfu-util process execution failed!\n\nError type: " + kind + "\nDetails: " + details);
    QCOMPARE(box.icon, QMessageBox::Critical);
    QCOMPARE(box.buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
    QCOMPARE(bar.stepsAfter(kImageChecked), steps);
    QVERIFY(harness.button("BtnUpgrade")->isEnabled());
    QVERIFY(harness.button("BtnVersion")->isEnabled());
}

// The flashing process serves every flash of the window; its signals must
// reach their slots once each, also on the second flash.
void TestFlashing::secondFlashRunsEachSlotOnce()
{
    const QTemporaryDir scripts;
    QVERIFY(useStandIn(scripts,
                       StandInScript().replay(Transcripts::path("flash-ok"), kWhole, 0).exit(0)));
    WindowHarness harness;
    serveImage(harness, DfuSim::image(1000));
    harness.open();
    MessageCapture capture;
    harness.button("BtnUpgrade")->click();
    QTRY_VERIFY_WITH_TIMEOUT(flashEnded(capture), kRunTimeoutMs);
    QTRY_COMPARE(harness.bar()->format(), QStringLiteral("Ready"));

    const QString crash = scripts.filePath(QStringLiteral("crash"));
    QVERIFY(StandInScript().out("Opening DFU capable USB device...\n").crash("SEGV").save(crash));
    StandIn::useScript(crash);
    capture.clear();
    harness.button("BtnUpgrade")->click();
    QTRY_VERIFY_WITH_TIMEOUT(flashEnded(capture), kRunTimeoutMs);

    // One box per error, one verdict per end, one reading per output; the
    // scan's listing never went through the flashing process.
    QCOMPARE(harness.boxes().titles(), (QStringList{"Upgrade Successful", "Process Error"}));
    const QStringList messages = capture.texts(QtDebugMsg);
    QCOMPARE(messages.count(kFlashEnded), 1);
    QCOMPARE(messages.filter(QRegularExpression("^dfu-util: ")),
             QStringList{"dfu-util: Opening DFU capable USB device..."});
}

QTEST_MAIN(TestFlashing)
#include "tst_flashing.moc"
