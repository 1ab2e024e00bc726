// ravlo-flash as a script or a production line runs it: the built program,
// the real dfu-util beside it against the simulated devices, the bucket on a
// loopback HTTP server, every event read back as JSON.

#include "dfusim.h"
#include "loopbackserver.h"
#include "rig.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QtTest>

#include <csignal>

namespace {


const QByteArray &image()
{
    static const QByteArray bytes = DfuSim::image(150000);
    return bytes;
}

struct Outcome
{
    int exitCode = -1;
    QList<QJsonObject> events;
    QString errors;

    QList<QJsonObject> named(const QString &event) const
    {
        QList<QJsonObject> found;
        for (const QJsonObject &object : events) {
            if (object.value("event").toString() == event)
                found << object;
        }
        return found;
    }
};

// The command lines of running processes that contain the text.
QStringList processesMentioning(const QString &text)
{
    QStringList found;
    for (const QString &pid : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs)) {
        QFile cmdline(QStringLiteral("/proc/%1/cmdline").arg(pid));
        if (cmdline.open(QIODevice::ReadOnly)) {
            const QString line = QString::fromLocal8Bit(cmdline.readAll().replace('\0', ' '));
            if (line.contains(text))
                found << line;
        }
    }
    return found;
}

} // namespace

Q_DECLARE_METATYPE(DfuSimScenario)

class TestRavloFlash : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void list();
    void upgrade_data();
    void upgrade();
    void interruptedFlash();
    void waitForDevices();

private:
    QProcess *start(const QStringList &arguments);
    // Every line of standard output must be one JSON object.
    Outcome finish(QProcess *process, int timeoutMs = 60000);
    Outcome run(const QStringList &arguments) { return finish(start(arguments)); }

    std::unique_ptr<LoopbackServer> m_bucket;
    std::unique_ptr<QTemporaryDir> m_dir;
    DfuSimScenario m_bus;
    QProcessEnvironment m_environment;
};

void TestRavloFlash::init()
{
    m_bucket = std::make_unique<LoopbackServer>(LoopbackServer::Transport::Http);
    Release::serve(*m_bucket, image());
    m_dir = std::make_unique<QTemporaryDir>();
    m_bus = DfuSimScenario(m_dir->path());
    m_environment = QProcessEnvironment::systemEnvironment();
    m_environment.insert("TMPDIR", m_dir->filePath("tmp"));
    QVERIFY(QDir().mkpath(m_dir->filePath("tmp")));
}

QProcess *TestRavloFlash::start(const QStringList &arguments)
{
    m_bus.applyTo(m_environment);
    auto *process = new QProcess(this);
    process->setProcessEnvironment(m_environment);
    process->start(QStringLiteral(RAVLO_FLASH_EXECUTABLE),
                   arguments + QStringList{"--json"} +
                       (arguments.first() == "list" ? QStringList()
                                                    : QStringList{"--bucket", m_bucket->url()}));
    return process;
}

Outcome TestRavloFlash::finish(QProcess *process, int timeoutMs)
{
    Outcome outcome;
    if (!process->waitForFinished(timeoutMs))
        return outcome;
    outcome.exitCode = process->exitStatus() == QProcess::NormalExit ? process->exitCode() : -2;
    outcome.errors = QString::fromUtf8(process->readAllStandardError());
    for (const QByteArray &line : process->readAllStandardOutput().split('\n')) {
        if (line.isEmpty())
            continue;
        const QJsonDocument document = QJsonDocument::fromJson(line);
        if (!document.isObject())
            qWarning("not a JSON object: %s", line.constData());
        outcome.events << document.object();
    }
    process->deleteLater();
    return outcome;
}

void TestRavloFlash::list()
{
    m_bus.addDevice().addDevice().addDevice("1234:5678");
    const Outcome outcome = run({"list"});
    QCOMPARE(outcome.exitCode, 0);
    QCOMPARE(outcome.named("tool").first().value("version").toString(), "dfu-util 0.11");
    QStringList devices;
    for (const QJsonObject &device : outcome.named("device"))
        devices << QStringLiteral("%1 %2 %3 %4")
                       .arg(device.value("path").toString(), device.value("vidPid").toString())
                       .arg(device.value("ravlo").toBool() ? "ravlo" : "other")
                       .arg(device.value("flashSize").toInt());
    devices.sort();
    QCOMPARE(devices, (QStringList{"1-2 0483:df11 ravlo 1048576", "1-3 0483:df11 ravlo 1048576",
                                   "1-4 1234:5678 other 1048576"}));
}

