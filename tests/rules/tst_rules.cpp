// The pure rules of the program, table by table: what dfu-util's listing and
// flash output mean, what the user is told about a failed run, the version
// comparison, the download bar's texts, the image's file name and digest, and
// the addresses made from the endpoints.

#include "dfu/dfuoutput.h"
#include "dfu/dfuscan.h"
#include "dfu/diagnosis.h"
#include "dfu/flashcommand.h"
#include "engine/downloadprogress.h"
#include "engine/endpoints.h"
#include "engine/firmwarefile.h"
#include "engine/runprogress.h"
#include "engine/sha256.h"
#include "manifest/versioncompare.h"
#include "rig.h"

#include <QtTest>

using namespace Diagnosis;

Q_DECLARE_METATYPE(Diagnosis::Run)
Q_DECLARE_METATYPE(Diagnosis::Environment)
Q_DECLARE_METATYPE(Diagnosis::Cause)
Q_DECLARE_METATYPE(FlashStep)
Q_DECLARE_METATYPE(ToolStage)
using Verdict = DfuOutput::StepVerdict;
Q_DECLARE_METATYPE(Verdict)

namespace {

QString found(const QString &vidPid, const QString &path, const QString &serial)
{
    return QStringLiteral("Found DFU: [%1] ver=0200, devnum=5, cfg=1, intf=0, path=\"%2\", alt=0, "
                          "name=\"@Internal Flash  /0x08000000/04*016Kg,01*064Kg,07*128Kg\", "
                          "serial=\"%3\"\n")
        .arg(vidPid, path, serial);
}

const Environment kLinux{Platform::Linux, false};
const Environment kWindows{Platform::Windows, false};

Run printed(int exitCode, const QString &output, Phase phase = Phase::Flash)
{
    Run run;
    run.phase = phase;
    run.output = output;
    run.exitCode = exitCode;
    return run;
}

Run failedToStart(Phase phase, std::optional<QProcess::ProcessError> error, const QString &why)
{
    Run run = printed(0, QString(), phase);
    run.processError = error;
    run.errorString = why;
    return run;
}

} // namespace

class TestRules : public QObject
{
    Q_OBJECT
private slots:
    void scan_data();
    void scan();
    void flashLines_data();
    void flashLines();
    void bands();
    void verdict_data();
    void verdict();
    void diagnose_data();
    void diagnose();
    void adviceOfTheFrontEnd();
    void udevRule_data();
    void udevRule();
    void compareVersions_data();
    void compareVersions();
    void downloadTexts();
    void fileNameAndDigest_data();
    void fileNameAndDigest();
    void addresses();
};

void TestRules::scan_data()
{
    QTest::addColumn<QString>("listing");
    QTest::addColumn<QString>("errors");
    QTest::addColumn<int>("devices");
    QTest::addColumn<int>("ravlo");
    QTest::addColumn<int>("problems"); // standard-error lines that fail a scan
    QTest::addColumn<qint64>("flashSize");

    const QString rom = transcript("list-one");
    QTest::newRow("one device, four alt settings") << rom << "" << 1 << 1 << 0 << qint64(1 << 20);
    // Bootloaders that report the same serial are told apart by their paths.
    QTest::newRow("same serial, two paths")
        << found("0483:df11", "1-2", "FFFFFFFEFFFF") + found("0483:df11", "1-3", "FFFFFFFEFFFF")
        << "" << 2 << 2 << 0 << qint64(1 << 20);
    QTest::newRow("upper-case hex is not Ravlo")
        << found("0483:DF11", "1-2", "X") << "" << 1 << 0 << 0 << qint64(1 << 20);
    // Only what concerns the Ravlo identity decides.
    QTest::newRow("another device cannot be opened")
        << rom
        << "dfu-util: Cannot open DFU device 0489:e042 found on devnum 3 (LIBUSB_ERROR_ACCESS)" << 1
        << 1 << 0 << qint64(1 << 20);
    QTest::newRow("a Ravlo device cannot be opened")
        << ""
        << "dfu-util: Cannot open DFU device 0483:df11 found on devnum 5 (LIBUSB_ERROR_ACCESS)" << 0
        << 0 << 1 << qint64(0);
}

