// The real dfu-util 0.11 against the simulated DfuSe bus: listings, flashing
// and every fault the bus can be told to show.
//
// With RAVLO_CAPTURE_TRANSCRIPTS set to a folder, every run's merged output is
// also kept there as <name>.txt and listed in index.txt (name, exit code,
// arguments); scripts/capture-transcripts.sh uses this to renew
// tests/data/transcripts.

#include "dfusim.h"
#include "toolslot.h"

#include <QtTest>

Q_DECLARE_METATYPE(DfuSimScenario)

namespace {

using Fault = DfuSimScenario::Fault;

const QByteArray kBanner = "dfu-util 0.11\n"
                           "\n"
                           "Copyright 2005-2009 Weston Schmidt, Harald Welte and OpenMoko Inc.\n"
                           "Copyright 2010-2021 Tormod Volden and Stefan Schmidt\n"
                           "This program is Free Software and has ABSOLUTELY NO WARRANTY\n"
                           "Please report bugs to http://sourceforge.net/p/dfu-util/tickets/\n"
                           "\n";

const QString kImageName = QStringLiteral("image.bin");
const int kImageSize = 150000;

// The program's own command line, image relative to the working directory.
QStringList flashArguments(const QString &device = QStringLiteral("0483:df11"))
{
    return {"-d", device, "-a", "0", "-s", "0x08000000:force:leave", "-D", kImageName};
}

// The -l lines of one DfuSe bootloader: highest alt setting first.
QByteArray bootloaderLines(const QByteArray &vidPid, int devnum, const QByteArray &serial)
{
    static const char *const names[] = {
        "@Device Feature/0xFFFF0000/01*004 e",
        "@OTP Memory /0x1FFF7800/01*512 e,01*016 e",
        "@Option Bytes  /0x1FFFC000/01*016 e",
        "@Internal Flash  /0x08000000/04*016Kg,01*064Kg,07*128Kg",
    };
    QByteArray lines;
    for (int alt = 3; alt >= 0; --alt) {
        lines += "Found DFU: [" + vidPid + "] ver=0200, devnum=" + QByteArray::number(devnum) +
                 ", cfg=1, intf=0, path=\"1-" + QByteArray::number(devnum - 3) +
                 "\", alt=" + QByteArray::number(alt) + ", name=\"" + names[3 - alt] +
                 "\", serial=\"" + serial + "\"\n";
    }
    return lines;
}

struct ToolRun
{
    int exitCode = -1;
    QByteArray output;
};

// An empty name keeps nothing.
void capture(const QString &name, const QStringList &arguments, const ToolRun &run)
{
    const QString folder = qEnvironmentVariable("RAVLO_CAPTURE_TRANSCRIPTS");
    if (folder.isEmpty() || name.isEmpty())
        return;
    QFile transcript(QDir(folder).filePath(name + QStringLiteral(".txt")));
    QFile index(QDir(folder).filePath(QStringLiteral("index.txt")));
    QVERIFY(transcript.open(QIODevice::WriteOnly) && index.open(QIODevice::Append));
    transcript.write(run.output);
    index.write(QStringLiteral("%1 %2 %3\n")
                    .arg(name)
                    .arg(run.exitCode)
                    .arg(arguments.join(QLatin1Char(' ')))
                    .toUtf8());
}

// Runs the real tool in the scenario's directory, standard error merged into
// standard output as the program reads it.
ToolRun runTool(const DfuSimScenario &scenario, const QString &directory,
                const QStringList &arguments, const QString &transcript)
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    scenario.applyTo(environment);
    QProcess process;
    process.setProcessEnvironment(environment);
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.setWorkingDirectory(directory);
    process.start(ToolSlot::realToolPath(), arguments);
    ToolRun run;
    if (!process.waitForFinished(60000) || process.exitStatus() != QProcess::NormalExit)
        return run;
    run.exitCode = process.exitCode();
    run.output = process.readAll();
    capture(transcript, arguments, run);
    return run;
}

bool writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

// The first fragment that does not follow the previous ones in text, or an
// empty string when all do.
QByteArray missingInOrder(const QByteArray &text, const QByteArrayList &fragments)
{
    int from = 0;
    for (const QByteArray &fragment : fragments) {
        const int at = text.indexOf(fragment, from);
        if (at < 0)
            return fragment;
        from = at + fragment.size();
    }
    return QByteArray();
}

enum class FlashAfter
{
    Previous,
    Image,
    Unchecked
};

} // namespace

Q_DECLARE_METATYPE(FlashAfter)

class TestDfuSim : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void listing_data();
    void listing();
    void flash_data();
    void flash();
    void faults_data();
    void faults();
    void deviceIdentity_data();
    void deviceIdentity();
    void inheritedFromThisProcess();

