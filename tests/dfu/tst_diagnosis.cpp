// What the user is told about a run of dfu-util: the recorded transcripts
// and the lines other builds and older tools print, to a cause and advice.

#include "dfu/diagnosis.h"
#include "transcripts.h"

#include <QtTest>

using namespace Diagnosis;

Q_DECLARE_METATYPE(Diagnosis::Run)
Q_DECLARE_METATYPE(Diagnosis::Environment)
Q_DECLARE_METATYPE(Diagnosis::Cause)

namespace {

const Environment kLinux{Platform::Linux, false};
const Environment kWindows{Platform::Windows, false};

// A transcript of tests/data/transcripts; "list-..." are scans.
Run recorded(const QString &name)
{
    const Phase phase = name.startsWith(QLatin1String("list-")) ? Phase::Scan : Phase::Flash;
    return {phase, QString::fromUtf8(Transcripts::read(name)), Transcripts::exitCode(name), {}, {}};
}
Run printed(int exitCode, const QString &output, Phase phase = Phase::Flash)
{
    return {phase, output, exitCode, {}, {}};
}
Run processFailed(QProcess::ProcessError error, const QString &errorString, Phase phase)
{
    return {phase, QString(), 0, error, errorString};
}

} // namespace

class TestDiagnosis : public QObject
{
    Q_OBJECT
private slots:
    void diagnose_data();
    void diagnose();
    void udevRule_data();
    void udevRule();
};

void TestDiagnosis::diagnose_data()
{
    QTest::addColumn<Run>("run");
    QTest::addColumn<Environment>("environment");
    QTest::addColumn<Cause>("cause");
    QTest::addColumn<QString>("mention"); // in the sentences; empty: anything

    const auto row = [](const char *tag, const Run &run, Cause cause,
                        const QString &mention = QString(), const Environment &on = kLinux) {
        QTest::addRow("%s, %s%s", tag, on.platform == Platform::Windows ? "Windows" : "Linux",
                      on.udevRuleInstalled ? " with rule" : "")
            << run << on << cause << mention;
    };
    const auto transcript = [&row](const char *name, Cause cause,
                                   const QString &mention = QString(),
                                   const Environment &on = kLinux) {
        row(name, recorded(name), cause, mention, on);
    };
    transcript("list-none", Cause::NoDevice, "\"1\" key");
    transcript("list-one", Cause::None);
    transcript("list-with-other-identity", Cause::None);
    transcript("list-two", Cause::SeveralDevices, "2 Ravlo devices");
    transcript("list-other-identity", Cause::OtherDeviceOnly);
    transcript("list-runtime", Cause::NoDevice, "DFU mode");
    transcript("list-open-denied", Cause::Permission, "70-ravlo-dfu.rules");
    transcript("list-open-denied", Cause::Permission, "computer itself", {Platform::Linux, true});
    transcript("list-open-denied", Cause::Permission, "another program", kWindows);
    transcript("list-open-denied-other-identity", Cause::NoDevice);
    transcript("flash-ok", Cause::None);
    transcript("fault-leave-silent", Cause::None); // 74 after the whole image
    transcript("fault-no-device", Cause::NoDevice);
    transcript("fault-two-devices", Cause::SeveralDevices);
    transcript("fault-open-denied", Cause::Permission);
    transcript("fault-block-error", Cause::DeviceRefused, "Save log");
    transcript("fault-erase-stall", Cause::WriteRefused, "hub");
    transcript("fault-erase-error", Cause::WriteRefused); // glued to the erase bar
    transcript("fault-address-stall", Cause::ConnectionLost);
    transcript("fault-vanish", Cause::ConnectionLost, "DFU mode again");

    const QString olderTool = "Cannot open DFU device 0483:df11 found on devnum 3\n";
    row("older tool", printed(0, olderTool, Phase::Scan), Cause::Permission);
    row("older tool", printed(0, olderTool, Phase::Scan), Cause::Driver, "WinUSB", kWindows);
    row("library missing",
        printed(127,
                "dfu-util: error while loading shared libraries: libusb-1.0.so.0: cannot open "
                "shared object file: No such file or directory\n",
                Phase::Scan),
        Cause::ToolCannotStart, "libusb-1.0.so.0");
    row("time-out, glued",
        printed(74, "Download\t[==   ]   8%        12288 bytesdfu-util: dfuse_download: "
                    "libusb_control_transfer returned -7 (LIBUSB_ERROR_TIMEOUT)\n"
                    "dfu-util: Error during download\n"),
        Cause::ConnectionLost);
    row("no prefix", printed(74, "Error during download get_status\n"), Cause::ConnectionLost,
        QString(), kWindows);
    row("unable to write", printed(74, "DFU state(10) = dfuERROR, status(3) = Device is unable"),
        Cause::WriteRefused);
    row("stuck in dfuERROR",
        printed(74, "DFU state(10) = dfuERROR, status(14) = Something unexpected\n"
                    "Clearing status\ndfu-util: error clear_status\n"),
        Cause::DeviceRefused);
    row("last page", printed(64, "dfu-util: Last page at 0x0810ffff is not writeable\n"),
        Cause::WrongImage, "nothing was written");
    row("harmless lines only",
        printed(74, "dfu-util: Warning: Invalid DFU suffix signature\n"
                    "dfu-util: A valid DFU suffix will be required in a future dfu-util release\n"
                    "DFU state(10) = dfuERROR, status(6) = Program memory function failed\n"
                    "Clearing status\nDFU state(2) = dfuIDLE, status(0) = No error condition\n"
                    "Aborting previous incomplete transfer\ndfu-util: can't detach\n"
                    "dfu-util: Cannot open DFU device 0489:e042 found on devnum 2 "
                    "(LIBUSB_ERROR_ACCESS)\n"),
        Cause::Unknown, "74");
    row("missing",
        processFailed(QProcess::FailedToStart, "execvp: No such file or directory", Phase::Scan),
        Cause::ToolMissing, "apt install dfu-util");
    row("not executable",
        processFailed(QProcess::FailedToStart, "execvp: Permission denied", Phase::Flash),
        Cause::ToolCannotStart, "(Permission denied)");
    row("crashed", processFailed(QProcess::Crashed, "Process crashed", Phase::Flash),
        Cause::ToolCrashed, "not be fully written", kWindows);
    row("hung", processFailed(QProcess::Timedout, "Process operation timed out", Phase::Scan),
        Cause::ToolHung);
}