void TestRules::scan()
{
    QFETCH(QString, listing);
    QFETCH(QString, errors);
    const DfuScan scan = DfuScan::parse(listing, errors);
    QTEST(int(scan.devices.size()), "devices");
    QTEST(int(scan.candidates().size()), "ravlo");
    QTEST(int(scan.ravloProblems.size()), "problems");
    if (!scan.devices.isEmpty())
        QTEST(scan.devices.first().flashSize(), "flashSize");
}

void TestRules::flashLines_data()
{
    QTest::addColumn<FlashStep>("step");
    QTest::addColumn<QString>("line");
    QTest::addColumn<ToolStage>("stage");
    QTest::addColumn<int>("percent"); // -1: the line shows nothing
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("flagged"); // echoed as a warning

    const FlashStep write = FlashStep::Write;
    const ToolStage erase = ToolStage::Erase;
    const ToolStage writing = ToolStage::Write;
    QTest::newRow("erase 45%") << write << "Erase   \t[===   ]  45%  12288 bytes" << erase << 45
                               << "Erase Flash: 45% (12288 bytes)" << false;
    QTest::newRow("erase and download: erase wins")
        << write << "Erase Download [=] 5% 10 bytes" << erase << 5 << "Erase Flash: 5% (10 bytes)"
        << false;
    QTest::newRow("download: the image's size")
        << write << "Download\t[=====] 100% 147456 bytes" << writing << 100
        << "firmware burning: 100% (147456/150000 bytes)" << false;
    QTest::newRow("garbled percentage")
        << write << "Download\t[=] 2147483647%  1 bytes" << writing << 100
        << "firmware burning: 100% (1/150000 bytes)" << false;
    QTest::newRow("stage") << write << "Claiming USB DFU Interface..." << ToolStage::Connect << 20
                           << "Obtain USB DFU interface..." << false;
    QTest::newRow("state of an error")
        << write << "DFU state(10) = dfuERROR, status(6) = Program memory" << erase << -1 << ""
        << true;
    QTest::newRow("download done")
        << write << "Download done." << writing << 100 << "Firmware burning completed!" << false;
    QTest::newRow("completion inside an error")
        << write << "dfu-util: Error: File downloaded successfully?" << erase << -1 << "" << false;
    QTest::newRow("case matters") << write << "erase 45% 12 bytes" << erase << -1 << "" << false;
    // Every run opens the device alike; only the write says so on the bar.
    QTest::newRow("read back: upload 50%")
        << FlashStep::ReadBack << "Upload\t[=====   ]  50%  75776 bytes" << ToolStage::ReadBack
        << 50 << "Verifying written firmware: 50% (75776/150000 bytes)" << false;
    QTest::newRow("read back: opening")
        << FlashStep::ReadBack << "Claiming USB DFU Interface..." << erase << -1 << "" << false;
    QTest::newRow("leave: request")
        << FlashStep::Leave << "Submitting leave request..." << ToolStage::Leave << 30
        << "Submit a request to leave..." << false;
    QTest::newRow("leave: ready") << FlashStep::Leave
                                  << "DFU state(2) = dfuIDLE, status(0) = No error" << erase << -1
                                  << "" << false;
}

void TestRules::flashLines()
{
    QFETCH(FlashStep, step);
    QFETCH(QString, line);
    QFETCH(ToolStage, stage);
    QFETCH(int, percent);
    QFETCH(QString, text);
    const std::optional<ToolProgress> shown = DfuOutput::progress(line, 150000, step);
    QCOMPARE(shown.has_value(), percent >= 0);
    if (shown)
        QCOMPARE(*shown, (ToolProgress{stage, percent, text}));
    QTEST(DfuOutput::classify(line) == DfuOutput::LineKind::Warning, "flagged");
}