private:
    // A scenario in a fresh directory with the previous firmware in its flash
    // and the image beside it.
    bool prepare(DfuSimScenario &scenario, const QTemporaryDir &directory, const QByteArray &image);
};

void TestDfuSim::initTestCase()
{
    QVERIFY(QFileInfo(ToolSlot::realToolPath()).isExecutable());
    const QString folder = qEnvironmentVariable("RAVLO_CAPTURE_TRANSCRIPTS");
    if (!folder.isEmpty())
        QFile::remove(QDir(folder).filePath(QStringLiteral("index.txt")));
}

bool TestDfuSim::prepare(DfuSimScenario &scenario, const QTemporaryDir &directory,
                         const QByteArray &image)
{
    scenario.setDirectory(directory.path());
    return directory.isValid() && scenario.setFlash(DfuSim::previousFirmware()) &&
           writeFile(directory.filePath(kImageName), image);
}

void TestDfuSim::listing_data()
{
    QTest::addColumn<DfuSimScenario>("scenario");
    QTest::addColumn<QByteArray>("listing");

    QTest::newRow("none") << DfuSimScenario() << QByteArray();
    QTest::newRow("one") << DfuSimScenario().addDevice()
                         << bootloaderLines("0483:df11", 5, "3276386A3133");
    QTest::newRow("two") << DfuSimScenario().addDevice().addDevice()
                         << bootloaderLines("0483:df11", 6, "3276386A3134") +
                                bootloaderLines("0483:df11", 5, "3276386A3133");
    QTest::newRow("other-identity") << DfuSimScenario().addDevice("1234:5678")
                                    << bootloaderLines("1234:5678", 5, "3276386A3133");
    QTest::newRow("quoted-serial") << DfuSimScenario().addDevice("0483:df11", "\"3276386A3133\"")
                                   << bootloaderLines("0483:df11", 5, "\"3276386A3133\"");
    QTest::newRow("no-serial") << DfuSimScenario().addDevice("0483:df11", QString())
                               << bootloaderLines("0483:df11", 5, "UNKNOWN");
    QTest::newRow("runtime") << DfuSimScenario().addRuntimeDevice("0483:df11")
                             << QByteArray("Found Runtime: [0483:df11] ver=0200, devnum=5, cfg=1, "
                                           "intf=0, path=\"1-2\", alt=0, name=\"UNKNOWN\", "
                                           "serial=\"3276386A3133\"\n");
    QTest::newRow("open-denied")
        << DfuSimScenario().addDevice().setFault(Fault::OpenDenied)
        << QByteArray("dfu-util: Cannot open DFU device 0483:df11 found on devnum 5 "
                      "(LIBUSB_ERROR_ACCESS)\n");
    QTest::newRow("open-denied-other-identity")
        << DfuSimScenario().addDevice("1234:5678").setFault(Fault::OpenDenied)
        << QByteArray("dfu-util: Cannot open DFU device 1234:5678 found on devnum 5 "
                      "(LIBUSB_ERROR_ACCESS)\n");
    QTest::newRow("with-other-identity") << DfuSimScenario().addDevice().addDevice("1234:5678")
                                         << bootloaderLines("1234:5678", 6, "3276386A3134") +
                                                bootloaderLines("0483:df11", 5, "3276386A3133");
}

void TestDfuSim::listing()
{
    QFETCH(DfuSimScenario, scenario);
    QFETCH(QByteArray, listing);
    const QTemporaryDir directory;
    scenario.setDirectory(directory.path());
    const ToolRun run = runTool(scenario, directory.path(), {"-l"},
                                QStringLiteral("list-") + QTest::currentDataTag());
    QCOMPARE(run.output, kBanner + listing);
    QCOMPARE(run.exitCode, 0);
    QCOMPARE(QDir(directory.path()).entryList({"flash*"}), QStringList());
}

void TestDfuSim::flash_data()
{
    QTest::addColumn<int>("imageSize");
    QTest::addColumn<int>("pollTimeout");
    QTest::addColumn<int>("devices");

    QTest::newRow("ok") << kImageSize << 0 << 1;
    // Slow enough for the progress bars to redraw on the clock, as with a
    // real device.
    QTest::newRow("paced") << kImageSize << 10 << 1;
    QTest::newRow("whole-chunks") << 3 * 2048 << 0 << 1;
    QTest::newRow("whole-sector") << 0x4000 << 0 << 1;
    QTest::newRow("one-byte") << 1 << 0 << 1;
    QTest::newRow("empty") << 0 << 0 << 1;
    // Each chosen by its path: the second run sees the bus as changed after
    // the first, and the second device keeps its path without the first.
    QTest::newRow("two-devices") << kImageSize << 0 << 2;
}

