// ravlo-flash as a script or a production line runs it: the built program,
// the real dfu-util against the simulated devices, the bucket on a loopback
// HTTP server, every line of its output one JSON object, its records; and
// which attaches of a bus --wait takes as new boards.

#include "cli/attachtracker.h"
#include "connectproxy.h"
#include "dfusimscenario.h"
#include "engine/childprocess.h"
#include "ravlo_config.h"
#include "rig.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QtTest>

#include <csignal>
#include <sys/prctl.h>
#include <unistd.h>

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

QStringList csvFields(const QString &line)
{
    QStringList fields{QString()};
    bool quoted = false;
    for (int i = 0; i < line.size(); ++i) {
        const QChar c = line.at(i);
        if (quoted && c == '"' && i + 1 < line.size() && line.at(i + 1) == '"')
            fields.last() += line.at(++i);
        else if (c == '"')
            quoted = !quoted;
        else if (c == ',' && !quoted)
            fields << QString();
        else
            fields.last() += c;
    }
    return fields;
}

const QStringList kRecordFields = {"time",   "station", "path",  "serial",  "firmware",
                                   "sha256", "verdict", "cause", "seconds", "program"};

// The lines of a record file, JSON Lines or CSV (whose first line must be its
// header), field by field; a line that does not parse is {"broken": line}.
QList<QVariantMap> records(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    const bool csv = path.endsWith(".csv");
    QStringList lines = QString::fromUtf8(file.readAll()).split(csv ? "\r\n" : "\n");
    if (lines.takeLast() != "" || (csv && lines.value(0) != kRecordFields.join(',')))
        return {{{"broken", path}}};
    if (csv)
        lines.removeFirst();
    QList<QVariantMap> found;
    for (const QString &line : lines) {
        QVariantMap record;
        if (csv) {
            const QStringList fields = csvFields(line);
            for (int i = 0; i < fields.size() && fields.size() == kRecordFields.size(); ++i)
                record.insert(kRecordFields.at(i), fields.at(i));
        } else {
            record = QJsonDocument::fromJson(line.toUtf8()).object().toVariantMap();
        }
        QStringList names = kRecordFields;
        names.sort();
        found << (record.keys() == names ? record : QVariantMap{{"broken", line}});
    }
    return found;
}