// The bar along a recorded flash, line by line as the engine shows it: it
// never drops, and the erase, the write and the read-back each move it.
void TestRules::bands()
{
    const QList<QPair<FlashStep, const char *>> run = {{FlashStep::Write, "write-ok"},
                                                       {FlashStep::ReadBack, "read-ok"},
                                                       {FlashStep::Leave, "leave-ok"}};
    QList<int> values = {RunProgress::barValue(RunProgress::Stage::Scan, 0),
                         RunProgress::barValue(RunProgress::Stage::Download, 50),
                         RunProgress::barValue(RunProgress::Stage::Verify, 100)};
    QMap<ToolStage, QSet<int>> moves;
    for (const auto &[step, name] : run) {
        for (const QString &line :
             QString(transcript(name)).split(QRegularExpression("[\\r\\n]"))) {
            const auto shown = DfuOutput::progress(line.trimmed(), 150000, step);
            if (!shown)
                continue;
            values << RunProgress::barValue(RunProgress::ofTool(shown->stage), shown->percent);
            moves[shown->stage] << values.last();
        }
    }
    values << RunProgress::barValue(RunProgress::Stage::Done, 100);
    QVERIFY2(std::is_sorted(values.begin(), values.end()),
             qPrintable(QString::number(values.size())));
    QCOMPARE(values.last(), 100);
    for (const ToolStage stage : {ToolStage::Erase, ToolStage::Write, ToolStage::ReadBack})
        QVERIFY(moves.value(stage).size() > 1);
}

void TestRules::verdict_data()
{
    QTest::addColumn<FlashStep>("step");
    QTest::addColumn<QString>("output");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<Verdict>("verdict");
    QTest::addColumn<QString>("ending"); // the message that ended it

    const FlashStep write = FlashStep::Write;
    QTest::newRow("write, exit 0")
        << write << QString(transcript("write-ok")) << 0 << Verdict::Done << "";
    // The erase bar reaches 100 % before a byte of the image is written.
    QTest::newRow("write, 74 after the erase bar's 100%")
        << write << QString(transcript("fault-block-error")) << 74 << Verdict::Failed
        << "Failed to write whole chunk: -1 of 2048 bytes";
    QTest::newRow("write, completion text inside an error")
        << write << "dfu-util: Error: Download done. expected\n"
        << 74 << Verdict::Failed << "";
    QTest::newRow("write, 74 after completion glued to a progress update")
        << write << "\rErase   \t[     ]   0%            0 bytesFile downloaded successfully\n"
        << 74 << Verdict::Done << "";
    QTest::newRow("write, error glued to the erase bar")
        << write << QString(transcript("fault-erase-error")) << 74 << Verdict::Failed
        << "ERASE_PAGE not correctly executed";
    // A failed step fails the write whatever the exit code.
    QTest::newRow("write, exit 0 after a failed step")
        << write << "Download\t[==  ]  12%  18432 bytes failed!\nFile downloaded successfully\n"
        << 0 << Verdict::Failed << "";
    const FlashStep readBack = FlashStep::ReadBack;
    QTest::newRow("read back") << readBack << QString(transcript("read-ok")) << 0 << Verdict::Done
                               << "";
    QTest::newRow("read back refused")
        << readBack << QString(transcript("fault-read-protected")) << 74 << Verdict::Refused
        << "dfuse_upload: libusb_control_transfer returned -9 (LIBUSB_ERROR_PIPE)";
    QTest::newRow("device gone while read back")
        << readBack << QString(transcript("fault-read-vanish")) << 74 << Verdict::Failed
        << "dfuse_upload: libusb_control_transfer returned -4 (LIBUSB_ERROR_NO_DEVICE)";
    // Whatever the device answers to the request, it was asked to leave.
    QTest::newRow("leave") << FlashStep::Leave << QString(transcript("leave-ok")) << 0
                           << Verdict::Done << "";
    QTest::newRow("leave unanswered")
        << FlashStep::Leave << QString(transcript("fault-leave-silent")) << 74 << Verdict::Done
        << "Error during download get_status";
    QTest::newRow("leave never asked")
        << FlashStep::Leave << "dfu-util: Cannot open device: LIBUSB_ERROR_NO_DEVICE\n"
        << 74 << Verdict::Failed << "Cannot open device: LIBUSB_ERROR_NO_DEVICE";
}

