// The Upgrade button from the click to the verdict, driven as a user drives
// it: the real dfu-util against the simulated device, the image from a
// loopback HTTPS bucket, and the stand-in only for what the real tool cannot
// be made to do.

#include "app/application.h"
#include "app/firmwarefile.h"
#include "app/mainwindow.h"
#include "dfusim.h"
#include "messagecapture.h"
#include "standinscript.h"
#include "toolslot.h"
#include "transcripts.h"
#include "windowharness.h"

#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QProgressBar>
#include <QPushButton>
#include <QtTest>

#include <csignal>
#include <memory>

namespace {

using Fault = DfuSimScenario::Fault;

enum class Road
{
    DigestMismatch,
    DeviceAbsent,
    CreateFails,
    NetworkDrop,
    Stalled,
    NoContent,
    Redirect,
    DiskFullEarly,
    DiskFullLate,
    FlashFails,
    Crash,
};

const QString kStarting = QStringLiteral("[INFO] Starting firmware upgrade process...");
const QString kCompleted = QStringLiteral("[INFO] Upgrade completed successfully");
const QString kNoDigest = QStringLiteral("[WARNING] 未提供SHA256校验值，跳过完整性校验");
const QString kInProgress = QStringLiteral("Upgrade in Progress");
const QString kSuccessBox = QStringLiteral("Upgrade Successful");
const QString kStamp = QStringLiteral("_\\d{8}_\\d{6}\\.bin");

const QByteArray &image()
{
    static const QByteArray bytes = DfuSim::image(150000);
    return bytes;
}

QString error(const QString &message)
{
    return QStringLiteral("[ERROR] ") + message;
}

QString pattern(const QString &line)
{
    return QRegularExpression::escape(line);
}

// The run's lines of the log view: without the instructions line the window
// starts with, and without time stamps.
QStringList runLog(const WindowHarness &harness)
{
    static const QRegularExpression stamp(QStringLiteral("^\\[[^\\]]*\\] "));
    QStringList lines = harness.logLines().mid(1);
    for (QString &line : lines)
        line.remove(stamp);
    return lines;
}

// A manifest naming version 1.2 and the digest, and the image behind reply.
void serveRelease(WindowHarness &harness, const LoopbackReply &reply,
                  const QString &digest = WindowHarness::sha256Hex(image()))
{
    harness.serveRelease(digest);
    harness.bucket().serve(WindowHarness::kFirmwarePath, reply);
}

bool logMatches(const WindowHarness &harness, const QStringList &patterns)
{
    const QStringList lines = runLog(harness);
    if (lines.size() != patterns.size())
        return false;
    for (int i = 0; i < lines.size(); ++i) {
        if (!QRegularExpression(QLatin1Char('^') + patterns[i] + QLatin1Char('$'))
                 .match(lines[i])
                 .hasMatch())
            return false;
    }
    return true;
}

int firmwareRequests(const WindowHarness &harness)
{
    return harness.requestCount(WindowHarness::kFirmwarePath);
}

QProcess *flashProcess(const WindowHarness &harness)
{
    return harness.window()->findChild<QProcess *>();
}

// Processes started by this test process and not yet reaped.
QStringList childProcesses()
{
    const QByteArray self = QByteArray::number(QCoreApplication::applicationPid());
    QStringList names;
    for (const QString &pid : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs)) {
        QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
        if (!stat.open(QIODevice::ReadOnly))
            continue;
        // "pid (name) state ppid ...": the name may hold blanks and parentheses.
        const QByteArray line = stat.readAll();
        const int open = line.indexOf('(');
        const int close = line.lastIndexOf(')');
        const QList<QByteArray> fields = line.mid(close + 2).split(' ');
        if (open > 0 && fields.size() > 1 && fields[1] == self)
            names << QString::fromLocal8Bit(line.mid(open + 1, close - open - 1));
    }
    return names;
}

bool noChildLeft(const WindowHarness &harness)
{
    return flashProcess(harness)->state() == QProcess::NotRunning && childProcesses().isEmpty();
}

QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Every image file the window may start in the next minute is a link to
// /dev/full, where each write fails as on a full disk.
void fillDiskAhead(const QString &directory, const QString &version)
{
    const QDateTime now = QDateTime::currentDateTime();
    for (int second = 0; second < 60; ++second)
        QFile::link(QStringLiteral("/dev/full"),
                    QDir(directory).filePath(FirmwareFile::fileName(version, now.addSecs(second))));
}

// The image files in the window's temporary directory, without those links.
QStringList imageFiles(const WindowHarness &harness)
{
    QStringList files = harness.firmwareFiles();
    files.erase(
        std::remove_if(files.begin(), files.end(),
                       [&harness](const QString &name) {
                           return QFileInfo(QDir(harness.tempPath()).filePath(name)).isSymLink();
                       }),
        files.end());
    return files;
}

int linksLeft(const QString &directory)
{
    return QDir(directory).entryList(QDir::System).size();
}

// What the progress bar showed and when: every value as it is set, and its
// text as polled, since the text has no signal of its own.
class BarTimeline : public QObject
{
public:
    struct Entry
    {
        qint64 ms;
        int value;
        QString text;
    };

    explicit BarTimeline(QProgressBar *bar)
    {
        m_clock.start();
        connect(bar, &QProgressBar::valueChanged, this, [this](int value) {
            values << Entry{m_clock.elapsed(), value, QString()};
        });
        connect(&m_poll, &QTimer::timeout, this, [this, bar] {
            if (texts.isEmpty() || texts.constLast().text != bar->format())
                texts << Entry{m_clock.elapsed(), bar->value(), bar->format()};
        });
        m_poll.start(5);
    }

    QList<Entry> values;
    QList<Entry> texts;

private:
    QElapsedTimer m_clock;
    QTimer m_poll;
};

} // namespace

Q_DECLARE_METATYPE(Road)
Q_DECLARE_METATYPE(Fault)
Q_DECLARE_METATYPE(QMessageBox::StandardButton)

class TestUpgradeWorkflow : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();
    void goodRun_data();
    void goodRun();
    void failedRun_data();
    void failedRun();
    void clickWhileUnderway_data();
    void clickWhileUnderway();
    void closeWindow_data();
    void closeWindow();
    void hungToolIsKilled_data();
    void hungToolIsKilled();
    void downloadProgressTexts_data();
    void downloadProgressTexts();
    void foreignRepliesIgnored();

private:
    // A device in DFU mode on the simulated bus, its flash holding the
    // previous firmware, for every dfu-util the window starts from now on.
    void attach(DfuSimScenario &scenario);
    // The stand-in in the tool's place: its scan lists the target device,
    // its flash runs the script.
    void useStandIn(const StandInScript &flash);
    void prepare(Road road, WindowHarness &harness, const QString &version);

    std::unique_ptr<QTemporaryDir> m_dir;
    DfuSimScenario m_device;
};

void TestUpgradeWorkflow::initTestCase()
{
    setupApplication(*qobject_cast<QApplication *>(QCoreApplication::instance()));
}

void TestUpgradeWorkflow::init()
{
    QVERIFY(ToolSlot::installRealTool());
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    m_device = DfuSimScenario(m_dir->path());
}

void TestUpgradeWorkflow::cleanup()
{
    DfuSimScenario::clearFromThisProcess();
    StandIn::clearScript();
}

void TestUpgradeWorkflow::attach(DfuSimScenario &scenario)
{
    QVERIFY(scenario.setFlash(DfuSim::previousFirmware()));
    scenario.applyToThisProcess();
}

void TestUpgradeWorkflow::useStandIn(const StandInScript &flash)
{
    const QString listPath = m_dir->filePath(QStringLiteral("list.script"));
    const QString flashPath = m_dir->filePath(QStringLiteral("flash.script"));
    QVERIFY(StandIn::install());
    QVERIFY(StandInScript().out(Transcripts::read(QStringLiteral("list-one"))).save(listPath));
    QVERIFY(flash.save(flashPath));
    StandIn::useListScript(listPath);
    StandIn::useScript(flashPath);
}