// "verdict cause" of every record, in order.
QStringList verdictsRecorded(const QString &path)
{
    QStringList verdicts;
    for (const QVariantMap &record : records(path))
        verdicts << record.value("verdict").toString() + ' ' + record.value("cause").toString();
    return verdicts;
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
    void interruptedFlash_data();
    void interruptedFlash();
    void productionLine_data();
    void productionLine();
    void attaches_data();
    void attaches();
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
    // In a process group of its own, as a shell starts a job.
    auto *process = new ToolProcess(this);
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
    QTest::addColumn<QStringList>("recorded"); // "verdict cause" of each line of record.jsonl

    using Fault = DfuSimScenario::Fault;
    const DfuSimScenario one = DfuSimScenario().addDevice();
    const DfuSimScenario two = DfuSimScenario().addDevice().addDevice().addDevice("1234:5678");
    const QString digest = Release::sha256Hex(image());
    const QStringList verified = {"verified"};
    const QStringList failed = {"failed"};
    const QStringList none;
    // A record has a line for each device's run, and none for the invocation's failure.
    const QStringList record = {"--record", "record.jsonl"};
    QTest::newRow("one device") << QStringList{"upgrade"} << one << 0 << QList<int>{0} << 1
                                << verified << none;
    QTest::newRow("two devices, none chosen")
        << QStringList{"upgrade"} + record << two << 3 << QList<int>() << 0 << failed
        << QStringList{"refused several"};
    QTest::newRow("the one with a serial") << QStringList{"upgrade", "--serial", "3276386A3134"}
                                           << two << 0 << QList<int>{1} << 1 << verified << none;
    // One download for both; the other device untouched.
    QTest::newRow("all") << QStringList{"upgrade", "--all"} + record << two << 0 << QList<int>{0, 1}
                         << 1 << verified + verified
                         << QStringList{"verified none", "verified none"};
    QTest::newRow("a block fails to program")
        << QStringList{"upgrade"} + record
        << DfuSimScenario().addDevice().setFault(Fault::BlockError, 20) << 6 << QList<int>() << 1
        << failed << QStringList{"failed write-refused"};
    QTest::newRow("no device") << QStringList{"upgrade"} << DfuSimScenario() << 3 << QList<int>()
                               << 0 << failed << none;
    QTest::newRow("no device, all")
        << QStringList{"upgrade", "--all"} + record << DfuSimScenario() << 3 << QList<int>() << 0
        << failed << QStringList{"refused no-device"};
    QTest::newRow("local file") << QStringList{"upgrade", "--file", "image.bin", "--sha256", digest}
                                << one << 0 << QList<int>{0} << 0 << verified << none;
    QTest::newRow("local file, wrong digest")
        << QStringList{"upgrade",   "--all",    "--file",
                       "image.bin", "--sha256", Release::sha256Hex("other")} +
               record
        << one << 5 << QList<int>() << 0 << failed << none;
    // Refused before it waits for a device: it ends.
    QTest::newRow("waiting, local file, wrong digest")
        << QStringList{"upgrade",   "--wait",   "--file",
                       "image.bin", "--sha256", Release::sha256Hex("other")}
        << one << 5 << QList<int>() << 0 << failed << none;
    QTest::newRow("unknown command")
        << QStringList{"flash"} << one << 2 << QList<int>() << 0 << QStringList() << none;
    // Nothing is written that could not be recorded.
    QTest::newRow("a record that cannot be opened")
        << QStringList{"upgrade", "--record", "missing/record.jsonl"} << one << 2 << QList<int>()
        << 0 << QStringList() << none;
    // Devices that acknowledge every block and keep none are never upgraded.
    const DfuSimScenario lying =
        DfuSimScenario().addDevice().addDevice().setFault(Fault::KeepsNothing);
    QTest::newRow("device keeps nothing") << QStringList{"upgrade", "--serial", "3276386A3133"}
                                          << lying << 7 << QList<int>() << 1 << failed << none;
    QTest::newRow("devices keep nothing, all in parallel")
        << QStringList{"upgrade", "--all", "--parallel"} << lying << 7 << QList<int>() << 1
        << failed + failed << none;
    QTest::newRow("read-protected device")
        << QStringList{"upgrade"} + record
        << DfuSimScenario().addDevice().setFault(Fault::ReadProtected) << 8 << QList<int>{0} << 1
        << QStringList{"unproven"} << QStringList{"unproven read-back-refused"};
    QTest::newRow("not verified") << QStringList{"upgrade", "--no-verify"} + record << one << 0
                                  << QList<int>{0} << 1 << QStringList{"written"}
                                  << QStringList{"written none"};
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
    for (QString &argument : arguments) {
        if (argument.endsWith(".bin") || argument.endsWith(".jsonl"))
            argument = m_dir->filePath(argument);
    }
    QFile local(file);
    QVERIFY(local.open(QIODevice::WriteOnly) && local.write(image()) == image().size());
    local.close();

    QProcess *process = start(arguments);
    QVERIFY(process->waitForFinished(60000));
    QCOMPARE(process->exitCode(), exitCode);
    QTEST(m_bucket->requestCount(Release::kFirmwarePath), "imageRequests");
    for (int device = 0; device < 3; ++device)
        QCOMPARE(m_bus.flash(device).startsWith(image()), written.contains(device));
    // Anything but success says why on standard error, in the command line's
    // words; no file is left behind.
    const QString errors = process->readAllStandardError();
    QCOMPARE(errors.isEmpty(), exitCode == 0);
    QVERIFY2(!errors.contains("Upgrade") && !errors.contains("log"), qPrintable(errors));
    QCOMPARE(Leftovers::runFiles(tmp()), QStringList());
    const QByteArray output = process->readAllStandardOutput();
    for (const QByteArray &line : output.split('\n'))
        QVERIFY2(line.isEmpty() || QJsonDocument::fromJson(line).isObject(), line.constData());
    QMultiMap<QString, QString> verdicts;
    for (const QJsonObject &result : events(output, "result"))
        verdicts.insert(result.value("device").toString(), result.value("verdict").toString());
    QTEST(QStringList(verdicts.values()), "verdicts");
    QTEST(verdictsRecorded(m_dir->filePath("record.jsonl")), "recorded");
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

void TestRavloFlash::interruptedFlash_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<bool>("group"); // to the program's process group, as a terminal's Ctrl-C
    QTest::newRow("one device, the program") << QStringList{"upgrade"} << false;
    QTest::newRow("waiting, the process group")
        << QStringList{"upgrade", "--wait", "--record", "line.jsonl"} << true;
}

