#pragma once

#include "loopbackreply.h"
#include "loopbackrequest.h"

#include <QHash>
#include <QMutex>

// The replies a test scripted per path and the requests the server received.
// The test's thread and the server's thread both use it.
class LoopbackLedger
{
public:
    void serve(const QString &path, const LoopbackReply &reply);
    // The scripted reply, or 404 for a path without one.
    LoopbackReply replyFor(const QString &path) const;

    void record(const LoopbackRequest &request);
    QList<LoopbackRequest> requests() const;

private:
    mutable QMutex m_mutex;
    QHash<QString, LoopbackReply> m_replies;
    QList<LoopbackRequest> m_requests;
};
