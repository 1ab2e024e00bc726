#pragma once

#include <QJsonObject>
#include <QObject>
#include <QStringList>

class QNetworkAccessManager;
class QNetworkReply;

// The update manifest: a small JSON document beside the firmware images that
// names the newest application version and, per product, the current firmware
// version and the SHA-256 digest of its image.
//
// Holds the last document that parsed. Every accessor has a fixed default for
// a missing or mistyped field, so callers never handle an error from them; a
// failed download or parse leaves an earlier manifest in force.
class Manifest : public QObject
{
    Q_OBJECT
public:
    // With a network manager of its own.
    explicit Manifest(QObject *parent = nullptr);
    // Sharing the program's network manager, and so its connections.
    explicit Manifest(QNetworkAccessManager *network, QObject *parent = nullptr);

    // HTTP GET of the address; the outcome arrives as manifestDownloaded. An
    // empty or malformed address is reported before this returns.
    void downloadManifest(const QString &url);
    // A request with no data moving for this long fails (30 s unless set).
    void setTransferTimeout(int milliseconds) { m_transferTimeoutMs = milliseconds; }
    // A download has been asked for and its outcome has not arrived yet.
    bool isDownloading() const { return m_pendingReplies > 0; }
    // Reads and parses a local file; the outcome is emitted as manifestLoaded
    // before this returns.
    void loadFromFile(const QString &filePath);
    // Takes the document when its top level is a JSON object.
    bool parseManifest(const QByteArray &data);

    bool isValid() const { return m_isValid; }
    QJsonObject manifestData() const { return m_manifestData; }

    QString appVersion() const;
    QString address() const;
    QString bucket() const;
    QString region() const;
    QString baseUrl() const;

    // Product names in ascending, case-sensitive order.
    QStringList productNames() const;
    // The entry under the exact name, else under the first name (in the order
    // of productNames) that matches ignoring case; an empty object otherwise.
    QJsonObject productInfo(const QString &productName) const;

    // Fields of the "Ravlo" entry.
    QString productVersion() const;
    QString productSha256() const;
    // "filename", falling back to "name".
    QString productFilename() const;
    QString productKey() const;
    // A JSON number truncated toward zero, or a decimal string; 0 otherwise.
    qint64 productSize() const;

signals:
    void manifestDownloaded(bool success, const QString &errorMsg = QString());
    void manifestLoaded(bool success, const QString &errorMsg = QString());

private slots:
    void onNetworkReplyFinished(QNetworkReply *reply);

private:
    // The held document, or an empty object while none was taken.
    QJsonObject document() const;
    QJsonObject products() const;
    QString productString(const QString &key) const;
    void logParsedFields() const;
    // manifestDownloaded or manifestLoaded: the signal that reports an outcome.
    using Outcome = void (Manifest::*)(bool, const QString &);
    // Parses a fetched document; reports and returns false when it is empty
    // or is not taken. The texts are the warnings; emptyMessage is reported.
    bool takeDocument(const QByteArray &content, Outcome outcome, const QString &emptyText,
                      const QString &unparsableText, const QString &emptyMessage);
    // Writes "Manifest: <logText>" as a warning (for developers, in Chinese)
    // and reports the failure with the user's message (translated).
    void fail(Outcome outcome, const QString &logText, const QString &message);

    QNetworkAccessManager *m_networkManager;
    QJsonObject m_manifestData;
    bool m_isValid = false;
    int m_transferTimeoutMs = 30000;
    int m_pendingReplies = 0;
};
