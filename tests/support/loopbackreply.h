#pragma once

#include <QByteArray>
#include <QList>
#include <QPair>

// What a LoopbackServer answers on one path: status, headers and body, and how
// the body travels. Start from a named constructor and adjust with the
// chainable setters:
//
//   LoopbackReply::ok(image).slow(4096, 100)   // 4 KiB pieces, 100 ms apart
//   LoopbackReply::ok(image).stallAfter(1000)  // 1000 bytes, then silence
//   LoopbackReply::ok(image).dropAfter(1000)   // 1000 bytes, then the server hangs up
//   LoopbackReply::ok(json).framedAs(LoopbackReply::Framing::Chunked)
//   LoopbackReply::status(404)
//   LoopbackReply::redirect(302, "/elsewhere")
//
// The server closes the connection after each reply ("Connection: close").
struct LoopbackReply
{
    enum class Framing
    {
        ContentLength,  // Content-Length names the whole body, also when it is cut short
        Chunked,        // Transfer-Encoding: chunked, one chunk per piece
        CloseDelimited, // neither: the body ends where the connection does
    };
    enum class Ending
    {
        Complete, // the whole body, then the server closes
        Stall,    // cutAt body bytes, then nothing; the connection stays open
        Drop,     // cutAt body bytes, then the server closes. A client sees an
                  // error with Content-Length framing; Qt takes a chunked body
                  // cut short over plain HTTP as complete.
    };

    int statusCode = 200;
    QList<QPair<QByteArray, QByteArray>> headers; // besides the framing headers
    QByteArray body;
    Framing framing = Framing::ContentLength;
    int pieceSize = 0;       // bytes per write; 0 writes the body at once
    int pieceIntervalMs = 0; // pause between two writes
    Ending ending = Ending::Complete;
    qint64 cutAt = 0;

    static LoopbackReply ok(const QByteArray &body,
                            const QByteArray &contentType = "application/octet-stream");
    static LoopbackReply status(int code, const QByteArray &body = QByteArray());
    static LoopbackReply redirect(int code, const QByteArray &location);

    LoopbackReply &withHeader(const QByteArray &name, const QByteArray &value);
    LoopbackReply &framedAs(Framing bodyFraming);
    LoopbackReply &slow(int bytesPerPiece, int intervalMs);
    LoopbackReply &stallAfter(qint64 bodyBytes);
    LoopbackReply &dropAfter(qint64 bodyBytes);

    // On the wire: the status line and all headers, up to the empty line.
    QByteArray head() const;
    // The part of the body that is sent at all.
    QByteArray sentBody() const;
    // One piece of the body as framed on the wire.
    QByteArray frame(const QByteArray &piece) const;
    // What follows the last piece of a complete body.
    QByteArray trailer() const;
};
