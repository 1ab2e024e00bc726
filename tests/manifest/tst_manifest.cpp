#include "manifest/manifest.h"
#include "messagecapture.h"

#include <QDir>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

namespace {

// JSON written with single quotes, which read better in C++ literals.
QByteArray json(const char *text)
{
    return QByteArray(text).replace('\'', '"');
}

const QByteArray kFullManifest =
    json("{"
         "    'appVersion': 'V1.2.0',"
         "    'address': 'https://store.example.com',"
         "    'bucket': 'ravlo-firmware',"
         "    'region': 'eu-west',"
         "    'baseUrl': 'https://b.example.com',"
         "    'products': {"
         "        'Ravlo': {'version': '1.2', 'sha256': 'ab12', 'filename': 'Ravlo_1_2.bin',"
         "                  'key': 'fw/Ravlo_1_2.bin', 'size': 2048},"
         "        'Other': {'version': '9.9'}"
         "    }"
         "}");

// Every accessor's value, by accessor name.
QVariantMap accessorValues(const Manifest &manifest)
{
    return {
        {"appVersion", manifest.appVersion()},
        {"address", manifest.address()},
        {"bucket", manifest.bucket()},
        {"region", manifest.region()},
        {"baseUrl", manifest.baseUrl()},
        {"productNames", manifest.productNames()},
        {"productVersion", manifest.productVersion()},
        {"productSha256", manifest.productSha256()},
        {"productFilename", manifest.productFilename()},
        {"productKey", manifest.productKey()},
        {"productSize", manifest.productSize()},
    };
}

// The defaults, overridden by the values a row expects.
QVariantMap defaultsWith(const QVariantMap &expected)
{
    QVariantMap all = accessorValues(Manifest());
    for (auto it = expected.cbegin(); it != expected.cend(); ++it)
        all.insert(it.key(), it.value());
    return all;
}

} // namespace

class TestManifest : public QObject
{
    Q_OBJECT
private slots:
    void accessors_data();
    void accessors();
    void rejectedDocumentKeepsEarlierManifest_data();
    void rejectedDocumentKeepsEarlierManifest();
    void parseWritesFieldDump();
    void loadFromFile_data();
    void loadFromFile();
    void signalsHaveOneArgumentForms();
};

void TestManifest::accessors_data()
{
    QTest::addColumn<QByteArray>("document");
    QTest::addColumn<QVariantMap>("expected");

    QTest::newRow("all fields") << kFullManifest
                                << QVariantMap{{"appVersion", "V1.2.0"},
                                               {"address", "https://store.example.com"},
                                               {"bucket", "ravlo-firmware"},
                                               {"region", "eu-west"},
                                               {"baseUrl", "https://b.example.com"},
                                               {"productNames", QStringList{"Other", "Ravlo"}},
                                               {"productVersion", "1.2"},
                                               {"productSha256", "ab12"},
                                               {"productFilename", "Ravlo_1_2.bin"},
                                               {"productKey", "fw/Ravlo_1_2.bin"},
                                               {"productSize", qint64(2048)}};
    QTest::newRow("empty object") << QByteArray("{}") << QVariantMap();
    QTest::newRow("mistyped fields are not converted")
        << json("{'appVersion': 2, 'address': null, 'bucket': true, 'region': [],"
                " 'baseUrl': {}, 'products': ['Ravlo']}")
        << QVariantMap();
    QTest::newRow("mistyped product fields")
        << json("{'products': {'Ravlo': {'version': 1.2, 'sha256': null,"
                " 'filename': 7, 'name': false, 'key': {}, 'size': []}}}")
        << QVariantMap{{"productNames", QStringList{"Ravlo"}}};

    // Product lookup: exact name first, then the first key in ascending order
    // (upper case before lower case) that matches ignoring case.
    QTest::newRow("only an upper-case key")
        << json("{'products': {'RAVLO': {'version': 'upper'}}}")
        << QVariantMap{{"productNames", QStringList{"RAVLO"}}, {"productVersion", "upper"}};
    QTest::newRow("exact key that is no object is passed over")
        << json("{'products': {'Ravlo': 'text', 'RAVLO': {'version': 'upper'}}}")
        << QVariantMap{{"productNames", QStringList{"RAVLO", "Ravlo"}},
                       {"productVersion", "upper"}};
    QTest::newRow("upper case sorts first")
        << json("{'products': {'ravlo': {'version': 'lower'},"
                " 'RAVLO': {'version': 'upper'}}}")
        << QVariantMap{{"productNames", QStringList{"RAVLO", "ravlo"}},
                       {"productVersion", "upper"}};
    QTest::newRow("first match is no object")
        << json("{'products': {'ravlo': {'version': 'lower'}, 'RAVLO': 1}}")
        << QVariantMap{{"productNames", QStringList{"RAVLO", "ravlo"}}};
    QTest::newRow("exact object wins over earlier keys")
        << json("{'products': {'RAVLO': {'version': 'upper'},"
                " 'Ravlo': {'version': 'exact'}}}")
        << QVariantMap{{"productNames", QStringList{"RAVLO", "Ravlo"}},
                       {"productVersion", "exact"}};

    QTest::newRow("filename falls back to name")
        << json("{'products': {'Ravlo': {'filename': 3, 'name': 'named.bin'}}}")
        << QVariantMap{{"productNames", QStringList{"Ravlo"}}, {"productFilename", "named.bin"}};

    const auto sizeRow = [](const char *name, const char *size, qint64 expected) {
        QTest::newRow(name) << json("{'products': {'Ravlo': {'size': ") + json(size) + "}}}"
                            << QVariantMap{{"productNames", QStringList{"Ravlo"}},
                                           {"productSize", expected}};
    };
    sizeRow("size truncated", "1048576.9", 1048576);
    sizeRow("negative size truncated toward zero", "-3.7", -3);
    sizeRow("size as string", "'2048'", 2048);
    sizeRow("size string that does not parse", "'12a'", 0);
    sizeRow("size as boolean", "true", 0);
    sizeRow("size beyond 64 bits", "1e300", 0);
    sizeRow("size string beyond 64 bits", "'99999999999999999999'", 0);
}

