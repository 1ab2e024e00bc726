// ravlo-flash as a script or a production line runs it: the built program,
// the real dfu-util against the simulated devices, the bucket on a loopback
// HTTP server, every line of its output one JSON object.

#include "connectproxy.h"
#include "dfusimscenario.h"
#include "rig.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QtTest>

#include <csignal>
#include <sys/prctl.h>

namespace {

const QByteArray &image()
{
    static const QByteArray bytes = DfuSim::image(150000);
    return bytes;
}

// The output's events of that name.
QList<QJsonObject> events(const QByteArray &output, const QString &name)
{
    QList<QJsonObject> found;
    for (const QByteArray &line : output.split('\n')) {
        const QJsonObject event = QJsonDocument::fromJson(line).object();
        if (event.value("event").toString() == name)
            found << event;
    }
    return found;
}

QByteArray release()
{
    return Release::manifestJson("V1.0.0", QString(), "1.2", Release::sha256Hex(image()));
}

// A release as the maker publishes it, signed with the tests' maker key.
void serveSigned(LoopbackServer &bucket)
{
    Release::serve(bucket, image());
    bucket.serve(Release::kSignaturePath, LoopbackReply::ok(TestKeys::sign(release(), 7)));
}

// What happens to what an earlier upgrade left, before the next one.
enum class Between
{
    Nothing,
    BucketGone,
    SignatureExpired, // of the update information kept
};

} // namespace

Q_DECLARE_METATYPE(DfuSimScenario)
Q_DECLARE_METATYPE(Between)

class TestRavloFlash : public QObject
{
    Q_OBJECT
private slots:
    // A tool the program leaves running becomes this process's child; the
    // build with the tests' key finds the real tool beside itself.
    void initTestCase()
    {
        QVERIFY(prctl(PR_SET_CHILD_SUBREAPER, 1) == 0 && ToolSlot::installExecutable());
    }
    void init();
    void list();
    void upgrade_data();
    void upgrade();
    void signedMirror_data();
    void signedMirror();
    void interruptedFlash();
    void waitForDevices();
    void proxy_data();
    void proxy();
    void keptImage_data();
    void keptImage();

private:
    QProcess *start(const QStringList &arguments,
                    const QString &program = QStringLiteral(RAVLO_FLASH_EXECUTABLE));
    QString tmp() const { return m_dir->filePath("tmp"); }

    std::unique_ptr<LoopbackServer> m_bucket;
    QString m_bucketUrl;
    QString m_httpsProxy; // https_proxy of the program
    std::unique_ptr<QTemporaryDir> m_dir;
    DfuSimScenario m_bus;
};

void TestRavloFlash::init()
{
    m_bucket = std::make_unique<LoopbackServer>();
    m_bucketUrl = m_bucket->url();
    m_httpsProxy.clear();
    Release::serve(*m_bucket, image());
    m_dir = std::make_unique<QTemporaryDir>();
    m_bus = DfuSimScenario(m_dir->path());
    QVERIFY(QDir().mkpath(tmp()) && m_bus.setFlash(DfuSim::previousFirmware()));
}

QProcess *TestRavloFlash::start(const QStringList &arguments, const QString &program)
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("TMPDIR", tmp());
    environment.insert("XDG_CONFIG_HOME", m_dir->filePath("config"));
    environment.insert("XDG_CACHE_HOME", m_dir->filePath("cache"));
    // No proxy but the test's, whatever this computer's settings.
    for (const char *name : {"https_proxy", "http_proxy", "all_proxy", "no_proxy"})
        environment.remove(name);
    if (!m_httpsProxy.isEmpty())
        environment.insert("https_proxy", m_httpsProxy);
    m_bus.applyTo(environment);
    auto *process = new QProcess(this);
    process->setProcessEnvironment(environment);
    const bool bucket = arguments.first() != "list" && !arguments.contains("--offline");
    process->start(program, arguments + QStringList{"--json"} +
                                (bucket ? QStringList{"--bucket", m_bucketUrl} : QStringList()));
    return process;
}

