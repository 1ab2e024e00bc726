// The pure rules that read dfu-util's text: listing lines, flash output lines,
// and the flash command line.

#include "dfu/dfulisting.h"
#include "dfu/dfuoutput.h"
#include "dfu/flashcommand.h"

#include <QtTest>

Q_DECLARE_METATYPE(DfuOutput::LineKind)

namespace {
const char kRomLine[] =
    "Found DFU: [0483:df11] ver=0200, devnum=5, cfg=1, intf=0, path=\"1-2\", alt=0, "
    "name=\"@Internal Flash  /0x08000000/04*016Kg,01*064Kg,07*128Kg\", serial=\"3276386A3133\"";
}

class TestDfuText : public QObject
{
    Q_OBJECT
private slots:
    void listingLine_data();
    void listingLine();
    void classify_data();
    void classify();
    void progressLines_data();
    void progressLines();
    void stageTable_data();
    void stageTable();
    void completionDetected_data();
    void completionDetected();
    void flashCommand();
};

void TestDfuText::listingLine_data()
{
    QTest::addColumn<QString>("line");
    QTest::addColumn<QString>("vidPid");
    QTest::addColumn<QString>("serial");
    QTest::addColumn<QString>("key");
    QTest::addColumn<bool>("target");

    QTest::newRow("rom line, quoted serial kept with quotes") << kRomLine << "0483:df11"
                                                              << "\"3276386A3133\""
                                                              << "\"3276386A3133\"" << true;
    QTest::newRow("serial ends at comma") << "Found DFU: [0483:df11] serial=ABC,alt=1"
                                          << "0483:df11"
                                          << "ABC"
                                          << "ABC" << true;
    QTest::newRow("serial ends at bracket") << "Found DFU: [1234:5678] serial=X9]"
                                            << "1234:5678"
                                            << "X9"
                                            << "X9" << false;
    QTest::newRow("no serial: key is the identity") << "Found DFU: [0483:df11] ver=0200"
                                                    << "0483:df11"
                                                    << ""
                                                    << "0483:df11" << true;
    QTest::newRow("upper-case hex is not the target") << "Found DFU: [0483:DF11] serial=1"
                                                      << "0483:DF11"
                                                      << "1"
                                                      << "1" << false;
    QTest::newRow("neither identity nor serial") << "Found DFU: something"
                                                 << ""
                                                 << ""
                                                 << "" << false;
    QTest::newRow("identity needs four hex digits each") << "Found DFU: [483:df11]"
                                                         << ""
                                                         << ""
                                                         << "" << false;
}

void TestDfuText::listingLine()
{
    QFETCH(QString, line);
    QTEST(DfuListing::extractVidPid(line), "vidPid");
    QTEST(DfuListing::extractSerial(line), "serial");
    QTEST(DfuListing::deviceKey(line), "key");
    QTEST(DfuListing::isTargetDevice(DfuListing::extractVidPid(line)), "target");
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
}

void TestDfuText::completionDetected()
{
    QFETCH(QString, output);
    QTEST(DfuOutput::completionDetected(output), "detected");
}

void TestDfuText::flashCommand()
{
    const QStringList expected = {
        "-d", "0483:df11,0483:df11",    "-a", "0",
        "-s", "0x08000000:force:leave", "-D", "/tmp/with space/image.bin"};
    QCOMPARE(FlashCommand::arguments("0483:df11", "/tmp/with space/image.bin"), expected);
    // Without a scanned identity the target's is used.
    QCOMPARE(FlashCommand::arguments(QString(), "/tmp/with space/image.bin"), expected);
}

QTEST_GUILESS_MAIN(TestDfuText)
#include "tst_dfutext.moc"
