#include "loopbackserver.h"

#include <QFile>
#include <QSslCertificate>
#include <QSslConfiguration>
#include <QSslKey>
#include <QSslSocket>
#include <QTcpServer>
#include <QTimer>

namespace {

QByteArray tlsFile(const QString &name)
{
    QFile file(QStringLiteral(RAVLO_SIM_TLS_DIR "/") + name);
    if (!file.open(QIODevice::ReadOnly))
        qFatal("LoopbackServer: cannot read %s", qPrintable(file.fileName()));
    return file.readAll();
}

void trustTestCa()
{
    const QSslCertificate ca(tlsFile("ca.pem"), QSsl::Pem);
    QSslConfiguration configuration = QSslConfiguration::defaultConfiguration();
    if (!configuration.caCertificates().contains(ca)) {
        configuration.addCaCertificate(ca);
        QSslConfiguration::setDefaultConfiguration(configuration);
    }
}

QSslConfiguration serverTls(const QString &name)
{
    QSslConfiguration configuration = QSslConfiguration::defaultConfiguration();
    configuration.setLocalCertificate(QSslCertificate(tlsFile(name + ".pem"), QSsl::Pem));
    configuration.setPrivateKey(QSslKey(tlsFile(name + ".key"), QSsl::Rsa, QSsl::Pem));
    configuration.setPeerVerifyMode(QSslSocket::VerifyNone);
    return configuration;
}

} // namespace

// One connection on the server's thread: reads the request head, then sends
// the scripted reply piece by piece.
class LoopbackConnection : public QObject
{
public:
    LoopbackConnection(QTcpSocket *socket, LoopbackServer *server, QObject *parent)
        : QObject(parent)
        , m_socket(socket)
        , m_server(server)
    {
        socket->setParent(this);
        m_pieces.setSingleShot(true);
        connect(&m_pieces, &QTimer::timeout, this, &LoopbackConnection::sendPiece);
        connect(socket, &QTcpSocket::readyRead, this, &LoopbackConnection::read);
        connect(socket, &QTcpSocket::disconnected, this, &QObject::deleteLater);
    }

private:
    void read()
    {
        m_head += m_socket->readAll();
        const int end = m_head.indexOf("\r\n\r\n");
        if (m_sending || end < 0)
            return;
        m_sending = true;
        const QString path =
            QString::fromLatin1(m_head.left(end).split(' ').value(1).split('?').first());
        m_reply = m_server->replyFor(path);
        emit m_server->requestReceived(path);
        m_unsent = m_reply.ending == LoopbackReply::Ending::Complete
                       ? m_reply.body
                       : m_reply.body.left(int(m_reply.cutAt));
        QByteArray head = "HTTP/1.1 " + QByteArray::number(m_reply.statusCode) + " Status\r\n";
        for (const auto &header : m_reply.headers)
            head += header.first + ": " + header.second + "\r\n";
        m_socket->write(head + "Content-Length: " + QByteArray::number(m_reply.body.size()) +
                        "\r\nConnection: close\r\n\r\n");
        sendPiece();
    }

    void sendPiece()
    {
        const int size = m_reply.pieceSize > 0 ? m_reply.pieceSize : m_unsent.size();
        m_socket->write(m_unsent.left(size));
        m_unsent.remove(0, size);
        if (!m_unsent.isEmpty())
            m_pieces.start(m_reply.pieceIntervalMs);
        else if (m_reply.ending != LoopbackReply::Ending::Stall)
            m_socket->disconnectFromHost();
    }

    QTcpSocket *const m_socket;
    LoopbackServer *const m_server;
    QTimer m_pieces;
    QByteArray m_head;
    bool m_sending = false;
    LoopbackReply m_reply;
    QByteArray m_unsent;
};

namespace {

class Listener : public QTcpServer
{
public:
    Listener(const QSslConfiguration &tls, LoopbackServer *server)
        : m_tls(tls)
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
        new LoopbackConnection(socket, m_server, this);
        if (auto *tls = qobject_cast<QSslSocket *>(socket)) {
            tls->setSslConfiguration(m_tls);
            tls->startServerEncryption();
        }
    }

private:
    const QSslConfiguration m_tls;
    LoopbackServer *const m_server;
};

} // namespace

LoopbackServer::LoopbackServer(Transport transport, quint16 port, QObject *parent)
    : QObject(parent)
    , m_transport(transport)
{
    QSslConfiguration tls;
    if (transport != Transport::Http) {
        trustTestCa();
        tls = serverTls(transport == Transport::Https ? "server" : "untrusted");
    }
    auto *listener = new Listener(tls, this);
    listener->moveToThread(&m_thread);
    connect(&m_thread, &QThread::finished, listener, &QObject::deleteLater);
    m_thread.start();
    QMetaObject::invokeMethod(
        listener,
        [listener, port] {
            return listener->listen(QHostAddress::LocalHost, port) ? listener->serverPort()
                                                                   : quint16(0);
        },
        Qt::BlockingQueuedConnection, &m_port);
    if (m_port == 0)
        qFatal("LoopbackServer: cannot listen on 127.0.0.1:%u", port);
}

LoopbackServer::~LoopbackServer()
{
    // The listener and its connections, stalled ones included, go with the thread.
    m_thread.quit();
    m_thread.wait();
}

QString LoopbackServer::caFile()
{
    return QStringLiteral(RAVLO_SIM_TLS_DIR "/ca.pem");
}

QString LoopbackServer::url(const QString &path) const
{
    const char *scheme = m_transport == Transport::Http ? "http" : "https";
    return QStringLiteral("%1://127.0.0.1:%2%3").arg(QLatin1String(scheme)).arg(m_port).arg(path);
}

void LoopbackServer::serve(const QString &path, const LoopbackReply &reply)
{
    QMutexLocker locker(&m_mutex);
    m_replies.insert(path, reply);
}

int LoopbackServer::requestCount(const QString &path) const
{
    QMutexLocker locker(&m_mutex);
    return int(m_requested.count(path));
}

LoopbackReply LoopbackServer::replyFor(const QString &path)
{
    QMutexLocker locker(&m_mutex);
    m_requested << path;
    return m_replies.value(path, LoopbackReply::status(404));
}
