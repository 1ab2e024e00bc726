#include "requestpolicy.h"

#include <QCoreApplication>
#include <QNetworkProxyFactory>
#include <QNetworkReply>
#include <QUrl>

namespace RequestPolicy {

namespace {

// An error of the connection or of the proxy, not of the server's answer. Qt
// reports a proxy that refuses a tunnel as an unknown network error.
bool isConnectionError(QNetworkReply::NetworkError error)
{
    return error != QNetworkReply::NoError && error < QNetworkReply::ContentAccessDenied;
}

// "host:port" of the proxy the system names for the address; empty for none.
QString proxyFor(const QUrl &url)
{
    const QList<QNetworkProxy> proxies =
        QNetworkProxyFactory::proxyForQuery(QNetworkProxyQuery(url));
    for (const QNetworkProxy &proxy : proxies) {
        if (proxy.type() != QNetworkProxy::NoProxy && proxy.type() != QNetworkProxy::DefaultProxy)
            return QStringLiteral("%1:%2").arg(proxy.hostName()).arg(proxy.port());
    }
    return QString();
}

} // namespace

void useSystemProxy()
{
    QNetworkProxyFactory::setUseSystemConfiguration(true);
}

QNetworkRequest request(Kind kind, const QUrl &url, int transferTimeoutMs)
{
    QNetworkRequest request(url);
    // A stalled bucket ends in a failure instead of silence.
    request.setTransferTimeout(transferTimeoutMs);
    switch (kind) {
    case Kind::Manifest:
        request.setRawHeader("User-Agent", "RavloUpdateClient/1.0");
        request.setAttribute(QNetworkRequest::RedirectPolicyAttribute,
                             QNetworkRequest::ManualRedirectPolicy);
        break;
    case Kind::Image:
        request.setAttribute(QNetworkRequest::RedirectPolicyAttribute,
                             QNetworkRequest::NoLessSafeRedirectPolicy);
        break;
    case Kind::Picture:
        request.setAttribute(QNetworkRequest::RedirectPolicyAttribute,
                             QNetworkRequest::ManualRedirectPolicy);
        break;
    }
    return request;
}

QString errorText(const QNetworkReply &reply)
{
    const QString proxy = isConnectionError(reply.error()) ? proxyFor(reply.url()) : QString();
    if (proxy.isEmpty())
        return QCoreApplication::translate("RequestPolicy", "Network error: %1")
            .arg(reply.errorString());
    return QCoreApplication::translate("RequestPolicy", "Network error: %1 (through the proxy %2)")
        .arg(reply.errorString(), proxy);
}

} // namespace RequestPolicy
