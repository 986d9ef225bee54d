#!/usr/bin/env bash
# vlrpublish make on a release folder of SIZE_MIB (half text that deflates, half random
# bytes that are stored), against zip -9 -X -j and 7z a -tzip -mx9 packing the same
# files (neither of which checks its output); then vlrpublish check on the result,
# served by the loopback mirror. Prints wall time, peak RSS and package size.
#   bench/publish/run.sh [NATIVE_BUILD_DIR] [SIZE_MIB]     (defaults: build/native, 64)
set -euo pipefail
cd "$(dirname "$0")/../.."
build=${1:-build/native}
size_mib=${2:-64}
program=$build/bin/vlrpublish
work=$(mktemp -d /tmp/vlr-publish-bench.XXXXXX)
cleanup() {
  python3 tools/mirror/mirror.py --stop --pid-file "$work/pid" >/dev/null 2>&1 || true
  rm -rf "$work"
}
trap cleanup EXIT
mkdir -p "$work/en"
half=$((size_mib * 512 * 1024))
head -c "$half" /dev/urandom >"$work/en/random.bin"
yes "Veloran release notes, a line of text that deflates well" | head -c "$half" \
  >"$work/en/notes.txt" || true
for i in $(seq 1 50); do printf 'small file %d\r\n' "$i" >"$work/en/small$i.txt"; done

measure() {  # label, command...
  local label=$1
  shift
  /usr/bin/time -f "%e %M" -o "$work/time" "$@" >/dev/null 2>&1
  awk -v label="$label" '{printf "%-34s %6.2f s  peak RSS %6.1f MiB\n", label, $1, $2 / 1024}' \
    "$work/time"
}

measure "vlrpublish make (with self-check)" "$program" make --version 7.5.3 --en "$work/en" \
  --out "$work/mirror"
measure "zip -9 -X -j" zip -q -9 -X -j "$work/zip.zip" "$work/en"/*
measure "7z a -tzip -mx9" 7z a -tzip -mx9 "$work/7z.zip" "$work/en"/*
printf 'package sizes: vlrpublish %d, zip %d, 7z %d bytes\n' \
  "$(stat -c %s "$work/mirror/vlr753.zip")" "$(stat -c %s "$work/zip.zip")" \
  "$(stat -c %s "$work/7z.zip")"

python3 tools/mirror/mirror.py --daemon --root "$work/mirror" --port-file "$work/port" \
  --pid-file "$work/pid" --max-seconds 600 >/dev/null
measure "vlrpublish check" "$program" check "127.0.0.1:$(cat "$work/port")/"