void TestRules::verdict()
{
    QFETCH(FlashStep, step);
    QFETCH(QString, output);
    QFETCH(int, exitCode);
    QVERIFY2(!output.isEmpty(), "a transcript that was never recorded");
    QTEST(DfuOutput::verdict(step, exitCode, output), "verdict");
    QTEST(Diagnosis::endingMessage(output), "ending");
    // The restricted identity, and the one device the scan saw.
    const QStringList device = {"-d", "0483:df11,0483:df11", "-p", "1-2.3", "-a", "0", "-s"};
    QCOMPARE(FlashCommand::write("1-2.3", "/tmp/a b.bin"),
             device + QStringList({"0x08000000:force", "-D", "/tmp/a b.bin"}));
    QCOMPARE(FlashCommand::readBack("1-2.3", 150000, "/tmp/r/readback.bin"),
             device + QStringList({"0x08000000:150000", "-U", "/tmp/r/readback.bin"}));
    QCOMPARE(FlashCommand::leave("1-2.3"), device + QStringList("0x08000000:leave"));
}

void TestRules::diagnose_data()
{
    QTest::addColumn<Run>("run");
    QTest::addColumn<Environment>("environment");
    QTest::addColumn<Cause>("cause");
    QTest::addColumn<QString>("mention"); // in the sentences; empty: anything

    const auto row = [](const char *tag, const Run &run, Cause cause,
                        const QString &mention = QString(), const Environment &on = kLinux) {
        QTest::addRow("%s, %s%s", tag, on.platform == Platform::Windows ? "Windows" : "Linux",
                      on.udevRuleInstalled ? " with rule" : "")
            << run << on << cause << mention;
    };
    // A transcript: "list-..." are scans, "...read-..." read-backs, the others
    // writes; every "fault-..." ended in 74.
    const auto recorded = [&row](const char *name, Cause cause, const QString &mention = QString(),
                                 const Environment &on = kLinux) {
        const QByteArray tag(name);
        const Phase phase = tag.startsWith("list-") ? Phase::Scan
                            : tag.contains("read-") ? Phase::ReadBack
                                                    : Phase::Flash;
        row(name, printed(tag.startsWith("fault-") ? 74 : 0, transcript(name), phase), cause,
            mention, on);
    };
    recorded("list-none", Cause::NoDevice, "\"1\" key");
    recorded("list-one", Cause::None);
    recorded("list-with-other-identity", Cause::None);
    recorded("list-two", Cause::SeveralDevices, "2 Ravlo devices");
    recorded("list-other-identity", Cause::OtherDeviceOnly);
    recorded("list-open-denied", Cause::Permission, "70-ravlo-dfu.rules");
    recorded("list-open-denied", Cause::Permission, "computer itself", {Platform::Linux, true});
    recorded("list-open-denied", Cause::InUse, "another program", kWindows);
    recorded("list-open-denied-other-identity", Cause::NoDevice);
    recorded("fault-no-device", Cause::NoDevice);
    recorded("fault-open-denied", Cause::Permission);
    recorded("fault-block-error", Cause::WriteRefused, "Save log");
    recorded("fault-erase-stall", Cause::ConnectionLost, "hub");
    recorded("fault-block-stall", Cause::ConnectionLost, "battery");
    recorded("fault-erase-error", Cause::WriteRefused); // glued to the erase bar
    recorded("fault-vanish", Cause::ConnectionLost, "DFU mode again");
    recorded("fault-read-protected", Cause::ReadBackRefused, "read-protected");
    recorded("fault-read-vanish", Cause::ConnectionLost, "not known whether the device keeps");

    // The tool's own wording, as the Linux builds print it ("dfu-util: " before
    // every error, "E:" here) and as the Windows builds do (bare).
    const auto told = [&row](const char *tag, int exitCode, const QString &lines, Cause onLinux,
                             Cause onWindows, const QString &mention = QString()) {
        for (const bool windows : {false, true}) {
            Run run =
                printed(exitCode,
                        QString(lines).replace(QStringLiteral("E:"),
                                               windows ? QString() : QStringLiteral("dfu-util: ")));
            run.usbPath = "1-2";
            run.seen =
                DfuScan::parse(found("0483:df11", "1-2", "A") + found("8087:0aaa", "1-7", ""),
                               QString())
                    .devices;
            row(tag, run, windows ? onWindows : onLinux, mention, windows ? kWindows : kLinux);
        }
    };
    const QString erasing =
        "Opening DFU capable USB device...\nErase   \t[=    ]   4%   6144 bytes";
    told("a probe's refusal, then the erase broke", 74,
         "E:Cannot open DFU device 0483:df11 found on devnum 3 (LIBUSB_ERROR_ACCESS)\n" + erasing +
             "E:dfuse_download: libusb_control_transfer returned -7 (LIBUSB_ERROR_TIMEOUT)\n"
             "E:Error during special command \"ERASE_PAGE\" download\n",
         Cause::ConnectionLost, Cause::ConnectionLost, "charger");
    told("open refused", 74, "E:Cannot open device: LIBUSB_ERROR_ACCESS\n", Cause::Permission,
         Cause::InUse);
    told("interface busy", 74, "E:Cannot claim interface - LIBUSB_ERROR_BUSY\n", Cause::InUse,
         Cause::InUse);
    told("no WinUSB driver", 74,
         "E:Cannot open DFU device 0483:df11 found on devnum 4 (LIBUSB_ERROR_NOT_SUPPORTED)\n"
         "E:No DFU capable USB device available\n",
         Cause::ConnectionLost, Cause::Driver);
    told("no driver after a reset", 74, "E:Cannot open device: LIBUSB_ERROR_NOT_FOUND\n",
         Cause::ConnectionLost, Cause::Driver);
    // A status request that fails lost its answer on the link; the device refused nothing.
    told("erase status lost", 74,
         erasing + "E:Error during special command \"ERASE_PAGE\" get_status\n",
         Cause::ConnectionLost, Cause::ConnectionLost);
    told("status lost mid-write", 74, "E:Error during download get_status\n", Cause::ConnectionLost,
         Cause::ConnectionLost);
    // The device's status names the refusal, in every tool's wording.
    told("read-protected, older wording", 74,
         "Download\t[=  ]  10%  14336 bytes failed!\nstate(10) = dfuERROR, status(11) = iString "
         "indicates a vendor specific error\nE:Failed to write whole chunk: -1 of 2048 bytes\n",
         Cause::Protected, Cause::Protected);
    told("verify failed", 74,
         " failed!\nDFU state(10) = dfuERROR, status(7) = Programmed memory failed verification\n"
         "E:Failed to write whole chunk: -1 of 2048 bytes\n",
         Cause::VerifyFailed, Cause::VerifyFailed);
    told("address out of range", 76,
         "DFU state(10) = dfuERROR, status(8) = Cannot program memory due to received address "
         "that is out of range\nE:Wrong state after command \"SET_ADDRESS\" download\n",
         Cause::AddressRefused, Cause::AddressRefused);
    // With the device named by its path, another DFU interface is to blame.
    told("more than one device", 74,
         "E:More than one DFU capable USB device found! Try `--list' and specify the serial "
         "number or disconnect all but one device\n",
         Cause::SeveralInterfaces, Cause::SeveralInterfaces, "8087:0aaa at 1-7");
    told("usage", 64, "E:Invalid dfuse address: 0x0800000G\n", Cause::ToolUsage, Cause::ToolUsage,
         "0x0800000G");
    told("older usage", 1, "Usage: dfu-util [options] ...\n", Cause::ToolUsage, Cause::ToolUsage);
    told("file", 66, "E:Cannot open file /tmp/image.bin for reading: No such file or directory\n",
         Cause::ImageFile, Cause::ImageFile, "/tmp/image.bin");
    told("exit 0 after a refused write", 0,
         "Download\t[==  ]  12%  18432 bytes failed!\nDFU state(10) = dfuERROR, status(3) = "
         "Device is unable to write memory\n",
         Cause::WriteRefused, Cause::WriteRefused);
    told("exit 0 after a failed step", 0, "Download\t[==  ]  12%  18432 bytes failed!\n",
         Cause::FailedStep, Cause::FailedStep);

    // A scan: every device the tool could not open may be the Ravlo device...
    const QString olderTool = "Cannot open DFU device 0483:df11\n";
    row("older tool", printed(0, olderTool, Phase::Scan), Cause::Permission);
    row("older tool", printed(0, olderTool, Phase::Scan), Cause::Driver, "WinUSB", kWindows);
    // ...and one listed beside another that cannot be opened is never guessed at.
    row("one listed, another refused",
        printed(0, transcript("list-one") + transcript("list-open-denied"), Phase::Scan),
        Cause::SecondUnopenable, "nothing was written");
    row("last page", printed(64, "dfu-util: Last page at 0x0810ffff is not writeable\n"),
        Cause::WrongImage, "nothing was written");
    row("harmless lines only",
        printed(74, "dfu-util: Warning: Invalid DFU suffix signature\n"
                    "DFU state(10) = dfuERROR, status(6) = Program memory function failed\n"
                    "Clearing status\nDFU state(2) = dfuIDLE, status(0) = No error condition\n"
                    "dfu-util: can't detach\n"),
        Cause::Unknown, "74");
    row("missing", failedToStart(Phase::Scan, QProcess::FailedToStart, "execvp: No such file"),
        Cause::ToolMissing);
    row("not executable",
        failedToStart(Phase::Flash, QProcess::FailedToStart, "execvp: Permission denied"),
        Cause::ToolCannotStart, "Permission denied");
    row("crashed", failedToStart(Phase::Flash, QProcess::Crashed, {}), Cause::ToolCrashed,
        "not be fully written");
    row("crashed reading back", failedToStart(Phase::ReadBack, QProcess::Crashed, {}),
        Cause::ToolCrashed, "DFU mode again");
}

