#!/usr/bin/env bash
# publisher_walk.sh SOURCE
# The publisher's path as docs/publishers.md gives it: its ```sh blocks, in order, run as
# written by a newcomer whose HOME is a fresh folder (keys, certificates, releases and
# mirrors all outside the checkout), in a git repository made from a copy of SOURCE's
# working tree, with the example mirror address and web folder pointed at a loopback
# mirror (tools/mirror/mirror.py). The walk builds vlrpublish alone, makes keys and a
# trial certificate, releases twice (keys A and a backup; then B and C), makes the
# mirrors with an expiry line, checks them, re-signs, and runs two installs under Wine:
# one of release 1 (trusting A and the backup) and one of release 2 (trusting B and C),
# both updating from the one mirror that carries A's and B's signatures.
# The releases are of the preset this machine runs under Wine (scripts/windows-build.sh),
# as the page says. Prints how long the walk took. Needs Wine and a display.
set -euo pipefail
src=$(cd "$1" && pwd)
here=$(cd "$(dirname "$0")" && pwd)

. "$here/support.sh" publisher-walk
commit=$(git rev-parse --short=12 HEAD)

# The newcomer's home: Veloran's release folders (stand-ins for its files), nothing else.
home=$work/home
veloran() {  # veloran FOLDER VERSION PROGRAM
  mkdir -p "$1"
  printf 'Veloran %s\r\n' "$2" >"$1/$3"
  printf 'Read me, Veloran %s\r\n' "$2" >"$1/readme.txt"
}
veloran "$home/veloran-7.5.2" 7.5.2 vlrmain.exe
for v in 7.5.3 7.5.4; do
  veloran "$home/veloran-$v/en" "$v" vlrmain.exe
  veloran "$home/veloran-$v/fr" "$v fr" vlrmainfr.exe
done

# The web server's folder, served on the loopback interface.
www=$work/www
mkdir -p "$www"
python3 "$src/tools/mirror/mirror.py" --root "$www" --port-file "$work/mirror.port" \
        --max-seconds 3000 2>"$work/mirror.log" &
children+=($!)
for _ in $(seq 100); do [ -s "$work/mirror.port" ] && break; sleep 0.1; done
port=$(cat "$work/mirror.port")
[ -n "$port" ] || { echo "the loopback mirror did not start"; exit 1; }

# The walk: every ```sh block of the page, in order, each command echoed as it runs.
page=$repo/docs/publishers.md
{
  echo 'set -euo pipefail'
  echo 'set -x'
  awk '/^```sh$/ { inside = 1; next } /^```/ { inside = 0; next } inside { print }' "$page" |
    sed -e "s|mirror\.host/vlr|127.0.0.1:$port|g" -e "s|/var/www/vlr|$www|g"
} >"$work/walk.sh"
blocks=$(grep -c '^```sh$' "$page")
[ "$blocks" -ge 10 ] || { echo "FAIL: docs/publishers.md has $blocks walk blocks"; exit 1; }
started=$SECONDS
rc=0
(cd "$repo" && env HOME="$home" bash "$work/walk.sh") >"$work/walk.out" 2>&1 || rc=$?
took=$((SECONDS - started))
echo "the walk of $blocks blocks took $took s (exit code $rc)"
if [ "$rc" -ne 0 ]; then
  tail -n 40 "$work/walk.out"
  echo "FAIL: a command of the walk failed (above)"
  exit 1
fi
echo "ok: every command of docs/publishers.md ran as written"

# Where the walk ended.
block() {  # block LOG N: the Nth block of a run log (1 = the first)
  awk -v n="$2" '/^== vlrupdate run/ { k++ } k == n' "$1" | tr -d '\r'
}
has() {  # has TEXT LINE...: every LINE is a line of TEXT
  local text=$1 line; shift
  for line in "$@"; do
    grep -qxF -- "$line" <<<"$text" || { echo "  missing: $line"; printf '%s\n' "$text" | sed 's/^/  | /'; return 1; }
  done
}
today=$(date -u +%F)
expires=$(date -u -d "+30 days" +%F)
check "nothing secret in the checkout" test -z "$(git status --porcelain --ignored -- . ':!build')"
check "the install of release 1 took 7.5.3, signed with A, its version file expiring" \
  has "$(block "$home/try/update.log" 1)" "updater version: 0.0.0-$commit" \
      "package keys: 2 built in" "signature of version.html: good (key 1 of 2)" \
      "version file expires on $expires (today $today)" \
      "outcome: Update succeeded! / Version 7.5.3" "exit code: 0"
check "then 7.5.4 from the mirror signed by A and B, through the old key's signature" \
  has "$(block "$home/try/update.log" 2)" "package keys: 2 built in" \
      "signature of version.html: good (key 1 of 2)" \
      "outcome: Update succeeded! / Version 7.5.4" "exit code: 0"
check "the install of release 2 (B and C only) took 7.5.4 through the second signature" \
  has "$(block "$home/try-new/update.log" 1)" "updater version: 0.0.0-$commit" \
      "package keys: 2 built in" "signature of version.html: good (version.html.sig2, key 1 of 2)" \
      "outcome: Update succeeded! / Version 7.5.4" "exit code: 0"
for install in try try-new; do
  check "$install holds 7.5.4 and release 2's updater" sh -c '
    printf "Veloran 7.5.4\r\n" | cmp -s - "$1/vlrmain.exe" && printf "754\r\n" | cmp -s - "$1/vlrupdate.installed" &&
    cmp -s "$2/vlrupdate.exe" "$1/vlrupdate.exe"' sh "$home/$install" "$home/rel/2"
done
check "check reported the second signature" grep -q 'version.html.sig2' "$work/walk.out"

[ "$failures" -eq 0 ] || { echo "$failures check(s) failed"; exit 1; }
echo "all publisher walk checks passed"
