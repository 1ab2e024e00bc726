#pragma once

#include "manifest/signaturecheck.h"

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
//
// Held to trusted keys, it takes a document only when the minisign signature
// beside it (<address>.minisig, <file>.minisig) verifies (SignatureCheck), and
// then remembers its sequence (AcceptedSequence); without keys it takes every
// document that parses.
class Manifest : public QObject
{
    Q_OBJECT
public:
    // With a network manager of its own, no keys.
    explicit Manifest(QObject *parent = nullptr);
    // Sharing the program's network manager, and so its connections; no keys.
    explicit Manifest(QNetworkAccessManager *network, QObject *parent = nullptr);
    // Held to these minisign public keys (base64 lines of .pub files), when any.
    Manifest(QNetworkAccessManager *network, const QStringList &trustedKeys,
             QObject *parent = nullptr);

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
    // Takes the document when its top level is a JSON object; held to keys,
    // takes none (a document comes with its signature).
    bool parseManifest(const QByteArray &data);

    bool isValid() const { return m_isValid; }
    QJsonObject manifestData() const { return m_manifestData; }
    // The document held as it arrived, and its signature file (held to keys),
    // so that it can be checked again later; empty while none is held.
    QByteArray source() const { return m_source; }
    QByteArray signatureFile() const { return m_signatureFile; }

    // The last outcome was a refusal: the document arrived, but its signature
    // does not vouch for it (the outcome's message says why).
    bool verificationFailed() const { return m_verificationFailed; }
    // The verified signature of the document held; Missing while there is none.
    const SignatureCheck &signature() const { return m_signature; }
    // What the user can do about update information that could not be verified.
    static QString verificationAdvice();

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
    // A GET with the program's user agent and the transfer time-out, counted
    // as pending until its handler runs.
    QNetworkReply *get(const QUrl &address);
    // False, with the failure reported, when the reply is an error or no 200.
    bool succeeded(QNetworkReply *reply);
    // The signature beside the downloaded manifest, then the outcome.
    void fetchSignature(const QUrl &manifestAddress, const QByteArray &content);
    void onSignatureReplyFinished(QNetworkReply *reply, const QByteArray &content);
    void finishDownload(const QByteArray &content, const QByteArray &signatureFile);
    bool takeJson(const QByteArray &data);
    // The held document, or an empty object while none was taken.
    QJsonObject document() const;
    QJsonObject products() const;
    QString productString(const QString &key) const;
    void logParsedFields() const;
    // manifestDownloaded or manifestLoaded: the signal that reports an outcome.
    using Outcome = void (Manifest::*)(bool, const QString &);
    // Checks the signature of a fetched document (held to keys) and parses
    // it; reports and returns false when it is empty or is not taken. The
    // texts are the warnings; emptyMessage is reported.
    bool takeDocument(const QByteArray &content, const QByteArray &signatureFile, Outcome outcome,
                      const QString &emptyText, const QString &unparsableText,
                      const QString &emptyMessage);
    // Writes "Manifest: <logText>" as a warning (for developers, in Chinese)
    // and reports the failure with the user's message (translated).
    void fail(Outcome outcome, const QString &logText, const QString &message,
              bool unverified = false);
    void refuse(Outcome outcome, const SignatureCheck &check);

    QNetworkAccessManager *m_networkManager;
    const QStringList m_trustedKeys;
    SignatureCheck m_signature;
    bool m_verificationFailed = false;
    QJsonObject m_manifestData;
    QByteArray m_source;
    QByteArray m_signatureFile;
    bool m_isValid = false;
    int m_transferTimeoutMs = 30000;
    int m_pendingReplies = 0;
};