void TestRules::diagnose()
{
    QFETCH(Run, run);
    QFETCH(Environment, environment);
    QFETCH(QString, mention);
    QVERIFY2(!run.output.isEmpty() || run.processError, "a transcript that was never recorded");
    const Finding finding = Diagnosis::diagnose(run, environment);
    QTEST(finding.cause, "cause");
    QCOMPARE(finding.what.isEmpty(), finding.cause == Cause::None);
    const QString sentences = finding.what + ' ' + finding.advice;
    QVERIFY2(sentences.contains(mention), qPrintable(sentences));
}

// The command line's advice never speaks of the window's button, log or
// pictures, and says to run the command again wherever the window's says to
// press Upgrade.
void TestRules::adviceOfTheFrontEnd()
{
    Environment commandLine = kLinux;
    commandLine.frontEnd = FrontEnd::CommandLine;
    const QRegularExpression window("Upgrade|\\blog\\b|question-mark");
    for (int i = 0; i <= int(Cause::Unknown); ++i) {
        const Finding shown = describe(Cause(i), kLinux);
        const Finding printed = describe(Cause(i), commandLine);
        const QString said = printed.what + ' ' + printed.advice;
        QVERIFY2(!window.match(said).hasMatch(), qPrintable(said));
        QCOMPARE(printed.advice.contains("run the command again", Qt::CaseInsensitive),
                 shown.advice.contains("Upgrade"));
    }
}

