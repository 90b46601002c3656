#!/usr/bin/env bash
# make_test_ca.sh <dir>: a test certificate authority and the server
# certificates the secure-transfer tests need, made with the openssl command
# into <dir> (once; a second run keeps what is there):
#   ca.pem            the test CA, which only the tests' trust file and their
#                     Wine prefix trust
#   server.key        the one key of every server certificate below
#   localhost.pem     localhost and 127.0.0.1, signed by the CA
#   expired.pem       the same names, signed by the CA, expired in 2020
#   wrongname.pem     only the name wrong.invalid, signed by the CA
#   untrusted.pem     localhost and 127.0.0.1, signed by a CA nobody trusts
set -euo pipefail
dir="$1"
[ -f "$dir/untrusted.pem" ] && exit 0
mkdir -p "$dir"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

ca() {  # ca <name> <subject>
  openssl req -x509 -newkey rsa:2048 -nodes -keyout "$work/$1.key" -out "$work/$1.pem" \
    -days 3650 -subj "/CN=$2" -addext "basicConstraints=critical,CA:TRUE" \
    -addext "keyUsage=critical,keyCertSign,cRLSign" 2>/dev/null
}
ca ca "Wexlo Test CA"
ca other "Untrusted Test CA"
openssl genrsa -out "$work/server.key" 2048 2>/dev/null
openssl req -new -key "$work/server.key" -subj "/CN=localhost" -out "$work/server.csr"

# leaf <out> <ca> <names> <start> <end>: a server certificate through
# "openssl ca", which (unlike "x509 -req") accepts dates in the past.
leaf() {
  local out="$1" issuer="$2" names="$3" start="$4" end="$5" db="$work/db-$1"
  mkdir -p "$db"; : >"$db/index.txt"; echo 1000 >"$db/serial"
  cat >"$db/ca.cnf" <<CNF
[ca]
default_ca = test
[test]
database = $db/index.txt
serial = $db/serial
new_certs_dir = $db
default_md = sha256
policy = any
unique_subject = no
copy_extensions = none
x509_extensions = server
[any]
commonName = supplied
[server]
basicConstraints = critical,CA:FALSE
keyUsage = critical,digitalSignature,keyEncipherment
extendedKeyUsage = serverAuth
subjectAltName = $names
CNF
  openssl ca -batch -config "$db/ca.cnf" -cert "$work/$issuer.pem" -keyfile "$work/$issuer.key" \
    -startdate "$start" -enddate "$end" -in "$work/server.csr" -out "$work/$out.pem" \
    -notext 2>/dev/null
}
leaf localhost ca "DNS:localhost,IP:127.0.0.1" 20240101000000Z 20451231000000Z
leaf expired ca "DNS:localhost,IP:127.0.0.1" 20200101000000Z 20200201000000Z
leaf wrongname ca "DNS:wrong.invalid" 20240101000000Z 20451231000000Z
leaf untrusted other "DNS:localhost,IP:127.0.0.1" 20240101000000Z 20451231000000Z

cp "$work/ca.pem" "$work/server.key" "$work/localhost.pem" "$work/expired.pem" \
  "$work/wrongname.pem" "$dir/"
# Written last: its presence says the set is complete.
cp "$work/untrusted.pem" "$dir/"
