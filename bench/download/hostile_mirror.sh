#!/usr/bin/env bash
# What a hostile mirror can cost an unattended run of the native updater: how long a
# "/quiet" run takes to give up on a mirror that drips two bytes a second (the default
# minimum rate, with and without a digest line for continuations, and with
# "/deadline:20"), and the most bytes its run folder ever held
# against answers that run on past their end or announce more than a package may hold.
# Loopback mirror only. Takes about eight minutes.
#   bash bench/download/hostile_mirror.sh [NATIVE_BUILD_DIR]
set -euo pipefail
cd "$(dirname "$0")/../.."
build=${1:-build/native}
work=$(mktemp -d /tmp/vlr-hostile.XXXXXX)
mirror() { python3 tools/mirror/mirror.py "$@"; }
cleanup() {
  mirror --stop --pid-file "$work/mirror.pid" >/dev/null 2>&1 || true
  rm -rf "$work"
}
trap cleanup EXIT
mkdir -p "$work/root" "$work/tmp"
python3 - "$work/root" <<'PY'
import hashlib, io, os, random, sys, zipfile
root = sys.argv[1]
rng = random.Random(7)
buffer = io.BytesIO()
with zipfile.ZipFile(buffer, "w", zipfile.ZIP_STORED) as z:
    z.writestr("vlrdata.dat", bytes(rng.getrandbits(8) for _ in range(200000)))
package = buffer.getvalue()
page = b"7.5.3\r\n\r\n<!-- sha256 vlr753.zip %s -->\r\n" % hashlib.sha256(package).hexdigest().encode()
for folder in ("", "endless"):
    os.makedirs(os.path.join(root, folder), exist_ok=True)
    open(os.path.join(root, folder, "version.html"), "wb").write(page)
    open(os.path.join(root, folder, "vlr753.zip"), "wb").write(package)
print("package: %d bytes" % len(package))
PY
mirror --daemon --root "$work/root" --port-file "$work/mirror.port" --pid-file "$work/mirror.pid" \
  --log "$work/mirror.log" --max-seconds 900 --max-requests 200 >/dev/null
site="127.0.0.1:$(cat "$work/mirror.port")"
size=$(stat -c %s "$work/root/vlr753.zip")

# run LABEL PATH [OPTIONS...]: a fresh Veloran folder, one /quiet run; prints the exit
# code, the time and the most bytes seen in the run's folders (sampled every 20 ms).
run() {
  local label=$1 path=$2
  shift 2
  rm -rf "$work/veloran" "$work/tmp"/*
  mkdir -p "$work/veloran"
  cp "$build/bin/vlrupdate" "$build/bin/libunzip32.so" "$work/veloran/"
  local start end rc most=0 now
  start=$(date +%s.%N)
  TMPDIR="$work/tmp" "$work/veloran/vlrupdate" /quiet "/log:$work/run.log" "$@" E "$site/$path" &
  local pid=$!
  while kill -0 "$pid" 2>/dev/null; do
    now=$(du -sb "$work/tmp" 2>/dev/null | cut -f1)
    [ "${now:-0}" -gt "$most" ] && most=$now
    sleep 0.02
  done
  rc=0
  wait "$pid" || rc=$?
  end=$(date +%s.%N)
  printf '%-40s exit %d, %6.1f s, at most %d bytes in the run folder\n' \
    "$label" "$rc" "$(echo "$end - $start" | bc)" "$most"
  tail -n 12 "$work/run.log" | tr -d '\r' | grep -E 'request|below|download|broken' | sed 's/^/    /'
}

echo "== $build; package $size bytes; the run folder itself counts 4096 bytes or so"
run "drip, no digest line, default limits" "drip/size/100000/"
run "drip, digest named, default limits" "drip/"
run "drip, /deadline:20" "drip/" /deadline:20
run "206 without end (digest named)" "break-once/$((size / 2))/range/vlr753.zip/range/endless/endless/"
run "Content-Length 99999999999" "announce/99999999999/"
