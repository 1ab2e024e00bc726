#include "dfu/dfuutilmanager.h"
#include "messagecapture.h"
#include "ravlo_config.h"
#include "toolslot.h"

#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

namespace {

const int kSizeBound = 32768;
const QFileDevice::Permissions kExecutable =
    QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner;
const QFileDevice::Permissions kNotExecutable = QFileDevice::ReadOwner | QFileDevice::WriteOwner;

// A shell script padded with a trailing comment to exactly `size` bytes, so
// that it passes (or just fails) the tool's size check.
QByteArray script(const QByteArray &body, int size = kSizeBound)
{
    const QByteArray text = "#!/bin/sh\n" + body + "\n";
    return text + '#' + QByteArray(size - text.size() - 2, 'x') + '\n';
}

// Answers "--version" like the real tool and runs `command` for anything else.
QByteArray toolAnswering(const QByteArray &command)
{
    return script("if [ \"$1\" = --version ]; then echo 'dfu-util 0.11'; exit 0; fi\n" + command);
}

QByteArray realToolContent()
{
    QFile real(ToolSlot::realToolPath());
    return real.open(QIODevice::ReadOnly) ? real.readAll() : QByteArray();
}

} // namespace

class TestDfuUtilManager : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void fileCheck_data();
    void fileCheck();
    void validation_data();
    void validation();
    void command_data();
    void command();
    void logMessageGoesToDebugOutput();
};

void TestDfuUtilManager::init()
{
    QVERIFY(ToolSlot::remove());
}

void TestDfuUtilManager::fileCheck_data()
{
    QTest::addColumn<QByteArray>("content"); // null: no file
    QTest::addColumn<bool>("executable");
    QTest::addColumn<QString>("error"); // empty: the check passes

    QTest::newRow("missing") << QByteArray() << true << "dfu-util文件不存在: %path";
    QTest::newRow("one byte short")
        << script("exit 0", kSizeBound - 1) << true << "dfu-util文件大小异常: 32767字节";
    QTest::newRow("exactly the bound") << script("exit 0") << true << QString();
    QTest::newRow("not executable") << script("exit 0") << false << QString();
    // Debian's tool is about 60 KiB: a real tool passes.
    QTest::newRow("real tool") << realToolContent() << true << QString();
}

void TestDfuUtilManager::fileCheck()
{
    QFETCH(QByteArray, content);
    QFETCH(bool, executable);
    QFETCH(QString, error);

    if (!content.isNull())
        QVERIFY(ToolSlot::installContent(content, executable ? kExecutable : kNotExecutable));

    // A usable copy in the working directory is never looked at.
    QTemporaryDir elsewhere;
    QVERIFY(elsewhere.isValid());
    const QString decoy = elsewhere.filePath(QStringLiteral(RAVLO_DFU_UTIL_RELATIVE_PATH));
    QVERIFY(QDir().mkpath(QFileInfo(decoy).path()));
    QVERIFY(QFile::copy(ToolSlot::realToolPath(), decoy));
    const QString previous = QDir::currentPath();
    QVERIFY(QDir::setCurrent(elsewhere.path()));

    DFUUtilManager manager;
    const bool ok = manager.checkDfuUtilFile();
    QVERIFY(QDir::setCurrent(previous));

    QCOMPARE(manager.getDfuUtilPath(), ToolSlot::path());
    QCOMPARE(ok, error.isEmpty());
    QCOMPARE(manager.getLastError(), error.replace("%path", ToolSlot::path()));
}

void TestDfuUtilManager::validation_data()
{
    QTest::addColumn<QByteArray>("content"); // null: no file
    QTest::addColumn<bool>("executable");
    QTest::addColumn<bool>("valid");
    QTest::addColumn<QString>("message");

    QTest::newRow("missing") << QByteArray() << true << false << "dfu-util文件不存在: %path";
    QTest::newRow("too small") << script("exit 0", 100) << true << false
                               << "dfu-util文件大小异常: 100字节";
    QTest::newRow("cannot start") << script("exit 0") << false << false
                                  << "无法启动dfu-util: execvp: Permission denied";
    QTest::newRow("exit 2, silent")
        << script("exit 2") << true << false << "dfu-util验证失败 (退出码: 2): 未知错误";
    QTest::newRow("exit 3, standard error kept as is")
        << script("echo ' bad tool' >&2; exit 3") << true << false
        << "dfu-util验证失败 (退出码: 3):  bad tool\n";
    QTest::newRow("version text trimmed") << script("printf '  dfu-util 0.11\\n\\n'") << true
                                          << true << "dfu-util验证成功: dfu-util 0.11";
    QTest::newRow("never ends") << script("exec sleep 60") << true << false
                                << "dfu-util版本检测超时";
    QTest::newRow("real tool") << realToolContent() << true << true
                               << "dfu-util验证成功: dfu-util 0.11\n\nCopyright";
}

