#!/usr/bin/env bash
# release_test.sh SOURCE
# scripts/release.sh on a git repository made from a copy of SOURCE's working tree
# (the developer's own tree is never touched), with a throw-away CA, a code-signing
# certificate and a loopback RFC 3161 time-stamp server made here:
#   - what it refuses, each with its message, exit code 2, no DIR written and within
#     seconds (before any build): a modified tracked file, also one hidden by
#     skip-worktree or assume-unchanged; a missing, a wrong, a two-line and a
#     world-readable password file; a self-signed .pfx and one without its CA; an
#     unreadable key, a private key given as a key, a DIR that is not empty; mirrors
#     that would change the source (a quote, a backslash escape, an empty entry);
#   - an untracked source file (even one .git/info/exclude hides) is no refusal and
#     does not enter the build; CXXFLAGS and a compiler launcher in the environment
#     do not reach it;
#   - a signed, time-stamped release with two keys and mirrors: exactly the three files,
#     each signature verifies with `osslsigncode verify -CAfile` and carries a verified
#     time stamp, SHA256SUMS checks, the digests and the commit are printed, the
#     updater carries both keys, the mirrors and its version 0.0.0-<commit>, the
#     password file's CR LF is no part of the password, and the tree is still clean;
#   - anyone's check: the released files without their signatures match a rebuild's
#     SHA256SUMS;
set -euo pipefail
src=$(cd "$1" && pwd)
here=$(cd "$(dirname "$0")" && pwd)

. "$here/support.sh" release-test
commit=$(git rev-parse HEAD)
release() { bash "$repo/scripts/release.sh" "$@"; }

# The certificates: a CA, a code-signing certificate in a .pfx with the CA's
# certificate, the same without it, and a time-stamp authority's certificate.
pki=$work/pki
mkdir -p "$pki"
(
  cd "$pki"
  quiet() { "$@" >/dev/null 2>&1 || { echo "failed: $*" >&2; exit 1; }; }
  quiet openssl req -x509 -newkey rsa:2048 -nodes -keyout ca.key -out ca.pem -days 2 \
        -subj "/CN=Throw-away Release Test CA" \
        -addext basicConstraints=critical,CA:TRUE -addext keyUsage=critical,keyCertSign,cRLSign
  issue() {  # issue NAME SUBJECT EXTENDED_KEY_USAGE
    quiet openssl req -newkey rsa:2048 -nodes -keyout "$1.key" -out "$1.csr" -subj "$2"
    printf 'basicConstraints=CA:FALSE\nkeyUsage=critical,digitalSignature\nextendedKeyUsage=%s\n' \
           "$3" >"$1.ext"
    quiet openssl x509 -req -in "$1.csr" -CA ca.pem -CAkey ca.key -CAcreateserial -days 2 \
          -extfile "$1.ext" -out "$1.pem"
  }
  issue signer "/CN=Release Test Publisher" codeSigning
  issue tsa "/CN=Release Test Time Stamps" critical,timeStamping
  printf 'a pass phrase\r\n' >pass.txt  # as a Windows editor writes it: the CR is no part
  printf 'another pass phrase\n' >wrong.txt
  printf 'a pass phrase\nand more\n' >two-lines.txt
  printf 'a pass phrase\n' >open.txt
  chmod 600 pass.txt wrong.txt two-lines.txt
  chmod 644 open.txt
  quiet openssl req -x509 -newkey rsa:2048 -nodes -keyout self.key -out self.pem -days 2 \
        -subj "/CN=Self-signed Publisher" -addext extendedKeyUsage=codeSigning
  quiet openssl pkcs12 -export -inkey self.key -in self.pem -passout "pass:a pass phrase" -out self.pfx
  quiet openssl pkcs12 -export -inkey signer.key -in signer.pem -certfile ca.pem \
        -passout "pass:a pass phrase" -out signer.pfx
  quiet openssl pkcs12 -export -inkey signer.key -in signer.pem -passout "pass:a pass phrase" \
        -out alone.pfx
  cp ca.pem chain.pem
  echo 01 >serial
  cat >ts.cnf <<EOF
[tsa]
default_tsa = tsa_config
[tsa_config]
serial = $pki/serial
crypto_device = builtin
signer_digest = sha256
default_policy = 1.2.3.4.1
digests = sha256, sha384, sha512
accuracy = secs:1
ess_cert_id_alg = sha256
certs = $pki/chain.pem
EOF
)
python3 "$here/timestamp_server.py" "$pki" >"$work/tsa.port" &
children+=($!)
for _ in $(seq 100); do [ -s "$work/tsa.port" ] && break; sleep 0.1; done
port=$(cat "$work/tsa.port")
[ -n "$port" ] || { echo "the time-stamp server did not start"; exit 1; }

