#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

// minisign's formats and its Ed25519 checks, made with libcrypto. Parsing is
// strict and bounded: what is not exactly the format is refused.
namespace Minisign {

// A public key: the base64 line of a .pub file, "Ed", the key id and the
// Ed25519 key.
struct PublicKey
{
    QByteArray id;  // 8 bytes
    QByteArray key; // 32 bytes

    static std::optional<PublicKey> parse(const QByteArray &line);
};

// A .minisig file as "minisign -S" writes it: the prehashed "ED" algorithm
// (Ed25519 over the BLAKE2b-512 of the file), the trusted comment signed
// together with that signature by the global signature.
struct Signature
{
    // A file larger than this is no signature (minisign's comments are at
    // most 1 KiB each).
    static constexpr int kMaxFileSize = 8192;

    QByteArray keyId;           // 8 bytes
    QByteArray signature;       // 64 bytes
    QByteArray trustedComment;  // the text after "trusted comment: "
    QByteArray globalSignature; // 64 bytes

    static std::optional<Signature> parse(const QByteArray &file);
    bool operator==(const Signature &other) const;
};

// A key id as minisign shows it: 16 upper-case hexadecimal digits.
QString keyIdText(const QByteArray &id);
// Whether the key made the signature of the file.
bool signsFile(const PublicKey &key, const Signature &signature, const QByteArray &file);
// Whether the key made the global signature over signature and trusted comment.
bool signsComment(const PublicKey &key, const Signature &signature);

} // namespace Minisign