void TestDfuSim::flash()
{
    QFETCH(int, imageSize);
    QFETCH(int, pollTimeout);
    QFETCH(int, devices);
    const QTemporaryDir directory;
    DfuSimScenario scenario;
    scenario.setPollTimeout(pollTimeout);
    QVERIFY(prepare(scenario, directory, QByteArray()));

    // Each device is plugged in, flashed with its own image and unplugged.
    for (int i = 0; i < devices; ++i) {
        QVERIFY(writeFile(directory.filePath(kImageName), DfuSim::image(imageSize, i + 1)));
        QStringList arguments = flashArguments();
        // Two devices print what one does.
        QString transcript = QStringLiteral("flash-") + QTest::currentDataTag();
        if (devices > 1) {
            arguments = flashArguments("0483:df11,0483:df11") << "-p" << DfuSimScenario::path(i);
            transcript.clear();
        }
        scenario.addDevice();
        const ToolRun run = runTool(scenario, directory.path(), arguments, transcript);
        scenario.unplug(i);
        const QByteArray missing = missingInOrder(
            run.output, {"File downloaded successfully", "Submitting leave request...\n",
                         "Transitioning to dfuMANIFEST state\n"});
        QVERIFY2(missing.isEmpty(), missing);
        QCOMPARE(run.exitCode, 0);
    }

    const QByteArray previous = DfuSim::previousFirmware();
    const int erasedEnd = DfuSim::erasedEnd(imageSize);
    for (int i = 0; i < devices; ++i) {
        const QByteArray flash = scenario.flash(i);
        QCOMPARE(flash.size(), DfuSim::kFlashSize);
        QVERIFY(flash.left(imageSize) == DfuSim::image(imageSize, i + 1));
        QVERIFY(flash.mid(imageSize, erasedEnd - imageSize) ==
                QByteArray(erasedEnd - imageSize, char(flashlayout::kErased)));
        QVERIFY(flash.mid(erasedEnd) == previous.mid(erasedEnd));
    }
}

void TestDfuSim::faults_data()
{
    QTest::addColumn<DfuSimScenario>("scenario");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QByteArrayList>("output");
    QTest::addColumn<FlashAfter>("flashAfter");

    const auto device = [](Fault fault, int n = 1) {
        return DfuSimScenario().addDevice().setFault(fault, n);
    };
    const QByteArray written = "File downloaded successfully\nSubmitting leave request...\n";

    QTest::newRow("no-device") << DfuSimScenario() << 74
                               << QByteArrayList{"dfu-util: No DFU capable USB device available\n"}
                               << FlashAfter::Unchecked;
    QTest::newRow("two-devices")
        << DfuSimScenario().addDevice().addDevice() << 74
        << QByteArrayList{"dfu-util: More than one DFU capable USB device found! Try `--list' and "
                          "specify the serial number or disconnect all but one device\n\n"}
        << FlashAfter::Previous;
    QTest::newRow("open-denied")
        << device(Fault::OpenDenied) << 74
        << QByteArrayList{"dfu-util: Cannot open DFU device 0483:df11 found on devnum 5 "
                          "(LIBUSB_ERROR_ACCESS)\n",
                          "dfu-util: No DFU capable USB device available\n"}
        << FlashAfter::Previous;
    QTest::newRow("start-in-error")
        << device(Fault::StartInError) << 0
        << QByteArrayList{"DFU state(10) = dfuERROR, status(14) = ", "Clearing status\n",
                          "DFU state(2) = dfuIDLE, status(0) = No error condition is present\n",
                          written}
        << FlashAfter::Image;
    QTest::newRow("block-error")
        << device(Fault::BlockError, 40) << 74
        << QByteArrayList{"Download\t[=============            ]  53%        79872 bytes failed!\n"
                          "DFU state(10) = dfuERROR, status(6) = Program memory function failed\n"
                          "dfu-util: Failed to write whole chunk: -1 of 2048 bytes\n"}
        << FlashAfter::Unchecked;
    QTest::newRow("erase-stall")
        << device(Fault::Stall, 1) << 74
        << QByteArrayList{"dfu-util: dfuse_download: libusb_control_transfer returned -9 "
                          "(LIBUSB_ERROR_PIPE)\n",
                          "dfu-util: Error during special command \"ERASE_PAGE\" download\n"}
        << FlashAfter::Previous;
    // Six erases and one set-address request come before the first block.
    QTest::newRow("block-stall") << device(Fault::Stall, 8) << 74
                                 << QByteArrayList{"Erase    done.\n", "(LIBUSB_ERROR_PIPE)\n",
                                                   "dfu-util: Error during download\n"}
                                 << FlashAfter::Unchecked;
    // The first set-address request, after the six erases.
    QTest::newRow("address-stall")
        << device(Fault::Stall, 7) << 74
        << QByteArrayList{"Erase    done.\n", "(LIBUSB_ERROR_PIPE)\n",
                          "dfu-util: Error during special command \"SET_ADDRESS\" download\n"}
        << FlashAfter::Unchecked;
    QTest::newRow("erase-error") << device(Fault::EraseError, 2) << 74
                                 << QByteArrayList{"dfu-util: ERASE_PAGE not correctly executed\n"}
                                 << FlashAfter::Unchecked;
    QTest::newRow("vanish") << device(Fault::Vanish, 40) << 74
                            << QByteArrayList{"dfu-util: dfuse_download: libusb_control_transfer "
                                              "returned -4 (LIBUSB_ERROR_NO_DEVICE)\n",
                                              "dfu-util: Error during download\n"}
                            << FlashAfter::Unchecked;
    QTest::newRow("leave-silent") << device(Fault::LeaveSilent) << 74
                                  << QByteArrayList{written +
                                                    "dfu-util: Error during download get_status\n"}
                                  << FlashAfter::Image;
    QTest::newRow("leave-error")
        << device(Fault::LeaveError) << 0
        << QByteArrayList{written + " failed!\nDFU state(10) = dfuERROR, status(9) = "}
        << FlashAfter::Image;
}

