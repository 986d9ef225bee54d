#!/usr/bin/env bash
# The one command for a release of the updater:
#
#   bash scripts/release.sh --out DIR [--key PUBLIC.pem ...] [--mirrors "host/path;..."]
#                           [--pfx FILE.pfx --pfx-pass-file FILE] [--timestamp-url URL]
#
# Builds the shipped 32-bit vlrupdate.exe and unzip32.dll from the commit checked out
# here (the windows preset's settings, tests off, in build/release), with the given
# package keys (several are joined with ';') and built-in mirrors. With --pfx it signs
# both with Authenticode (SHA-256; an RFC 3161 time stamp from --timestamp-url) and
# verifies each signature against the certificates in the .pfx and the system's roots,
# requiring the .pfx's own certificate as the signer. Writes DIR/vlrupdate.exe,
# DIR/unzip32.dll and DIR/SHA256SUMS, and prints the digests and the commit.
#
# Installs nothing; writes only into build/release and DIR. Everything is checked before
# anything is built, and DIR is written only once every step passed: a refusal or a
# failure leaves no DIR behind (DIR must not exist yet, or be empty).
set -euo pipefail

me=release
fail() { printf '%s: %s\n' "$me" "$*" >&2; exit 1; }
refuse() { printf '%s: refused, nothing written: %s\n' "$me" "$*" >&2; exit 2; }
usage() { sed -n '4,5p' "$0" | sed 's/^# //'; }
unknown() { printf '%s: unknown argument: %s\n' "$me" "$1" >&2; usage >&2; exit 2; }

out="" mirrors="" pfx="" pass_file="" timestamp_url=""
keys=()
while [ $# -gt 0 ]; do
  option=$1
  case "$option" in
    --*=*) value=${option#*=}; option=${option%%=*}; shift ;;
    --out|--key|--mirrors|--pfx|--pfx-pass-file|--timestamp-url)
      [ $# -ge 2 ] || refuse "$option needs a value"
      value=$2; shift 2 ;;
    -h|--help) usage; exit 0 ;;
    *) unknown "$option" ;;
  esac
  case "$option" in
    --out) out=$value ;;
    --key) keys+=("$value") ;;
    --mirrors) mirrors=$value ;;
    --pfx) pfx=$value ;;
    --pfx-pass-file) pass_file=$value ;;
    --timestamp-url) timestamp_url=$value ;;
    *) unknown "$option" ;;
  esac
done