void TestRules::udevRule_data()
{
    QTest::addColumn<QString>("early"); // the rules file in the first directory; null: none
    QTest::addColumn<QString>("late");  // a file of the same name in the second
    QTest::addColumn<bool>("installed");
    const QString rule = "ATTRS{idVendor}==\"0483\", ATTRS{idProduct}==\"DF11\", TAG+=\"uaccess\"";
    QTest::newRow("rule") << QString() << rule << true;
    QTest::newRow("commented out") << QString() << "# " + rule << false;
    QTest::newRow("masked") << "" << rule << false;
}

void TestRules::udevRule()
{
    QFETCH(QString, early);
    QFETCH(QString, late);
    const QTemporaryDir root;
    QStringList directories;
    for (const QString &contents : {early, late}) {
        directories << root.filePath(QString::number(directories.size()));
        QFile file(directories.last() + "/60-dfu.rules");
        QVERIFY(QDir().mkpath(directories.last()));
        QVERIFY(contents.isNull() ||
                (file.open(QIODevice::WriteOnly) && file.write(contents.toUtf8()) >= 0));
    }
    QTEST(udevRuleInstalled(directories), "installed");
}

void TestRules::compareVersions_data()
{
    QTest::addColumn<QString>("a");
    QTest::addColumn<QString>("b");
    QTest::addColumn<int>("result");
    QTest::newRow("newer patch") << "V1.0.1"
                                 << "V1.0.0" << 1;
    QTest::newRow("missing part is 0") << "1.0"
                                       << "V1.0.0" << 0;
    QTest::newRow("numbers, not text") << "V1.10"
                                       << "V1.9" << 1;
    QTest::newRow("beyond int") << "V99999999999999999999.0.0"
                                << "V1.0.0" << 1;
}

