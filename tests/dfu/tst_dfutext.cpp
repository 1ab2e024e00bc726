// The pure rules that read dfu-util's text: listing lines, flash output lines,
// and the flash command line.

#include "dfu/dfuoutput.h"
#include "dfu/dfuscan.h"
#include "dfu/flashcommand.h"
#include "transcripts.h"

#include <QtTest>

Q_DECLARE_METATYPE(DfuOutput::LineKind)

namespace {
QString line(const QString &vidPid, const QString &path, const QString &serial, int alt = 0)
{
    return QStringLiteral("Found DFU: [%1] ver=0200, devnum=5, cfg=1, intf=0, path=\"%2\", "
                          "alt=%4, name=\"@Internal Flash  /0x08000000/04*016Kg,01*064Kg,"
                          "07*128Kg\", serial=\"%3\"\n")
        .arg(vidPid, path, serial)
        .arg(alt);
}
} // namespace

class TestDfuText : public QObject
{
    Q_OBJECT
private slots:
    void scan_data();
    void scan();
    void classify_data();
    void classify();
    void progressLines_data();
    void progressLines();
    void stageTable_data();
    void stageTable();
    void completionDetected_data();
    void completionDetected();
    void lastError_data();
    void lastError();
    void flashCommand();
};

void TestDfuText::scan_data()
{
    QTest::addColumn<QString>("listing");
    QTest::addColumn<QString>("errors");
    QTest::addColumn<int>("devices");
    QTest::addColumn<int>("ravlo");
    QTest::addColumn<int>("problems"); // standard-error lines that fail a scan
    QTest::addColumn<qint64>("flashSize");

    const QString rom = Transcripts::read("list-one");
    QTest::newRow("one device, four alt settings") << rom << "" << 1 << 1 << 0 << qint64(1 << 20);
    QTest::newRow("two devices") << QString(Transcripts::read("list-two")) << "" << 2 << 2 << 0
                                 << qint64(1 << 20);
    // Bootloaders that report the same serial are told apart by their paths.
    QTest::newRow("same serial, two paths")
        << line("0483:df11", "1-2", "FFFFFFFEFFFF") + line("0483:df11", "1-3", "FFFFFFFEFFFF") << ""
        << 2 << 2 << 0 << qint64(1 << 20);
    QTest::newRow("another identity")
        << line("1234:5678", "1-2", "X") << "" << 1 << 0 << 0 << qint64(1 << 20);
    QTest::newRow("upper-case hex is not Ravlo")
        << line("0483:DF11", "1-2", "X") << "" << 1 << 0 << 0 << qint64(1 << 20);
    QTest::newRow("run-time mode is not DFU mode")
        << QString(Transcripts::read("list-runtime")) << "" << 1 << 0 << 0 << qint64(0);
    // Only what concerns the Ravlo identity decides.
    QTest::newRow("another device cannot be opened")
        << rom
        << "dfu-util: Cannot open DFU device 0489:e042 found on devnum 3 "
           "(LIBUSB_ERROR_ACCESS)\n"
        << 1 << 1 << 0 << qint64(1 << 20);
    QTest::newRow("a Ravlo device cannot be opened")
        << ""
        << "dfu-util: Cannot open DFU device 0483:df11 found on devnum 5 "
           "(LIBUSB_ERROR_ACCESS)\n"
        << 0 << 0 << 1 << qint64(0);
    QTest::newRow("alt 0 without a layout")
        << "Found DFU: [0483:df11] ver=0200, devnum=5, path=\"1-2\", alt=0, name=\"UNKNOWN\", "
           "serial=\"UNKNOWN\"\n"
        << "" << 1 << 1 << 0 << qint64(0);
}

void TestDfuText::scan()
{
    QFETCH(QString, listing);
    QFETCH(QString, errors);
    const DfuScan scan = DfuScan::parse(listing, errors);
    QTEST(int(scan.devices.size()), "devices");
    QTEST(int(scan.ravloDevices().size()), "ravlo");
    QTEST(int(scan.ravloProblems.size()), "problems");
    QCOMPARE(scan.ravloProblems.size() + scan.otherMessages.size(),
             errors.split('\n', Qt::SkipEmptyParts).size());
    if (!scan.devices.isEmpty())
        QTEST(scan.devices.first().flashSize(), "flashSize");
}

void TestDfuText::classify_data()
{
    using K = DfuOutput::LineKind;
    QTest::addColumn<QString>("line");
    QTest::addColumn<K>("kind");

    QTest::newRow("erase progress") << "Erase   \t[===   ]  45%  12288 bytes" << K::EraseProgress;
    QTest::newRow("erase and download: erase wins")
        << "Erase Download [=] 5% 10 bytes" << K::EraseProgress;
    QTest::newRow("download progress") << "Download\t[==] 50% 75000 bytes" << K::DownloadProgress;
    QTest::newRow("download done has no percent: completion") << "Download done." << K::Completion;
    QTest::newRow("erase without percent") << "Erase    done." << K::Other;
    QTest::newRow("stage") << "Claiming USB DFU Interface..." << K::Stage;
    QTest::newRow("error state goes to the stage table")
        << "DFU state(10) = dfuERROR, status(6) = Program memory function failed" << K::Stage;
    QTest::newRow("completion") << "File downloaded successfully" << K::Completion;
    QTest::newRow("tool warning") << "dfu-util: can't detach" << K::Warning;
    QTest::newRow("warning words are case-sensitive")
        << "dfu-util: Error during download get_status" << K::Other;
    QTest::newRow("failed") << "Download failed!" << K::Warning;
    QTest::newRow("banner") << "dfu-util 0.11" << K::Other;
    QTest::newRow("case matters") << "erase 45% 12 bytes" << K::Other;
}