key=$src/tests/signing/keys/test_public.pem
backup=$src/tests/signing/keys/other_public.pem  # a second key: a release may trust several
mirrors="one.example/vlr;two.example/vlr;https://three.example/vlr"
signing=(--pfx "$pki/signer.pfx" --pfx-pass-file "$pki/pass.txt")

# Refusals: each before anything is built, so within seconds.
refused() {  # refused WHAT TEXT DIR ARGS...: exit code 2, TEXT said, DIR not written
  local what=$1 text=$2 dir=$3 before="" output rc=0 started=$SECONDS
  shift 3
  before=$(ls -A "$dir" 2>/dev/null || true)
  output=$(release --out "$dir" "$@" 2>&1) || rc=$?
  if [ "$rc" -eq 2 ] && grep -qF -- "$text" <<<"$output" &&
     [ "$(ls -A "$dir" 2>/dev/null || true)" = "$before" ] && [ $((SECONDS - started)) -lt 20 ] &&
     [ ! -d "$repo/build/release" ]; then
    echo "ok: refused: $what"
  else
    echo "FAIL: refused: $what (exit $rc after $((SECONDS - started)) s, DIR now: $(ls -A "$dir" 2>&1 | tr '\n' ' ')):"
    printf '%s\n' "$output" | tail -n 15
    failures=$((failures + 1))
  fi
}
out=$work/out
echo "Veloran" >>"$repo/README.md"
refused "a modified file" "tracked files differ from commit" "$out" "${signing[@]}"
git update-index --skip-worktree README.md
refused "a modified file marked skip-worktree" "tracked files differ from commit" "$out"
git update-index --no-skip-worktree README.md
git update-index --assume-unchanged README.md
refused "a modified file marked assume-unchanged" "tracked files differ from commit" "$out"
git update-index --no-assume-unchanged README.md
git checkout -q -- README.md
refused "a missing password file" "cannot read the password file" "$out" \
        --pfx "$pki/signer.pfx" --pfx-pass-file "$pki/none.txt"
refused "a wrong password" "does not open with the password" "$out" \
        --pfx "$pki/signer.pfx" --pfx-pass-file "$pki/wrong.txt"
refused "a password file of two lines" "must hold one line" "$out" \
        --pfx "$pki/signer.pfx" --pfx-pass-file "$pki/two-lines.txt"
refused "a password file others can read" "is open to group or others (mode 644)" "$out" \
        --pfx "$pki/signer.pfx" --pfx-pass-file "$pki/open.txt"
refused "a self-signed .pfx" "does not chain to a trusted certificate (self-signed certificate)" \
        "$out" --pfx "$pki/self.pfx" --pfx-pass-file "$pki/pass.txt"
refused "a .pfx without its CA" "does not chain to a trusted certificate" "$out" \
        --pfx "$pki/alone.pfx" --pfx-pass-file "$pki/pass.txt"
refused "an unreadable key" "cannot read the key" "$out" --key "$pki/none.pem"
refused "a private key as the key" "is not a PEM public key" "$out" --key "$pki/signer.key"
mkdir "$work/full" && touch "$work/full/earlier"
refused "a DIR that is not empty" "is not empty" "$work/full"
# Untracked files are no refusal: the mirrors' refusal, the last check, is reached.
touch "$repo/vlrupdate/wizard/new_step.cpp" "$repo/private.pem"
echo "new_step.cpp" >>"$repo/.git/info/exclude"
refused "a quote in a mirror" '"a", L"x" is not a mirror address' "$out" --mirrors 'a", L"x;b;c'
refused "an escape in a mirror" '"\x41" is not a mirror address' "$out" --mirrors '\x41;b;c'
refused "an empty mirror" 'entry 2 of "a;;b" is empty' "$out" --mirrors 'a;;b'

