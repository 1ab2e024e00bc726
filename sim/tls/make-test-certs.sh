#!/usr/bin/env bash
# Regenerates the loopback servers' TLS material in this folder. Test-only keys: nothing
# outside the tests, the demo and the benchmarks trusts them.
#
#   ca.pem                    the test CA, which test processes trust
#   server.pem, server.key    127.0.0.1, localhost and bucket.ravlo.test (the name a
#                             loopback server has through ConnectProxy), issued by the test CA
#   untrusted.pem, untrusted.key
#                             the same names, issued by a CA nobody trusts
#
# Validity is fixed (2026-01-01 to 2126-01-01) rather than counted from the
# day the script runs, so the files stay valid on machines whose clock is a
# little behind the day they were made. The CA keys are thrown away.
set -euo pipefail
out=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"

cat > ca.cnf <<'CNF'
[ca]
default_ca = test_ca
[test_ca]
database = index.txt
new_certs_dir = .
serial = serial
default_md = sha256
policy = any
copy_extensions = none
unique_subject = no
[any]
commonName = supplied
[ca_ext]
basicConstraints = critical, CA:true
keyUsage = critical, keyCertSign, cRLSign
subjectKeyIdentifier = hash
[server_ext]
basicConstraints = critical, CA:false
keyUsage = critical, digitalSignature, keyEncipherment
extendedKeyUsage = serverAuth
subjectAltName = IP:127.0.0.1, DNS:localhost, DNS:bucket.ravlo.test
subjectKeyIdentifier = hash
authorityKeyIdentifier = keyid
CNF

dates=(-startdate 20260101000000Z -enddate 21260101000000Z)

# make_ca <name> <common name>
make_ca() {
    : > index.txt
    echo 01 > serial
    openssl req -new -newkey rsa:2048 -nodes -keyout "$1.key" -subj "/CN=$2" -out "$1.csr"
    openssl ca -batch -config ca.cnf -selfsign -keyfile "$1.key" -extensions ca_ext \
        "${dates[@]}" -in "$1.csr" -out "$1.pem" -notext
}

# make_server <name> <issuer>
make_server() {
    : > index.txt
    echo 02 > serial
    openssl req -new -newkey rsa:2048 -nodes -keyout "$1.key" -subj "/CN=127.0.0.1" -out "$1.csr"
    openssl ca -batch -config ca.cnf -cert "$2.pem" -keyfile "$2.key" -extensions server_ext \
        "${dates[@]}" -in "$1.csr" -out "$1.pem" -notext
}

make_ca ca "Ravlo Test CA"
make_ca untrusted-ca "Ravlo Untrusted Test CA"
make_server server ca
make_server untrusted untrusted-ca

cp ca.pem server.pem server.key untrusted.pem untrusted.key "$out/"