void TestRules::compareVersions()
{
    QFETCH(QString, a);
    QFETCH(QString, b);
    QTEST(Version::compare(a, b), "result");
}

void TestRules::downloadTexts()
{
    using namespace DownloadProgress;
    QCOMPARE(speedText(kilobytesPerSecond(2097152, 2000)), "1.0 MB/s");
    // Nothing moved: no non-finite remaining time.
    QCOMPARE(barText(40, 0.0, 1024 * 1024), "Download firmware: 40% (0.0 KB/s) remaining: unknown");
}

void TestRules::fileNameAndDigest_data()
{
    QTest::addColumn<QString>("version");
    QTest::addColumn<QString>("name");
    QTest::newRow("normal") << "1.2.3"
                            << "Ravlo_firmware_1.2.3_20261206_140307.bin";
    QTest::newRow("no manifest") << ""
                                 << "Ravlo_firmware__20261206_140307.bin";
    // A version from the manifest can never reach outside the folder.
    QTest::newRow("parent directories") << "../../x"
                                        << "Ravlo_firmware_.._.._x_20261206_140307.bin";
    QTest::newRow("backslash and drive") << "C:\\x"
                                         << "Ravlo_firmware_C__x_20261206_140307.bin";
}

void TestRules::fileNameAndDigest()
{
    QFETCH(QString, version);
    QTEST(FirmwareFile::fileName(version, QDateTime(QDate(2026, 12, 6), QTime(14, 3, 7))), "name");
    QTemporaryDir dir;
    QFile file(dir.filePath("image.bin"));
    QVERIFY(file.open(QIODevice::WriteOnly) && file.write("abc") == 3);
    file.close();
    QCOMPARE(Sha256::ofFile(file.fileName()),
             "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
    QCOMPARE(Sha256::ofFile(dir.filePath("missing.bin")), QString());
}

void TestRules::addresses()
{
    const Endpoints e{"https://127.0.0.1:4443", "http://127.0.0.1:8080/shop/index.html?x=1#top"};
    QCOMPARE(e.manifestUrl(), "https://127.0.0.1:4443/manifest.json");
    QCOMPARE(e.firmwareUrl(), "https://127.0.0.1:4443/Ravlo_1_2_210226.bin");
    QCOMPARE(e.storeHost(), "127.0.0.1");
    QCOMPARE(e.storeDownloadPage(), "http://127.0.0.1:8080/download/ravlo-Q70");
}

QTEST_GUILESS_MAIN(TestRules)
#include "tst_rules.moc"
