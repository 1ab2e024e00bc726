#pragma once

#include <QByteArray>
#include <QString>

#include <memory>

// SHA-256 by OpenSSL's libcrypto, which the HTTPS stack loads anyway: with the
// processor's SHA instructions it keeps up with a download, where Qt 5's own
// QCryptographicHash manages about a sixth of curl's loopback throughput.
class Sha256
{
public:
    Sha256();
    ~Sha256();
    Sha256(const Sha256 &) = delete;
    Sha256 &operator=(const Sha256 &) = delete;

    void addData(const QByteArray &data);
    // The digest as 64 lower-case hex digits; the hash is then spent.
    QString hexResult();

    // The digest of a file's contents, or empty when it cannot be read.
    static QString ofFile(const QString &path);
    // Whether a text is a digest: 64 hexadecimal digits, of either case.
    static bool isDigest(const QString &text);

private:
    struct Context;
    std::unique_ptr<Context> m_context;
};
