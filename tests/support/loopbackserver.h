#pragma once

#include "loopbackledger.h"
#include "loopbackreply.h"
#include "loopbackrequest.h"

#include <QObject>
#include <QThread>

// An HTTP/1.1 server on 127.0.0.1, at a given port or one chosen when it
// starts, that answers each path with the reply a test scripted for it
// (LoopbackReply) and records every request. Over TLS it presents a test
// certificate.
//
// It serves from a thread of its own, so a slow or stalled body keeps
// flowing (or keeps stalling) while the test's thread is blocked. The signals
// arrive on the thread that created the server, through its event loop.
//
//   LoopbackServer server(LoopbackServer::Transport::Https);
//   server.serve("/manifest.json", LoopbackReply::ok(json, "application/json"));
//   manifest.downloadManifest(server.url("/manifest.json"));
//
// A path without a scripted reply gets 404. The server listens from
// construction until destruction; destroying it closes all connections,
// stalled ones included.
class LoopbackServer : public QObject
{
    Q_OBJECT
public:
    enum class Transport
    {
        Http,
        // TLS with the test CA's certificate; constructing one makes the
        // process trust the test CA (TestTls::trustTestCa).
        Https,
        // TLS with a certificate for the same names from an unknown CA.
        UntrustedHttps,
    };

    // Port 0 picks a free one.
    explicit LoopbackServer(Transport transport = Transport::Http, quint16 port = 0,
                            QObject *parent = nullptr);
    ~LoopbackServer() override;

    quint16 port() const { return m_port; }
    // "http://127.0.0.1:<port>" or "https://..." followed by the path.
    QString url(const QString &path = QString()) const;

    // Scripts the reply for a path (the request's path without its query).
    // Takes effect for requests that arrive afterwards.
    void serve(const QString &path, const LoopbackReply &reply);
    // Every request received so far, in order of arrival.
    QList<LoopbackRequest> requests() const { return m_ledger.requests(); }

signals:
    // A request for the path has arrived; it is already in requests().
    void requestReceived(const QString &path);
    // The client hung up before the whole reply was handed to the socket:
    // always the case for a stalled reply.
    void clientAborted(const QString &path);

private:
    const Transport m_transport;
    LoopbackLedger m_ledger;
    QThread m_thread;
    quint16 m_port = 0;
};