void TestManifest::accessors()
{
    QFETCH(QByteArray, document);
    QFETCH(QVariantMap, expected);

    Manifest manifest;
    QVERIFY(manifest.parseManifest(document));
    QVERIFY(manifest.isValid());
    QCOMPARE(accessorValues(manifest), defaultsWith(expected));
}

void TestManifest::rejectedDocumentKeepsEarlierManifest_data()
{
    QTest::addColumn<QByteArray>("document");
    QTest::addColumn<QString>("warning");

    QTest::newRow("array") << json("[{'appVersion': 'V9'}]") << "Manifest: JSON数据不是对象格式";
    QTest::newRow("truncated object")
        << json("{'appVersion': ") << "Manifest: JSON解析错误: unterminated object";
    QTest::newRow("empty") << QByteArray() << "Manifest: JSON解析错误: illegal value";
}

void TestManifest::rejectedDocumentKeepsEarlierManifest()
{
    QFETCH(QByteArray, document);
    QFETCH(QString, warning);

    Manifest fresh;
    MessageCapture messages;
    QVERIFY(!fresh.parseManifest(document));
    QCOMPARE(messages.texts(QtWarningMsg), QStringList{warning});
    QVERIFY(!fresh.isValid());
    QCOMPARE(accessorValues(fresh), defaultsWith({}));

    Manifest earlier;
    QVERIFY(earlier.parseManifest(kFullManifest));
    const QVariantMap before = accessorValues(earlier);
    QVERIFY(!earlier.parseManifest(document));
    QVERIFY(earlier.isValid());
    QCOMPARE(accessorValues(earlier), before);
}

void TestManifest::parseWritesFieldDump()
{
    Manifest manifest;
    MessageCapture messages;
    QVERIFY(manifest.parseManifest(kFullManifest));
    QCOMPARE(messages.texts(QtDebugMsg), (QStringList{
                                             "Manifest: 解析成功",
                                             "  appVersion: V1.2.0",
                                             "  address: https://store.example.com",
                                             "  bucket: ravlo-firmware",
                                             "  region: eu-west",
                                             "  baseUrl: https://b.example.com",
                                             "  Ravlo版本: 1.2",
                                             "  Ravlo SHA256: ab12",
                                             "  Ravlo文件名: Ravlo_1_2.bin",
                                             "  Ravlo文件大小: 2048",
                                         }));
}

void TestManifest::loadFromFile_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QString>("message");
    QTest::addColumn<QStringList>("warnings");

    // "file" is relative to a fresh temporary directory ("%dir" stands for it);
    // a row with content writes it there first.
    QTest::newRow("manifest") << "m.json" << kFullManifest << QString() << QStringList();
    QTest::newRow("empty path") << QString() << QByteArray() << "The file path is empty"
                                << QStringList{"Manifest: 文件路径为空"};
    QTest::newRow("missing") << "%dir/none.json" << QByteArray() << "The file does not exist"
                             << QStringList{"Manifest: 文件不存在: %dir/none.json"};
    QTest::newRow("directory") << "%dir" << QByteArray() << "The file cannot be opened"
                               << QStringList{"Manifest: 无法打开文件: %dir"};
    QTest::newRow("empty file") << "empty.json" << QByteArray("") << "The file is empty"
                                << QStringList{"Manifest: 文件内容为空"};
    QTest::newRow("array") << "a.json" << QByteArray("[]") << "Failed to parse the JSON data"
                           << QStringList{"Manifest: JSON数据不是对象格式",
                                          "Manifest: 解析文件内容失败"};
}

void TestManifest::loadFromFile()
{
    QFETCH(QString, file);
    QFETCH(QByteArray, content);
    QFETCH(QString, message);
    QFETCH(QStringList, warnings);

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    file.replace("%dir", dir.path());
    warnings.replaceInStrings("%dir", dir.path());
    if (!file.isEmpty() && QFileInfo(file).isRelative()) {
        file = dir.filePath(file);
        QFile out(file);
        QVERIFY(out.open(QIODevice::WriteOnly));
        out.write(content);
    }

    Manifest manifest;
    QSignalSpy loaded(&manifest, &Manifest::manifestLoaded);
    MessageCapture messages;
    manifest.loadFromFile(file);

    const bool success = message.isEmpty();
    QCOMPARE(loaded.count(), 1);
    QCOMPARE(loaded.at(0), (QVariantList{success, message}));
    QCOMPARE(messages.texts(QtWarningMsg), warnings);
    QCOMPARE(manifest.isValid(), success);
    if (success) {
        QCOMPARE(manifest.appVersion(), "V1.2.0");
        QVERIFY(messages.texts(QtDebugMsg).contains("Manifest: 从文件成功加载manifest"));
    }
}

void TestManifest::signalsHaveOneArgumentForms()
{
    // Receivers may connect the short forms by signature.
    const QMetaObject &meta = Manifest::staticMetaObject;
    QVERIFY(meta.indexOfSignal("manifestDownloaded(bool)") >= 0);
    QVERIFY(meta.indexOfSignal("manifestLoaded(bool)") >= 0);
}

QTEST_GUILESS_MAIN(TestManifest)
#include "tst_manifest.moc"
