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
//   LoopbackReply::status(404), LoopbackReply::redirect(302, "/elsewhere")
// Content-Length always names the whole body; the server closes the
// connection after each reply.
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

private:
    LoopbackReply &cut(Ending how, qint64 bodyBytes)
    {
        ending = how;
        cutAt = bodyBytes;
        return *this;
    }
};

// An HTTP/1.1 server on 127.0.0.1 that answers each path with the reply a
// test scripted for it (404 for any other) and counts the requests. It
// serves from a thread of its own, so a slow or stalled body keeps flowing
// (or stalling) while the test's thread is blocked. Over TLS it presents a
// certificate of the test CA (sim/tls), which constructing one makes
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
    // "http://127.0.0.1:<port>" or "https://..." followed by the path.
    QString url(const QString &path = QString()) const;
    // Takes effect for requests that arrive afterwards.
    void serve(const QString &path, const LoopbackReply &reply);
    int requestCount(const QString &path) const;

signals:
    // Emitted from the server's thread.
    void requestReceived(const QString &path);

private:
    friend class LoopbackConnection;
    LoopbackReply replyFor(const QString &path);

    const Transport m_transport;
    mutable QMutex m_mutex;
    QHash<QString, LoopbackReply> m_replies;
    QStringList m_requested;
    QThread m_thread;
    quint16 m_port = 0;
};