// Ctrl-C during a flash stops the tool, removes the image and says so; the
// device stopped is on record, written in part.
void TestRavloFlash::interruptedFlash()
{
    QFETCH(QStringList, arguments);
    QFETCH(bool, group);
    const QString record = m_dir->filePath("line.jsonl");
    arguments.replaceInStrings("line.jsonl", record);
    m_bus.addDevice().setPollTimeout(20);
    QProcess *process = start(arguments);
    QByteArray output;
    QTRY_VERIFY_WITH_TIMEOUT((output += process->readAllStandardOutput()).contains("\"Flashing\""),
                             30000);
    const pid_t pid = pid_t(process->processId());
    if (group) {
        QCOMPARE(::getpgid(pid), pid); // never the group of the tests
        ::kill(-pid, SIGINT);
    } else {
        ::kill(pid, SIGINT);
    }
    QVERIFY(process->waitForFinished(10000));
    QCOMPARE(process->exitCode(), 130);
    QCOMPARE(Leftovers::runFiles(tmp()), QStringList());
    // No dfu-util is left writing the device.
    QCOMPARE(Leftovers::childProcesses(), QStringList());
    output += process->readAllStandardOutput();
    const bool waiting = arguments.contains("--wait");
    QCOMPARE(events(output, "summary").size(), waiting ? 1 : 0);
    QCOMPARE(verdictsRecorded(record), waiting ? QStringList{"failed interrupted"} : QStringList());
}

void TestRavloFlash::productionLine_data()
{
    QTest::addColumn<QStringList>("steps"); // plug or unplug a board at a port; kill the program
    QTest::addColumn<DfuSimScenario>("bus");
    QTest::addColumn<QString>("record");
    QTest::addColumn<QStringList>("recorded"); // "verdict path cause" of each line of the record
    QTest::addColumn<int>("upgraded");         // by the last run of the program
    QTest::addColumn<int>("failed");
    QTest::addColumn<int>("exitCode");

    using Fault = DfuSimScenario::Fault;
    // Every attach is a new board, into the same port or not.
    QTest::newRow("three boards into one port")
        << QStringList{"plug 2", "unplug 2", "plug 2", "unplug 2", "plug 2"} << DfuSimScenario()
        << "line.jsonl"
        << QStringList{"verified 1-2 none", "verified 1-2 none", "verified 1-2 none"} << 3 << 0
        << 0;
    // Reported within seconds, not taken again while attached, taken again
    // when plugged in again.
    QTest::newRow("a board that cannot be opened")
        << QStringList{"plug 2", "plug 3", "unplug 2", "plug 2"}
        << DfuSimScenario().setFault(Fault::OpenDenied) << "line.csv"
        << QStringList{"refused - permission", "verified 1-3 none", "refused - permission"} << 1
        << 2 << 6;
    // Each line is on the disk before the next board starts.
    QTest::newRow("killed between two boards")
        << QStringList{"plug 2", "unplug 2", "kill", "plug 2"} << DfuSimScenario() << "line.csv"
        << QStringList{"verified 1-2 none", "verified 1-2 none"} << 1 << 0 << 0;
}

