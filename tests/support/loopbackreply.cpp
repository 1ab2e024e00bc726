#include "loopbackreply.h"

namespace {

QByteArray reasonPhrase(int code)
{
    switch (code) {
    case 200:
        return "OK";
    case 204:
        return "No Content";
    case 206:
        return "Partial Content";
    case 301:
        return "Moved Permanently";
    case 302:
        return "Found";
    case 304:
        return "Not Modified";
    case 307:
        return "Temporary Redirect";
    case 400:
        return "Bad Request";
    case 403:
        return "Forbidden";
    case 404:
        return "Not Found";
    case 500:
        return "Internal Server Error";
    case 503:
        return "Service Unavailable";
    default:
        return "Status";
    }
}

} // namespace

LoopbackReply LoopbackReply::ok(const QByteArray &body, const QByteArray &contentType)
{
    LoopbackReply reply;
    reply.body = body;
    return reply.withHeader("Content-Type", contentType);
}

LoopbackReply LoopbackReply::status(int code, const QByteArray &body)
{
    LoopbackReply reply;
    reply.statusCode = code;
    reply.body = body;
    return reply;
}

LoopbackReply LoopbackReply::redirect(int code, const QByteArray &location)
{
    return status(code).withHeader("Location", location);
}

LoopbackReply &LoopbackReply::withHeader(const QByteArray &name, const QByteArray &value)
{
    headers.append({name, value});
    return *this;
}

LoopbackReply &LoopbackReply::framedAs(Framing bodyFraming)
{
    framing = bodyFraming;
    return *this;
}

LoopbackReply &LoopbackReply::slow(int bytesPerPiece, int intervalMs)
{
    pieceSize = bytesPerPiece;
    pieceIntervalMs = intervalMs;
    return *this;
}

LoopbackReply &LoopbackReply::stallAfter(qint64 bodyBytes)
{
    ending = Ending::Stall;
    cutAt = bodyBytes;
    return *this;
}

LoopbackReply &LoopbackReply::dropAfter(qint64 bodyBytes)
{
    ending = Ending::Drop;
    cutAt = bodyBytes;
    return *this;
}

QByteArray LoopbackReply::head() const
{
    QByteArray head =
        "HTTP/1.1 " + QByteArray::number(statusCode) + ' ' + reasonPhrase(statusCode) + "\r\n";
    for (const auto &header : headers)
        head += header.first + ": " + header.second + "\r\n";
    if (framing == Framing::ContentLength)
        head += "Content-Length: " + QByteArray::number(body.size()) + "\r\n";
    else if (framing == Framing::Chunked)
        head += "Transfer-Encoding: chunked\r\n";
    return head + "Connection: close\r\n\r\n";
}

QByteArray LoopbackReply::sentBody() const
{
    return ending == Ending::Complete ? body : body.left(int(cutAt));
}

QByteArray LoopbackReply::frame(const QByteArray &piece) const
{
    if (framing != Framing::Chunked)
        return piece;
    return QByteArray::number(piece.size(), 16) + "\r\n" + piece + "\r\n";
}

QByteArray LoopbackReply::trailer() const
{
    return framing == Framing::Chunked ? QByteArray("0\r\n\r\n") : QByteArray();
}