void TestDfuUtilManager::validation()
{
    QFETCH(QByteArray, content);
    QFETCH(bool, executable);
    QFETCH(bool, valid);
    QFETCH(QString, message);

    if (!content.isNull())
        QVERIFY(ToolSlot::installContent(content, executable ? kExecutable : kNotExecutable));
    message.replace("%path", ToolSlot::path());

    DFUUtilManager manager;
    QSignalSpy validated(&manager, &DFUUtilManager::dfuUtilValidated);
    QCOMPARE(manager.validateDfuUtil(), valid);

    QCOMPARE(validated.count(), 1);
    QCOMPARE(validated.at(0).at(0).toBool(), valid);
    const QString reported = validated.at(0).at(1).toString();
    QVERIFY2(reported.startsWith(message), qPrintable(reported));
    QCOMPARE(manager.getLastError(), valid ? QString() : reported);
}

void TestDfuUtilManager::command_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("output");
    QTest::addColumn<QString>("error");
    QTest::addColumn<bool>("valid");

    QTest::newRow("arguments unchanged, output trimmed")
        << toolAnswering("printf ' [%s]' \"$@\"; echo")
        << QStringList{"-d", "0483:df11", "two words", "$HOME;x", ""}
        << "[-d] [0483:df11] [two words] [$HOME;x] []" << QString() << true;
    QTest::newRow("succeeds silently")
        << toolAnswering("exit 0") << QStringList{"-l"} << QString() << QString() << true;
    QTest::newRow("exit 2, silent") << toolAnswering("exit 2") << QStringList{"-l"} << QString()
                                    << "dfu-util命令执行失败 (退出码: 2): " << true;
    QTest::newRow("exit 1, standard error")
        << toolAnswering("echo 'no device' >&2; exit 1") << QStringList{"-l"} << QString()
        << "dfu-util命令执行失败 (退出码: 1): no device\n"
        << true;
    QTest::newRow("tool failing validation") << script("exit 1") << QStringList{"-l"} << QString()
                                             << "dfu-util验证失败 (退出码: 1): 未知错误" << false;
    const QByteArray realTool = realToolContent();
    QTest::newRow("real tool listing")
        << realTool << QStringList{"-l"} << "dfu-util 0.11\n\nCopyright" << QString() << true;
    QTest::newRow("real tool, unknown option")
        << realTool << QStringList{"--bogus"} << QString()
        << "dfu-util命令执行失败 (退出码: 64): %path: unrecognized option '--bogus'\n"
        << true;
}

void TestDfuUtilManager::command()
{
    QFETCH(QByteArray, content);
    QFETCH(QStringList, arguments);
    QFETCH(QString, output);
    QFETCH(QString, error);
    QFETCH(bool, valid);

    QVERIFY(ToolSlot::installContent(content, kExecutable));
    error.replace("%path", ToolSlot::path());
    DFUUtilManager manager;
    QSignalSpy validated(&manager, &DFUUtilManager::dfuUtilValidated);

    const QString result = manager.executeCommand(arguments);

    QVERIFY2(result.startsWith(output) && (output.isEmpty() == result.isEmpty()),
             qPrintable(result));
    QVERIFY2(manager.getLastError().startsWith(error) &&
                 (error.isEmpty() == manager.getLastError().isEmpty()),
             qPrintable(manager.getLastError()));
    QCOMPARE(validated.count(), 1);
    QCOMPARE(validated.at(0).at(0).toBool(), valid);
}

void TestDfuUtilManager::logMessageGoesToDebugOutput()
{
    MessageCapture messages;
    DFUUtilManager().logMessage("scan finished");
    QCOMPARE(messages.texts(QtDebugMsg), QStringList{"[DFUUtilManager] scan finished"});
}

QTEST_GUILESS_MAIN(TestDfuUtilManager)
#include "tst_dfuutilmanager.moc"
