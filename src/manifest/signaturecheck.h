#pragma once

#include <QCoreApplication>
#include <QDateTime>
#include <QString>
#include <QStringList>

// Whether a manifest may be taken, by its minisign signature
// (manifest.json.minisig): a trusted key signed the file and the trusted
// comment, the comment names the signing's sequence and expiry
// ("sequence:N expires:YYYY-MM-DDTHH:MM:SSZ"), the manifest has not expired
// and is not older than one this user accepted before.
struct SignatureCheck
{
    Q_DECLARE_TR_FUNCTIONS(SignatureCheck)
public:
    enum class Result
    {
        Verified,
        Missing,       // no signature file
        Oversized,     // larger than any signature file
        Malformed,     // not minisign's prehashed format
        UnknownKey,    // signed with a key that is not trusted
        BadSignature,  // the file is not the one the key signed
        BadComment,    // the trusted comment is not the one the key signed
        MissingFields, // the trusted comment names no sequence or no expiry
        Expired,
        Older, // its sequence is lower than the highest accepted
    };

    // Checks a signature file; an empty one is Missing. trustedKeys are base64
    // lines of .pub files (one that does not parse trusts nothing).
    static SignatureCheck check(const QStringList &trustedKeys, const QByteArray &manifest,
                                const QByteArray &signatureFile, qint64 highestAccepted,
                                const QDateTime &now);

    // Why the manifest was refused, for the user; empty when it was verified.
    QString reason() const;

    Result result = Result::Missing;
    QString keyId;        // the signing key's id (minisign's notation), once read
    qint64 sequence = -1; // from the trusted comment, once read
    QDateTime expires;    // from the trusted comment, once read
    qint64 highestAccepted = 0;
};
