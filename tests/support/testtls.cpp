#include "testtls.h"

#include <QFile>
#include <QSslCertificate>
#include <QSslKey>

namespace TestTls {

namespace {

QByteArray readTlsFile(const char *name)
{
    QFile file(QStringLiteral(RAVLO_TEST_TLS_DIR "/") + QLatin1String(name));
    if (!file.open(QIODevice::ReadOnly))
        qFatal("TestTls: cannot read %s", qPrintable(file.fileName()));
    return file.readAll();
}

QSslCertificate loadCertificate(const char *name)
{
    const QSslCertificate certificate(readTlsFile(name), QSsl::Pem);
    if (certificate.isNull())
        qFatal("TestTls: %s is not a PEM certificate", name);
    return certificate;
}

QSslKey loadKey(const char *name)
{
    const QSslKey key(readTlsFile(name), QSsl::Rsa, QSsl::Pem);
    if (key.isNull())
        qFatal("TestTls: %s is not a PEM RSA key", name);
    return key;
}

} // namespace

void trustTestCa()
{
    const QSslCertificate ca = loadCertificate("ca.pem");
    QSslConfiguration configuration = QSslConfiguration::defaultConfiguration();
    if (configuration.caCertificates().contains(ca))
        return;
    configuration.addCaCertificate(ca);
    QSslConfiguration::setDefaultConfiguration(configuration);
}

QSslConfiguration serverConfiguration(Issuer issuer)
{
    const bool trusted = issuer == Issuer::TestCa;
    QSslConfiguration configuration = QSslConfiguration::defaultConfiguration();
    configuration.setLocalCertificate(loadCertificate(trusted ? "server.pem" : "untrusted.pem"));
    configuration.setPrivateKey(loadKey(trusted ? "server.key" : "untrusted.key"));
    configuration.setPeerVerifyMode(QSslSocket::VerifyNone);
    return configuration;
}

} // namespace TestTls
