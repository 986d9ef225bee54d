#!/usr/bin/env bash
# The time a "/quiet" update of the demo package takes under Wine: the demo's sample
# Veloran folder and package (scripts/demo_tool.py), served from the loopback mirror,
# updated by vlrupdate.exe /quiet with a run log, five times from a fresh folder, then
# once more at the version now installed (no package request). The prefix is warmed
# first, with its server kept running, as in the tests.
#   xvfb-run -a bash bench/update/quiet_run.sh [WINDOWS_BUILD_DIR]
set -euo pipefail
cd "$(dirname "$0")/../.."
. scripts/wine-env.sh "${1:-}"
build=$VLR_WINDOWS_BUILD
work=$(mktemp -d /tmp/vlr-quiet-bench.XXXXXX)
mirror() { python3 tools/mirror/mirror.py "$@"; }
cleanup() {
  mirror --stop --pid-file "$work/mirror.pid" >/dev/null 2>&1 || true
  wineserver -k </dev/null >/dev/null 2>&1 || true
  rm -rf "$work"
}
trap cleanup EXIT
make_folder() { python3 scripts/demo_tool.py make --bin-dir "$build/bin" --demo-dir "$work" >/dev/null; }
make_folder
mirror --daemon --root "$work/mirror-root" --port-file "$work/mirror.port" \
  --pid-file "$work/mirror.pid" --log "$work/mirror.log" --max-seconds 300 --max-requests 100 >/dev/null
site="127.0.0.1:$(cat "$work/mirror.port")/"
bash scripts/wine-prefix.sh start "$WINEPREFIX" "$build/bin/uidriver.exe" count
log="Z:$(echo "$work/update.log" | tr / '\\')"
quiet() {
  local start end rc=0
  start=$(date +%s.%N)
  "$WINELOADER" "$work/veloran/vlrupdate.exe" /quiet "/log:$log" E "$site" </dev/null >/dev/null 2>&1 || rc=$?
  end=$(date +%s.%N)
  printf '%s: exit %d, %.2f s\n' "$1" "$rc" "$(echo "$end - $start" | bc)"
}
echo "== $build, Wine: $WINELOADER"
for i in 1 2 3 4 5; do
  make_folder
  quiet "update $i"
done
quiet "up to date"
echo "== the last block of the run log:"
tail -n 12 "$work/update.log" | tr -d '\r'
