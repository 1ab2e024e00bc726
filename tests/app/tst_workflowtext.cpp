// Pure rules of the workflow: version comparison, download progress texts,
// the image's file name and digest.

#include "engine/downloadprogress.h"
#include "engine/firmwarefile.h"
#include "engine/sha256.h"
#include "manifest/versioncompare.h"

#include <QtTest>

class TestWorkflowText : public QObject
{
    Q_OBJECT
private slots:
    void compareVersions_data();
    void compareVersions();
    void speedText_data();
    void speedText();
    void barTextNeverShowsNonFiniteTime();
    void fileName_data();
    void fileName();
    void sha256();
};

void TestWorkflowText::compareVersions_data()
{
    QTest::addColumn<QString>("a");
    QTest::addColumn<QString>("b");
    QTest::addColumn<int>("result");
    QTest::newRow("newer patch") << "V1.0.1"
                                 << "V1.0.0" << 1;
    QTest::newRow("older patch") << "V1.0.0"
                                 << "V1.0.1" << -1;
    QTest::newRow("equal") << "V1.0.0"
                           << "V1.0.0" << 0;
    QTest::newRow("missing part is 0") << "1.0"
                                       << "V1.0.0" << 0;
    QTest::newRow("lower-case v, blanks") << " v2 "
                                          << "V1.9.9" << 1;
    QTest::newRow("non-number part is 0") << "V1.a"
                                          << "V1.0" << 0;
    QTest::newRow("numbers, not text") << "V1.10"
                                       << "V1.9" << 1;
    QTest::newRow("empty") << ""
                           << "" << 0;
    QTest::newRow("empty parts skipped") << "V1..2."
                                         << "V1.2" << 0;
    QTest::newRow("only one V dropped") << "VV2"
                                        << "V1" << -1;
    QTest::newRow("beyond int") << "V99999999999999999999.0.0"
                                << "V1.0.0" << 1;
    QTest::newRow("leading zeros") << "V1.010"
                                   << "V1.9" << 1;
}

void TestWorkflowText::compareVersions()
{
    QFETCH(QString, a);
    QFETCH(QString, b);
    QTEST(Version::compare(a, b), "result");
}

void TestWorkflowText::speedText_data()
{
    QTest::addColumn<qint64>("bytes");
    QTest::addColumn<qint64>("elapsedMs");
    QTest::addColumn<QString>("text");
    QTest::newRow("1 MiB in 1001 ms") << qint64(1048576) << qint64(1001) << "1023.0 KB/s";
    QTest::newRow("2 MiB in 2000 ms") << qint64(2097152) << qint64(2000) << "1.0 MB/s";
    QTest::newRow("2 MiB in 1001 ms") << qint64(2097152) << qint64(1001) << "2.0 MB/s";
    QTest::newRow("nothing moved") << qint64(0) << qint64(1500) << "0.0 KB/s";
}

void TestWorkflowText::speedText()
{
    QFETCH(qint64, bytes);
    QFETCH(qint64, elapsedMs);
    QTEST(DownloadProgress::speedText(DownloadProgress::kilobytesPerSecond(bytes, elapsedMs)),
          "text");
}

void TestWorkflowText::barTextNeverShowsNonFiniteTime()
{
    QCOMPARE(DownloadProgress::barText(40, 512.0, 1024 * 1024),
             QStringLiteral("Download firmware: 40% (512.0 KB/s) remaining: 2s"));
    QCOMPARE(DownloadProgress::barText(40, 0.0, 1024 * 1024),
             QStringLiteral("Download firmware: 40% (0.0 KB/s) remaining: unknown"));
}

void TestWorkflowText::fileName_data()
{
    QTest::addColumn<QString>("version");
    QTest::addColumn<QString>("name");
    QTest::newRow("normal") << "1.2.3"
                            << "Ravlo_firmware_1.2.3_20261206_140307.bin";
    QTest::newRow("no manifest") << ""
                                 << "Ravlo_firmware__20261206_140307.bin";
    QTest::newRow("parent directories") << "../../x"
                                        << "Ravlo_firmware_.._.._x_20261206_140307.bin";
    QTest::newRow("backslash and drive") << "C:\\x"
                                         << "Ravlo_firmware_C__x_20261206_140307.bin";
    QTest::newRow("blank and percent") << "1 %1"
                                       << "Ravlo_firmware_1__1_20261206_140307.bin";
}

void TestWorkflowText::fileName()
{
    QFETCH(QString, version);
    const QDateTime start(QDate(2026, 12, 6), QTime(14, 3, 7));
    const QString name = FirmwareFile::fileName(version, start);
    QTEST(name, "name");
    QVERIFY(!name.contains('/') && !name.contains('\\'));
}

void TestWorkflowText::sha256()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath("image.bin");
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("abc");
    file.close();
    QCOMPARE(Sha256::ofFile(path),
             QStringLiteral("ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"));
    QCOMPARE(Sha256::ofFile(dir.filePath("missing.bin")), QString());
}

QTEST_GUILESS_MAIN(TestWorkflowText)
#include "tst_workflowtext.moc"
