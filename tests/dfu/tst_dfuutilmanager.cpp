// The tool beside the program: found only there, rejected when it is not a
// working dfu-util, run with its arguments as they are.

#include "dfu/dfuutilmanager.h"
#include "rig.h"

#include <QtTest>

namespace {

QByteArray script(const QByteArray &body)
{
    // Padded past the size a real tool has at least.
    return "#!/bin/sh\n" + body + "\n#" + QByteArray(40000, 'x') + '\n';
}

QByteArray realTool()
{
    QFile real(ToolSlot::realToolPath());
    return real.open(QIODevice::ReadOnly) ? real.readAll() : QByteArray();
}

} // namespace

class TestDfuUtilManager : public QObject
{
    Q_OBJECT
private slots:
    void validation_data();
    void validation();
    void argumentsPassedAsTheyAre();
};

void TestDfuUtilManager::validation_data()
{
    QTest::addColumn<QByteArray>("content"); // null: no file
    QTest::addColumn<bool>("executable");
    QTest::addColumn<QString>("version"); // empty: rejected

    QTest::newRow("missing") << QByteArray() << true << "";
    QTest::newRow("a stub") << QByteArray("#!/bin/sh\necho dfu-util 0.11\n") << true << "";
    QTest::newRow("not executable") << script("exit 0") << false << "";
    QTest::newRow("fails its --version") << script("echo broken >&2; exit 3") << true << "";
    // Debian's tool is about 60 KiB.
    QTest::newRow("the real tool") << realTool() << true << "dfu-util 0.11";
}

void TestDfuUtilManager::validation()
{
    QFETCH(QByteArray, content);
    QFETCH(bool, executable);
    QVERIFY(ToolSlot::remove());
    if (!content.isNull())
        QVERIFY(ToolSlot::installContent(content, executable
                                                      ? QFileDevice::ReadOwner | QFileDevice::ExeOwner
                                                      : QFileDevice::ReadOwner));
    DFUUtilManager manager;
    QCOMPARE(manager.getDfuUtilPath(), ToolSlot::path());
    QFETCH(QString, version);
    QCOMPARE(manager.validateDfuUtil(), !version.isEmpty());
    QCOMPARE(manager.getVersion(), version);
    QCOMPARE(manager.getLastError().isEmpty(), !version.isEmpty());
}

// No shell between the program and the tool.
void TestDfuUtilManager::argumentsPassedAsTheyAre()
{
    QVERIFY(ToolSlot::installContent(
        script("if [ \"$1\" = --version ]; then echo 'dfu-util 0.11'; exit 0; fi\n"
               "printf ' [%s]' \"$@\""),
        QFileDevice::ReadOwner | QFileDevice::ExeOwner));
    QCOMPARE(DFUUtilManager().executeCommand({"-d", "two words", "$HOME;x", ""}),
             QStringLiteral("[-d] [two words] [$HOME;x] []"));
}

QTEST_GUILESS_MAIN(TestDfuUtilManager)
#include "tst_dfuutilmanager.moc"
