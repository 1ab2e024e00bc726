#include "loopbackrequest.h"

#include <QUrl>

QByteArray LoopbackRequest::header(const QByteArray &name) const
{
    for (const auto &header : headers) {
        if (header.first.compare(name, Qt::CaseInsensitive) == 0)
            return header.second;
    }
    return QByteArray();
}

LoopbackRequest LoopbackRequest::fromHead(const QByteArray &head)
{
    LoopbackRequest request;
    const QList<QByteArray> lines = head.split('\n');
    const QList<QByteArray> requestLine = lines.value(0).trimmed().split(' ');
    request.method = requestLine.value(0);
    request.path = QUrl::fromEncoded(requestLine.value(1)).path();
    for (int i = 1; i < lines.size(); ++i) {
        const QByteArray &line = lines.at(i);
        const int colon = line.indexOf(':');
        if (colon > 0)
            request.headers.append({line.left(colon).trimmed(), line.mid(colon + 1).trimmed()});
    }
    return request;
}
