#include "minisign.h"

#include <QList>

#include <openssl/evp.h>

#include <algorithm>
#include <memory>

namespace Minisign {

namespace {

constexpr int kKeyIdSize = 8;
constexpr int kKeySize = 32;
constexpr int kSignatureSize = 64;
const QByteArray kKeyAlgorithm = QByteArrayLiteral("Ed");
const QByteArray kPrehashedAlgorithm = QByteArrayLiteral("ED");
const QByteArray kUntrustedPrefix = QByteArrayLiteral("untrusted comment: ");
const QByteArray kTrustedPrefix = QByteArrayLiteral("trusted comment: ");

// Strict base64 of exactly the given number of bytes; empty otherwise.
QByteArray decode(const QByteArray &text, int size)
{
    const auto result =
        QByteArray::fromBase64Encoding(text, QByteArray::AbortOnBase64DecodingErrors);
    return result && result.decoded.size() == size ? result.decoded : QByteArray();
}

bool ed25519Verifies(const QByteArray &key, const QByteArray &signature, const QByteArray &message)
{
    const std::unique_ptr<EVP_PKEY, decltype(&EVP_PKEY_free)> publicKey(
        EVP_PKEY_new_raw_public_key(EVP_PKEY_ED25519, nullptr,
                                    reinterpret_cast<const unsigned char *>(key.constData()),
                                    size_t(key.size())),
        EVP_PKEY_free);
    const std::unique_ptr<EVP_MD_CTX, decltype(&EVP_MD_CTX_free)> context(EVP_MD_CTX_new(),
                                                                          EVP_MD_CTX_free);
    return publicKey && context && signature.size() == kSignatureSize &&
           EVP_DigestVerifyInit(context.get(), nullptr, nullptr, nullptr, publicKey.get()) == 1 &&
           EVP_DigestVerify(context.get(),
                            reinterpret_cast<const unsigned char *>(signature.constData()),
                            size_t(signature.size()),
                            reinterpret_cast<const unsigned char *>(message.constData()),
                            size_t(message.size())) == 1;
}

QByteArray blake2b512(const QByteArray &data)
{
    QByteArray digest(EVP_MAX_MD_SIZE, '\0');
    unsigned int size = 0;
    if (EVP_Digest(data.constData(), size_t(data.size()),
                   reinterpret_cast<unsigned char *>(digest.data()), &size, EVP_blake2b512(),
                   nullptr) != 1)
        return QByteArray();
    digest.truncate(int(size));
    return digest;
}

} // namespace

std::optional<PublicKey> PublicKey::parse(const QByteArray &line)
{
    const QByteArray bytes = decode(line.trimmed(), 2 + kKeyIdSize + kKeySize);
    if (!bytes.startsWith(kKeyAlgorithm))
        return std::nullopt;
    return PublicKey{bytes.mid(2, kKeyIdSize), bytes.mid(2 + kKeyIdSize)};
}

std::optional<Signature> Signature::parse(const QByteArray &file)
{
    if (file.size() > kMaxFileSize)
        return std::nullopt;
    QList<QByteArray> lines = file.split('\n');
    for (QByteArray &line : lines) {
        if (line.endsWith('\r'))
            line.chop(1);
    }
    // Four lines, then nothing but line ends.
    if (lines.size() < 4 || std::any_of(lines.begin() + 4, lines.end(),
                                        [](const QByteArray &line) { return !line.isEmpty(); }))
        return std::nullopt;
    if (!lines[0].startsWith(kUntrustedPrefix) || !lines[2].startsWith(kTrustedPrefix))
        return std::nullopt;
    const QByteArray signatureBytes = decode(lines[1], 2 + kKeyIdSize + kSignatureSize);
    const QByteArray global = decode(lines[3], kSignatureSize);
    if (!signatureBytes.startsWith(kPrehashedAlgorithm) || global.isEmpty())
        return std::nullopt;
    return Signature{signatureBytes.mid(2, kKeyIdSize), signatureBytes.mid(2 + kKeyIdSize),
                     lines[2].mid(kTrustedPrefix.size()), global};
}

bool Signature::operator==(const Signature &other) const
{
    return keyId == other.keyId && signature == other.signature &&
           trustedComment == other.trustedComment && globalSignature == other.globalSignature;
}

QString keyIdText(const QByteArray &id)
{
    // minisign shows the id as a little-endian number.
    QByteArray reversed = id;
    std::reverse(reversed.begin(), reversed.end());
    return QString::fromLatin1(reversed.toHex().toUpper());
}

bool signsFile(const PublicKey &key, const Signature &signature, const QByteArray &file)
{
    const QByteArray digest = blake2b512(file);
    return key.id == signature.keyId && !digest.isEmpty() &&
           ed25519Verifies(key.key, signature.signature, digest);
}

bool signsComment(const PublicKey &key, const Signature &signature)
{
    return key.id == signature.keyId &&
           ed25519Verifies(key.key, signature.globalSignature,
                           signature.signature + signature.trustedComment);
}

} // namespace Minisign
