#include "minisigner.h"

#include <QFile>

#include <openssl/evp.h>

#include <memory>

namespace {

using Key = std::unique_ptr<EVP_PKEY, decltype(&EVP_PKEY_free)>;

Key privateKey(const QByteArray &seed)
{
    return Key(EVP_PKEY_new_raw_private_key(EVP_PKEY_ED25519, nullptr,
                                            reinterpret_cast<const unsigned char *>(seed.data()),
                                            size_t(seed.size())),
               EVP_PKEY_free);
}

QByteArray blake2b512(const QByteArray &data)
{
    QByteArray digest(EVP_MAX_MD_SIZE, '\0');
    unsigned int size = 0;
    EVP_Digest(data.constData(), size_t(data.size()),
               reinterpret_cast<unsigned char *>(digest.data()), &size, EVP_blake2b512(), nullptr);
    return digest.left(int(size));
}

} // namespace

MinisignSigner::MinisignSigner(const QByteArray &seed, const QByteArray &keyId)
    : m_seed(seed)
    , m_keyId(keyId)
{
    const Key key = privateKey(seed);
    size_t size = 32;
    QByteArray publicKey(int(size), '\0');
    if (key && keyId.size() == 8 &&
        EVP_PKEY_get_raw_public_key(key.get(), reinterpret_cast<unsigned char *>(publicKey.data()),
                                    &size) == 1)
        m_publicKey = publicKey;
}

MinisignSigner MinisignSigner::fromSecretKeyFile(const QString &path)
{
    // The key line: "Ed", the KDF "\0\0" (none), the checksum's algorithm,
    // 32 bytes of salt, 16 of KDF limits, the key id and the 64-byte secret
    // key (seed, then public key), a 32-byte checksum.
    QFile file(path);
    const QList<QByteArray> lines =
        file.open(QIODevice::ReadOnly) ? file.readAll().split('\n') : QList<QByteArray>();
    const QByteArray bytes = QByteArray::fromBase64(lines.value(1));
    if (bytes.size() != 158 || !bytes.startsWith(QByteArray("Ed\0\0", 4)))
        return MinisignSigner(QByteArray(), QByteArray());
    return MinisignSigner(bytes.mid(62, 32), bytes.mid(54, 8));
}

QString MinisignSigner::publicKey() const
{
    return QString::fromLatin1((QByteArray("Ed") + m_keyId + m_publicKey).toBase64());
}

QByteArray MinisignSigner::sign(const QByteArray &file, const QByteArray &trustedComment) const
{
    const QByteArray signature = ed25519(blake2b512(file));
    return "untrusted comment: signature from minisign secret key\n" +
           (QByteArray("ED") + m_keyId + signature).toBase64() +
           "\ntrusted comment: " + trustedComment + '\n' +
           ed25519(signature + trustedComment).toBase64() + '\n';
}

QByteArray MinisignSigner::ed25519(const QByteArray &message) const
{
    const Key key = privateKey(m_seed);
    const std::unique_ptr<EVP_MD_CTX, decltype(&EVP_MD_CTX_free)> context(EVP_MD_CTX_new(),
                                                                          EVP_MD_CTX_free);
    size_t size = 64;
    QByteArray signature(int(size), '\0');
    if (!key || !context ||
        EVP_DigestSignInit(context.get(), nullptr, nullptr, nullptr, key.get()) != 1 ||
        EVP_DigestSign(context.get(), reinterpret_cast<unsigned char *>(signature.data()), &size,
                       reinterpret_cast<const unsigned char *>(message.constData()),
                       size_t(message.size())) != 1)
        return QByteArray();
    return signature;
}
