#include "messagecapture.h"

#include <QMutex>
#include <QMutexLocker>

namespace {
// Messages may come from any thread.
QMutex captureMutex;
MessageCapture *activeCapture = nullptr;
} // namespace

MessageCapture::MessageCapture()
{
    QMutexLocker lock(&captureMutex);
    Q_ASSERT(!activeCapture);
    activeCapture = this;
    m_previous = qInstallMessageHandler(&MessageCapture::handle);
}

MessageCapture::~MessageCapture()
{
    qInstallMessageHandler(m_previous);
    QMutexLocker lock(&captureMutex);
    activeCapture = nullptr;
}

QStringList MessageCapture::texts(QtMsgType type) const
{
    QMutexLocker lock(&captureMutex);
    QStringList result;
    for (const auto &message : m_messages) {
        if (message.first == type)
            result << message.second;
    }
    return result;
}

void MessageCapture::clear()
{
    QMutexLocker lock(&captureMutex);
    m_messages.clear();
}

void MessageCapture::handle(QtMsgType type, const QMessageLogContext &context, const QString &text)
{
    QtMessageHandler previous = nullptr;
    {
        QMutexLocker lock(&captureMutex);
        if (activeCapture) {
            activeCapture->m_messages.append({type, text});
            previous = activeCapture->m_previous;
        }
    }
    if (previous)
        previous(type, context, text);
}