// A production line: boards plugged in and out while the program waits, each
// attach upgraded or reported once and recorded; SIGTERM ends it with a summary.
void TestRavloFlash::productionLine()
{
    QFETCH(QStringList, steps);
    QFETCH(DfuSimScenario, bus);
    QFETCH(QString, record);
    QFETCH(QStringList, recorded);
    m_bus = bus;
    m_bus.setDirectory(m_dir->path());
    // A separator, quotes, and what a spreadsheet would take for a formula.
    const QString station = "=line 7, bay \"A\"";
    const QStringList arguments = {"upgrade",   "--wait", "--record", m_dir->filePath(record),
                                   "--station", station};
    QProcess *process = start(arguments);
    QByteArray output;
    const auto said = [&](const QByteArray &text) {
        output += process->readAllStandardOutput();
        return output.count(text);
    };
    QTRY_VERIFY_WITH_TIMEOUT(said("\"note\"") > 0, 30000);
    int results = 0;
    int recordedSoFar = 0;
    for (const QString &step : steps) {
        const int port = step.section(' ', 1).toInt();
        if (step.startsWith("plug")) {
            m_bus.plug(port);
            // A board that cannot be opened is told within seconds.
            const bool refused = recorded.value(recordedSoFar++).startsWith("refused");
            ++results;
            QTRY_COMPARE_WITH_TIMEOUT(said("\"event\":\"result\""), results,
                                      refused ? 5000 : 30000);
        } else if (step.startsWith("unplug")) {
            m_bus.unplug(port);
        } else {
            ::kill(pid_t(process->processId()), SIGKILL);
            QVERIFY(process->waitForFinished(10000));
            QTRY_COMPARE(Leftovers::childProcesses(), QStringList()); // a scan it started
            for (const QString &image : Leftovers::runFiles(tmp()))   // nothing removes it
                QVERIFY(QDir(tmp()).remove(image));
            process = start(arguments);
            output.clear();
            results = 0;
            QTRY_VERIFY_WITH_TIMEOUT(said("\"note\"") > 0, 30000);
        }
    }
    ::kill(pid_t(process->processId()), SIGTERM);
    QVERIFY(process->waitForFinished(10000));
    QTEST(process->exitCode(), "exitCode");
    output += process->readAllStandardOutput();
    const QJsonObject summary = events(output, "summary").value(0);
    QTEST(summary.value("upgraded").toInt(), "upgraded");
    QTEST(summary.value("failed").toInt(), "failed");
    QCOMPARE(said("\"event\":\"result\""), results);
    // One download: a run after the first takes the image it kept.
    QCOMPARE(m_bucket->requestCount(Release::kFirmwarePath), 1);
    QCOMPARE(Leftovers::runFiles(tmp()), QStringList());

    // Every field of every line, in either format.
    QStringList found;
    for (const QVariantMap &line : records(m_dir->filePath(record))) {
        const QString path = line.value("path").toString();
        found << QStringList{line.value("verdict").toString(), path.isEmpty() ? "-" : path,
                             line.value("cause").toString()}
                     .join(' ');
        const QString time = line.value("time").toString();
        QVERIFY2(QDateTime::fromString(time, Qt::ISODate).isValid() && time.endsWith('Z'),
                 qPrintable(time));
        QCOMPARE(line.value("station").toString(), (record.endsWith(".csv") ? "'" : "") + station);
        QCOMPARE(line.value("serial").toString(),
                 path.isEmpty()
                     ? QString()
                     : "3276386A31" + QString::number(31 + path.section('-', 1).toInt()));
        QCOMPARE(line.value("firmware").toString(), "1.2");
        QCOMPARE(line.value("sha256").toString(), Release::sha256Hex(image()));
        bool number = false;
        QVERIFY(line.value("seconds").toString().toDouble(&number) >= 0 && number);
        QCOMPARE(line.value("program").toString(), RAVLO_APPLICATION_VERSION);
    }
    QCOMPARE(found, recorded);
}

void TestRavloFlash::attaches_data()
{
    // Each scan: "1-2#5" lists a device at 1-2 with bus address 5, "#7" is the
    // tool's refusal to open the device at 7, "*1-2#5" a device being written.
    QTest::addColumn<QStringList>("scans");
    QTest::addColumn<QStringList>("news"); // what each scan shows for the first time
    QTest::newRow("still attached")
        << QStringList{"1-2#5 #7", "1-2#5 #7"} << QStringList{"1-2#5 #7", ""};
    QTest::newRow("plugged in again") << QStringList{"1-2#5 #7", "1-2#6 #8", "", "1-2#6"}
                                      << QStringList{"1-2#5 #7", "1-2#6 #8", "", "1-2#6"};
    // Windows opens a device for one program at a time, and a device resets
    // as it leaves DFU mode.
    QTest::newRow("being written")
        << QStringList{"1-2#5", "*1-2#5 #5", "*1-2#5", "1-2#5"} << QStringList{"1-2#5", "", "", ""};
}

void TestRavloFlash::attaches()
{
    QFETCH(QStringList, scans);
    AttachTracker tracker;
    QStringList news;
    for (const QString &scan : scans) {
        QList<DfuDevice> listed;
        QList<DfuDevice> busy;
        QStringList refusals;
        for (const QString &token : scan.split(' ', Qt::SkipEmptyParts)) {
            DfuDevice device;
            device.path = token.section('#', 0, 0).remove('*');
            device.devnum = token.section('#', 1).toInt();
            if (device.path.isEmpty())
                refusals << QStringLiteral("dfu-util: Cannot open DFU device 0483:df11 found on "
                                           "devnum %1 (LIBUSB_ERROR_ACCESS)")
                                .arg(device.devnum);
            else
                (token.startsWith('*') ? busy : listed) << device;
        }
        const AttachTracker::News seen = tracker.update(listed, refusals, busy);
        QStringList tokens;
        for (const DfuDevice &device : seen.devices)
            tokens << QStringLiteral("%1#%2").arg(device.path).arg(device.devnum);
        for (const QString &refusal : seen.refusals)
            tokens << '#' + QString::number(DfuScan::devnumIn(refusal));
        news << tokens.join(' ');
    }
    QTEST(news, "news");
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