# A signed, time-stamped release.
# From an untracked source file (above) and a caller's flags that would break the build.
if ! CXXFLAGS="-DVLR_BROKEN -include /nonexistent.h" CMAKE_CXX_COMPILER_LAUNCHER=/bin/false \
     release --out "$out" --key "$key" --key "$backup" --mirrors "$mirrors" "${signing[@]}" \
       --timestamp-url "http://127.0.0.1:$port/" >"$work/release.out" 2>"$work/release.err"; then
  tail -n 40 "$work/release.err"
  echo "FAIL: the release failed"
  exit 1
fi
check "exactly the three files" \
      test "$(ls -A "$out" | tr '\n' ' ')" = "SHA256SUMS unzip32.dll vlrupdate.exe "
check "SHA256SUMS checks" sh -c 'cd "$1" && sha256sum --quiet --strict -c SHA256SUMS' sh "$out"
check "the commit is printed" grep -qxF "commit: $commit" "$work/release.out"
check "the digests are printed" sh -c 'grep -qxFf "$1/SHA256SUMS" "$2" &&
  [ "$(grep -cxFf "$1/SHA256SUMS" "$2")" -eq 2 ]' sh "$out" "$work/release.out"
for f in vlrupdate.exe unzip32.dll; do
  verified() {
    local report
    report=$(osslsigncode verify -CAfile "$pki/ca.pem" -TSA-CAfile "$pki/ca.pem" -in "$out/$f" 2>&1) &&
      grep -q '^Timestamp Server Signature verification: ok' <<<"$report" &&
      grep -q 'Subject: /CN=Release Test Publisher' <<<"$report" ||
      { printf '%s\n' "$report" | tail -n 20; return 1; }
  }
  check "$f: signature and time stamp verify with -CAfile" verified
done
check "the updater carries both keys and the mirrors" python3 - "$out/vlrupdate.exe" "$mirrors" "$key" "$backup" <<'EOF'
import subprocess, sys
program = open(sys.argv[1], "rb").read()
points = [subprocess.run(["openssl", "pkey", "-pubin", "-in", k, "-outform", "DER"],
                         check=True, capture_output=True).stdout[-65:] for k in sys.argv[3:]]
wanted = points + [m.encode("utf-16-le") for m in sys.argv[2].split(";")]
sys.exit(0 if all(w in program for w in wanted) else 1)
EOF
check "the updater carries its version" python3 - "$out/vlrupdate.exe" "0.0.0-${commit:0:12}" <<'EOF'
import sys
sys.exit(0 if sys.argv[2].encode("utf-16-le") in open(sys.argv[1], "rb").read() else 1)
EOF
check "the version, the caller's variables left out and the settings are printed" sh -c '
  grep -qxF "updater version: 0.0.0-$1" "$2" && grep -q "^build setting: CMAKE_CXX_FLAGS=" "$2" &&
  grep -q "left out of the build: .*CMAKE_CXX_COMPILER_LAUNCHER" "$3" &&
  grep -q "left out of the build: .*CXXFLAGS" "$3"' sh "${commit:0:12}" "$work/release.out" "$work/release.err"
check "the untracked source did not enter the build" sh -c '! grep -rqs new_step "$1"' sh "$repo/build/release/build/build.ninja"
rm "$repo/vlrupdate/wizard/new_step.cpp" "$repo/private.pem"
check "the tree is still clean" test -z "$(git status --porcelain)"

# Anyone's check: rebuild the commit unsigned, strip the signatures from the release,
# and the two agree.
rebuilt=$work/rebuilt stripped=$work/stripped
mkdir "$stripped"
if release --out "$rebuilt" --key "$key" --key "$backup" --mirrors "$mirrors" \
     >"$work/rebuild.out" 2>&1; then
  for f in vlrupdate.exe unzip32.dll; do
    osslsigncode remove-signature -in "$out/$f" -out "$stripped/$f" >/dev/null
  done
  check "the release less its signatures matches a rebuild's SHA256SUMS" \
        sh -c 'cd "$1" && sha256sum --quiet --strict -c "$2/SHA256SUMS"' sh "$stripped" "$rebuilt"
else
  tail -n 20 "$work/rebuild.out"
  echo "FAIL: the rebuild failed"
  failures=$((failures + 1))
fi

[ "$failures" -eq 0 ] || { echo "$failures check(s) failed"; exit 1; }
echo "all release checks passed"
