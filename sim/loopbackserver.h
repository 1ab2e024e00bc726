#pragma once

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QMutex>
#include <QObject>
#include <QPair>
#include <QThread>

// What a LoopbackServer answers on one path, and how the body travels:
//   LoopbackReply::ok(image).slow(4096, 100)   // 4 KiB pieces, 100 ms apart
//   LoopbackReply::ok(image).stallAfter(1000)  // 1000 bytes, then silence
//   LoopbackReply::ok(image).dropAfter(1000)   // 1000 bytes, then the server hangs up
//   LoopbackReply::ok(image).ranges("ETag", "\"v1\"")  // answers Range and If-Range
//   LoopbackReply::status(404), LoopbackReply::redirect(302, "/elsewhere")
// Content-Length always names the whole body sent (of a range: the range);
// the server closes the connection after each reply.
struct LoopbackReply
{
    enum class Ending
    {
        Complete,
        Stall, // cutAt body bytes, then nothing; the connection stays open
        Drop,  // cutAt body bytes, then the server closes
    };

    int statusCode = 200;
    QList<QPair<QByteArray, QByteArray>> headers;
    QByteArray body;
    int pieceSize = 0; // bytes per write; 0 writes the body at once
    int pieceIntervalMs = 0;
    Ending ending = Ending::Complete;
    qint64 cutAt = 0;
    // "Range: bytes=N-" is answered with 206 and the rest of the body (416
    // beyond its end) unless If-Range names another validator than this.
    bool servesRanges = false;
    QByteArray validator = QByteArray();

    static LoopbackReply ok(const QByteArray &body,
                            const QByteArray &contentType = "application/octet-stream")
    {
        return {200, {{"Content-Type", contentType}}, body};
    }
    static LoopbackReply status(int code, const QByteArray &body = QByteArray())
    {
        return {code, {}, body};
    }
    static LoopbackReply redirect(int code, const QByteArray &location)
    {
        return {code, {{"Location", location}}, {}};
    }
    LoopbackReply &slow(int bytesPerPiece, int intervalMs)
    {
        pieceSize = bytesPerPiece;
        pieceIntervalMs = intervalMs;
        return *this;
    }
    LoopbackReply &stallAfter(qint64 bodyBytes) { return cut(Ending::Stall, bodyBytes); }
    LoopbackReply &dropAfter(qint64 bodyBytes) { return cut(Ending::Drop, bodyBytes); }
    // Byte ranges, and the validator that holds them to this body: "ETag" or
    // "Last-Modified" and its value.
    LoopbackReply &ranges(const QByteArray &validatorHeader, const QByteArray &value)
    {
        servesRanges = true;
        validator = value;
        headers << qMakePair(QByteArray("Accept-Ranges"), QByteArray("bytes"))
                << qMakePair(validatorHeader, value);
        return *this;
    }

private:
    LoopbackReply &cut(Ending how, qint64 bodyBytes)
    {
        ending = how;
        cutAt = bodyBytes;
        return *this;
    }
};

// An HTTP/1.1 server on 127.0.0.1 that answers each path with the replies a
// test scripted for it, in turn (404 for any other path), and counts the
// requests and the body bytes sent. It serves from a thread of its own, so a
// slow or stalled body keeps flowing (or stalling) while the test's thread is
// blocked. Over TLS it presents a certificate of the test CA (sim/tls) for
// 127.0.0.1, localhost and ConnectProxy::kHost, which constructing one makes
// this process trust; verification stays on.
class LoopbackServer : public QObject
{
    Q_OBJECT
public:
    enum class Transport
    {
        Http,
        Https,
        UntrustedHttps, // a certificate for the same names from an unknown CA
    };

    explicit LoopbackServer(Transport transport = Transport::Http, quint16 port = 0,
                            QObject *parent = nullptr);
    ~LoopbackServer() override;

    quint16 port() const { return m_port; }
    // The test CA's certificate (PEM), for clients other than this process.
    static QString caFile();
    // Makes this process trust the test CA.
    static void trustTestCa();
    // "http://127.0.0.1:<port>" or "https://..." followed by the path; or
    // under another name of this computer.
    QString url(const QString &path = QString(),
                const QString &host = QStringLiteral("127.0.0.1")) const;
    // Takes effect for requests that arrive afterwards.
    void serve(const QString &path, const LoopbackReply &reply);
    // The first request that arrives afterwards gets the first reply, the
    // next one the next, round and round.
    void serveInTurn(const QString &path, const QList<LoopbackReply> &replies);
    int requestCount(const QString &path) const;
    qint64 bytesServed(const QString &path) const;

signals:
    // Emitted from the server's thread.
    void requestReceived(const QString &path);

private:
    friend class LoopbackConnection;
    LoopbackReply replyFor(const QString &path);
    void served(const QString &path, qint64 bytes);

    const Transport m_transport;
    mutable QMutex m_mutex;
    QHash<QString, QList<LoopbackReply>> m_replies;
    QHash<QString, int> m_turns; // requests since the replies were scripted
    QStringList m_requested;
    QHash<QString, qint64> m_served;
    QThread m_thread;
    quint16 m_port = 0;
};