# Paths given relative to where the command was started, before moving to the tree.
absolute() { case "$1" in /*) printf '%s' "$1" ;; *) printf '%s/%s' "$PWD" "$1" ;; esac; }

[ -n "$out" ] || refuse "--out DIR is required"
out=$(absolute "$out")
if [ -e "$out" ] || [ -L "$out" ]; then
  [ -d "$out" ] && [ ! -L "$out" ] || refuse "$out exists and is not a folder"
  [ -z "$(ls -A "$out")" ] || refuse "$out is not empty (a release never replaces another)"
fi

if [ -n "$pfx" ] && [ -z "$pass_file" ]; then
  refuse "--pfx needs --pfx-pass-file FILE (the file holds the .pfx's password)"
fi
if [ -z "$pfx" ] && [ -n "$pass_file" ]; then refuse "--pfx-pass-file without --pfx"; fi
if [ -z "$pfx" ] && [ -n "$timestamp_url" ]; then refuse "--timestamp-url without --pfx"; fi

need() {
  local tool
  for tool in "$@"; do
    command -v "$tool" >/dev/null 2>&1 ||
      refuse "$tool is not installed (scripts/bootstrap.sh installs what the release needs)"
  done
}
need git cmake ninja i686-w64-mingw32-g++-posix sha256sum
[ ${#keys[@]} -eq 0 ] && [ -z "$pfx" ] || need openssl
[ -z "$pfx" ] || need osslsigncode

# The package keys: each a readable PEM public key. CMake checks the curve.
key_list=""
for key in ${keys[@]+"${keys[@]}"}; do
  path=$(absolute "$key")
  case "$path" in *';'*) refuse "the key path $path holds a ';', the list separator" ;; esac
  [ -f "$path" ] && [ -r "$path" ] || refuse "cannot read the key $key"
  openssl pkey -pubin -in "$path" -noout 2>/dev/null ||
    refuse "the key $key is not a PEM public key"
  key_list=${key_list:+$key_list;}$path
done

# The signing certificate: the password must open the .pfx, which must hold a key and
# a certificate. Its certificate's SHA-256 is what each signature must name as signer.
pkcs12() {
  openssl pkcs12 -in "$pfx" -passin "file:$pass_file" "$@" 2>/dev/null ||
    openssl pkcs12 -legacy -in "$pfx" -passin "file:$pass_file" "$@" 2>/dev/null
}
signer_hash="" signer_subject=""
if [ -n "$pfx" ]; then
  pfx=$(absolute "$pfx")
  pass_file=$(absolute "$pass_file")
  [ -f "$pfx" ] && [ -r "$pfx" ] || refuse "cannot read the certificate file $pfx"
  [ -f "$pass_file" ] && [ -r "$pass_file" ] || refuse "cannot read the password file $pass_file"
  pkcs12 -noout ||
    refuse "$pfx does not open with the password in $pass_file (wrong password, or not a .pfx)"
  # grep -c reads to the end: openssl never meets a closed pipe.
  pkcs12 -nocerts -nodes | grep -c 'PRIVATE KEY-----' >/dev/null || refuse "$pfx holds no private key"
  leaf=$(pkcs12 -nokeys -clcerts | openssl x509 2>/dev/null) ||
    refuse "$pfx holds no certificate of its own"
  signer_hash=$(printf '%s\n' "$leaf" | openssl x509 -outform DER | sha256sum | cut -c1-64)
  signer_subject=$(printf '%s\n' "$leaf" | openssl x509 -noout -subject -nameopt RFC2253 |
                   sed 's/^subject=//')
fi

# The tree: a release is reproducible only from a commit, so nothing may differ from it
# (untracked files count: a new source file would be built in).
cd "$(dirname "$0")/.."
root=$PWD
git rev-parse --is-inside-work-tree >/dev/null 2>&1 ||
  refuse "$root is not a git working tree (a release is built from a commit)"
changes=$(git --no-optional-locks status --porcelain --untracked-files=normal)
if [ -n "$changes" ]; then
  printf '%s\n' "$changes" | head -n 10 | sed 's/^/  /' >&2
  refuse "the working tree differs from its commit (above); commit or stash first"
fi
commit=$(git rev-parse HEAD)

# Build: the windows preset in a folder of its own, from a fresh cache so no earlier
# setting survives. The build is byte-identical whatever the folder or time, so an
# incremental build gives the same files as a clean one.
build=$root/build/release
jobs=$(nproc 2>/dev/null || echo 2)
echo "== $me: building commit $commit in $build" >&2
if ! log=$(cmake --preset windows -B "$build" --fresh -DVLR_BUILD_TESTS=OFF \
             "-DVLR_PACKAGE_KEY=$key_list" "-DVLR_MIRRORS=$mirrors" 2>&1); then
  printf '%s\n' "$log" >&2
  fail "the configuration failed (above); nothing written"
fi
cmake --build "$build" -j "$jobs" --target vlrupdate unzip32 >&2 ||
  fail "the build failed (above); nothing written"

# Stage beside the build; DIR gets the files only when everything passed.
stage=$build/stage
rm -rf "$stage"
mkdir -p "$stage"
files=(vlrupdate.exe unzip32.dll)
if [ -n "$pfx" ]; then
  # The roots a signature may lead to: the system's, and the .pfx's own chain.
  roots=$stage/.roots.pem
  for bundle in /etc/ssl/certs/ca-certificates.crt "$(openssl version -d | sed 's/^[^"]*"//; s/"$//')/cert.pem"; do
    if [ -r "$bundle" ]; then cat "$bundle" >"$roots"; break; fi
  done
  pkcs12 -nokeys -cacerts >>"$roots" || true
  stamp=()
  [ -z "$timestamp_url" ] || stamp=(-ts "$timestamp_url")
  for f in "${files[@]}"; do
    echo "== $me: signing $f" >&2
    osslsigncode sign -pkcs12 "$pfx" -readpass "$pass_file" -h sha256 ${stamp[@]+"${stamp[@]}"} \
                 -in "$build/bin/$f" -out "$stage/$f" >&2 ||
      fail "signing $f failed (above); nothing written"
    if ! report=$(osslsigncode verify -CAfile "$roots" -TSA-CAfile "$roots" \
                    -require-leaf-hash "sha256:$signer_hash" -in "$stage/$f" 2>&1); then
      printf '%s\n' "$report" >&2
      fail "the signature of $f does not verify (above); nothing written"
    fi
    if [ -n "$timestamp_url" ] && ! grep -q '^Timestamp Server Signature verification: ok' <<<"$report"; then
      printf '%s\n' "$report" >&2
      fail "$f carries no verified time stamp (above); nothing written"
    fi
  done
  rm -f "$roots"
else
  for f in "${files[@]}"; do cp "$build/bin/$f" "$stage/$f"; done
fi
(cd "$stage" && sha256sum "${files[@]}" >SHA256SUMS && sha256sum --quiet -c SHA256SUMS) ||
  fail "the digests could not be written; nothing written"

mkdir -p "$out"
for f in "${files[@]}" SHA256SUMS; do mv "$stage/$f" "$out/$f"; done
rmdir "$stage"

echo "commit: $commit"
# What a rebuild needs the same of: the compilers, the libraries linked in, the tools.
toolchain=$(dpkg-query -W -f='${Package} ${Version}\n' g++-mingw-w64-i686-posix \
              gcc-mingw-w64-i686-posix binutils-mingw-w64-i686 mingw-w64-i686-dev \
              libz-mingw-w64-dev cmake ninja-build 2>/dev/null) ||
  toolchain=$(i686-w64-mingw32-g++-posix --version | head -n 1)
printf 'toolchain: %s\n' "$(printf '%s\n' "$toolchain" | paste -sd ',' | sed 's/,/, /g')"
echo "package keys: ${key_list:-none (the updater checks no signature)}"
echo "built-in mirrors: ${mirrors:-the reserved .example names}"
if [ -n "$pfx" ]; then
  echo "signed by: $signer_subject (certificate sha256 $signer_hash)"
  echo "time stamp: ${timestamp_url:-none}"
else
  echo "signed: no"
fi
echo "written to $out:"
cat "$out/SHA256SUMS"
