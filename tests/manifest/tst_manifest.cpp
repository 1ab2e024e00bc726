// The update manifest: its fields with their defaults, the product found by
// its name, a local file, and the download over loopback HTTPS, where every
// outcome is one signal, a failure keeps the manifest taken earlier and a
// stalled bucket ends in time.

#include "loopbackserver.h"

#include "manifest/manifest.h"

#include <QtTest>

Q_DECLARE_METATYPE(LoopbackReply)
Q_DECLARE_METATYPE(LoopbackServer::Transport)

namespace {

// JSON written with single quotes, which read better in C++ literals.
QByteArray json(const char *text)
{
    return QByteArray(text).replace('\'', '"');
}

const QByteArray kManifest =
    json("{'appVersion': 'V1.2.0', 'address': 'https://store.example.com', 'bucket': 'b',"
         " 'region': 'eu', 'baseUrl': 'https://b.example.com', 'products': {"
         "   'Ravlo': {'version': '1.2', 'sha256': 'ab12', 'filename': 'R.bin', 'key': 'fw/R.bin',"
         "             'size': 2048},"
         "   'Other': {'version': '9.9'}}}");

// Every accessor's value, joined by '|'.
QString fields(const Manifest &m)
{
    return (QStringList() << m.appVersion() << m.address() << m.bucket() << m.region()
                          << m.baseUrl() << m.productNames().join(',') << m.productVersion()
                          << m.productSha256() << m.productFilename() << m.productKey()
                          << QString::number(m.productSize()))
        .join('|');
}

} // namespace

class TestManifest : public QObject
{
    Q_OBJECT
private slots:
    void accessors_data();
    void accessors();
    void rejectedDocumentKeepsEarlierManifest();
    void loadFromFile();
    void download_data();
    void download();
};

void TestManifest::accessors_data()
{
    QTest::addColumn<QByteArray>("document");
    QTest::addColumn<QString>("fields");
    QTest::newRow("all fields") << kManifest
                                << "V1.2.0|https://store.example.com|b|eu|https://b.example.com|"
                                   "Other,Ravlo|1.2|ab12|R.bin|fw/R.bin|2048";
    QTest::newRow("mistyped fields are not converted")
        << json("{'appVersion': 2, 'address': null, 'bucket': true, 'region': [],"
                " 'baseUrl': {}, 'products': ['Ravlo']}")
        << "||||||||||0";
    // Exact name first, then the first key in ascending order (upper case
    // first) that matches ignoring case; a size beyond 64 bits is none.
    QTest::newRow("product by name, size beyond 64 bits")
        << json("{'products': {'ravlo': {'version': 'lower'}, 'RAVLO': {'version': 'upper',"
                " 'size': 1e300}}}")
        << "|||||RAVLO,ravlo|upper||||0";
}

void TestManifest::accessors()
{
    QFETCH(QByteArray, document);
    Manifest manifest;
    QVERIFY(manifest.parseManifest(document) && manifest.isValid());
    QTEST(fields(manifest), "fields");
}

void TestManifest::rejectedDocumentKeepsEarlierManifest()
{
    Manifest manifest;
    QVERIFY(!manifest.parseManifest(json("[{'appVersion': 'V9'}]")) && !manifest.isValid());
    QCOMPARE(fields(manifest), fields(Manifest()));
    QVERIFY(manifest.parseManifest(kManifest));
    QVERIFY(!manifest.parseManifest(json("{'appVersion': ")) && manifest.isValid());
    QCOMPARE(manifest.productSha256(), "ab12");
}

// A local file loads as a download does; a missing one fails.
void TestManifest::loadFromFile()
{
    QTemporaryDir dir;
    QFile file(dir.filePath("m.json"));
    QVERIFY(file.open(QIODevice::WriteOnly) && file.write(kManifest) == kManifest.size());
    file.close();
    Manifest manifest;
    QSignalSpy outcome(&manifest, &Manifest::manifestLoaded);
    manifest.loadFromFile(dir.filePath("none.json"));
    manifest.loadFromFile(file.fileName());
    QCOMPARE(outcome.count(), 2);
    QVERIFY(!outcome.at(0).at(0).toBool() && !outcome.at(0).at(1).toString().isEmpty());
    QVERIFY(outcome.at(1).at(0).toBool() && outcome.at(1).at(1).toString().isEmpty());
    QCOMPARE(manifest.appVersion(), "V1.2.0");
}

void TestManifest::download_data()
{
    QTest::addColumn<LoopbackServer::Transport>("transport");
    QTest::addColumn<LoopbackReply>("reply");
    QTest::addColumn<QString>("message"); // a regular expression; "" for success
    const auto https = LoopbackServer::Transport::Https;
    const QString network = "^Network error: .+";
    QTest::newRow("over TLS") << https << LoopbackReply::ok(kManifest) << "";
    QTest::newRow("404") << https << LoopbackReply::status(404) << network;
    QTest::newRow("302 is not followed")
        << https << LoopbackReply::redirect(302, "/good.json") << "^HTTP error: 302$";
    QTest::newRow("connection dropped mid-body")
        << https << LoopbackReply::ok(kManifest).slow(5, 100).dropAfter(10) << network;
    QTest::newRow("stalled") << https << LoopbackReply::ok(kManifest).stallAfter(10) << network;
    QTest::newRow("untrusted certificate")
        << LoopbackServer::Transport::UntrustedHttps << LoopbackReply::ok(kManifest) << network;
}

void TestManifest::download()
{
    QFETCH(LoopbackServer::Transport, transport);
    QFETCH(LoopbackReply, reply);
    QFETCH(QString, message);
    LoopbackServer server(transport);
    server.serve("/manifest.json", reply);
    server.serve("/good.json", LoopbackReply::ok(kManifest));
    Manifest manifest;
    QVERIFY(manifest.parseManifest("{\"appVersion\": \"V1.0.0\"}"));
    // Long enough for a sanitizer build on a busy machine.
    manifest.setTransferTimeout(1500);
    QSignalSpy downloaded(&manifest, &Manifest::manifestDownloaded);
    manifest.downloadManifest(server.url("/manifest.json"));
    QVERIFY(!downloaded.isEmpty() || downloaded.wait());

    QCOMPARE(downloaded.count(), 1);
    QCOMPARE(downloaded.at(0).at(0).toBool(), message.isEmpty());
    const QString said = downloaded.at(0).at(1).toString();
    QVERIFY2(QRegularExpression(message).match(said).hasMatch() &&
                 said.isEmpty() == message.isEmpty(),
             qPrintable(said));
    QCOMPARE(manifest.appVersion(), message.isEmpty() ? "V1.2.0" : "V1.0.0");
    QVERIFY(!manifest.isDownloading());
}

QTEST_GUILESS_MAIN(TestManifest)
#include "tst_manifest.moc"
