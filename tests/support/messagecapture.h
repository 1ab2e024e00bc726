#pragma once

#include <QList>
#include <QPair>
#include <QStringList>
#include <QtGlobal>

// Records the Qt messages (qDebug, qWarning, ...) written while it exists, so
// a test can compare what went to each channel, in order. Messages still reach
// the handler that was installed before, Qt Test's included. One at a time.
class MessageCapture
{
public:
    MessageCapture();
    ~MessageCapture();
    MessageCapture(const MessageCapture &) = delete;
    MessageCapture &operator=(const MessageCapture &) = delete;

    // The texts written to one channel, in order.
    QStringList texts(QtMsgType type) const;
    void clear();

private:
    static void handle(QtMsgType type, const QMessageLogContext &context, const QString &text);

    QList<QPair<QtMsgType, QString>> m_messages;
    QtMessageHandler m_previous;
};
