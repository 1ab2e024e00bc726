#include "signaturecheck.h"

#include "manifest/minisign.h"

#include <QRegularExpression>

#include <optional>

namespace {

// The value of the comment's one word "name:value"; null when there is no
// such word or more than one.
QByteArray field(const QByteArray &comment, const QByteArray &name)
{
    const QByteArray prefix = name + ':';
    QByteArray value;
    int count = 0;
    for (const QByteArray &word : comment.simplified().split(' ')) {
        if (word.startsWith(prefix)) {
            value = word.mid(prefix.size());
            ++count;
        }
    }
    return count == 1 ? value : QByteArray();
}

// A decimal number of at most 18 digits, which fits a qint64; -1 otherwise.
qint64 sequenceOf(const QByteArray &text)
{
    static const QRegularExpression number(QStringLiteral("^[0-9]{1,18}$"));
    return number.match(QString::fromLatin1(text)).hasMatch() ? text.toLongLong() : -1;
}

// YYYY-MM-DDTHH:MM:SSZ; invalid otherwise.
QDateTime expiryOf(const QByteArray &text)
{
    static const QRegularExpression form(
        QStringLiteral("^[0-9]{4}-[0-9]{2}-[0-9]{2}T[0-9]{2}:[0-9]{2}:[0-9]{2}Z$"));
    const QString value = QString::fromLatin1(text);
    return form.match(value).hasMatch() ? QDateTime::fromString(value, Qt::ISODate) : QDateTime();
}

std::optional<Minisign::PublicKey> trustedKey(const QStringList &trustedKeys,
                                              const QByteArray &keyId)
{
    for (const QString &line : trustedKeys) {
        const auto key = Minisign::PublicKey::parse(line.toLatin1());
        if (key && key->id == keyId)
            return key;
    }
    return std::nullopt;
}

} // namespace

SignatureCheck SignatureCheck::check(const QStringList &trustedKeys, const QByteArray &manifest,
                                     const QByteArray &signatureFile, qint64 highestAccepted,
                                     const QDateTime &now)
{
    SignatureCheck check;
    check.highestAccepted = highestAccepted;
    const auto ended = [&check](Result result) {
        check.result = result;
        return check;
    };
    if (signatureFile.isEmpty())
        return ended(Result::Missing);
    if (signatureFile.size() > Minisign::Signature::kMaxFileSize)
        return ended(Result::Oversized);
    const auto signature = Minisign::Signature::parse(signatureFile);
    if (!signature)
        return ended(Result::Malformed);
    check.keyId = Minisign::keyIdText(signature->keyId);
    const auto key = trustedKey(trustedKeys, signature->keyId);
    if (!key)
        return ended(Result::UnknownKey);
    if (!Minisign::signsFile(*key, *signature, manifest))
        return ended(Result::BadSignature);
    if (!Minisign::signsComment(*key, *signature))
        return ended(Result::BadComment);
    check.sequence = sequenceOf(field(signature->trustedComment, "sequence"));
    check.expires = expiryOf(field(signature->trustedComment, "expires"));
    if (check.sequence < 0 || !check.expires.isValid())
        return ended(Result::MissingFields);
    if (now >= check.expires)
        return ended(Result::Expired);
    if (check.sequence < highestAccepted)
        return ended(Result::Older);
    return ended(Result::Verified);
}

QString SignatureCheck::reason() const
{
    switch (result) {
    case Result::Verified:
        break;
    case Result::Missing:
        return tr("the update bucket has no signature for it (manifest.json.minisig)");
    case Result::Oversized:
        return tr("its signature file is larger than %1 KiB")
            .arg(Minisign::Signature::kMaxFileSize / 1024);
    case Result::Malformed:
        return tr("its signature file is not in minisign's format");
    case Result::UnknownKey:
        return tr("it is signed with the key %1, which this program does not trust").arg(keyId);
    case Result::BadSignature:
        return tr("its signature does not match it");
    case Result::BadComment:
        return tr("the trusted comment of its signature has been altered");
    case Result::MissingFields:
        return tr("its signature names no sequence or no expiry");
    case Result::Expired:
        return tr("it expired on %1").arg(expires.toString(Qt::ISODate));
    case Result::Older:
        return tr("it is older than the update information already seen: sequence %1 after %2")
            .arg(sequence)
            .arg(highestAccepted);
    }
    return QString();
}