void TestRavloFlash::upgrade_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<DfuSimScenario>("bus");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QList<int>>("written"); // devices that hold the image afterwards
    QTest::addColumn<int>("imageRequests");

    const DfuSimScenario one = DfuSimScenario().addDevice();
    const DfuSimScenario two = DfuSimScenario().addDevice().addDevice().addDevice("1234:5678");
    const QString digest = Release::sha256Hex(image());
    QTest::newRow("one device") << QStringList{"upgrade"} << one << 0 << QList<int>{0} << 1;
    QTest::newRow("two devices, none chosen")
        << QStringList{"upgrade"} << two << 3 << QList<int>() << 0;
    QTest::newRow("the one with a serial")
        << QStringList{"upgrade", "--serial", "3276386A3134"} << two << 0 << QList<int>{1} << 1;
    // One download for both; the other device untouched.
    QTest::newRow("all") << QStringList{"upgrade", "--all"} << two << 0 << QList<int>{0, 1} << 1;
    // Paced, so that each flash lasts long enough to be seen beside the other.
    QTest::newRow("all in parallel")
        << QStringList{"upgrade", "--all", "--parallel"} << DfuSimScenario(two).setPollTimeout(10)
        << 0 << QList<int>{0, 1} << 1;
    QTest::newRow("a block fails to program")
        << QStringList{"upgrade"} << DfuSimScenario().addDevice().setFault("block-error:20")
        << 6 << QList<int>() << 1;
    QTest::newRow("no device") << QStringList{"upgrade"} << DfuSimScenario() << 3 << QList<int>()
                               << 0;
    QTest::newRow("local file") << QStringList{"upgrade", "--file", "image.bin", "--sha256", digest}
                                << one << 0 << QList<int>{0} << 0;
    QTest::newRow("local file, wrong digest")
        << QStringList{"upgrade",   "--all",    "--file",
                       "image.bin", "--sha256", Release::sha256Hex("other")}
        << one << 5 << QList<int>() << 0;
    QTest::newRow("parallel without all")
        << QStringList{"upgrade", "--parallel"} << one << 2 << QList<int>() << 0;
    QTest::newRow("unknown command") << QStringList{"flash"} << one << 2 << QList<int>() << 0;
}

void TestRavloFlash::upgrade()
{
    QFETCH(QStringList, arguments);
    QFETCH(DfuSimScenario, bus);
    QFETCH(QList<int>, written);
    m_bus = bus;
    m_bus.setDirectory(m_dir->path());
    QVERIFY(m_bus.setFlash(DfuSim::previousFirmware()));
    const QString file = m_dir->filePath("image.bin");
    arguments.replaceInStrings(QRegularExpression("^image\\.bin$"), file);
    QFile local(file);
    QVERIFY(local.open(QIODevice::WriteOnly) && local.write(image()) == image().size());
    local.close();

    const Outcome outcome = run(arguments);
    QTEST(outcome.exitCode, "exitCode");
    QTEST(m_bucket->requestCount(Release::kFirmwarePath), "imageRequests");
    for (int device = 0; device < 3; ++device) {
        const QByteArray flash = m_bus.flash(device);
        QCOMPARE(flash.startsWith(image()), written.contains(device));
    }
    // A failure says why on standard error; no image is left behind.
    QCOMPARE(outcome.errors.isEmpty(), outcome.exitCode == 0);
    QCOMPARE(Release::imageFiles(m_dir->filePath("tmp")), QStringList());
    QCOMPARE(outcome.named("result").size(),
             outcome.exitCode == 2 ? 0 : std::max(1, int(written.size())));
    if (arguments.contains("--all") && arguments.contains("--parallel")) {
        // Both flashes were under way before either ended.
        const int firstResult = int(outcome.events.indexOf(outcome.named("result").first()));
        int flashing = 0;
        for (int i = 0; i < firstResult; ++i)
            flashing += outcome.events[i].value("phase").toString() == "Flashing";
        QCOMPARE(flashing, 2);
    }
}

// Ctrl-C during a flash stops the tool, removes the image and says so.
void TestRavloFlash::interruptedFlash()
{
    m_bus.addDevice().setPollTimeout(20);
    QProcess *process = start({"upgrade"});
    QByteArray output;
    QTRY_VERIFY_WITH_TIMEOUT((output += process->readAllStandardOutput()).contains("\"Flashing\""),
                             30000);
    ::kill(pid_t(process->processId()), SIGINT);
    QVERIFY(process->waitForFinished(10000));
    QCOMPARE(process->exitCode(), 130);
    QCOMPARE(Release::imageFiles(m_dir->filePath("tmp")), QStringList());
    // No dfu-util is left writing this test's image.
    QCOMPARE(processesMentioning(m_dir->path()), QStringList());
}

// A production line: devices plugged in one after the other are each
// upgraded once while they stay attached; SIGTERM ends it with a summary.
void TestRavloFlash::waitForDevices()
{
    QVERIFY(m_bus.setFlash(DfuSim::previousFirmware()));
    QProcess *process = start({"upgrade", "--wait"});
    QByteArray output;
    const auto results = [&] {
        output += process->readAllStandardOutput();
        return output.count("\"event\":\"result\"");
    };
    QTRY_VERIFY_WITH_TIMEOUT((output += process->readAllStandardOutput()).contains("\"note\""),
                             30000);
    m_bus.addDevice();
    QTRY_COMPARE_WITH_TIMEOUT(results(), 1, 30000);
    m_bus.addDevice();
    QTRY_COMPARE_WITH_TIMEOUT(results(), 2, 30000);
    ::kill(pid_t(process->processId()), SIGTERM);
    QVERIFY(process->waitForFinished(10000));
    output += process->readAllStandardOutput();
    QCOMPARE(process->exitCode(), 0);
    QVERIFY(output.contains("{\"event\":\"summary\",\"failed\":0,\"upgraded\":2}"));
    QCOMPARE(output.count("\"event\":\"result\""), 2);
    QVERIFY(m_bus.flash(0).startsWith(image()) && m_bus.flash(1).startsWith(image()));
    QCOMPARE(m_bucket->requestCount(Release::kFirmwarePath), 1);
    QCOMPARE(Release::imageFiles(m_dir->filePath("tmp")), QStringList());
}

QTEST_GUILESS_MAIN(TestRavloFlash)
#include "tst_ravloflash.moc"
