#pragma once

#include <QSslConfiguration>

// The tests' TLS material (tests/data/tls): a test CA, a certificate for
// 127.0.0.1 and localhost that it issued, and a certificate for the same names
// issued by a CA that nobody trusts. Certificate verification stays on: a
// client accepts a test server only because its process trusts the test CA.
namespace TestTls {

// Adds the test CA to the process's default TLS configuration, so that every
// connection set up afterwards accepts the trusted test certificate. Once
// done, the process no longer loads the system's CAs on demand; tests only
// talk to loopback. Calling it again changes nothing.
void trustTestCa();

enum class Issuer
{
    TestCa,
    Untrusted
};

// What a TLS server presents: the certificate and its key, no client
// certificate asked for.
QSslConfiguration serverConfiguration(Issuer issuer);

} // namespace TestTls
