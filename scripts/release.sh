#!/usr/bin/env bash
# The one command for a release of the updater:
#
#   bash scripts/release.sh --out DIR [--key PUBLIC.pem ...] [--mirrors "host/path;..."]
#                           [--pfx FILE.pfx --pfx-pass-file FILE] [--timestamp-url URL]
#                           [--preset windows|windows64]
#
# Builds the shipped 32-bit vlrupdate.exe and unzip32.dll from the commit checked out
# here: an export of HEAD (git archive; nothing untracked can enter it) built with the
# windows preset's settings, tests off, in build/release, in an environment of its own
# (a fixed PATH, C locale, UTC; no compiler flags or launchers of the caller's), with
# the given package keys (several are joined with ';') and built-in mirrors. The
# updater is stamped with the release tag of HEAD, or 0.0.0-<commit> without one. With
# --pfx it signs both with Authenticode (SHA-256; an RFC 3161 time stamp from
# --timestamp-url) and verifies each signature against the certificates in the .pfx
# and the system's roots, requiring the .pfx's own certificate as the signer. Writes
# DIR/vlrupdate.exe, DIR/unzip32.dll and DIR/SHA256SUMS, and prints the digests, the
# commit, the version and every setting the build had.
#
# Installs nothing; writes only into build/release and DIR. Everything is checked before
# anything is built (the .pfx's chain of certificates included), and DIR is written only
# once every step passed: a refusal or a failure leaves no DIR behind (DIR must not
# exist yet, or be empty).
#
# --preset windows64 builds the same for x86_64 instead (in build/release64): not what
# users get, but what runs under wine64 on a machine that cannot start 32-bit programs,
# to try the whole path there.
set -euo pipefail

me=release
fail() { printf '%s: %s\n' "$me" "$*" >&2; exit 1; }
refuse() { printf '%s: refused, nothing written: %s\n' "$me" "$*" >&2; exit 2; }
usage() { sed -n '4,6p' "$0" | sed 's/^# //'; }
unknown() { printf '%s: unknown argument: %s\n' "$me" "$1" >&2; usage >&2; exit 2; }

out="" mirrors="" pfx="" pass_file="" timestamp_url="" preset=windows
keys=()
while [ $# -gt 0 ]; do
  option=$1
  case "$option" in
    --*=*) value=${option#*=}; option=${option%%=*}; shift ;;
    --out|--key|--mirrors|--pfx|--pfx-pass-file|--timestamp-url|--preset)
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
    --preset) preset=$value ;;
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
case "$preset" in
  windows) triplet=i686-w64-mingw32 arch=i686 build_name=release ;;
  windows64) triplet=x86_64-w64-mingw32 arch=x86-64 build_name=release64 ;;
  *) refuse "--preset is windows (the shipped 32-bit build) or windows64, not '$preset'" ;;
esac

# One PATH for the checks and the build alike: the system's tools, whatever the caller's.
clean_path=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin
export PATH=$clean_path
need() {
  local tool
  for tool in "$@"; do
    command -v "$tool" >/dev/null 2>&1 ||
      refuse "$tool is not installed (scripts/bootstrap.sh installs what the release needs)"
  done
}
need git cmake ninja "$triplet-g++-posix" sha256sum
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

# Scratch space for the password and the certificates, private to this run.
scratch=$(mktemp -d "${TMPDIR:-/tmp}/vlr-release.XXXXXX")
trap 'rm -rf "$scratch"' EXIT
chmod 700 "$scratch"

