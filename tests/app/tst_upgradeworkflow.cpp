// The window as the view of an upgrade: what a click on Upgrade shows in the
// boxes, the bar, the buttons and the log view, with the real dfu-util and
// the simulated device. The roads themselves are tst_upgradeengine's.

#include "app/application.h"
#include "app/mainwindow.h"
#include "dfusimscenario.h"
#include "windowharness.h"

#include <QProgressBar>
#include <QPushButton>
#include <QtTest>

#include <csignal>

namespace {

const QString kStarting = QStringLiteral("[INFO] Starting firmware upgrade process...");
const QString kCompleted = QStringLiteral("[INFO] Upgrade completed successfully");

// The run's lines of the log view, without the instructions line the window
// starts with, and without time stamps.
QStringList runLog(const WindowHarness &harness)
{
    return harness.logLines().mid(1).replaceInStrings(QRegularExpression("^\\[[^\\]]*\\] "), "");
}

} // namespace

Q_DECLARE_METATYPE(DfuSimScenario)
Q_DECLARE_METATYPE(QMessageBox::StandardButton)

class TestUpgradeWorkflow : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { setupApplication(*qApp); }
    void init();
    void failure_data();
    void failure();
    void clickWhileUnderway_data();
    void clickWhileUnderway();
    void endDuringRun_data();
    void endDuringRun();

private:
    // The window, its engine's limits shortened, with the image and its
    // manifest in the bucket, the bus set up, the run started.
    void start(WindowHarness &harness, const LoopbackReply &image);
    bool flashing(const WindowHarness &harness) const
    {
        return harness.bar()->format().startsWith(QLatin1String("firmware burning:"));
    }

    QTemporaryDir m_dir;
    DfuSimScenario m_bus;
    const QByteArray m_image = DfuSim::image(150000);
};

void TestUpgradeWorkflow::init()
{
    QVERIFY(ToolSlot::installExecutable());
    m_bus = DfuSimScenario(m_dir.path());
    QVERIFY(m_bus.setFlash(DfuSim::previousFirmware()));
}

void TestUpgradeWorkflow::start(WindowHarness &harness, const LoopbackReply &image)
{
    Release::serve(harness.bucket(), m_image);
    harness.bucket().serve(Release::kFirmwarePath, image);
    m_bus.applyToThisProcess();
    harness.open()->findChild<UpgradeEngine *>()->setLimits(testLimits());
    harness.button("BtnUpgrade")->click();
}

// Every verdict but success: what the log, the boxes and the bar say.
void TestUpgradeWorkflow::failure_data()
{
    QTest::addColumn<DfuSimScenario>("bus");
    QTest::addColumn<QStringList>("boxes");
    QTest::addColumn<QStringList>("lines"); // regular expressions, after the first line
    QTest::addColumn<QString>("bar");

    // The tool's line, the failure, its cause and what to do: the cause and
    // the advice also in a box.
    QTest::newRow("device refuses to be opened")
        << DfuSimScenario().addDevice().setFault(DfuSimScenario::Fault::OpenDenied)
        << QStringList{"Upgrade failed"}
        << QStringList{"\\[ERROR\\] Device scanning error: dfu-util: Cannot open DFU device "
                       "0483:df11 .+\\(LIBUSB_ERROR_ACCESS\\)",
                       "\\[ERROR\\] Upgrade process error: Failed to meet upgrade preconditions",
                       "\\[ERROR\\] The Ravlo device is connected, but this user may not open "
                       "it\\.",
                       "\\[WARNING\\] .+"}
        << "Upgrade failed";
    // No device: the steps in the log, no box.
    QTest::newRow("no device")
        << DfuSimScenario() << QStringList()
        << QStringList{"\\[ERROR\\] The device did not connect successfully, please connect the "
                       "device",
                       "\\[ERROR\\] Upgrade process error: Failed to meet upgrade preconditions",
                       "\\[ERROR\\] No Ravlo device in DFU mode was found\\.",
                       "\\[WARNING\\] Put the device into DFU mode.+"}
        << "Upgrade failed";
    // Every block acknowledged, none kept: never "Upgrade Successful".
    QTest::newRow("device keeps nothing")
        << DfuSimScenario().addDevice().setFault(DfuSimScenario::Fault::KeepsNothing)
        << QStringList{"Upgrade failed"}
        << QStringList{"\\[ERROR\\] Upgrade process error: The firmware read back from the "
                       "device differs from the image",
                       "\\[ERROR\\] The device did not keep the firmware: .+",
                       "\\[WARNING\\] The device is still in DFU mode: press Upgrade .+"}
        << "Upgrade failed";
    QTest::newRow("read-protected device")
        << DfuSimScenario().addDevice().setFault(DfuSimScenario::Fault::ReadProtected)
        << QStringList{"Firmware Written, Not Verified"}
        << QStringList{"\\[WARNING\\] Firmware written, but not verified",
                       "\\[WARNING\\] The firmware was written, but the device refused to be "
                       "read back, .+",
                       "\\[WARNING\\] Switch the device off and on again: .+"}
        << "Firmware written, not verified";
}

