// The manifest over loopback HTTP and HTTPS: every outcome is one signal, a
// failure keeps the manifest taken earlier, a stalled bucket ends in time.

#include "loopbackserver.h"
#include "manifest/manifest.h"

#include <QSignalSpy>
#include <QtTest>

Q_DECLARE_METATYPE(LoopbackReply)
Q_DECLARE_METATYPE(LoopbackServer::Transport)

namespace {
const QByteArray kManifest =
    "{\"appVersion\": \"V1.2.0\", \"products\": {\"Ravlo\": {\"version\": \"1.2\"}}}";
} // namespace

class TestManifestDownload : public QObject
{
    Q_OBJECT
private slots:
    void download_data();
    void download();
};

void TestManifestDownload::download_data()
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

void TestManifestDownload::download()
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
    manifest.setTransferTimeout(500);
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

QTEST_GUILESS_MAIN(TestManifestDownload)
#include "tst_manifestdownload.moc"
