#pragma once

#include <QFile>
#include <QObject>
#include <QPointer>
#include <QString>

#include "engine/sha256.h"

class QNetworkAccessManager;
class QNetworkReply;
class QUrl;

// Streams one firmware image into a file and hashes it on the way, so the
// image is never held in memory and never read twice. The file belongs to
// the download: it is removed by discard() and at destruction, whether it was
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

    // Creates the file and requests the image into it. On false nothing was
    // requested and the outcome's message says why.
    bool start(const QUrl &url, const QString &filePath, int transferTimeoutMs);
    // Stops a running request and removes the file.
    void discard();

    QString filePath() const { return m_file.fileName(); }
    // Lower-case hex SHA-256 of the file; meaningful once complete.
    QString sha256() const { return m_sha256; }
    qint64 size() const { return m_written; }
    Outcome outcome() const { return m_outcome; }

signals:
    void progress(qint64 received, qint64 total);
    void finished(const ImageDownload::Outcome &outcome);

private slots:
    void onNetworkReplyFinished();

private:
    void writeAvailable();
    bool write(const QByteArray &data);
    void finish(const Outcome &outcome);
    void abandonReply();

    QNetworkAccessManager *m_network;
    QPointer<QNetworkReply> m_reply;
    QFile m_file;
    Sha256 m_hash;
    qint64 m_written = 0;
    QString m_sha256;
    Outcome m_outcome;
};
