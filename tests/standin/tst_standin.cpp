// The scripted stand-in does what its script says.

#include "standinscript.h"
#include "toolslot.h"
#include "transcripts.h"

#include <QtTest>

#include <csignal>

Q_DECLARE_METATYPE(StandInScript)

namespace {

// Starts the stand-in at the tool's place with the script.
bool start(QProcess &process, const QTemporaryDir &directory, const StandInScript &script,
           const QStringList &arguments = {})
{
    const QString scriptPath = directory.filePath(QStringLiteral("script"));
    if (!script.save(scriptPath))
        return false;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    StandIn::useScript(environment, scriptPath);
    process.setProcessEnvironment(environment);
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(ToolSlot::path(), arguments);
    return process.waitForStarted();
}

} // namespace

class TestStandIn : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void output_data();
    void output();
    void diesBySignal_data();
    void diesBySignal();
    void hangsUntilKilled();
    void recordsInvocation();
    void listScriptAnswersTheScanOnly();
};

void TestStandIn::initTestCase()
{
    QVERIFY(StandIn::install());
}

void TestStandIn::output_data()
{
    QTest::addColumn<StandInScript>("script");
    QTest::addColumn<QByteArray>("output");
    QTest::addColumn<int>("exitCode");

    const QByteArray awkward = QByteArray("\rErase   \t[=  ]   4%\\x41 \x01\xff\n") + '\0' + "end";
    QTest::newRow("both streams in order") << StandInScript()
                                                  .out("Opening")
                                                  .sleep(20)
                                                  .err("dfu-util: lost\n")
                                                  .out("\rDownload")
                                                  .exit(74)
                                           << QByteArray("Openingdfu-util: lost\n\rDownload") << 74;
    QTest::newRow("every byte kept") << StandInScript().out(awkward) << awkward << 0;
    QTest::newRow("replayed transcript")
        << StandInScript().replay(Transcripts::path("flash-ok"), 64, 1).exit(74)
        << Transcripts::read("flash-ok") << 74;
    QTest::newRow("nothing") << StandInScript() << QByteArray() << 0;
}

void TestStandIn::output()
{
    QFETCH(StandInScript, script);
    const QTemporaryDir directory;
    QProcess process;
    QVERIFY(start(process, directory, script));
    QVERIFY(process.waitForFinished());
    QCOMPARE(process.exitStatus(), QProcess::NormalExit);
    QTEST(process.readAll(), "output");
    QTEST(process.exitCode(), "exitCode");
}

void TestStandIn::diesBySignal_data()
{
    QTest::addColumn<QByteArray>("name");
    QTest::addColumn<int>("signal");

    QTest::newRow("SEGV") << QByteArray("SEGV") << SIGSEGV;
    QTest::newRow("ABRT") << QByteArray("ABRT") << SIGABRT;
}

void TestStandIn::diesBySignal()
{
    QFETCH(QByteArray, name);
    const QTemporaryDir directory;
    QProcess process;
    QVERIFY(start(process, directory, StandInScript().out("before\n").crash(name).out("after\n")));
    QVERIFY(process.waitForFinished());
    QCOMPARE(process.exitStatus(), QProcess::CrashExit);
    // For a crash, QProcess reports the signal as the exit code.
    QTEST(process.exitCode(), "signal");
    QCOMPARE(process.readAll(), QByteArray("before\n"));
}

void TestStandIn::hangsUntilKilled()
{
    const QTemporaryDir directory;
    QProcess process;
    QVERIFY(start(process, directory, StandInScript().out("waiting\n").hang().exit(3)));
    QByteArray output;
    QTRY_VERIFY((output += process.readAll()).contains("waiting\n"));
    QCOMPARE(process.state(), QProcess::Running);
    process.terminate();
    QVERIFY(process.waitForFinished());
    QCOMPARE(process.exitStatus(), QProcess::CrashExit);
    QCOMPARE(process.exitCode(), int(SIGTERM));
}

void TestStandIn::recordsInvocation()
{
    const QTemporaryDir directory;
    const QString recordPath = directory.filePath(QStringLiteral("record"));
    const QStringList arguments = {"-D", "/tmp/a b/Ravlo.bin", "", "two\nlines\\"};
    QProcess process;
    process.setWorkingDirectory(directory.path());
    QVERIFY(start(process, directory, StandInScript().record(recordPath), arguments));
    QVERIFY(process.waitForFinished());

    const StandIn::Record record = StandIn::readRecord(recordPath);
    QVERIFY(record.valid);
    QCOMPARE(record.workingDirectory, QFileInfo(directory.path()).canonicalFilePath());
    QCOMPARE(record.arguments, arguments);
}

// One stand-in serves a whole run: the scan gets the listing, the flash its
// own script.
void TestStandIn::listScriptAnswersTheScanOnly()
{
    const QTemporaryDir directory;
    const QString listPath = directory.filePath(QStringLiteral("list"));
    QVERIFY(StandInScript().out("Found DFU: [0483:df11]\n").save(listPath));
    StandIn::useListScript(listPath);
    for (const QStringList &arguments : {QStringList{"-l"}, QStringList{"-l", "-v"}}) {
        QProcess process;
        QVERIFY(start(process, directory, StandInScript().out("flash\n"), arguments));
        QVERIFY(process.waitForFinished());
        QCOMPARE(process.readAll(),
                 QByteArray(arguments.size() == 1 ? "Found DFU: [0483:df11]\n" : "flash\n"));
    }
    StandIn::clearScript();
}

QTEST_GUILESS_MAIN(TestStandIn)
#include "tst_standin.moc"
