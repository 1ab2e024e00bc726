// The window as the view of an upgrade: what a click on Upgrade shows in the
// boxes, the bar, the buttons and the log view, with the real dfu-util and
// the simulated device. The roads themselves are tst_upgradeengine's.

#include "app/application.h"
#include "app/mainwindow.h"
#include "dfusim.h"
#include "rig.h"

#include <QProgressBar>
#include <QPushButton>
#include <QtTest>

namespace {

const QString kStarting = QStringLiteral("[INFO] Starting firmware upgrade process...");
const QString kCompleted = QStringLiteral("[INFO] Upgrade completed successfully");
const QString kSuccessBox = QStringLiteral("Upgrade Successful");
const QString kQuestion = QStringLiteral("Upgrade in Progress");

const QByteArray &image()
{
    static const QByteArray bytes = DfuSim::image(150000);
    return bytes;
}

// The run's lines of the log view, without the instructions line the window
// starts with, and without time stamps.
QStringList runLog(const WindowHarness &harness)
{
    static const QRegularExpression stamp(QStringLiteral("^\\[[^\\]]*\\] "));
    QStringList lines = harness.logLines().mid(1);
    for (QString &line : lines)
        line.remove(stamp);
    return lines;
}

bool flashing(const WindowHarness &harness)
{
    return harness.bar()->format().startsWith(QLatin1String("firmware burning:"));
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
    void verdict_data();
    void verdict();
    void clickWhileUnderway_data();
    void clickWhileUnderway();
    void closeDuringFlash();

private:
    // The window, its engine's limits shortened, with the image and its
    // manifest in the bucket and the device on the bus.
    MainWindow *open(WindowHarness &harness, const LoopbackReply &reply);

    std::unique_ptr<QTemporaryDir> m_dir;
    DfuSimScenario m_bus;
};

void TestUpgradeWorkflow::init()
{
    QVERIFY(ToolSlot::installExecutable());
    m_dir = std::make_unique<QTemporaryDir>();
    m_bus = DfuSimScenario(m_dir->path());
}

MainWindow *TestUpgradeWorkflow::open(WindowHarness &harness, const LoopbackReply &reply)
{
    Release::serve(harness.bucket(), image());
    harness.bucket().serve(Release::kFirmwarePath, reply);
    m_bus.applyToThisProcess();
    MainWindow *window = harness.open();
    window->findChild<UpgradeEngine *>()->setLimits(testLimits());
    return window;
}

void TestUpgradeWorkflow::verdict_data()
{
    QTest::addColumn<DfuSimScenario>("bus");
    QTest::addColumn<bool>("crash");
    QTest::addColumn<QStringList>("boxes");
    QTest::addColumn<QStringList>("lines"); // regular expressions, after the first line

    const auto device = [] {
        return DfuSimScenario().addDevice();
    };
    QTest::newRow("written") << device() << false << QStringList{kSuccessBox}
                             << QStringList{QRegularExpression::escape(kCompleted)};
    // The tool's line, the failure, its cause and what to do: the cause and
    // the advice also in a box.
    QTest::newRow("device refuses to be opened")
        << device().setFault("open-denied") << false << QStringList{"Upgrade failed"}
        << QStringList{
               "\\[ERROR\\] Device scanning error: dfu-util: Cannot open DFU device "
               "0483:df11 .+\\(LIBUSB_ERROR_ACCESS\\)",
               "\\[ERROR\\] Upgrade process error: Failed to meet upgrade preconditions",
               "\\[ERROR\\] The Ravlo device is connected, but this user may not open it\\.",
               "\\[WARNING\\] .+"};
    // No device: the steps in the log, no box.
    QTest::newRow("no device")
        << DfuSimScenario() << false << QStringList()
        << QStringList{"\\[ERROR\\] The device did not connect successfully, please connect the "
                       "device",
                       "\\[ERROR\\] Upgrade process error: Failed to meet upgrade preconditions",
                       "\\[ERROR\\] No Ravlo device in DFU mode was found\\.",
                       "\\[WARNING\\] Put the device into DFU mode.+"};
    QTest::newRow("tool crashes")
        << device() << true << QStringList{"Process Error"}
        << QStringList{"\\[ERROR\\] Upgrade process error: dfu-util process error: Process "
                       "crashed - .+",
                       "\\[ERROR\\] dfu-util stopped unexpectedly.+", "\\[WARNING\\] .+"};
}

void TestUpgradeWorkflow::verdict()
{
    QFETCH(DfuSimScenario, bus);
    QFETCH(bool, crash);
    QFETCH(QStringList, boxes);
    QFETCH(QStringList, lines);
    m_bus = bus;
    m_bus.setDirectory(m_dir->path());
    QVERIFY(m_bus.setFlash(DfuSim::previousFirmware()));
    if (crash)
        QVERIFY(StandIn::install(ToolSlot::path(), StandIn::kCrash));
    WindowHarness harness;
    open(harness, LoopbackReply::ok(image()));

    harness.button("BtnUpgrade")->click();
    QTRY_VERIFY_WITH_TIMEOUT(runLog(harness).size() > lines.size(), 30000);
    QTRY_COMPARE(harness.boxes().titles(), boxes);
    const QStringList log = runLog(harness);
    QCOMPARE(log.first(), kStarting);
    for (int i = 0; i < lines.size(); ++i)
        QVERIFY2(QRegularExpression('^' + lines[i] + '$').match(log.value(i + 1)).hasMatch(),
                 qPrintable(log.join('\n')));
    QCOMPARE(log.size(), lines.size() + 1);
    QCOMPARE(harness.bar()->value(), 0);
    QCOMPARE(harness.bar()->format(), boxes == QStringList{kSuccessBox}
                                          ? QStringLiteral("Ready")
                                          : QStringLiteral("Upgrade failed"));
    QVERIFY(harness.button("BtnUpgrade")->isEnabled());
    QVERIFY(harness.button("BtnVersion")->isEnabled());
    QCOMPARE(Release::imageFiles(harness.tempPath()), QStringList());
    // The box says the cause and what to do, as the log does.
    if (boxes == QStringList{"Upgrade failed"})
        QCOMPARE(harness.boxes().seen().first().text,
                 log.at(lines.size() - 1).mid(8) + "\n\n" + log.last().mid(10));
    if (crash)
        QVERIFY(harness.boxes().seen().first().text.startsWith(
            "dfu-util process execution failed!\n\nError type: Process crashed\nDetails: "));
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
    QTest::newRow("downloading") << true << QMessageBox::NoButton << false
                                 << QStringList{kStarting, warning, kCompleted};
    QTest::newRow("flashing, keep")
        << false << QMessageBox::No << false << QStringList{kStarting, kCompleted};
    QTest::newRow("flashing, restart") << false << QMessageBox::Yes << false
                                       << QStringList{kStarting, cancelled, kStarting, kCompleted};
    // Nothing left to cancel: the new run just starts.
    QTest::newRow("answered after the run ended")
        << false << QMessageBox::Yes << true
        << QStringList{kStarting, kCompleted, kStarting, kCompleted};
}

void TestUpgradeWorkflow::clickWhileUnderway()
{
    QFETCH(bool, downloading);
    QFETCH(QMessageBox::StandardButton, answer);
    QFETCH(bool, lateAnswer);
    // Slow enough a flash and a download to be caught while they run.
    m_bus.addDevice().setPollTimeout(5);
    WindowHarness harness;
    open(harness,
         downloading ? LoopbackReply::ok(image()).slow(15000, 100) : LoopbackReply::ok(image()));

    harness.button("BtnUpgrade")->click();
    QTRY_VERIFY_WITH_TIMEOUT(downloading
                                 ? harness.bucket().requestCount(Release::kFirmwarePath) == 1
                                 : flashing(harness),
                             20000);
    if (answer != QMessageBox::NoButton)
        harness.boxes().answerNext(answer, [&harness, lateAnswer] {
            return !lateAnswer || (harness.boxes().titles().contains(kSuccessBox) &&
                                   harness.bar()->format() == QLatin1String("Ready"));
        });
    harness.button("BtnUpgrade")->click();

    QFETCH(QStringList, log);
    QTRY_COMPARE_WITH_TIMEOUT(runLog(harness), log, 30000);
    QTRY_COMPARE(harness.bar()->format(), QStringLiteral("Ready"));
    QCOMPARE(harness.boxes().titles().count(kQuestion), downloading ? 0 : 1);
    QCOMPARE(Release::imageFiles(harness.tempPath()), QStringList());
    QTRY_COMPARE(Release::childProcesses(), QStringList());
}

// Closing the window ends the flash within the close grace and leaves
// nothing behind; a tool stopped on purpose is no crash to report.
void TestUpgradeWorkflow::closeDuringFlash()
{
    m_bus.addDevice().setPollTimeout(10);
    WindowHarness harness;
    open(harness, LoopbackReply::ok(image()));
    harness.button("BtnUpgrade")->click();
    QTRY_VERIFY_WITH_TIMEOUT(flashing(harness), 20000);

    QElapsedTimer clock;
    clock.start();
    harness.close();
    QVERIFY2(clock.elapsed() < testLimits().closeGraceMs + 200,
             qPrintable(QString::number(clock.elapsed())));
    QCOMPARE(Release::imageFiles(harness.tempPath()), QStringList());
    QCOMPARE(Release::childProcesses(), QStringList());
    QCOMPARE(harness.boxes().titles(), QStringList());
}

QTEST_MAIN(TestUpgradeWorkflow)
#include "tst_upgradeworkflow.moc"
