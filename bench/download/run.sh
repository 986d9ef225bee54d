#!/usr/bin/env bash
# Download benchmark: a 64 MiB body from the loopback mirror, fetched by DownloadFile
# (256-byte reads, a window-event pass after each) and by the curl command line in the
# same run; also by the Windows build through Wine's wininet when it is built.
#   bench/download/run.sh [NATIVE_BUILD_DIR] [WINDOWS_BUILD_DIR]
# defaults: build/native and the Windows build that runs under Wine on this machine
# (scripts/windows-build.sh). Each figure is the best of three runs.
set -euo pipefail
cd "$(dirname "$0")/../.."
native=${1:-build/native}
. scripts/wine-env.sh "${2:-}"
windows=$VLR_WINDOWS_BUILD
size=$((64 * 1024 * 1024))
small=$((8 * 1024 * 1024))
runs=3

work=$(mktemp -d /tmp/vlr-download-bench.XXXXXX)
mirror() { python3 tools/mirror/mirror.py "$@"; }
cleanup() {
  mirror --stop --pid-file "$work/pid" || true
  rm -rf "$work"
}
trap cleanup EXIT
mirror --daemon --root "$work" --port-file "$work/port" --pid-file "$work/pid" \
  --log "$work/log" --max-seconds 900 --max-requests 200 >/dev/null
port=$(cat "$work/port")
site="127.0.0.1:$port/size/$size/"
small_site="127.0.0.1:$port/size/$small/"

best() { sort -g | head -1; }
field() { sed -n "s/.*$1=\([^ ]*\).*/\1/p"; }

# curl: same mirror, same body, written to a file as DownloadFile does.
curl_times=()
for _ in $(seq $runs); do
  curl_times+=("$(curl -s -o "$work/curl.bin" -w '%{time_total}' "http://${site}big.bin")")
  [ "$(stat -c %s "$work/curl.bin")" = "$size" ] || { echo "curl got a short body" >&2; exit 1; }
done
curl_s=$(printf '%s\n' "${curl_times[@]}" | best)

run_ours() {  # run_ours LABEL COMMAND...: best seconds and peak RSS of $runs runs
  local label=$1 out s=() k=()
  shift
  for _ in $(seq $runs); do
    out=$("$@")
    [ "$(echo "$out" | field bytes)" = "$size" ] || { echo "$label: wrong size: $out" >&2; exit 1; }
    cmp -s "$work/curl.bin" "$work/ours.bin" || { echo "$label: body differs from curl's" >&2; exit 1; }
    s+=("$(echo "$out" | field seconds)")
    k+=("$(echo "$out" | field peak_rss_kib)")
  done
  ours_s=$(printf '%s\n' "${s[@]}" | best)
  ours_k=$(printf '%s\n' "${k[@]}" | sort -g | tail -1)
}

report() {  # report LABEL SECONDS PEAK_KIB SMALL_PEAK_KIB
  awk -v l="$1" -v s="$2" -v c="$curl_s" -v k="$3" -v k8="$4" -v n="$size" 'BEGIN {
    printf "%-22s %7.3f s  %7.1f MiB/s  throughput vs curl %.2f  peak RSS %d KiB (8 MiB body: %d KiB)\n",
           l, s, n / 1048576 / s, c / s, k, k8 }'
}

printf "%-22s %7.3f s  %7.1f MiB/s\n" "curl $(curl --version | head -1 | cut -d' ' -f2)" \
  "$curl_s" "$(awk -v s="$curl_s" -v n="$size" 'BEGIN { print n / 1048576 / s }')"

if [ -x "$native/bin/download_bench" ]; then
  small_out=$("$native/bin/download_bench" "$small_site" big.bin "$work/ours.bin")
  small_k=$(echo "$small_out" | field peak_rss_kib)
  run_ours native "$native/bin/download_bench" "$site" big.bin "$work/ours.bin"
  report "DownloadFile (native)" "$ours_s" "$ours_k" "$small_k"
else
  echo "no native build in $native (cmake --build $native --target download_bench)" >&2
fi

if [ -f "$windows/bin/download_bench.exe" ] && command -v wine >/dev/null; then
  echo "Windows build: $windows ($VLR_WINDOWS_WHY)"
  local_win="Z:$(echo "$work/ours.bin" | tr / '\\')"
  small_out=$("$WINELOADER" "$windows/bin/download_bench.exe" "$small_site" big.bin "$local_win" </dev/null)
  small_k=$(echo "$small_out" | field peak_rss_kib)
  run_ours wine "$WINELOADER" "$windows/bin/download_bench.exe" "$site" big.bin "$local_win"
  report "DownloadFile (Wine)" "$ours_s" "$ours_k" "$small_k"
fi