void TestDiagnosis::diagnose()
{
    QFETCH(Run, run);
    QFETCH(Environment, environment);
    QFETCH(Cause, cause);
    QFETCH(QString, mention);
    QVERIFY2(run.exitCode != -1, "a transcript that was never recorded");

    const Finding finding = Diagnosis::diagnose(run, environment);
    QCOMPARE(finding.cause, cause);
    QVERIFY(finding.what.isEmpty() == (cause == Cause::None) &&
            finding.advice.isEmpty() == (cause == Cause::None));
    const QString sentences = finding.what + QLatin1Char(' ') + finding.advice;
    QVERIFY2(sentences.contains(mention), qPrintable(sentences));
}

void TestDiagnosis::udevRule_data()
{
    QTest::addColumn<QString>("early"); // the rules file in the first directory; null: none
    QTest::addColumn<QString>("late");  // a file of the same name in the second
    QTest::addColumn<bool>("installed");

    const QString rule = "SUBSYSTEM==\"usb\", ATTRS{idVendor}==\"0483\", "
                         "ATTRS{idProduct}==\"DF11\", TAG+=\"uaccess\"\n";
    QTest::newRow("rule") << QString() << rule << true;
    QTest::newRow("commented out") << QString() << "# " + rule << false;
    QTest::newRow("masked") << "" << rule << false;
}

void TestDiagnosis::udevRule()
{
    QFETCH(QString, early);
    QFETCH(QString, late);
    const QTemporaryDir root;
    QStringList directories;
    for (const QString &contents : {early, late}) {
        directories << root.filePath(QString::number(directories.size()));
        QFile file(directories.last() + "/60-dfu.rules");
        QVERIFY(QDir().mkpath(directories.last()));
        QVERIFY(contents.isNull() ||
                (file.open(QIODevice::WriteOnly) && file.write(contents.toUtf8()) >= 0));
    }
    QTEST(udevRuleInstalled(directories), "installed");
}

QTEST_GUILESS_MAIN(TestDiagnosis)
#include "tst_diagnosis.moc"