# The password file: read once, here, for openssl and osslsigncode alike. It holds one
# line (a CR before its end, as an editor on Windows writes it, is no part of the
# password) and nobody but its owner may read it.
if [ -n "$pfx" ]; then
  pfx=$(absolute "$pfx")
  pass_file=$(absolute "$pass_file")
  [ -f "$pfx" ] && [ -r "$pfx" ] || refuse "cannot read the certificate file $pfx"
  [ -f "$pass_file" ] && [ -r "$pass_file" ] || refuse "cannot read the password file $pass_file"
  mode=$(stat -L -c %a "$pass_file")
  [ $((8#$mode & 8#077)) -eq 0 ] ||
    refuse "the password file $pass_file is open to group or others (mode $mode): chmod 600 it"
  mapfile -t pass_lines <"$pass_file"
  [ ${#pass_lines[@]} -eq 1 ] ||
    refuse "the password file $pass_file must hold one line, the password (it holds ${#pass_lines[@]})"
  password=${pass_lines[0]%$'\r'}
  [ -n "$password" ] || refuse "the password file $pass_file holds an empty line"
  (umask 077 && printf '%s' "$password" >"$scratch/pass")
  unset password pass_lines
fi

# The signing certificate: the password must open the .pfx, which must hold a key and a
# certificate for code signing that chains to a trusted certificate: one the .pfx
# carries (its CA, for a trial; its intermediates) or one of the system's roots. The
# same certificates are what each signature is verified against after signing, so a
# .pfx refused here would only have failed after the build. Its certificate's SHA-256
# is what each signature must name as signer.
pkcs12() {
  openssl pkcs12 -in "$pfx" -passin "file:$scratch/pass" "$@" 2>/dev/null ||
    openssl pkcs12 -legacy -in "$pfx" -passin "file:$scratch/pass" "$@" 2>/dev/null
}
signer_hash="" signer_subject=""
roots=$scratch/roots.pem
if [ -n "$pfx" ]; then
  pkcs12 -noout ||
    refuse "$pfx does not open with the password in $pass_file (wrong password, or not a .pfx)"
  # grep -c reads to the end: openssl never meets a closed pipe.
  pkcs12 -nocerts -nodes | grep -c 'PRIVATE KEY-----' >/dev/null || refuse "$pfx holds no private key"
  leaf=$(pkcs12 -nokeys -clcerts | openssl x509 2>/dev/null) ||
    refuse "$pfx holds no certificate of its own"
  printf '%s\n' "$leaf" >"$scratch/leaf.pem"
  signer_hash=$(openssl x509 -in "$scratch/leaf.pem" -outform DER | sha256sum | cut -c1-64)
  signer_subject=$(openssl x509 -in "$scratch/leaf.pem" -noout -subject -nameopt RFC2253 |
                   sed 's/^subject=//')
  : >"$roots"
  for bundle in /etc/ssl/certs/ca-certificates.crt "$(openssl version -d | sed 's/^[^"]*"//; s/"$//')/cert.pem"; do
    if [ -r "$bundle" ]; then cat "$bundle" >"$roots"; break; fi
  done
  pkcs12 -nokeys -cacerts >>"$roots" || true
  if ! verdict=$(openssl verify -CAfile "$roots" "$scratch/leaf.pem" 2>&1); then
    reason=$(printf '%s\n' "$verdict" | sed -n 's/^error [0-9]* at [0-9]* depth lookup: //p' | head -n 1)
    refuse "the certificate in $pfx ($signer_subject) does not chain to a trusted certificate" \
           "(${reason:-$verdict}): the .pfx must carry its CA's certificates" \
           "(openssl pkcs12 -export ... -certfile CA.pem) or the CA must be among the system's" \
           "roots; for a trial, scripts/trial-signing.sh DIR makes a matching CA and .pfx"
  fi
  openssl x509 -in "$scratch/leaf.pem" -noout -ext extendedKeyUsage 2>/dev/null |
    grep -q 'Code Signing' ||
    refuse "the certificate in $pfx ($signer_subject) is not for code signing (no extendedKeyUsage codeSigning)"
fi

# The tree: the release is built from the commit alone, so a tracked file that differs
# from it would be a change the publisher sees but the release lacks. The comparison is
# made through an index read afresh from HEAD: files marked skip-worktree or
# assume-unchanged in the checkout's own index are compared like any other. Untracked
# files (keys, certificates, notes) are no concern: the export leaves them out.
cd "$(dirname "$0")/.."
root=$PWD
git rev-parse --is-inside-work-tree >/dev/null 2>&1 ||
  refuse "$root is not a git working tree (a release is built from a commit)"
commit=$(git rev-parse --verify HEAD 2>/dev/null) || refuse "$root has no commit to release"
GIT_INDEX_FILE=$scratch/index git read-tree HEAD
GIT_INDEX_FILE=$scratch/index git update-index -q --refresh >/dev/null || true
changes=$(GIT_INDEX_FILE=$scratch/index git --no-optional-locks diff-files --name-status)
if [ -n "$changes" ]; then
  printf '%s\n' "$changes" | head -n 10 | sed 's/^/  /' >&2
  refuse "tracked files differ from commit $commit (above): the release is built from the" \
         "commit alone, so put them back as committed (git checkout -- FILE) or release a" \
         "commit that holds the change (untracked files never enter the build)"
fi

# The built-in mirrors become C++ source: checked, by the rule the build applies,
# before they get there.
if [ -n "$mirrors" ]; then
  if ! reason=$(cmake "-DMIRRORS=$mirrors" -P "$root/cmake/BuiltInMirrors.cmake" 2>&1); then
    refuse "--mirrors: $(printf '%s\n' "$reason" | sed -n 's/^VLR_MIRRORS: //p')"
  fi
fi

# The updater's version: the release tag on HEAD, else 0.0.0 and the commit.
version=$(git describe --tags --exact-match HEAD 2>/dev/null || true)
[ -n "$version" ] || version=0.0.0-$(git rev-parse --short=12 HEAD)
[[ $version =~ ^[0-9A-Za-z][0-9A-Za-z.+_-]{0,63}$ ]] ||
  refuse "the tag $version cannot name a version (letters, digits and . + _ - only)"

# The export and the build: the windows preset in folders of their own, from a fresh
# cache so no earlier setting survives, in an environment that holds nothing of the
# caller's but HOME. The build is byte-identical whatever the folder or time, so an
# incremental build gives the same files as a clean one.
build=$root/build/$build_name
source=$build/source binary=$build/build
rm -rf "$source"
mkdir -p "$source"
git archive --format=tar HEAD | tar -x -C "$source"
environment=(PATH="$clean_path" HOME="$HOME" LC_ALL=C TZ=UTC)
left_out=$(compgen -e | grep -E '^((C|CXX|CPP|LD|RC)FLAGS|CC|CXX|RC|CMAKE_.*|CCACHE_.*|MAKEFLAGS|NINJA_.*|SOURCE_DATE_EPOCH)$' |
           paste -sd ' ' || true)
jobs=$(nproc 2>/dev/null || echo 2)
echo "== $me: building commit $commit (version $version) in $binary" >&2
echo "== $me: environment: ${environment[*]} (nothing else)" >&2
[ -z "$left_out" ] || echo "== $me: left out of the build: $left_out" >&2
configure=(cmake --preset "$preset" -S "$source" -B "$binary" --fresh -DVLR_BUILD_TESTS=OFF
           "-DVLR_PACKAGE_KEY=$key_list" "-DVLR_MIRRORS=$mirrors" "-DVLR_UPDATER_VERSION=$version")
echo "== $me: ${configure[*]}" >&2
if ! log=$(cd "$source" && env -i "${environment[@]}" "${configure[@]}" 2>&1); then
  printf '%s\n' "$log" >&2
  fail "the configuration failed (above); nothing written"
fi
# Every flag in effect besides the project's own (in CMakeLists.txt at the commit).
settings=$(env -i "${environment[@]}" cmake -N -LA "$binary" 2>/dev/null |
           grep -E '^(CMAKE_BUILD_TYPE|CMAKE_TOOLCHAIN_FILE|CMAKE_(C|CXX|RC)_(COMPILER|COMPILER_LAUNCHER|FLAGS[A-Z_]*)|CMAKE_(EXE|SHARED|MODULE|STATIC)_LINKER_FLAGS[A-Z_]*|VLR_[A-Z_]*):' |
           sed 's/:[A-Z]*=/=/')
printf '%s\n' "$settings" | sed "s/^/== $me: build setting: /" >&2
env -i "${environment[@]}" cmake --build "$binary" -j "$jobs" --target vlrupdate unzip32 >&2 ||
  fail "the build failed (above); nothing written"

# Stage beside the build; DIR gets the files only when everything passed.
stage=$build/stage
rm -rf "$stage"
mkdir -p "$stage"
files=(vlrupdate.exe unzip32.dll)
if [ -n "$pfx" ]; then
  stamp=()
  [ -z "$timestamp_url" ] || stamp=(-ts "$timestamp_url")
  for f in "${files[@]}"; do
    echo "== $me: signing $f" >&2
    osslsigncode sign -pkcs12 "$pfx" -readpass "$scratch/pass" -h sha256 ${stamp[@]+"${stamp[@]}"} \
                 -in "$binary/bin/$f" -out "$stage/$f" >&2 ||
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
else
  for f in "${files[@]}"; do cp "$binary/bin/$f" "$stage/$f"; done
fi
(cd "$stage" && sha256sum "${files[@]}" >SHA256SUMS && sha256sum --quiet -c SHA256SUMS) ||
  fail "the digests could not be written; nothing written"

mkdir -p "$out"
for f in "${files[@]}" SHA256SUMS; do mv "$stage/$f" "$out/$f"; done
rmdir "$stage"

echo "commit: $commit"
echo "updater version: $version"
[ "$preset" = windows ] ||
  echo "preset: $preset (x86_64, for trying the path under wine64; users get the windows preset's build)"
# What a rebuild needs the same of: the compilers, the libraries linked in, the tools.
toolchain=$(dpkg-query -W -f='${Package} ${Version}\n' "g++-mingw-w64-$arch-posix" \
              "gcc-mingw-w64-$arch-posix" "binutils-mingw-w64-$arch" "mingw-w64-$arch-dev" \
              libz-mingw-w64-dev cmake ninja-build 2>/dev/null) ||
  toolchain=$("$triplet-g++-posix" --version | head -n 1)
printf 'toolchain: %s\n' "$(printf '%s\n' "$toolchain" | paste -sd ',' | sed 's/,/, /g')"
echo "package keys: ${key_list:-none (the updater checks no signature)}"
echo "built-in mirrors: ${mirrors:-the reserved .example names}"
printf '%s\n' "$settings" | sed 's/^/build setting: /'
if [ -n "$pfx" ]; then
  echo "signed by: $signer_subject (certificate sha256 $signer_hash)"
  echo "time stamp: ${timestamp_url:-none}"
else
  echo "signed: no"
fi
echo "written to $out:"
cat "$out/SHA256SUMS"
