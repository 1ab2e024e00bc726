#pragma once

#include <QMutex>
#include <QObject>
#include <QStringList>
#include <QThread>

// An HTTP proxy on 127.0.0.1 that tunnels https (CONNECT) as a company's
// proxy does, or refuses every tunnel (403). Every name it is asked for is
// this computer: a loopback server is reached through it under kHost, which
// nothing else resolves (Qt never sends a request for a loopback address
// through a proxy). It serves from a thread of its own.
class ConnectProxy : public QObject
{
    Q_OBJECT
public:
    static const QString kHost;

    explicit ConnectProxy(bool refuse = false, QObject *parent = nullptr);
    ~ConnectProxy() override;

    quint16 port() const { return m_port; }
    // "http://127.0.0.1:<port>", as https_proxy names a proxy.
    QString address() const;
    // Every tunnel asked for, as "host:port", refused ones included.
    QStringList tunnels() const;

private:
    friend class ProxyTunnel;
    void asked(const QByteArray &target);

    const bool m_refuse;
    mutable QMutex m_mutex;
    QStringList m_tunnels;
    QThread m_thread;
    quint16 m_port = 0;
};