void TestRavloFlash::list()
{
    m_bus.addDevice().addDevice().addDevice("1234:5678");
    QProcess *process = start({"list"});
    QVERIFY(process->waitForFinished(30000));
    QCOMPARE(process->exitCode(), 0);
    const QByteArray output = process->readAllStandardOutput();
    QCOMPARE(events(output, "tool").value(0).value("version").toString(), "dfu-util 0.11");
    QStringList devices;
    for (const QJsonObject &device : events(output, "device"))
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
    QTest::addColumn<QStringList>("verdicts"); // of the result events, in order of paths

    using Fault = DfuSimScenario::Fault;
    const DfuSimScenario one = DfuSimScenario().addDevice();
    const DfuSimScenario two = DfuSimScenario().addDevice().addDevice().addDevice("1234:5678");
    const QString digest = Release::sha256Hex(image());
    const QStringList verified = {"verified"};
    const QStringList failed = {"failed"};
    QTest::newRow("one device") << QStringList{"upgrade"} << one << 0 << QList<int>{0} << 1
                                << verified;
    QTest::newRow("two devices, none chosen")
        << QStringList{"upgrade"} << two << 3 << QList<int>() << 0 << failed;
    QTest::newRow("the one with a serial") << QStringList{"upgrade", "--serial", "3276386A3134"}
                                           << two << 0 << QList<int>{1} << 1 << verified;
    // One download for both; the other device untouched.
    QTest::newRow("all") << QStringList{"upgrade", "--all"} << two << 0 << QList<int>{0, 1} << 1
                         << verified + verified;
    QTest::newRow("a block fails to program")
        << QStringList{"upgrade"} << DfuSimScenario().addDevice().setFault(Fault::BlockError, 20)
        << 6 << QList<int>() << 1 << failed;
    QTest::newRow("no device") << QStringList{"upgrade"} << DfuSimScenario() << 3 << QList<int>()
                               << 0 << failed;
    QTest::newRow("local file") << QStringList{"upgrade", "--file", "image.bin", "--sha256", digest}
                                << one << 0 << QList<int>{0} << 0 << verified;
    QTest::newRow("local file, wrong digest")
        << QStringList{"upgrade",   "--all",    "--file",
                       "image.bin", "--sha256", Release::sha256Hex("other")}
        << one << 5 << QList<int>() << 0 << failed;
    // Refused before it waits for a device: it ends.
    QTest::newRow("waiting, local file, wrong digest")
        << QStringList{"upgrade",   "--wait",   "--file",
                       "image.bin", "--sha256", Release::sha256Hex("other")}
        << one << 5 << QList<int>() << 0 << failed;
    QTest::newRow("unknown command")
        << QStringList{"flash"} << one << 2 << QList<int>() << 0 << QStringList();
    // Devices that acknowledge every block and keep none are never upgraded.
    const DfuSimScenario lying =
        DfuSimScenario().addDevice().addDevice().setFault(Fault::KeepsNothing);
    QTest::newRow("device keeps nothing") << QStringList{"upgrade", "--serial", "3276386A3133"}
                                          << lying << 7 << QList<int>() << 1 << failed;
    QTest::newRow("devices keep nothing, all in parallel")
        << QStringList{"upgrade", "--all", "--parallel"} << lying << 7 << QList<int>() << 1
        << failed + failed;
    QTest::newRow("read-protected device")
        << QStringList{"upgrade"} << DfuSimScenario().addDevice().setFault(Fault::ReadProtected)
        << 8 << QList<int>{0} << 1 << QStringList{"unproven"};
    QTest::newRow("not verified") << QStringList{"upgrade", "--no-verify"} << one << 0
                                  << QList<int>{0} << 1 << QStringList{"written"};
}

void TestRavloFlash::upgrade()
{
    QFETCH(QStringList, arguments);
    QFETCH(DfuSimScenario, bus);
    QFETCH(int, exitCode);
    QFETCH(QList<int>, written);
    m_bus = bus;
    m_bus.setDirectory(m_dir->path());
    const QString file = m_dir->filePath("image.bin");
    arguments.replaceInStrings(QRegularExpression("^image\\.bin$"), file);
    QFile local(file);
    QVERIFY(local.open(QIODevice::WriteOnly) && local.write(image()) == image().size());
    local.close();

    QProcess *process = start(arguments);
    QVERIFY(process->waitForFinished(60000));
    QCOMPARE(process->exitCode(), exitCode);
    QTEST(m_bucket->requestCount(Release::kFirmwarePath), "imageRequests");
    for (int device = 0; device < 3; ++device)
        QCOMPARE(m_bus.flash(device).startsWith(image()), written.contains(device));
    // Anything but success says why on standard error; no file is left behind.
    QCOMPARE(process->readAllStandardError().isEmpty(), exitCode == 0);
    QCOMPARE(Leftovers::runFiles(tmp()), QStringList());
    const QByteArray output = process->readAllStandardOutput();
    for (const QByteArray &line : output.split('\n'))
        QVERIFY2(line.isEmpty() || QJsonDocument::fromJson(line).isObject(), line.constData());
    QMultiMap<QString, QString> verdicts;
    for (const QJsonObject &result : events(output, "result"))
        verdicts.insert(result.value("device").toString(), result.value("verdict").toString());
    QTEST(QStringList(verdicts.values()), "verdicts");
}

