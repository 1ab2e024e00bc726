#pragma once

#include <QByteArray>
#include <QString>

// Signs a file as the maker does with Debian's minisign ("minisign -S -t
// <trusted comment>"): Ed25519 over the BLAKE2b-512 of the file (the "ED"
// algorithm), then over that signature and the trusted comment; the result is
// the .minisig file. Made with libcrypto.
class MinisignSigner
{
public:
    // A key from 32 seed bytes, under an 8-byte key id.
    MinisignSigner(const QByteArray &seed, const QByteArray &keyId);
    // The key of an unencrypted secret key file ("minisign -G -W"); a null
    // signer when the file is not one.
    static MinisignSigner fromSecretKeyFile(const QString &path);

    bool isNull() const { return m_publicKey.isEmpty(); }
    // The base64 line of the key's .pub file.
    QString publicKey() const;
    QByteArray sign(const QByteArray &file, const QByteArray &trustedComment) const;

private:
    QByteArray ed25519(const QByteArray &message) const;

    QByteArray m_seed;
    QByteArray m_keyId;
    QByteArray m_publicKey;
};