void TestUpgradeWorkflow::failure()
{
    QFETCH(DfuSimScenario, bus);
    QFETCH(QStringList, boxes);
    QFETCH(QStringList, lines);
    m_bus = bus;
    m_bus.setDirectory(m_dir.path());
    WindowHarness harness;
    start(harness, LoopbackReply::ok(m_image));

    QTRY_VERIFY_WITH_TIMEOUT(runLog(harness).size() > lines.size(), 30000);
    QTRY_COMPARE(harness.boxes().titles(), boxes);
    const QStringList log = runLog(harness);
    QCOMPARE(log.first(), kStarting);
    for (int i = 0; i < lines.size(); ++i)
        QVERIFY2(QRegularExpression('^' + lines[i] + '$').match(log.value(i + 1)).hasMatch(),
                 qPrintable(log.join('\n')));
    QCOMPARE(log.size(), lines.size() + 1);
    QCOMPARE(harness.bar()->value(), 0);
    QTEST(harness.bar()->format(), "bar");
    QVERIFY(harness.button("BtnUpgrade")->isEnabled() && harness.button("BtnVersion")->isEnabled());
    // The box says the cause and what to do, as the log does.
    const QRegularExpression level("^\\[\\w+\\] ");
    if (!boxes.isEmpty())
        QCOMPARE(harness.boxes().seen().first().text,
                 QString(log.at(lines.size() - 1)).remove(level) + "\n\n" +
                     QString(log.last()).remove(level));
}

void TestUpgradeWorkflow::clickWhileUnderway_data()
{
    QTest::addColumn<bool>("downloading"); // else flashing
    QTest::addColumn<QMessageBox::StandardButton>("answer");
    QTest::addColumn<bool>("lateAnswer"); // given after the run has ended
    QTest::addColumn<QStringList>("log");

    const QString warning =
        QStringLiteral("[WARNING] Download in progress, please wait for completion");
    const QString cancelled = QStringLiteral("[INFO] Upgrade cancelled by user");
    // The image the first run downloaded, verified and kept.
    const QString kept = QStringLiteral("[INFO] Using the firmware image downloaded before, "
                                        "unchanged since (SHA-256 %1): nothing to download")
                             .arg(Release::sha256Hex(m_image));
    QTest::newRow("downloading") << true << QMessageBox::NoButton << false
                                 << QStringList{kStarting, warning, kCompleted};
    QTest::newRow("flashing, keep")
        << false << QMessageBox::No << false << QStringList{kStarting, kCompleted};
    QTest::newRow("flashing, restart")
        << false << QMessageBox::Yes << false
        << QStringList{kStarting, cancelled, kStarting, kept, kCompleted};
    // Nothing left to cancel: the new run just starts.
    QTest::newRow("answered after the run ended")
        << false << QMessageBox::Yes << true
        << QStringList{kStarting, kCompleted, kStarting, kept, kCompleted};
}