void TestRavloFlash::signedMirror_data()
{
    QTest::addColumn<QString>("command");
    QTest::addColumn<bool>("keyed");          // the build trusts the tests' maker key
    QTest::addColumn<QByteArray>("manifest"); // beside the maker's signature of the release's
    QTest::addColumn<qint64>("seenFirst");    // the sequence an earlier run accepted; 0: none
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("said"); // a regular expression on the output and the errors

    const QByteArray manifest =
        Release::manifestJson("V1.0.0", QString(), "1.2", Release::sha256Hex(image()));
    QTest::newRow("info, a build without keys")
        << "info" << false << manifest << qint64(0) << 0 << "\"checked\":false";
    QTest::newRow("info, signed") << "info" << true << manifest << qint64(0) << 0
                                  << "\"checked\":true.*\"sequence\":7";
    // A mirror is held to the build's keys.
    QTest::newRow("upgrade, signed")
        << "upgrade" << true << manifest << qint64(7) << 0 << "\"ok\":true";
    QTest::newRow("upgrade, a byte changed")
        << "upgrade" << true << QByteArray(manifest).replace("1.2", "1.3") << qint64(0) << 4
        << "could not be verified \\(its signature does not match it\\)";
    QTest::newRow("upgrade, older after newer")
        << "upgrade" << true << manifest << qint64(8) << 4
        << "could not be verified \\(it is older than the update information already seen";
}

// The sequence accepted is kept for the next run, by the window or by
// ravlo-flash, as the maker's signing of the one seen first proves.
void TestRavloFlash::signedMirror()
{
    QFETCH(QString, command);
    QFETCH(bool, keyed);
    QFETCH(qint64, seenFirst);
    const QString program = keyed ? QStringLiteral(RAVLO_FLASH_TESTKEY_EXECUTABLE)
                                  : QStringLiteral(RAVLO_FLASH_EXECUTABLE);
    const QByteArray release =
        Release::manifestJson("V1.0.0", QString(), "1.2", Release::sha256Hex(image()));
    m_bus.addDevice();
    if (seenFirst > 0) {
        m_bucket->serve(Release::kSignaturePath,
                        LoopbackReply::ok(TestKeys::sign(release, seenFirst)));
        QProcess *info = start({"info"}, program);
        QVERIFY(info->waitForFinished(30000) && info->exitCode() == 0);
    }
    QFETCH(QByteArray, manifest);
    m_bucket->serve(Release::kManifestPath, LoopbackReply::ok(manifest));
    m_bucket->serve(Release::kSignaturePath, LoopbackReply::ok(TestKeys::sign(release, 7)));
    QProcess *process = start({command}, program);
    QVERIFY(process->waitForFinished(60000));
    QTEST(process->exitCode(), "exitCode");
    const QString output =
        process->readAllStandardOutput() + '\n' + process->readAllStandardError();
    QFETCH(QString, said);
    QVERIFY2(QRegularExpression(said).match(output).hasMatch(), qPrintable(output));
    QCOMPARE(m_bus.flash().startsWith(image()), command == "upgrade" && process->exitCode() == 0);
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
    QCOMPARE(Leftovers::runFiles(tmp()), QStringList());
    // No dfu-util is left writing the device.
    QCOMPARE(Leftovers::childProcesses(), QStringList());
}

// A production line: devices plugged in one after the other are each
// upgraded once while they stay attached; SIGTERM ends it with a summary.
void TestRavloFlash::waitForDevices()
{
    QProcess *process = start({"upgrade", "--wait"});
    QByteArray output;
    const auto said = [&](const QByteArray &text) {
        output += process->readAllStandardOutput();
        return output.count(text);
    };
    QTRY_VERIFY_WITH_TIMEOUT(said("\"note\"") > 0, 30000);
    m_bus.addDevice();
    QTRY_COMPARE_WITH_TIMEOUT(said("\"event\":\"result\""), 1, 30000);
    m_bus.addDevice();
    QTRY_COMPARE_WITH_TIMEOUT(said("\"event\":\"result\""), 2, 30000);
    ::kill(pid_t(process->processId()), SIGTERM);
    QVERIFY(process->waitForFinished(10000));
    QCOMPARE(process->exitCode(), 0);
    QCOMPARE(said("{\"event\":\"summary\",\"failed\":0,\"unproven\":0,\"upgraded\":2}"), 1);
    QCOMPARE(said("\"event\":\"result\""), 2);
    QVERIFY(m_bus.flash(0).startsWith(image()) && m_bus.flash(1).startsWith(image()));
    QCOMPARE(m_bucket->requestCount(Release::kFirmwarePath), 1);
    QCOMPARE(Leftovers::runFiles(tmp()), QStringList());
}

