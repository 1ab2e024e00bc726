#include "loopbackconnection.h"

#include "loopbackledger.h"

#include <QTcpSocket>

namespace {
// A request head this long without its end is not coming from an HTTP client.
const int kMaxHeadSize = 64 * 1024;
} // namespace

LoopbackConnection::LoopbackConnection(QTcpSocket *socket, LoopbackLedger *ledger, QObject *parent)
    : QObject(parent)
    , m_socket(socket)
    , m_ledger(ledger)
{
    m_socket->setParent(this);
    m_pieceTimer.setSingleShot(true);
    connect(&m_pieceTimer, &QTimer::timeout, this, &LoopbackConnection::sendNextPiece);
    connect(m_socket, &QTcpSocket::readyRead, this, &LoopbackConnection::readRequest);
    connect(m_socket, &QTcpSocket::disconnected, this, &LoopbackConnection::onDisconnected);
}

void LoopbackConnection::readRequest()
{
    const QByteArray data = m_socket->readAll();
    if (m_state != State::Reading)
        return;
    m_received += data;
    const int headEnd = m_received.indexOf("\r\n\r\n");
    if (headEnd < 0) {
        if (m_received.size() > kMaxHeadSize)
            m_socket->abort();
        return;
    }

    const LoopbackRequest request = LoopbackRequest::fromHead(m_received.left(headEnd));
    m_path = request.path;
    m_ledger->record(request);
    emit requestReceived(m_path);

    m_reply = m_ledger->replyFor(m_path);
    m_unsent = m_reply.sentBody();
    m_state = State::Sending;
    m_socket->write(m_reply.head());
    sendNextPiece();
}

void LoopbackConnection::sendNextPiece()
{
    const int size = m_reply.pieceSize > 0 ? m_reply.pieceSize : m_unsent.size();
    if (!m_unsent.isEmpty()) {
        m_socket->write(m_reply.frame(m_unsent.left(size)));
        m_unsent.remove(0, size);
    }
    if (m_unsent.isEmpty())
        endBody();
    else
        m_pieceTimer.start(m_reply.pieceIntervalMs);
}

void LoopbackConnection::endBody()
{
    switch (m_reply.ending) {
    case LoopbackReply::Ending::Stall:
        // Still Sending: only the client or the server's end closes this.
        return;
    case LoopbackReply::Ending::Complete:
        m_socket->write(m_reply.trailer());
        break;
    case LoopbackReply::Ending::Drop:
        break;
    }
    // Set before disconnecting, which may report the disconnection at once.
    m_state = State::Done;
    m_socket->disconnectFromHost();
}

void LoopbackConnection::onDisconnected()
{
    if (m_state == State::Sending)
        emit clientAborted(m_path);
    m_state = State::Done;
    m_pieceTimer.stop();
    deleteLater();
}
