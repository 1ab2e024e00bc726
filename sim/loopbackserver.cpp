#include "loopbackserver.h"

#include "serverthread.h"

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
        const QList<QByteArray> lines = m_head.left(end).split('\n');
        m_path = QString::fromLatin1(lines.first().split(' ').value(1).split('?').first());
        m_reply = m_server->replyFor(m_path);
        emit m_server->requestReceived(m_path);
        if (m_reply.servesRanges)
            answerRange(lines);
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

    // "Range: bytes=N-", held by If-Range to the reply's validator.
    void answerRange(const QList<QByteArray> &requestLines)
    {
        QByteArray range;
        QByteArray ifRange;
        for (const QByteArray &line : requestLines) {
            const int colon = line.indexOf(':');
            const QByteArray name = line.left(colon).trimmed().toLower();
            if (name == "range")
                range = line.mid(colon + 1).trimmed();
            else if (name == "if-range")
                ifRange = line.mid(colon + 1).trimmed();
        }
        if (!range.startsWith("bytes=") || !range.endsWith('-') ||
            (!ifRange.isEmpty() && ifRange != m_reply.validator))
            return;
        const qint64 from = range.mid(6).chopped(1).toLongLong();
        const qint64 size = m_reply.body.size();
        if (from >= size) {
            m_reply.statusCode = 416;
            m_reply.headers << qMakePair(QByteArray("Content-Range"),
                                         "bytes */" + QByteArray::number(size));
            m_reply.body.clear();
            return;
        }
        m_reply.statusCode = 206;
        m_reply.headers << qMakePair(QByteArray("Content-Range"),
                                     "bytes " + QByteArray::number(from) + '-' +
                                         QByteArray::number(size - 1) + '/' +
                                         QByteArray::number(size));
        m_reply.body = m_reply.body.mid(int(from));
    }

    void sendPiece()
    {
        const int size = m_reply.pieceSize > 0 ? m_reply.pieceSize : m_unsent.size();
        m_server->served(m_path, m_socket->write(m_unsent.left(size)));
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
    QString m_path;
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
    m_port = listenOnThread(new Listener(tls, this), m_thread, port);
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

void LoopbackServer::trustTestCa()
{
    const QSslCertificate ca(tlsFile("ca.pem"), QSsl::Pem);
    QSslConfiguration configuration = QSslConfiguration::defaultConfiguration();
    if (!configuration.caCertificates().contains(ca)) {
        configuration.addCaCertificate(ca);
        QSslConfiguration::setDefaultConfiguration(configuration);
    }
}

QString LoopbackServer::url(const QString &path, const QString &host) const
{
    const char *scheme = m_transport == Transport::Http ? "http" : "https";
    return QStringLiteral("%1://%2:%3%4").arg(QLatin1String(scheme), host).arg(m_port).arg(path);
}

void LoopbackServer::serve(const QString &path, const LoopbackReply &reply)
{
    serveInTurn(path, {reply});
}

void LoopbackServer::serveInTurn(const QString &path, const QList<LoopbackReply> &replies)
{
    QMutexLocker locker(&m_mutex);
    m_replies.insert(path, replies);
    m_turns.remove(path);
}

int LoopbackServer::requestCount(const QString &path) const
{
    QMutexLocker locker(&m_mutex);
    return int(m_requested.count(path));
}

qint64 LoopbackServer::bytesServed(const QString &path) const
{
    QMutexLocker locker(&m_mutex);
    return m_served.value(path);
}

LoopbackReply LoopbackServer::replyFor(const QString &path)
{
    QMutexLocker locker(&m_mutex);
    m_requested << path;
    const QList<LoopbackReply> replies = m_replies.value(path);
    if (replies.isEmpty())
        return LoopbackReply::status(404);
    return replies.at(m_turns[path]++ % replies.size());
}

void LoopbackServer::served(const QString &path, qint64 bytes)
{
    QMutexLocker locker(&m_mutex);
    m_served[path] += qMax(bytes, qint64(0));
}