void TestRavloFlash::proxy_data()
{
    QTest::addColumn<bool>("refusing");
    QTest::addColumn<int>("exitCode");
    QTest::newRow("through the proxy") << false << 0;
    QTest::newRow("a proxy that refuses") << true << 4;
}

// With https_proxy set, every request of an upgrade goes through that proxy
// (certificates verified as ever); a proxy that refuses is named.
void TestRavloFlash::proxy()
{
    QFETCH(bool, refusing);
    ConnectProxy proxy(refusing);
    LoopbackServer bucket(LoopbackServer::Transport::Https);
    serveSigned(bucket);
    m_bucketUrl = bucket.url(QString(), ConnectProxy::kHost);
    m_httpsProxy = proxy.address();
    m_bus.addDevice();

    QProcess *process = start({"upgrade"}, QStringLiteral(RAVLO_FLASH_TESTKEY_EXECUTABLE));
    QVERIFY(process->waitForFinished(60000));
    QTEST(process->exitCode(), "exitCode");
    const QString target = QStringLiteral("%1:%2").arg(ConnectProxy::kHost).arg(bucket.port());
    // The manifest, its signature and the image; or the manifest, refused.
    QCOMPARE(proxy.tunnels(), QVector<QString>(refusing ? 1 : 3, target).toList());
    QCOMPARE(m_bus.flash().startsWith(image()), !refusing);
    const QString errors = process->readAllStandardError();
    QVERIFY2(errors.contains(" (through the proxy 127.0.0.1:" + QString::number(proxy.port()) +
                             ')') == refusing,
             qPrintable(errors));
}

void TestRavloFlash::keptImage_data()
{
    QTest::addColumn<bool>("earlier"); // an upgrade before, which kept the image
    QTest::addColumn<Between>("between");
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<int>("downloads"); // of the image, by both
    QTest::addColumn<QString>("said");  // a regular expression on the output and the errors

    const QStringList upgrade = {"upgrade"};
    const QStringList offline = {"upgrade", "--offline"};
    QTest::newRow("the same image again")
        << true << Between::Nothing << upgrade << 0 << 1
        << "Using the firmware image downloaded before, unchanged since";
    QTest::newRow("offline, the bucket gone")
        << true << Between::BucketGone << offline << 0 << 1
        << "Offline: the firmware image kept on this computer \\(SHA-256 [0-9a-f]{64}\\)";
    QTest::newRow("offline, its signature expired")
        << true << Between::SignatureExpired << offline << 4 << 1
        << "The update information kept on this computer cannot be used \\(it expired on";
    QTest::newRow("offline, nothing kept") << false << Between::Nothing << offline << 4 << 0
                                           << "No update information is kept on this computer";
}

// An upgrade keeps the verified image for the next, in the window's and
// ravlo-flash's cache: the next takes it instead of downloading it, and
// --offline takes it while the update information that named it is valid.
void TestRavloFlash::keptImage()
{
    QFETCH(bool, earlier);
    QFETCH(Between, between);
    const QString program = QStringLiteral(RAVLO_FLASH_TESTKEY_EXECUTABLE);
    serveSigned(*m_bucket);
    m_bus.addDevice();
    if (earlier) {
        QProcess *first = start({"upgrade"}, program);
        QVERIFY(first->waitForFinished(60000) && first->exitCode() == 0);
        QVERIFY(m_bus.setFlash(DfuSim::previousFirmware()));
    }
    int downloads = m_bucket->requestCount(Release::kFirmwarePath);
    if (between == Between::BucketGone)
        m_bucket.reset();
    if (between == Between::SignatureExpired) {
        QFile signature(m_dir->filePath("cache/RavloFirmwareDownloader/manifest.json.minisig"));
        const QByteArray expired =
            TestKeys::sign(release(), 7, QDateTime::currentDateTimeUtc().addSecs(-60));
        QVERIFY(signature.open(QIODevice::WriteOnly) && signature.write(expired) > 0);
    }

    QFETCH(QStringList, arguments);
    QProcess *process = start(arguments, program);
    QVERIFY(process->waitForFinished(60000));
    QTEST(process->exitCode(), "exitCode");
    if (m_bucket)
        downloads = m_bucket->requestCount(Release::kFirmwarePath);
    QTEST(downloads, "downloads");
    QCOMPARE(m_bus.flash().startsWith(image()), process->exitCode() == 0);
    const QString output =
        process->readAllStandardOutput() + '\n' + process->readAllStandardError();
    QFETCH(QString, said);
    QVERIFY2(QRegularExpression(said).match(output).hasMatch(), qPrintable(output));
    QCOMPARE(Leftovers::runFiles(tmp()), QStringList());
}

QTEST_GUILESS_MAIN(TestRavloFlash)
#include "tst_ravloflash.moc"
