#pragma once

#include <QByteArray>
#include <QList>
#include <QPair>
#include <QString>

// One request as a LoopbackServer received it.
struct LoopbackRequest
{
    QByteArray method;
    QString path; // without the query
    QList<QPair<QByteArray, QByteArray>> headers;

    // The first header of that name, ignoring case; empty when there is none.
    QByteArray header(const QByteArray &name) const;

    // Parses the request line and headers (the text before the empty line).
    static LoopbackRequest fromHead(const QByteArray &head);
};
