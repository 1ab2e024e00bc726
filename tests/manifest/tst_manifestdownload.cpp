#include "loopbackserver.h"
#include "manifest/manifest.h"
#include "messagecapture.h"

#include <QSignalSpy>
#include <QtTest>

Q_DECLARE_METATYPE(LoopbackReply)
Q_DECLARE_METATYPE(LoopbackServer::Transport)

namespace {

const QByteArray kManifest =
    "{\"appVersion\": \"V1.2.0\", \"address\": \"https://store.example.com\","
    " \"products\": {\"Ravlo\": {\"version\": \"1.2\", \"sha256\": \"ab12\"}}}";
const QByteArray kEarlierManifest = "{\"appVersion\": \"V1.0.0\"}";

} // namespace

class TestManifestDownload : public QObject
{
    Q_OBJECT
private slots:
    void downloadsOverTls();
    void failedDownloadKeepsEarlierManifest_data();
    void failedDownloadKeepsEarlierManifest();
    void rejectedAddressReportsBeforeReturning_data();
    void rejectedAddressReportsBeforeReturning();
};

void TestManifestDownload::downloadsOverTls()
{
    LoopbackServer server(LoopbackServer::Transport::Https);
    server.serve("/manifest.json", LoopbackReply::ok(kManifest, "application/json"));

    Manifest manifest;
    QStringList seenByReceiver;
    connect(&manifest, &Manifest::manifestDownloaded, this, [&](bool success, const QString &) {
        if (success)
            seenByReceiver << manifest.appVersion() << manifest.productVersion()
                           << manifest.productSha256();
    });
    QSignalSpy downloaded(&manifest, &Manifest::manifestDownloaded);
    MessageCapture messages;

    manifest.downloadManifest(server.url("/manifest.json"));
    QVERIFY(downloaded.wait());

    QCOMPARE(downloaded.count(), 1);
    QCOMPARE(downloaded.at(0), (QVariantList{true, QString()}));
    // The receiver already finds the new values.
    QCOMPARE(seenByReceiver, (QStringList{"V1.2.0", "1.2", "ab12"}));
    QCOMPARE(messages.texts(QtWarningMsg), QStringList());
    QVERIFY(messages.texts(QtDebugMsg).contains("Manifest: 成功下载并解析manifest"));

    const QList<LoopbackRequest> requests = server.requests();
    QCOMPARE(requests.size(), 1);
    QCOMPARE(requests.at(0).method, "GET");
    QCOMPARE(requests.at(0).path, "/manifest.json");
    QCOMPARE(requests.at(0).header("User-Agent"), "RavloUpdateClient/1.0");
}

void TestManifestDownload::failedDownloadKeepsEarlierManifest_data()
{
    QTest::addColumn<LoopbackServer::Transport>("transport");
    QTest::addColumn<LoopbackReply>("reply");
    QTest::addColumn<QString>("message"); // "%1" stands for the manifest's address
    QTest::addColumn<QStringList>("warnings");
    QTest::addColumn<int>("requests");

    const auto http = LoopbackServer::Transport::Http;
    QTest::newRow("404 is a network error")
        << http << LoopbackReply::status(404, "missing")
        << "Network error: Error transferring %1 - server replied: Not Found"
        << QStringList{"Manifest: 网络错误: Error transferring %1 - server replied: Not Found"}
        << 1;
    QTest::newRow("204") << http << LoopbackReply::status(204) << "HTTP error: 204"
                         << QStringList{"Manifest: HTTP错误: 204"} << 1;
    // The redirect would lead to a good manifest, but it is not followed.
    QTest::newRow("302 is not followed")
        << http << LoopbackReply::redirect(302, "/good.json") << "HTTP error: 302"
        << QStringList{"Manifest: HTTP错误: 302"} << 1;
    QTest::newRow("empty body") << http << LoopbackReply::ok("") << "The downloaded data is empty"
                                << QStringList{"Manifest: 下载的数据为空"} << 1;
    QTest::newRow("array") << http << LoopbackReply::ok("[{\"appVersion\": \"V9\"}]")
                           << "Failed to parse the JSON data"
                           << QStringList{"Manifest: JSON数据不是对象格式",
                                          "Manifest: 解析下载的数据失败"}
                           << 1;
    // The headers travel a piece ahead of the hang-up: when they arrive in one
    // read with it, Qt may not know the length yet and take the cut body for
    // a complete one that ends with the connection.
    QTest::newRow("connection dropped mid-body")
        << http << LoopbackReply::ok(kManifest).slow(5, 100).dropAfter(10)
        << "Network error: Connection closed"
        << QStringList{"Manifest: 网络错误: Connection closed"} << 1;
    QTest::newRow("untrusted certificate")
        << LoopbackServer::Transport::UntrustedHttps << LoopbackReply::ok(kManifest)
        << "Network error: SSL handshake failed"
        << QStringList{"Manifest: 网络错误: SSL handshake failed"} << 0;
}

void TestManifestDownload::failedDownloadKeepsEarlierManifest()
{
    QFETCH(LoopbackServer::Transport, transport);
    QFETCH(LoopbackReply, reply);
    QFETCH(QString, message);
    QFETCH(QStringList, warnings);
    QFETCH(int, requests);

    LoopbackServer server(transport);
    server.serve("/manifest.json", reply);
    server.serve("/good.json", LoopbackReply::ok(kManifest));
    const QString url = server.url("/manifest.json");

    Manifest manifest;
    QVERIFY(manifest.parseManifest(kEarlierManifest));
    QSignalSpy downloaded(&manifest, &Manifest::manifestDownloaded);
    MessageCapture messages;

    manifest.downloadManifest(url);
    QVERIFY(downloaded.wait());

    QCOMPARE(downloaded.count(), 1);
    QCOMPARE(downloaded.at(0), (QVariantList{false, message.replace("%1", url)}));
    QCOMPARE(messages.texts(QtWarningMsg), warnings.replaceInStrings("%1", url));
    QCOMPARE(server.requests().size(), requests);
    QCOMPARE(manifest.appVersion(), "V1.0.0");
}

void TestManifestDownload::rejectedAddressReportsBeforeReturning_data()
{
    QTest::addColumn<QString>("url");
    QTest::addColumn<QString>("message");
    QTest::addColumn<QString>("warning");

    QTest::newRow("empty") << QString() << "The download address is empty"
                           << "Manifest: 下载URL为空";
    QTest::newRow("malformed host") << "https://exa mple.com/manifest.json"
                                    << "The address is not a valid URL"
                                    << "Manifest: URL格式无效: https://exa mple.com/manifest.json";
}

void TestManifestDownload::rejectedAddressReportsBeforeReturning()
{
    QFETCH(QString, url);
    QFETCH(QString, message);
    QFETCH(QString, warning);

    Manifest manifest;
    QSignalSpy downloaded(&manifest, &Manifest::manifestDownloaded);
    MessageCapture messages;

    manifest.downloadManifest(url);

    // Reported inside the call: no event loop has run.
    QCOMPARE(downloaded.count(), 1);
    QCOMPARE(downloaded.at(0), (QVariantList{false, message}));
    QCOMPARE(messages.texts(QtWarningMsg), QStringList{warning});
}

QTEST_GUILESS_MAIN(TestManifestDownload)
#include "tst_manifestdownload.moc"
