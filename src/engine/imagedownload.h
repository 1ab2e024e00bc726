#pragma once

#include "engine/enginelimits.h"
#include "engine/sha256.h"

#include <QFile>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QTimer>
#include <QUrl>

#include <memory>

class QNetworkAccessManager;
class QNetworkReply;

// Streams one firmware image into a file and hashes it on the way, so the
// image is never held in memory and never read twice. A connection that drops
// or stalls once bytes have come is taken up where it stopped: the rest is
// asked for (Range, held by If-Range to the first answer's ETag or
// Last-Modified) as often as the limits allow, after pauses that double; an
// answer that does not continue the same file starts it over. Only the whole
// file's digest tells whether it is the image. The file belongs to the
// download: it is removed by discard() and at destruction, whether it was
// finished or not.
class ImageDownload : public QObject
{
    Q_OBJECT
public:
    struct Outcome
    {
        bool complete = false;
        bool networkError = false; // the transfer failed, a time-out included
        QString message;           // why not complete
    };

    explicit ImageDownload(QNetworkAccessManager *network, QObject *parent = nullptr);
    ~ImageDownload() override;

    // Creates the file and requests the image into it, within the limits'
    // transfer time-out and retries. On false nothing was requested and the
    // outcome's message says why.
    bool start(const QUrl &url, const QString &filePath, const EngineLimits &limits);
    // Stops a running request and removes the file.
    void discard();

    QString filePath() const { return m_file.fileName(); }
    // Lower-case hex SHA-256 of the file; meaningful once complete.
    QString sha256() const { return m_sha256; }
    qint64 size() const { return m_written; }
    // The image's bytes that came over every try, those of a start-over included.
    qint64 transferred() const { return m_transferred; }
    Outcome outcome() const { return m_outcome; }

signals:
    // Of the whole image, whichever try they came with; total -1 while unknown.
    void progress(qint64 received, qint64 total);
    // What the log should say about a try that ended without the image, when
    // another follows.
    void notice(const QString &text);
    void finished(const ImageDownload::Outcome &outcome);

private:
    enum class Answer
    {
        Pending,  // no final status yet (a redirect on its way)
        Take,     // the body continues the file, or starts it
        Ignore,   // an error page: read, not written
        Replaced, // dropped: another try runs, or the download has ended
    };

    void request();
    // What the running reply's body is to the file; decided once its status is final.
    Answer answer();
    Answer judgeRange();
    void onProgress(qint64 received, qint64 total);
    void writeAvailable();
    bool write(const QByteArray &data);
    void onReplyFinished();
    // A drop or a stall: another try after a pause, or the end.
    void retryOrFail(const QString &error);
    // An answer that does not continue the file: once, the download starts over.
    Answer startOverOnce();
    void truncate();
    void finish(const Outcome &outcome);
    void abandonReply();

    QNetworkAccessManager *m_network;
    QUrl m_url;
    EngineLimits m_limits;
    QPointer<QNetworkReply> m_reply;
    Answer m_answer = Answer::Pending;
    qint64 m_replyOffset = 0; // where the running reply's body starts in the image
    QFile m_file;
    std::unique_ptr<Sha256> m_hash;
    qint64 m_written = 0;
    qint64 m_total = -1;
    qint64 m_transferred = 0;
    // From the answer the file started with: whether ranges are served, and
    // what holds a range to the same file.
    bool m_ranges = false;
    QByteArray m_etag;
    QByteArray m_lastModified;
    int m_retries = 0;
    bool m_startedOver = false;
    QTimer m_pause;
    QString m_sha256;
    Outcome m_outcome;
};
