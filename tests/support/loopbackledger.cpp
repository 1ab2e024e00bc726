#include "loopbackledger.h"

#include <QMutexLocker>

void LoopbackLedger::serve(const QString &path, const LoopbackReply &reply)
{
    QMutexLocker lock(&m_mutex);
    m_replies.insert(path, reply);
}

LoopbackReply LoopbackLedger::replyFor(const QString &path) const
{
    QMutexLocker lock(&m_mutex);
    return m_replies.value(path, LoopbackReply::status(404, "no reply scripted for this path"));
}

void LoopbackLedger::record(const LoopbackRequest &request)
{
    QMutexLocker lock(&m_mutex);
    m_requests.append(request);
}

QList<LoopbackRequest> LoopbackLedger::requests() const
{
    QMutexLocker lock(&m_mutex);
    return m_requests;
}
