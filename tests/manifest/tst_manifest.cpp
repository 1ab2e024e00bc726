// The update manifest: its fields with their defaults, the product found by
// its name, a local file, and the download over loopback HTTP and HTTPS, where
// every outcome is one signal, a failure keeps the manifest taken earlier and
// a stalled bucket ends in time.

#include "rig.h"
#include "manifest/manifest.h"

#include <QDir>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

Q_DECLARE_METATYPE(LoopbackReply)
Q_DECLARE_METATYPE(LoopbackServer::Transport)

namespace {

const QByteArray kManifest =
    "{\"appVersion\": \"V1.2.0\", \"products\": {\"Ravlo\": {\"version\": \"1.2\"}}}";

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
    void loadFromFile_data();
    void loadFromFile();
    void download_data();
    void download();
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
    QTest::newRow("exact key that is no object is passed over")
        << json("{'products': {'Ravlo': 'text', 'RAVLO': {'version': 'upper'}}}")
        << QVariantMap{{"productNames", QStringList{"RAVLO", "Ravlo"}},
                       {"productVersion", "upper"}};
    QTest::newRow("upper case sorts first")
        << json("{'products': {'ravlo': {'version': 'lower'},"
                " 'RAVLO': {'version': 'upper'}}}")
        << QVariantMap{{"productNames", QStringList{"RAVLO", "ravlo"}},
                       {"productVersion", "upper"}};

    QTest::newRow("filename falls back to name")
        << json("{'products': {'Ravlo': {'filename': 3, 'name': 'named.bin'}}}")
        << QVariantMap{{"productNames", QStringList{"Ravlo"}}, {"productFilename", "named.bin"}};

    const auto sizeRow = [](const char *name, const char *size, qint64 expected) {
        QTest::newRow(name) << json("{'products': {'Ravlo': {'size': ") + json(size) + "}}}"
                            << QVariantMap{{"productNames", QStringList{"Ravlo"}},
                                           {"productSize", expected}};
    };
    sizeRow("size truncated", "1048576.9", 1048576);
    sizeRow("size as string", "'2048'", 2048);
    sizeRow("size beyond 64 bits", "1e300", 0);
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
    QTest::newRow("array") << json("[{'appVersion': 'V9'}]");
    QTest::newRow("truncated object") << json("{'appVersion': ");
}

void TestManifest::rejectedDocumentKeepsEarlierManifest()
{
    QFETCH(QByteArray, document);
    Manifest fresh;
    QVERIFY(!fresh.parseManifest(document));
    QVERIFY(!fresh.isValid());
    QCOMPARE(accessorValues(fresh), defaultsWith({}));

    Manifest earlier;
    QVERIFY(earlier.parseManifest(kFullManifest));
    const QVariantMap before = accessorValues(earlier);
    QVERIFY(!earlier.parseManifest(document));
    QVERIFY(earlier.isValid());
    QCOMPARE(accessorValues(earlier), before);
}

void TestManifest::loadFromFile_data()
{
    QTest::addColumn<QString>("file");       // in a fresh temporary directory
    QTest::addColumn<QByteArray>("content"); // null: no file
    QTest::addColumn<bool>("loaded");
    QTest::newRow("manifest") << "m.json" << kFullManifest << true;
    QTest::newRow("missing") << "none.json" << QByteArray() << false;
    QTest::newRow("empty file") << "empty.json" << QByteArray("") << false;
    QTest::newRow("array") << "a.json" << QByteArray("[]") << false;
}

void TestManifest::loadFromFile()
{
    QFETCH(QString, file);
    QFETCH(QByteArray, content);
    QFETCH(bool, loaded);
    QTemporaryDir dir;
    file = dir.filePath(file);
    QFile out(file);
    if (!content.isNull())
        QVERIFY(out.open(QIODevice::WriteOnly) && out.write(content) == content.size());
    out.close();

    Manifest manifest;
    QSignalSpy outcome(&manifest, &Manifest::manifestLoaded);
    manifest.loadFromFile(file);
    QCOMPARE(outcome.count(), 1);
    QCOMPARE(outcome.at(0).at(0).toBool(), loaded);
    QCOMPARE(outcome.at(0).at(1).toString().isEmpty(), loaded);
    QCOMPARE(manifest.appVersion(), loaded ? QStringLiteral("V1.2.0") : QString());
}

void TestManifest::download_data()
{
    QTest::addColumn<LoopbackServer::Transport>("transport");
    QTest::addColumn<LoopbackReply>("reply");
    QTest::addColumn<QString>("path");    // "" for an empty address
    QTest::addColumn<QString>("message"); // a regular expression; "" for success

    const auto https = LoopbackServer::Transport::Https;
    const QString path = QStringLiteral("/manifest.json");
    QTest::newRow("over TLS") << https << LoopbackReply::ok(kManifest) << path << "";
    QTest::newRow("404") << https << LoopbackReply::status(404) << path << "^Network error: .+";
    QTest::newRow("204") << https << LoopbackReply::status(204) << path << "^HTTP error: 204$";
    QTest::newRow("302 is not followed")
        << https << LoopbackReply::redirect(302, "/good.json") << path << "^HTTP error: 302$";
    QTest::newRow("array") << https << LoopbackReply::ok("[]") << path << ".+";
    QTest::newRow("connection dropped mid-body")
        << https << LoopbackReply::ok(kManifest).slow(5, 100).dropAfter(10) << path
        << "^Network error: .+";
    QTest::newRow("stalled") << https << LoopbackReply::ok(kManifest).stallAfter(10) << path
                             << "^Network error: .+";
    QTest::newRow("untrusted certificate")
        << LoopbackServer::Transport::UntrustedHttps << LoopbackReply::ok(kManifest) << path
        << "^Network error: .+";
    QTest::newRow("empty address") << https << LoopbackReply::ok(kManifest) << ""
                                   << ".+";
}

void TestManifest::download()
{
    QFETCH(LoopbackServer::Transport, transport);
    QFETCH(LoopbackReply, reply);
    QFETCH(QString, path);
    QFETCH(QString, message);
    LoopbackServer server(transport);
    server.serve("/manifest.json", reply);
    server.serve("/good.json", LoopbackReply::ok(kManifest));

    Manifest manifest;
    QVERIFY(manifest.parseManifest("{\"appVersion\": \"V1.0.0\"}"));
    manifest.setTransferTimeout(testLimits().transferMs);
    QSignalSpy downloaded(&manifest, &Manifest::manifestDownloaded);
    manifest.downloadManifest(path.isEmpty() ? QString() : server.url(path));
    QVERIFY(!downloaded.isEmpty() || downloaded.wait());

    QCOMPARE(downloaded.count(), 1);
    QCOMPARE(downloaded.at(0).at(0).toBool(), message.isEmpty());
    const QString said = downloaded.at(0).at(1).toString();
    QVERIFY2(QRegularExpression(message).match(said).hasMatch() &&
                 said.isEmpty() == message.isEmpty(),
             qPrintable(said));
    QCOMPARE(manifest.appVersion(), message.isEmpty() ? "V1.2.0" : "V1.0.0");
    QCOMPARE(manifest.isDownloading(), false);
    if (message.isEmpty())
        QCOMPARE(server.lastUserAgent(), "RavloUpdateClient/1.0");
}

QTEST_GUILESS_MAIN(TestManifest)
#include "tst_manifest.moc"