void TestUpgradeWorkflow::clickWhileUnderway()
{
    QFETCH(bool, downloading);
    QFETCH(QMessageBox::StandardButton, answer);
    QFETCH(bool, lateAnswer);
    // Slow enough a flash and a download to be caught while they run.
    m_bus.addDevice().setPollTimeout(5);
    WindowHarness harness;
    start(harness,
          downloading ? LoopbackReply::ok(m_image).slow(15000, 100) : LoopbackReply::ok(m_image));
    QTRY_VERIFY_WITH_TIMEOUT(downloading
                                 ? harness.bucket().requestCount(Release::kFirmwarePath) == 1
                                 : flashing(harness),
                             20000);
    if (answer != QMessageBox::NoButton)
        harness.boxes().answerNext(answer, [&harness, lateAnswer] {
            return !lateAnswer || (harness.boxes().titles().contains("Upgrade Successful") &&
                                   harness.bar()->format() == QLatin1String("Ready"));
        });
    harness.button("BtnUpgrade")->click();

    QFETCH(QStringList, log);
    QTRY_COMPARE_WITH_TIMEOUT(runLog(harness), log, 30000);
    QTRY_COMPARE(harness.bar()->format(), QStringLiteral("Ready"));
    QCOMPARE(harness.boxes().titles().count("Upgrade in Progress"), downloading ? 0 : 1);
    QVERIFY(m_bus.flash().startsWith(m_image));
    QCOMPARE(Leftovers::runFiles(harness.tempPath()), QStringList());
    QTRY_COMPARE(Leftovers::childProcesses(), QStringList());
}

void TestUpgradeWorkflow::endDuringRun_data()
{
    QTest::addColumn<bool>("downloading"); // else flashing
    QTest::addColumn<int>("signal");       // none: the window is closed

    QTest::newRow("closed while flashing") << false << 0;
    QTest::newRow("SIGTERM while downloading") << true << SIGTERM;
    QTest::newRow("SIGTERM while flashing") << false << SIGTERM;
    QTest::newRow("SIGHUP while flashing") << false << SIGHUP;
    QTest::newRow("SIGINT while downloading") << true << SIGINT;
}

// Closing the window, logging out or shutting down (SIGTERM, SIGHUP) and
// Ctrl-C end the run within the close grace and leave nothing behind; a tool
// stopped on purpose is no crash to report.
void TestUpgradeWorkflow::endDuringRun()
{
    QFETCH(bool, downloading);
    QFETCH(int, signal);
    m_bus.addDevice().setPollTimeout(10);
    WindowHarness harness;
    start(harness,
          downloading ? LoopbackReply::ok(m_image).slow(15000, 100) : LoopbackReply::ok(m_image));
    closeOnInterrupt(*harness.window()); // as main() does
    QTRY_VERIFY_WITH_TIMEOUT(downloading ? !Leftovers::runFiles(harness.tempPath()).isEmpty()
                                         : flashing(harness),
                             20000);

    QElapsedTimer clock;
    clock.start();
    if (signal) {
        // The program's event loop, which the signal ends as main()'s.
        QTimer stuck;
        connect(&stuck, &QTimer::timeout, qApp, [] { QCoreApplication::exit(1); });
        stuck.start(10000);
        ::raise(signal);
        QCOMPARE(QApplication::exec(), 0);
    }
    harness.close();
    QVERIFY2(clock.elapsed() < testLimits().closeGraceMs + 200,
             qPrintable(QString::number(clock.elapsed())));
    QCOMPARE(Leftovers::runFiles(harness.tempPath()), QStringList());
    QCOMPARE(Leftovers::childProcesses(), QStringList());
    QCOMPARE(harness.boxes().titles(), QStringList());
}

QTEST_MAIN(TestUpgradeWorkflow)
#include "tst_upgradeworkflow.moc"
