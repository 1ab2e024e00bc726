#include "loopbackserver.h"

#include "loopbackconnection.h"
#include "testtls.h"

#include <QSslSocket>
#include <QTcpServer>

namespace {

// Accepts connections on the server's thread and gives each to a
// LoopbackConnection, plain or after a TLS handshake.
class Listener : public QTcpServer
{
public:
    Listener(const QSslConfiguration &tls, LoopbackLedger *ledger, LoopbackServer *server)
        : m_tls(tls)
        , m_ledger(ledger)
        , m_server(server)
    {}

protected:
    void incomingConnection(qintptr descriptor) override
    {
        QTcpSocket *socket = m_tls.isNull() ? new QTcpSocket : new QSslSocket;
        if (!socket->setSocketDescriptor(descriptor)) {
            delete socket;
            return;
        }
        auto *connection = new LoopbackConnection(socket, m_ledger, this);
        connect(connection, &LoopbackConnection::requestReceived, m_server,
                &LoopbackServer::requestReceived);
        connect(connection, &LoopbackConnection::clientAborted, m_server,
                &LoopbackServer::clientAborted);
        if (auto *tlsSocket = qobject_cast<QSslSocket *>(socket)) {
            tlsSocket->setSslConfiguration(m_tls);
            tlsSocket->startServerEncryption();
        }
    }

private:
    const QSslConfiguration m_tls;
    LoopbackLedger *const m_ledger;
    LoopbackServer *const m_server;
};

QSslConfiguration tlsFor(LoopbackServer::Transport transport)
{
    switch (transport) {
    case LoopbackServer::Transport::Http:
        break;
    case LoopbackServer::Transport::Https:
        TestTls::trustTestCa();
        return TestTls::serverConfiguration(TestTls::Issuer::TestCa);
    case LoopbackServer::Transport::UntrustedHttps:
        return TestTls::serverConfiguration(TestTls::Issuer::Untrusted);
    }
    return QSslConfiguration();
}

} // namespace

LoopbackServer::LoopbackServer(Transport transport, quint16 port, QObject *parent)
    : QObject(parent)
    , m_transport(transport)
{
    auto *listener = new Listener(tlsFor(transport), &m_ledger, this);
    listener->moveToThread(&m_thread);
    connect(&m_thread, &QThread::finished, listener, &QObject::deleteLater);
    m_thread.setObjectName(QStringLiteral("LoopbackServer"));
    m_thread.start();

    QString error;
    QMetaObject::invokeMethod(
        listener,
        [listener, port, &error] {
            if (!listener->listen(QHostAddress::LocalHost, port))
                error = listener->errorString();
            return listener->serverPort();
        },
        Qt::BlockingQueuedConnection, &m_port);
    if (!error.isEmpty())
        qFatal("LoopbackServer: cannot listen on 127.0.0.1:%u: %s", unsigned(port),
               qPrintable(error));
}

LoopbackServer::~LoopbackServer()
{
    // The listener and its connections are deleted on the server's thread as
    // it finishes.
    m_thread.quit();
    m_thread.wait();
}

QString LoopbackServer::url(const QString &path) const
{
    const char *scheme = m_transport == Transport::Http ? "http" : "https";
    return QStringLiteral("%1://127.0.0.1:%2%3")
        .arg(QLatin1String(scheme), QString::number(m_port), path);
}

void LoopbackServer::serve(const QString &path, const LoopbackReply &reply)
{
    m_ledger.serve(path, reply);
}
