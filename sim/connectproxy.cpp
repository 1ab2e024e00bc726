#include "connectproxy.h"

#include "serverthread.h"

#include <QTcpServer>
#include <QTcpSocket>

const QString ConnectProxy::kHost = QStringLiteral("bucket.ravlo.test");

// One client on the proxy's thread: reads its CONNECT, then relays bytes both
// ways until either side hangs up.
class ProxyTunnel : public QObject
{
public:
    ProxyTunnel(QTcpSocket *client, ConnectProxy *proxy, QObject *parent)
        : QObject(parent)
        , m_client(client)
        , m_proxy(proxy)
    {
        client->setParent(this);
        connect(client, &QTcpSocket::readyRead, this, &ProxyTunnel::fromClient);
        connect(client, &QTcpSocket::disconnected, this, &ProxyTunnel::close);
    }

private:
    void fromClient()
    {
        if (m_server) {
            if (m_server->state() == QAbstractSocket::ConnectedState)
                m_server->write(m_client->readAll());
            return;
        }
        m_head += m_client->readAll();
        const int end = m_head.indexOf("\r\n\r\n");
        if (end < 0)
            return;
        // "CONNECT host:port HTTP/1.1"
        const QList<QByteArray> request = m_head.left(m_head.indexOf("\r\n")).split(' ');
        const QByteArray target = request.value(1);
        m_proxy->asked(target);
        const int port = target.mid(target.lastIndexOf(':') + 1).toInt();
        if (m_proxy->m_refuse || request.first() != "CONNECT" || port <= 0) {
            answer("403 Forbidden");
            return;
        }
        m_head.remove(0, end + 4);
        m_server = new QTcpSocket(this);
        connect(m_server, &QTcpSocket::connected, this, [this] {
            m_client->write("HTTP/1.1 200 Connection established\r\n\r\n");
            m_server->write(m_head + m_client->readAll());
        });
        connect(m_server, &QTcpSocket::readyRead, this,
                [this] { m_client->write(m_server->readAll()); });
        connect(m_server, &QTcpSocket::disconnected, this, &ProxyTunnel::close);
        connect(m_server, &QTcpSocket::errorOccurred, this, [this] {
            if (m_server->state() != QAbstractSocket::ConnectedState)
                answer("502 Bad Gateway");
        });
        m_server->connectToHost(QHostAddress::LocalHost, quint16(port));
    }

    void answer(const QByteArray &status)
    {
        m_client->write("HTTP/1.1 " + status +
                        "\r\nContent-Length: 0\r\nConnection: close\r\n\r\n");
        m_client->disconnectFromHost();
    }

    // Either side has hung up: the other goes too, once what it was sent is
    // out; the tunnel goes when both have.
    void close()
    {
        if (m_server && m_server->bytesAvailable() > 0)
            m_client->write(m_server->readAll());
        m_client->disconnectFromHost();
        if (m_server)
            m_server->disconnectFromHost();
        if (m_client->state() == QAbstractSocket::UnconnectedState &&
            (!m_server || m_server->state() == QAbstractSocket::UnconnectedState))
            deleteLater();
    }

    QTcpSocket *const m_client;
    ConnectProxy *const m_proxy;
    QTcpSocket *m_server = nullptr;
    QByteArray m_head;
};

ConnectProxy::ConnectProxy(bool refuse, QObject *parent)
    : QObject(parent)
    , m_refuse(refuse)
{
    auto *listener = new QTcpServer;
    connect(listener, &QTcpServer::newConnection, listener, [this, listener] {
        while (QTcpSocket *client = listener->nextPendingConnection())
            new ProxyTunnel(client, this, listener);
    });
    m_port = listenOnThread(listener, m_thread, 0);
}

ConnectProxy::~ConnectProxy()
{
    m_thread.quit();
    m_thread.wait();
}

QString ConnectProxy::address() const
{
    return QStringLiteral("http://127.0.0.1:%1").arg(m_port);
}

QStringList ConnectProxy::tunnels() const
{
    QMutexLocker locker(&m_mutex);
    return m_tunnels;
}

void ConnectProxy::asked(const QByteArray &target)
{
    QMutexLocker locker(&m_mutex);
    m_tunnels << QString::fromLatin1(target);
}
