#include "loopbackserver.h"

#include <QElapsedTimer>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QSignalSpy>
#include <QTcpSocket>
#include <QtTest>

Q_DECLARE_METATYPE(LoopbackReply)
Q_DECLARE_METATYPE(LoopbackReply::Framing)
Q_DECLARE_METATYPE(LoopbackServer::Transport)

namespace {

QByteArray bodyOf(int size)
{
    QByteArray body(size, Qt::Uninitialized);
    for (int i = 0; i < size; ++i)
        body[i] = char('a' + i % 26);
    return body;
}

void addTransportColumn()
{
    QTest::addColumn<LoopbackServer::Transport>("transport");
}

// One row per transport, named "<name> over http(s)".
template <typename AddValues>
void newRows(const char *name, AddValues addValues)
{
    const QPair<const char *, LoopbackServer::Transport> transports[] = {
        {"http", LoopbackServer::Transport::Http},
        {"https", LoopbackServer::Transport::Https},
    };
    for (const auto &transport : transports)
        addValues(QTest::addRow("%s over %s", name, transport.first) << transport.second);
}

} // namespace

class TestLoopbackServer : public QObject
{
    Q_OBJECT
private slots:
    void completeReplies_data();
    void completeReplies();
    void stalledReplyKeepsConnectionOpen_data();
    void stalledReplyKeepsConnectionOpen();
    void droppedReplyEndsEarly_data();
    void droppedReplyEndsEarly();
    void servesWhileClientThreadBlocks();
    void recordsRequests();

private:
    QNetworkAccessManager m_network;
};

void TestLoopbackServer::completeReplies_data()
{
    addTransportColumn();
    QTest::addColumn<LoopbackReply>("reply");
    QTest::addColumn<int>("status");
    QTest::addColumn<QByteArray>("header");
    QTest::addColumn<QByteArray>("headerValue"); // empty: the header is absent
    QTest::addColumn<int>("minimumMs");

    const QByteArray body = bodyOf(16 * 1024);
    newRows("content length", [&](QTestData &row) {
        row << LoopbackReply::ok(body) << 200 << QByteArray("Content-Length")
            << QByteArray::number(body.size()) << 0;
    });
    newRows("chunked", [&](QTestData &row) {
        row << LoopbackReply::ok(body).framedAs(LoopbackReply::Framing::Chunked).slow(1000, 0)
            << 200 << QByteArray("Transfer-Encoding") << QByteArray("chunked") << 0;
    });
    newRows("close delimited", [&](QTestData &row) {
        row << LoopbackReply::ok(body).framedAs(LoopbackReply::Framing::CloseDelimited) << 200
            << QByteArray("Content-Length") << QByteArray() << 0;
    });
    // 16 pieces, 15 pauses of 80 ms: more than a second even if timers fire early.
    newRows("slow", [&](QTestData &row) {
        row << LoopbackReply::ok(body).slow(1024, 80) << 200 << QByteArray("Content-Length")
            << QByteArray::number(body.size()) << 1000;
    });
    newRows("redirect", [&](QTestData &row) {
        row << LoopbackReply::redirect(302, "/elsewhere") << 302 << QByteArray("Location")
            << QByteArray("/elsewhere") << 0;
    });
}

void TestLoopbackServer::completeReplies()
{
    QFETCH(LoopbackServer::Transport, transport);
    QFETCH(LoopbackReply, reply);
    QFETCH(int, status);
    QFETCH(QByteArray, header);
    QFETCH(QByteArray, headerValue);
    QFETCH(int, minimumMs);

    LoopbackServer server(transport);
    server.serve("/file", reply);

    QElapsedTimer clock;
    clock.start();
    QScopedPointer<QNetworkReply> download(m_network.get(QNetworkRequest(server.url("/file"))));
    QSignalSpy progress(download.data(), &QNetworkReply::downloadProgress);
    QSignalSpy finished(download.data(), &QNetworkReply::finished);
    QVERIFY(finished.wait());

    QCOMPARE(download->error(), QNetworkReply::NoError);
    QCOMPARE(download->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt(), status);
    QCOMPARE(download->rawHeader(header), headerValue);
    QCOMPARE(download->readAll(), reply.body);
    QVERIFY2(clock.elapsed() >= minimumMs, qPrintable(QString::number(clock.elapsed())));
    // Qt reports progress at most every 150 ms or so.
    if (minimumMs > 0)
        QVERIFY2(progress.count() >= 5, qPrintable(QString::number(progress.count())));
}

