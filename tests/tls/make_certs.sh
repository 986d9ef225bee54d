#!/bin/sh
# make_certs.sh OUT_DIR: the certificates of the https tests, made afresh.
#   ca.pem                    a test root, trusted only inside the test's namespace
#   localhost.pem/.key        localhost, signed by that root (the trusted mirror)
#   othername.pem/.key        mirror.veloran.example only, signed by that root (a name
#                             that does not match the address)
#   selfsigned.pem/.key       localhost, signed by nobody the system trusts
#   bundle.pem                the system's bundle with the test root appended
set -eu
out=$1
mkdir -p "$out"
cd "$out"
days=30
openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes -keyout ca.key \
  -out ca.pem -days $days -subj "/CN=Veloran test root" \
  -addext "basicConstraints=critical,CA:TRUE" -addext "keyUsage=critical,keyCertSign,cRLSign" \
  2>/dev/null
leaf() {  # leaf NAME DNS
  openssl req -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes -keyout "$1.key" \
    -out "$1.csr" -subj "/CN=$2" 2>/dev/null
  printf 'subjectAltName=DNS:%s\nbasicConstraints=CA:FALSE\nextendedKeyUsage=serverAuth\n' "$2" \
    >"$1.ext"
  openssl x509 -req -in "$1.csr" -CA ca.pem -CAkey ca.key -CAcreateserial -days $days \
    -extfile "$1.ext" -out "$1.pem" 2>/dev/null
  rm -f "$1.csr" "$1.ext"
}
leaf localhost localhost
leaf othername mirror.veloran.example
openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes -keyout selfsigned.key \
  -out selfsigned.pem -days $days -subj "/CN=localhost" -addext "subjectAltName=DNS:localhost" \
  2>/dev/null
cat /etc/ssl/certs/ca-certificates.crt ca.pem >bundle.pem