void TestDfuText::classify()
{
    QFETCH(QString, line);
    QTEST(DfuOutput::classify(line), "kind");
}

void TestDfuText::progressLines_data()
{
    QTest::addColumn<bool>("erase");
    QTest::addColumn<QString>("line");
    QTest::addColumn<int>("value"); // -1: no match
    QTest::addColumn<QString>("text");

    QTest::newRow("erase 45%") << true << "Erase   \t[===      ]  45%        12288 bytes" << 4
                               << "Erase Flash: 45% (12288 bytes)";
    QTest::newRow("erase 9%") << true << "Erase [=] 9% 2048 bytes" << 0
                              << "Erase Flash: 9% (2048 bytes)";
    QTest::newRow("erase 99%") << true << "Erase [=] 99% 2048 bytes" << 9
                               << "Erase Flash: 99% (2048 bytes)";
    QTest::newRow("erase 100%") << true << "Erase [=] 100% 150000 bytes" << 10
                                << "Erase Flash: 100% (150000 bytes)";
    QTest::newRow("erase: carriage-return updates, the first counts")
        << true << "Erase   \t[    ]   0%            0 bytes\rErase   \t[=   ]   4%   6144 bytes"
        << 0 << "Erase Flash: 0% (0 bytes)";
    QTest::newRow("erase without bar") << true << "Erase 45% 12288 bytes" << -1 << "";
    QTest::newRow("download 0%") << false << "Download\t[ ]   0%   0 bytes" << 10
                                 << "firmware burning: 0% (0/150000 bytes)";
    QTest::newRow("download 50%") << false << "Download\t[==] 50% 75000 bytes" << 50
                                  << "firmware burning: 50% (75000/150000 bytes)";
    QTest::newRow("download 100%: size is the image's")
        << false << "Download\t[=====] 100% 147456 bytes" << 90
        << "firmware burning: 100% (147456/150000 bytes)";
    QTest::newRow("download without bytes") << false << "Download [=] 10%" << -1 << "";
    QTest::newRow("garbled percentage") << false << "Download\t[=] 2147483647%  1 bytes" << 90
                                        << "firmware burning: 100% (1/150000 bytes)";
}

void TestDfuText::progressLines()
{
    QFETCH(bool, erase);
    QFETCH(QString, line);
    QFETCH(int, value);
    QFETCH(QString, text);
    const auto update =
        erase ? DfuOutput::eraseProgress(line) : DfuOutput::downloadProgress(line, 150000);
    QCOMPARE(update.has_value(), value >= 0);
    if (update)
        QCOMPARE(*update, (BarUpdate{value, text}));
}

void TestDfuText::stageTable_data()
{
    QTest::addColumn<QString>("line");
    QTest::addColumn<int>("value"); // -1: no change
    QTest::addColumn<QString>("text");

    // The connection and leave stages are checked through the window with the
    // real tool's output; these lines do not occur in those flashes.
    QTest::newRow("reset") << "Resetting USB to switch back to runtime mode" << 95
                           << "Reset USB device...";
    QTest::newRow("other state") << "DFU state(5) = dfuDNLOAD-IDLE" << -1 << "";
}

void TestDfuText::stageTable()
{
    QFETCH(QString, line);
    QFETCH(int, value);
    QFETCH(QString, text);
    const auto update = DfuOutput::stageProgress(line);
    QCOMPARE(update.has_value(), value >= 0);
    if (update)
        QCOMPARE(*update, (BarUpdate{value, text}));
}

void TestDfuText::completionDetected_data()
{
    QTest::addColumn<QString>("output");
    QTest::addColumn<bool>("detected");
    QTest::newRow("file downloaded") << "x\nFile downloaded successfully\n" << true;
    QTest::newRow("download done") << "Download done.\n" << true;
    QTest::newRow("100%") << "\rDownload\t[====] 100%  2048 bytes" << true;
    QTest::newRow("99%") << "\rDownload\t[====]  99%  2048 bytes" << false;
    QTest::newRow("erase 100%, then a failed write")
        << "\rErase   \t[=====] 100%  150000 bytes\nErase    done.\n"
           "\rDownload\t[==   ]  53%  79872 bytes failed!\n"
        << false;
    QTest::newRow("nothing") << "" << false;
    QTest::newRow("completion text inside an error") << "dfu-util: Error: Download done. expected\n"
                                                     << false;
    QTest::newRow("glued to a progress update")
        << "\rErase   \t[     ]   0%            0 bytesFile downloaded successfully\n"
        << true;
}

void TestDfuText::completionDetected()
{
    QFETCH(QString, output);
    QTEST(DfuOutput::completionDetected(output), "detected");
}

void TestDfuText::lastError_data()
{
    QTest::addColumn<QString>("transcript");
    QTest::addColumn<QString>("error");
    QTest::newRow("written") << "flash-ok"
                             << "";
    QTest::newRow("glued to a progress update") << "fault-erase-error"
                                                << "ERASE_PAGE not correctly executed";
    QTest::newRow("two devices") << "fault-two-devices"
                                 << "More than one DFU capable USB device found! Try `--list' "
                                    "and specify the serial number or disconnect all but one "
                                    "device";
}

void TestDfuText::lastError()
{
    QFETCH(QString, transcript);
    QTEST(DfuOutput::lastError(Transcripts::read(transcript)), "error");
}

void TestDfuText::flashCommand()
{
    const QStringList expected = {
        "-d", "0483:df11,0483:df11",      "-p", "1-2.3", "-a", "0", "-s", "0x08000000:force:leave",
        "-D", "/tmp/with space/image.bin"};
    QCOMPARE(FlashCommand::arguments("1-2.3", "/tmp/with space/image.bin"), expected);
}

QTEST_GUILESS_MAIN(TestDfuText)
#include "tst_dfutext.moc"
