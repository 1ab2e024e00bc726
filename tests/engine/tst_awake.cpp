// The engine keeps the computer awake while it writes a device: logind's
// sleep lock (a stand-in, on a system bus of this test's own) is taken when
// the flash starts and given back when the run ends, however it ends; without
// logind the upgrade goes on.

#include "dfusimscenario.h"
#include "rig.h"
#include "systembus.h"

#include <QtTest>

namespace {

enum class End
{
    Written,
    Failed,
    Cancelled,
};

} // namespace

Q_DECLARE_METATYPE(DfuSimScenario)
Q_DECLARE_METATYPE(End)

class TestAwake : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase()
    {
        QVERIFY2(m_systemBus.start(), "no dbus-daemon (scripts/install-deps.sh)");
    }
    void whileWriting_data();
    void whileWriting();

private:
    SystemBus m_systemBus;
    QTemporaryDir m_dir;
};

void TestAwake::whileWriting_data()
{
    QTest::addColumn<DfuSimScenario>("bus");
    QTest::addColumn<bool>("logind");
    QTest::addColumn<End>("end");

    // Slow enough a flash to be caught while it writes.
    const DfuSimScenario paced = DfuSimScenario().addDevice().setPollTimeout(5);
    QTest::newRow("written") << paced << true << End::Written;
    QTest::newRow("block fails to program")
        << DfuSimScenario(paced).setFault(DfuSimScenario::Fault::BlockError, 40) << true
        << End::Failed;
    QTest::newRow("cancelled while writing") << paced << true << End::Cancelled;
    QTest::newRow("no logind") << paced << false << End::Written;
}

void TestAwake::whileWriting()
{
    QFETCH(DfuSimScenario, bus);
    QFETCH(bool, logind);
    QFETCH(End, end);
    EngineRig rig;
    Release::serve(rig.bucket(), DfuSim::image(150000));
    bus.setDirectory(m_dir.path());
    QVERIFY(bus.setFlash(DfuSim::previousFirmware()));
    bus.applyToThisProcess();
    QVERIFY(rig.loadManifest());
    // What the stand-in was told, and where the run was when it heard it.
    QStringList said;
    QStringList lock;
    connect(&m_systemBus, &SystemBus::logindSaid, &rig, [&](const QStringList &fields) {
        said << fields.first() + " while " +
                    QMetaEnum::fromType<UpgradeEngine::Phase>().valueToKey(
                        int(rig.engine().phase()));
        if (fields.first() == "inhibit")
            lock = fields.mid(1);
    });
    if (logind)
        QVERIFY(m_systemBus.startLogind());
    else
        m_systemBus.stopLogind();

    rig.engine().start();
    if (end == End::Cancelled) {
        QTRY_VERIFY_WITH_TIMEOUT(!said.isEmpty(), 20000);
        rig.engine().cancel();
    } else {
        QTRY_VERIFY_WITH_TIMEOUT(rig.ended(), 30000);
    }
    QCOMPARE(rig.successes, end == End::Written ? 1 : 0);
    QCOMPARE(rig.failures.size(), end == End::Failed ? 1 : 0);
    if (!logind)
        return;
    QTRY_COMPARE(said, (QStringList{"inhibit while Flashing", "release while Idle"}));
    QCOMPARE(lock.size(), 4);
    QCOMPARE(lock.first(), "sleep:idle");
    QCOMPARE(lock.last(), "block");
    QVERIFY(!lock.at(1).isEmpty() && !lock.at(2).isEmpty()); // who and why
}

QTEST_GUILESS_MAIN(TestAwake)
#include "tst_awake.moc"
