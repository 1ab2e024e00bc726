#pragma once

#include "loopbackreply.h"

#include <QObject>
#include <QTimer>

class LoopbackLedger;
class QTcpSocket;

// One client connection of a LoopbackServer, on the server's thread: reads a
// request, records it, plays the reply scripted for its path, and deletes
// itself when the connection has closed.
class LoopbackConnection : public QObject
{
    Q_OBJECT
public:
    // Takes the socket over.
    LoopbackConnection(QTcpSocket *socket, LoopbackLedger *ledger, QObject *parent);

signals:
    void requestReceived(const QString &path);
    // The client hung up before the whole reply was handed to the socket
    // (always the case for a stalled reply).
    void clientAborted(const QString &path);

private:
    enum class State
    {
        Reading,
        Sending,
        Done
    };

    void readRequest();
    void sendNextPiece();
    void endBody();
    void onDisconnected();

    QTcpSocket *m_socket;
    LoopbackLedger *m_ledger;
    State m_state = State::Reading;
    QByteArray m_received;
    QString m_path;
    LoopbackReply m_reply;
    QByteArray m_unsent;
    QTimer m_pieceTimer;
};