void TestDfuSim::faults()
{
    QFETCH(DfuSimScenario, scenario);
    QFETCH(int, exitCode);
    QFETCH(QByteArrayList, output);
    QFETCH(FlashAfter, flashAfter);
    const QTemporaryDir directory;
    const QByteArray image = DfuSim::image(kImageSize);
    QVERIFY(prepare(scenario, directory, image));

    const ToolRun run = runTool(scenario, directory.path(), flashArguments(),
                                QStringLiteral("fault-") + QTest::currentDataTag());
    const QByteArray missing = missingInOrder(run.output, output);
    QVERIFY2(missing.isEmpty(), missing);
    QCOMPARE(run.exitCode, exitCode);

    const QByteArray flash = scenario.flash();
    if (flashAfter == FlashAfter::Previous)
        QVERIFY(flash == DfuSim::previousFirmware());
    if (flashAfter == FlashAfter::Image)
        QVERIFY(flash.left(kImageSize) == image);
}

void TestDfuSim::deviceIdentity_data()
{
    QTest::addColumn<QString>("match");
    QTest::addColumn<bool>("flashed");

    // -d names the run-time identity; a device already in DFU mode may have any.
    QTest::newRow("run-time-identity") << "0483:df11" << true;
    QTest::newRow("dfu-mode-identity") << "0483:df11,0483:df11" << false;
}

void TestDfuSim::deviceIdentity()
{
    QFETCH(QString, match);
    QFETCH(bool, flashed);
    const QTemporaryDir directory;
    DfuSimScenario scenario;
    scenario.addDevice("1234:5678");
    const QByteArray image = DfuSim::image(kImageSize);
    QVERIFY(prepare(scenario, directory, image));

    const ToolRun run = runTool(scenario, directory.path(), flashArguments(match),
                                QStringLiteral("identity-") + QTest::currentDataTag());
    if (flashed) {
        QCOMPARE(run.exitCode, 0);
        QVERIFY(run.output.contains("Device ID 1234:5678\n"));
        QVERIFY(scenario.flash().left(kImageSize) == image);
    } else {
        QCOMPARE(run.exitCode, 74);
        QVERIFY(run.output.endsWith("dfu-util: No DFU capable USB device available\n"));
        QVERIFY(scenario.transferLog().filter("req=DNLOAD").isEmpty());
        QVERIFY(scenario.flash() == DfuSim::previousFirmware());
    }
}

// The way a test reaches the dfu-util that the program itself starts.
void TestDfuSim::inheritedFromThisProcess()
{
    const QByteArray libraryPath = qgetenv("LD_LIBRARY_PATH");
    DfuSimScenario().addDevice("1234:5678").applyToThisProcess();
    QProcess process;
    process.start(ToolSlot::realToolPath(), {"-l"});
    const bool finished = process.waitForFinished();
    DfuSimScenario::clearFromThisProcess();

    QVERIFY(finished);
    QVERIFY(process.readAllStandardOutput().contains("Found DFU: [1234:5678]"));
    QCOMPARE(qgetenv("LD_LIBRARY_PATH"), libraryPath);
    QVERIFY(!qEnvironmentVariableIsSet("RAVLO_DFUSIM_DEVICES"));
}

QTEST_GUILESS_MAIN(TestDfuSim)
#include "tst_dfusim.moc"
