#!/usr/bin/env bash
# A code-signing certificate to try the release flow with, in one command:
#
#   bash scripts/trial-signing.sh DIR
#
# Writes into DIR (made if missing; it must not hold these files yet) a throw-away CA
# (trial-ca.pem, its key trial-ca.key), a code-signing certificate it issued
# (extendedKeyUsage=codeSigning) in trial-codesign.pfx together with the CA's
# certificate, and the .pfx's password in trial-codesign.pass (mode 0600). Nothing
# trusts this CA: signatures made with it verify only against trial-ca.pem
# (osslsigncode verify -CAfile DIR/trial-ca.pem -in vlrupdate.exe), and Windows shows
# them as untrusted. For trying the flow only; a release is signed with a certificate
# from a certificate authority. Keep DIR outside the checkout.
set -euo pipefail
me=trial-signing
refuse() { printf '%s: refused, nothing written: %s\n' "$me" "$*" >&2; exit 2; }
[ $# -eq 1 ] && [ -n "$1" ] || { sed -n 4p "$0" | sed 's/^# *//' >&2; exit 2; }
dir=$1
command -v openssl >/dev/null 2>&1 || refuse "openssl is not installed"
names=(trial-ca.pem trial-ca.key trial-codesign.pfx trial-codesign.pass)
for name in "${names[@]}"; do
  [ ! -e "$dir/$name" ] || refuse "$dir/$name exists (a trial certificate is made once per folder)"
done
mkdir -p "$dir"
dir=$(cd "$dir" && pwd)
work=$(mktemp -d "$dir/.trial.XXXXXX")
trap 'rm -rf "$work"' EXIT
umask 077
quiet() { "$@" >/dev/null 2>&1 || { echo "$me: failed: $*" >&2; exit 1; }; }

quiet openssl req -x509 -newkey rsa:2048 -nodes -keyout "$work/trial-ca.key" -out "$work/trial-ca.pem" \
      -days 825 -subj "/CN=Veloran Trial CA (for trying the release flow only)" \
      -addext basicConstraints=critical,CA:TRUE -addext keyUsage=critical,keyCertSign,cRLSign
quiet openssl req -newkey rsa:2048 -nodes -keyout "$work/codesign.key" -out "$work/codesign.csr" \
      -subj "/CN=Veloran Trial Publisher (for trying the release flow only)"
printf 'basicConstraints=CA:FALSE\nkeyUsage=critical,digitalSignature\nextendedKeyUsage=codeSigning\n' \
       >"$work/codesign.ext"
quiet openssl x509 -req -in "$work/codesign.csr" -CA "$work/trial-ca.pem" -CAkey "$work/trial-ca.key" \
      -CAcreateserial -days 825 -extfile "$work/codesign.ext" -out "$work/codesign.pem"
# A password of 24 random letters and digits, on one line.
openssl rand -base64 48 | tr -dc 'A-Za-z0-9' | head -c 24 >"$work/trial-codesign.pass"
printf '\n' >>"$work/trial-codesign.pass"
quiet openssl pkcs12 -export -inkey "$work/codesign.key" -in "$work/codesign.pem" \
      -certfile "$work/trial-ca.pem" -name "Veloran Trial Publisher" \
      -passout "file:$work/trial-codesign.pass" -out "$work/trial-codesign.pfx"
chmod 600 "$work/trial-codesign.pass" "$work/trial-ca.key"
chmod 644 "$work/trial-ca.pem"
chmod 600 "$work/trial-codesign.pfx"
for name in "${names[@]}"; do mv "$work/$name" "$dir/$name"; done

cat <<TEXT
$me: written to $dir, for trying the release flow only (nothing trusts this CA):
  trial-codesign.pfx   code-signing certificate and key, with the CA's certificate
  trial-codesign.pass  its password (mode 0600)
  trial-ca.pem         the CA's certificate: osslsigncode verify -CAfile $dir/trial-ca.pem -in FILE
  trial-ca.key         the CA's key (delete it, or the folder, when done)
Try it:  bash scripts/release.sh --out OUT --pfx $dir/trial-codesign.pfx --pfx-pass-file $dir/trial-codesign.pass
TEXT