void TestUpgradeWorkflow::goodRun_data()
{
    QTest::addColumn<QString>("digest");
    QTest::addColumn<Fault>("fault");
    QTest::addColumn<QStringList>("log");
    QTest::addColumn<QString>("verdict");

    const QString digest = WindowHarness::sha256Hex(image());
    const QString exitZero = QStringLiteral("Complete success: Exit code 0");
    QTest::newRow("digest") << digest << Fault::None << QStringList{kStarting, kCompleted}
                            << exitZero;
    QTest::newRow("upper-case digest")
        << digest.toUpper() << Fault::None << QStringList{kStarting, kCompleted} << exitZero;
    QTest::newRow("no digest") << QString() << Fault::None
                               << QStringList{kStarting, kNoDigest, kCompleted} << exitZero;
    // Every byte written, then the device resets before it answers the leave.
    QTest::newRow("exit 74 after completion")
        << digest << Fault::LeaveSilent << QStringList{kStarting, kCompleted}
        << QStringLiteral(
               "Firmware download successful, but device requires manual reboot (Exit code 74)");
}

void TestUpgradeWorkflow::goodRun()
{
    QFETCH(QString, digest);
    QFETCH(Fault, fault);
    QFETCH(QStringList, log);
    QFETCH(QString, verdict);
    attach(m_device.addDevice().setFault(fault));
    WindowHarness harness;
    serveRelease(harness, LoopbackReply::ok(image()), digest);
    harness.open();
    MessageCapture messages;
    BarTimeline bar(harness.bar());

    harness.button("BtnUpgrade")->click();
    QTRY_COMPARE_WITH_TIMEOUT(harness.boxes().titles(), QStringList{kSuccessBox}, 30000);
    const ModalBoxes::Seen box = harness.boxes().seen().constLast();
    QCOMPARE(box.text, QStringLiteral("Firmware upgrade completed successfully!"));
    QCOMPARE(box.icon, QMessageBox::Information);
    QCOMPARE(box.buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
    QVERIFY(messages.texts(QtDebugMsg).contains(verdict));

    QTRY_COMPARE(runLog(harness), log);
    QCOMPARE(harness.bar()->value(), 0);
    QCOMPARE(harness.bar()->format(), QStringLiteral("Ready"));
    QVERIFY(harness.button("BtnUpgrade")->isEnabled());
    QVERIFY(harness.button("BtnVersion")->isEnabled());
    QCOMPARE(harness.firmwareFiles(), QStringList());
    QCOMPARE(firmwareRequests(harness), 1);
    QVERIFY(m_device.flash().left(image().size()) == image());
    QVERIFY(noChildLeft(harness));

    // The download ends at 100; the flash starts (at 50) half a second later.
    const auto downloaded = std::find_if(bar.values.begin(), bar.values.end(),
                                         [](const auto &e) { return e.value == 100; });
    QVERIFY(downloaded != bar.values.end() && downloaded + 1 != bar.values.end());
    QCOMPARE((downloaded + 1)->value, 50);
    QVERIFY2((downloaded + 1)->ms - downloaded->ms >= 450,
             qPrintable(QString::number((downloaded + 1)->ms - downloaded->ms)));
}

void TestUpgradeWorkflow::prepare(Road road, WindowHarness &harness, const QString &version)
{
    const QByteArray &served = road == Road::DiskFullLate ? image().left(1000) : image();
    const QString digest = WindowHarness::sha256Hex(
        road == Road::DigestMismatch ? DfuSim::image(served.size(), 2) : served);
    if (!version.isNull())
        harness.serveManifest(WindowHarness::manifestJson("V1.0.0", "", version, digest));

    LoopbackReply reply = LoopbackReply::ok(served);
    if (road == Road::NetworkDrop)
        reply.dropAfter(served.size() / 2);
    if (road == Road::Stalled)
        reply.stallAfter(served.size() / 2);
    // Pieces further apart than Qt's progress interval: the piece whose write
    // fails is still reported as progress after its readyRead.
    if (road == Road::CreateFails || road == Road::DiskFullEarly)
        reply.slow(10000, 150);
    if (road == Road::NoContent)
        reply = LoopbackReply::status(204);
    if (road == Road::Redirect)
        reply = LoopbackReply::redirect(302, "/Ravlo_1_2_210226.old.bin");
    harness.bucket().serve(WindowHarness::kFirmwarePath, reply);

    if (road == Road::Crash) {
        useStandIn(StandInScript().out("Opening DFU capable USB device...\n").crash("SEGV"));
    } else {
        if (road != Road::DeviceAbsent)
            m_device.addDevice();
        if (road == Road::FlashFails)
            m_device.setFault(Fault::EraseError, 2);
        attach(m_device);
    }

    // The image's directory cannot hold it: not a directory, or a full disk.
    if (road == Road::CreateFails) {
        const QString notADirectory = QDir(harness.tempPath()).filePath(QStringLiteral("file"));
        QFile file(notADirectory);
        QVERIFY(file.open(QIODevice::WriteOnly));
        qputenv("TMPDIR", QFile::encodeName(notADirectory));
    }
    if (road == Road::DiskFullEarly || road == Road::DiskFullLate)
        fillDiskAhead(harness.tempPath(), version);
}

void TestUpgradeWorkflow::failedRun_data()
{
    QTest::addColumn<Road>("road");
    QTest::addColumn<QString>("version"); // null: no manifest
    QTest::addColumn<QStringList>("log");
    QTest::addColumn<int>("requests");
    QTest::addColumn<bool>("aborted"); // the window hung up on the image's request
    QTest::addColumn<QString>("leftImage");
    QTest::addColumn<QStringList>("boxes");
    QTest::addColumn<QString>("verdict");

    const QString failed = pattern(QStringLiteral("Upgrade process error: "));
    const QString start = pattern(kStarting);
    const QString networkError = QStringLiteral("Network error: .+");
    const QStringList networkLog = {start, pattern(QStringLiteral("[ERROR] ")) + networkError,
                                    pattern(QStringLiteral("[ERROR] ")) + failed + networkError};
    const auto failure = [&](const QString &message) {
        return QStringList{start,
                           pattern(error(QStringLiteral("Upgrade process error: ") + message))};
    };
    const QString sameVersion = QStringLiteral("Ravlo_firmware_1\\.2") + kStamp;

    QTest::newRow("digest mismatch")
        << Road::DigestMismatch << "1.2"
        << failure("Firmware verification failed, please click upgrade again") << 1 << false
        << QString() << QStringList() << QString();
    QTest::newRow("device absent")
        << Road::DeviceAbsent << "1.2"
        << QStringList{start,
                       pattern(error("The device did not connect successfully, please connect "
                                     "the device")),
                       pattern(
                           error("Upgrade process error: Failed to meet upgrade preconditions"))}
        << 0 << false << QString() << QStringList() << QString();
    // Called off before it leaves: the request never reaches the server.
    QTest::newRow("file cannot be created")
        << Road::CreateFails << "1.2" << failure("Failed to create firmware file") << 0 << false
        << QString() << QStringList() << QString();
    // A version that names other directories stays a plain file name.
    QTest::newRow("network error")
        << Road::NetworkDrop << "../../x" << networkLog << 1 << false
        << QStringLiteral("Ravlo_firmware_\\.\\._\\.\\._x") + kStamp << QStringList() << QString();
    QTest::newRow("stalled server") << Road::Stalled << "1.2" << networkLog << 1 << true
                                    << sameVersion << QStringList() << QString();
    QTest::newRow("HTTP 204") << Road::NoContent << "1.2"
                              << failure("Unexpected server response (HTTP 204)") << 1 << false
                              << QString() << QStringList() << QString();
    QTest::newRow("redirect not followed")
        << Road::Redirect << "1.2" << failure("Unexpected server response (HTTP 302)") << 1 << false
        << QString() << QStringList() << QString();
    QTest::newRow("disk full while streaming")
        << Road::DiskFullEarly << "1.2" << failure("Failed to write firmware file") << 1 << true
        << QString() << QStringList() << QString();
    QTest::newRow("disk full at the end")
        << Road::DiskFullLate << "1.2" << failure("Failed to write firmware file") << 1 << false
        << QString() << QStringList() << QString();
    // Reported by the bar alone; the image stays for a look.
    QTest::newRow("exit 74 without completion")
        << Road::FlashFails << "1.2" << QStringList{start} << 1 << false << sameVersion
        << QStringList() << QStringLiteral("Upgrade failed: Exit code 74");
    QTest::newRow("crash") << Road::Crash << QString()
                           << QStringList{start, pattern(kNoDigest),
                                          pattern(error("Upgrade process error: dfu-util process "
                                                        "error: Process crashed - ")) +
                                              ".+"}
                           << 1 << false << QStringLiteral("Ravlo_firmware_") + kStamp
                           << QStringList{QStringLiteral("Process Error")}
                           << QStringLiteral("Process terminated abnormally");
}

void TestUpgradeWorkflow::failedRun()
{
    QFETCH(Road, road);
    QFETCH(QString, version);
    QFETCH(QStringList, log);
    QFETCH(int, requests);
    QFETCH(bool, aborted);
    QFETCH(QString, leftImage);
    QFETCH(QStringList, boxes);
    QFETCH(QString, verdict);
    WindowHarness harness;
    prepare(road, harness, version);
    harness.open();
    const int boxesBefore = harness.boxes().count();
    const int links = linksLeft(harness.tempPath());
    QSignalSpy hungUp(&harness.bucket(), &LoopbackServer::clientAborted);
    MessageCapture messages;

    harness.button("BtnUpgrade")->click();
    // The stalled server needs the whole 30 s transfer time-out.
    QTRY_COMPARE_WITH_TIMEOUT(harness.bar()->format(), QStringLiteral("Upgrade failed"), 60000);
    QTRY_VERIFY2(logMatches(harness, log), qPrintable(runLog(harness).join('\n')));
    QCOMPARE(harness.boxes().titles().mid(boxesBefore), boxes);
    QCOMPARE(firmwareRequests(harness), requests);
    if (aborted)
        QTRY_COMPARE(hungUp.count(), 1);
    if (!verdict.isEmpty())
        QVERIFY(messages.texts(QtDebugMsg).contains(verdict));

    // A failed flash leaves the bar where the tool left it and Get Version
    // disabled; every other failure is the common failure path.
    const bool flashFailed = road == Road::FlashFails;
    if (!flashFailed)
        QCOMPARE(harness.bar()->value(), 0);
    QCOMPARE(harness.button("BtnVersion")->isEnabled(), !flashFailed);
    QVERIFY(harness.button("BtnUpgrade")->isEnabled());
    if (!flashFailed && road != Road::Crash)
        QVERIFY(m_device.flash() == DfuSim::previousFirmware());

    // What is left on disk is a prefix of the image, and only where it belongs.
    const QStringList files = imageFiles(harness);
    QCOMPARE(files.size(), leftImage.isEmpty() ? 0 : 1);
    if (!files.isEmpty()) {
        QVERIFY2(QRegularExpression('^' + leftImage + '$').match(files.first()).hasMatch(),
                 qPrintable(files.first()));
        const QByteArray kept = readFile(QDir(harness.tempPath()).filePath(files.first()));
        QVERIFY(!kept.isEmpty() && image().startsWith(kept));
    }
    if (road == Road::DiskFullEarly || road == Road::DiskFullLate)
        QCOMPARE(linksLeft(harness.tempPath()), links - 1);
    QVERIFY(harness.window()->findChildren<QFile *>().isEmpty());
    QVERIFY(noChildLeft(harness));
}

void TestUpgradeWorkflow::clickWhileUnderway_data()
{
    QTest::addColumn<QString>("phase");
    QTest::addColumn<QMessageBox::StandardButton>("answer");

    QTest::newRow("downloading") << "downloading" << QMessageBox::NoButton;
    QTest::newRow("burn pending, keep") << "burn pending" << QMessageBox::No;
    QTest::newRow("burn pending, restart") << "burn pending" << QMessageBox::Yes;
    QTest::newRow("burning, keep") << "burning" << QMessageBox::No;
    QTest::newRow("burning, restart") << "burning" << QMessageBox::Yes;
}

void TestUpgradeWorkflow::clickWhileUnderway()
{
    QFETCH(QString, phase);
    QFETCH(QMessageBox::StandardButton, answer);
    // Slow enough a flash to be caught while it runs.
    attach(m_device.addDevice().setPollTimeout(10));
    WindowHarness harness;
    LoopbackReply reply = LoopbackReply::ok(image());
    if (phase == QLatin1String("downloading"))
        reply.slow(15000, 100);
    serveRelease(harness, reply);
    harness.open();
    MessageCapture messages;

    harness.button("BtnUpgrade")->click();
    if (phase == QLatin1String("downloading"))
        QTRY_COMPARE(firmwareRequests(harness), 1);
    else if (phase == QLatin1String("burn pending"))
        QTRY_COMPARE(harness.bar()->format(),
                     QStringLiteral("Firmware download completed, start burning"));
    else
        QTRY_VERIFY(harness.bar()->format().startsWith(QLatin1String("firmware burning:")));

    harness.boxes().answerNext(answer);
    QElapsedTimer clock;
    clock.start();
    harness.button("BtnUpgrade")->click();
    const qint64 clickMs = clock.elapsed();

    if (answer == QMessageBox::Yes) {
        // The new run starts half a second later; with the device gone by
        // then it ends at the scan.
        DfuSimScenario().applyToThisProcess();
        QVERIFY2(clickMs < 2000, qPrintable(QString::number(clickMs)));
        QVERIFY(noChildLeft(harness));
        QCOMPARE(harness.firmwareFiles(), QStringList());
        QTRY_COMPARE(harness.bar()->format(), QStringLiteral("Upgrade failed"));
        QTRY_COMPARE(
            runLog(harness),
            (QStringList{kStarting, QStringLiteral("[INFO] Upgrade cancelled by user"), kStarting,
                         error("The device did not connect successfully, please "
                               "connect the device"),
                         error("Upgrade process error: Failed to meet upgrade "
                               "preconditions")}));
        // A tool stopped on purpose is neither a crash nor a flash result.
        QCOMPARE(harness.boxes().titles(), QStringList{kInProgress});
        QVERIFY(!messages.texts(QtDebugMsg).contains(QStringLiteral("DFU进程完成回调被调用")));
    } else {
        const QStringList question =
            answer == QMessageBox::No ? QStringList{kInProgress} : QStringList();
        QTRY_COMPARE_WITH_TIMEOUT(harness.boxes().titles(), question + QStringList{kSuccessBox},
                                  30000);
        const QStringList warning =
            answer == QMessageBox::No
                ? QStringList()
                : QStringList{
                      QStringLiteral("[WARNING] Download in progress, please wait for completion")};
        QTRY_COMPARE(runLog(harness), QStringList{kStarting} + warning + QStringList{kCompleted});
        QCOMPARE(firmwareRequests(harness), 1);
        QVERIFY(m_device.flash().left(image().size()) == image());
        QVERIFY(noChildLeft(harness));
    }
    if (answer != QMessageBox::NoButton) {
        const ModalBoxes::Seen box = harness.boxes().seen().constFirst();
        QCOMPARE(box.text, QStringLiteral("An upgrade is already in progress. Do you want to "
                                          "cancel it and start a new one?"));
        QCOMPARE(box.buttons, QMessageBox::Yes | QMessageBox::No);
    }
}

void TestUpgradeWorkflow::closeWindow_data()
{
    QTest::addColumn<bool>("duringFlash");
    QTest::newRow("during the download") << false;
    QTest::newRow("during the flash") << true;
}

void TestUpgradeWorkflow::closeWindow()
{
    QFETCH(bool, duringFlash);
    attach(m_device.addDevice().setPollTimeout(10));
    WindowHarness harness;
    const int half = image().size() / 2;
    serveRelease(harness, duringFlash ? LoopbackReply::ok(image())
                                      : LoopbackReply::ok(image()).stallAfter(half));
    harness.open();
    QSignalSpy hungUp(&harness.bucket(), &LoopbackServer::clientAborted);

    harness.button("BtnUpgrade")->click();
    if (duringFlash) {
        QTRY_VERIFY(harness.bar()->format().startsWith(QLatin1String("firmware burning:")));
    } else {
        const auto written = [&harness, half] {
            const QStringList files = harness.firmwareFiles();
            return files.size() == 1 &&
                   QFileInfo(QDir(harness.tempPath()).filePath(files.first())).size() == half;
        };
        QTRY_VERIFY(written());
    }
    const qint64 pid = flashProcess(harness)->processId();
    QCOMPARE(pid > 0, duringFlash);

    QElapsedTimer clock;
    clock.start();
    harness.close();
    QVERIFY2(clock.elapsed() < 3000, qPrintable(QString::number(clock.elapsed())));
    QCOMPARE(harness.firmwareFiles(), QStringList());
    QCOMPARE(childProcesses(), QStringList());
    // A tool stopped on purpose is no crash to report.
    QCOMPARE(harness.boxes().titles(), QStringList());
    if (!duringFlash)
        QTRY_COMPARE(hungUp.count(), 1);
}

void TestUpgradeWorkflow::hungToolIsKilled_data()
{
    QTest::addColumn<bool>("closing");
    QTest::addColumn<int>("graceMs");
    QTest::newRow("cancelled") << false << 1000;
    QTest::newRow("window closed") << true << 2000;
}

// A tool that hangs and ignores the request to terminate is killed once the
// grace time is over.
void TestUpgradeWorkflow::hungToolIsKilled()
{
    QFETCH(bool, closing);
    QFETCH(int, graceMs);
    useStandIn(StandInScript().out("Opening DFU capable USB device...\n").hang());
    WindowHarness harness;
    harness.bucket().serve(WindowHarness::kFirmwarePath, LoopbackReply::ok(image()));
    harness.open();
    MessageCapture messages;

    // Children inherit an ignored signal.
    const auto previous = std::signal(SIGTERM, SIG_IGN);
    harness.button("BtnUpgrade")->click();
    QTRY_COMPARE(harness.bar()->format(), QStringLiteral("Open DFU device..."));
    std::signal(SIGTERM, previous);

    QElapsedTimer clock;
    clock.start();
    if (closing) {
        harness.close();
    } else {
        harness.boxes().answerNext(QMessageBox::Yes);
        harness.button("BtnUpgrade")->click();
        // The new run finds no device.
        QVERIFY(StandInScript().save(m_dir->filePath(QStringLiteral("list.script"))));
        QVERIFY(noChildLeft(harness));
        QVERIFY(messages.texts(QtDebugMsg).contains(QStringLiteral("强制终止dfu-util进程")));
    }
    const qint64 elapsed = clock.elapsed();
    QVERIFY2(elapsed >= graceMs && elapsed < graceMs + 1500, qPrintable(QString::number(elapsed)));
    QCOMPARE(childProcesses(), QStringList());
    QCOMPARE(harness.firmwareFiles(), QStringList());
}

void TestUpgradeWorkflow::downloadProgressTexts_data()
{
    QTest::addColumn<bool>("knownSize");
    QTest::newRow("known size") << true;
    QTest::newRow("unknown size") << false;
}

void TestUpgradeWorkflow::downloadProgressTexts()
{
    QFETCH(bool, knownSize);
    attach(m_device.addDevice());
    WindowHarness harness;
    // About 2.8 s: two texts with speed and remaining time.
    LoopbackReply reply = LoopbackReply::ok(image()).slow(10000, 200);
    if (!knownSize)
        reply.framedAs(LoopbackReply::Framing::Chunked);
    serveRelease(harness, reply);
    harness.open();
    BarTimeline bar(harness.bar());

    harness.button("BtnUpgrade")->click();
    QTRY_COMPARE_WITH_TIMEOUT(harness.boxes().titles(), QStringList{kSuccessBox}, 30000);

    const auto textAt = [&bar](const QString &text) {
        return std::find_if(bar.texts.begin(), bar.texts.end(),
                            [&text](const auto &e) { return e.text == text; });
    };
    const auto start = textAt(QStringLiteral("Start downloading firmware"));
    const auto end = textAt(QStringLiteral("Firmware download completed, start burning"));
    QVERIFY(start != bar.texts.end() && end != bar.texts.end() && start < end);
    const QList<BarTimeline::Entry> texts(start + 1, end);

    if (!knownSize) {
        QCOMPARE(texts.size(), 1);
        QCOMPARE(texts.first().text, QStringLiteral("Download firmware: Unknown size"));
        // Nothing moves until Qt reports the finished body as its own total.
        const auto burn = std::find_if(bar.values.begin(), bar.values.end(),
                                       [](const auto &e) { return e.value == 50; });
        QVERIFY(std::all_of(bar.values.begin(), burn,
                            [](const auto &e) { return e.value == 0 || e.value == 100; }));
        return;
    }
    // The text changes at most once a second (give or take the polling), the
    // value with every step, 200 ms apart.
    static const QRegularExpression format(
        QStringLiteral("^Download firmware: (\\d+)% \\(\\d+\\.\\d (KB|MB)/s\\) remaining: \\d+s$"));
    QVERIFY2(texts.size() >= 2, qPrintable(QString::number(texts.size())));
    qint64 previous = start->ms;
    for (const BarTimeline::Entry &entry : texts) {
        const QRegularExpressionMatch match = format.match(entry.text);
        QVERIFY2(match.hasMatch(), qPrintable(entry.text));
        QVERIFY(match.captured(1).toInt() <= entry.value);
        QVERIFY2(entry.ms - previous >= 900, qPrintable(QString::number(entry.ms - previous)));
        previous = entry.ms;
    }
    const auto downloaded = std::find_if(bar.values.begin(), bar.values.end(),
                                         [](const auto &e) { return e.value == 100; });
    QVERIFY(downloaded - bar.values.begin() >= 5);
    QVERIFY(std::is_sorted(bar.values.begin(), downloaded + 1,
                           [](const auto &a, const auto &b) { return a.value < b.value; }));
}

// Replies that are not the window's own download, the firmware's address
// notwithstanding, neither finish nor fail it.
void TestUpgradeWorkflow::foreignRepliesIgnored()
{
    attach(m_device.addDevice());
    WindowHarness harness;
    serveRelease(harness, LoopbackReply::ok(image()));
    harness.open();

    QNetworkAccessManager network;
    const QNetworkRequest request(QUrl(harness.bucket().url(WindowHarness::kFirmwarePath)));
    QNetworkReply *failed = network.get(request);
    failed->abort();
    QNetworkReply *complete = network.get(request);
    QSignalSpy finished(complete, &QNetworkReply::finished);
    QVERIFY(finished.wait(10000));
    QCOMPARE(complete->error(), QNetworkReply::NoError);

    const int requestsBefore = firmwareRequests(harness);
    harness.bucket().serve(WindowHarness::kFirmwarePath,
                           LoopbackReply::ok(image()).slow(15000, 100));
    harness.button("BtnUpgrade")->click();
    QTRY_COMPARE(firmwareRequests(harness), requestsBefore + 1);
    for (QNetworkReply *reply : {failed, complete})
        QVERIFY(QMetaObject::invokeMethod(harness.window(), "onNetworkReplyFinished",
                                          Q_ARG(QNetworkReply *, reply)));
    // Still downloading: a click is turned away.
    harness.button("BtnUpgrade")->click();

    QTRY_COMPARE_WITH_TIMEOUT(harness.boxes().titles(), QStringList{kSuccessBox}, 30000);
    QTRY_COMPARE(
        runLog(harness),
        (QStringList{kStarting,
                     QStringLiteral("[WARNING] Download in progress, please wait for completion"),
                     kCompleted}));
    QVERIFY(m_device.flash().left(image().size()) == image());
}

QTEST_MAIN(TestUpgradeWorkflow)
#include "tst_upgradeworkflow.moc"