void TestLoopbackServer::stalledReplyKeepsConnectionOpen_data()
{
    addTransportColumn();
    QTest::addColumn<LoopbackReply::Framing>("framing");
    newRows("content length", [](QTestData &row) { row << LoopbackReply::Framing::ContentLength; });
    newRows("chunked", [](QTestData &row) { row << LoopbackReply::Framing::Chunked; });
}

void TestLoopbackServer::stalledReplyKeepsConnectionOpen()
{
    QFETCH(LoopbackServer::Transport, transport);
    QFETCH(LoopbackReply::Framing, framing);

    LoopbackServer server(transport);
    server.serve("/file", LoopbackReply::ok(bodyOf(4000)).framedAs(framing).stallAfter(1500));
    QSignalSpy aborted(&server, &LoopbackServer::clientAborted);

    QScopedPointer<QNetworkReply> download(m_network.get(QNetworkRequest(server.url("/file"))));
    QTRY_COMPARE(download->bytesAvailable(), qint64(1500));
    QVERIFY(!download->isFinished());

    // The server learns of the hang-up only because it kept the connection.
    download->abort();
    QVERIFY(aborted.wait());
    QCOMPARE(aborted.at(0).at(0).toString(), "/file");
}

void TestLoopbackServer::droppedReplyEndsEarly_data()
{
    // Content-Length framing only: over plain HTTP, Qt takes a chunked body
    // that ends with the connection as complete.
    addTransportColumn();
    newRows("content length", [](QTestData &) {});
}

void TestLoopbackServer::droppedReplyEndsEarly()
{
    QFETCH(LoopbackServer::Transport, transport);

    LoopbackServer server(transport);
    server.serve("/file", LoopbackReply::ok(bodyOf(4000)).dropAfter(1500));

    QScopedPointer<QNetworkReply> download(m_network.get(QNetworkRequest(server.url("/file"))));
    QSignalSpy finished(download.data(), &QNetworkReply::finished);
    QVERIFY(finished.wait());
    QCOMPARE(download->error(), QNetworkReply::RemoteHostClosedError);
    QCOMPARE(download->readAll(), bodyOf(1500));
}

void TestLoopbackServer::servesWhileClientThreadBlocks()
{
    LoopbackServer server;
    const QByteArray body = bodyOf(8 * 1024);
    server.serve("/file", LoopbackReply::ok(body).slow(1024, 50));

    // Blocking socket calls only: this thread's event loop never runs, so the
    // body can only arrive if the server works on a thread of its own.
    QTcpSocket socket;
    socket.connectToHost(QHostAddress::LocalHost, server.port());
    QVERIFY(socket.waitForConnected(5000));
    socket.write("GET /file HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n");
    QVERIFY(socket.waitForBytesWritten(5000));
    QByteArray received;
    while (socket.waitForReadyRead(5000))
        received += socket.readAll();
    received += socket.readAll();

    QVERIFY(received.startsWith("HTTP/1.1 200 OK\r\n"));
    QVERIFY(received.endsWith("\r\n\r\n" + body));
}

void TestLoopbackServer::recordsRequests()
{
    LoopbackServer server;
    QSignalSpy arrived(&server, &LoopbackServer::requestReceived);

    QNetworkRequest request(server.url("/unscripted?x=1"));
    request.setRawHeader("User-Agent", "Probe/2.0");
    QScopedPointer<QNetworkReply> reply(m_network.get(request));
    QVERIFY(arrived.wait());
    QCOMPARE(arrived.at(0).at(0).toString(), "/unscripted");

    const QList<LoopbackRequest> requests = server.requests();
    QCOMPARE(requests.size(), 1);
    QCOMPARE(requests.at(0).method, "GET");
    QCOMPARE(requests.at(0).path, "/unscripted");
    QCOMPARE(requests.at(0).header("user-agent"), "Probe/2.0");

    QTRY_VERIFY(reply->isFinished());
    QCOMPARE(reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt(), 404);
}

QTEST_GUILESS_MAIN(TestLoopbackServer)
#include "tst_loopbackserver.moc"
