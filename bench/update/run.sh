#!/usr/bin/env bash
# Update-run benchmark: a package from the loopback mirror unpacked into a Veloran
# folder by the real update run (native: Form1 on the headless window system, libcurl,
# libunzip32.so), against curl -o + bsdtar -xf doing the same work in the same run;
# then, when the Windows build is there, the real vlrupdate.exe under Wine.
#   bench/update/run.sh [NATIVE_BUILD_DIR] [WINDOWS_BUILD_DIR] [SIZE_MIB] [SMALL_MIB]
# defaults: build/native, the Windows build that runs under Wine on this machine
# (scripts/windows-build.sh), 50 and 10. Native figures are the best of 3 runs.
set -euo pipefail
cd "$(dirname "$0")/../.."
native=${1:-build/native}
. scripts/wine-env.sh "${2:-}"
windows=$VLR_WINDOWS_BUILD
size_mib=${3:-50}
small_mib=${4:-10}
runs=3

work=$(mktemp -d /tmp/vlr-update-bench.XXXXXX)
mirror() { python3 tools/mirror/mirror.py "$@"; }
cleanup() {
  mirror --stop --pid-file "$work/pid" >/dev/null 2>&1 || true
  rm -rf "$work"
}
trap cleanup EXIT
mkdir -p "$work/root/big" "$work/root/small"
python3 bench/unzip32/make_package.py "$work/root/big/vlr753.zip" "$size_mib"
python3 bench/unzip32/make_package.py "$work/root/small/vlr753.zip" "$small_mib"
printf '7.5.3\r\n' | tee "$work/root/big/version.html" >"$work/root/small/version.html"
mirror --daemon --root "$work/root" --port-file "$work/port" --pid-file "$work/pid" \
  --log "$work/log" --max-seconds 1800 --max-requests 500 >/dev/null
port=$(cat "$work/port")
package_bytes=$(stat -c %s "$work/root/big/vlr753.zip")
echo "package: $(awk -v b="$package_bytes" 'BEGIN { printf "%.1f MiB", b / 1048576 }'),"\
     "$(bsdtar -tf "$work/root/big/vlr753.zip" | wc -l) members, unpacked" \
     "$(python3 -c 'import sys, zipfile
print("%.1f MiB" % (sum(i.file_size for i in zipfile.ZipFile(sys.argv[1]).infolist()) / 2**20))' \
        "$work/root/big/vlr753.zip")"

best() { sort -g | head -1; }
field() { sed -n "s/.*$1=\([^ ]*\).*/\1/p"; }
fresh_folder() {  # fresh_folder DIR [LIBRARY]: an empty Veloran folder
  rm -rf "$1" && mkdir -p "$1"
  [ -z "${2:-}" ] || cp "$2" "$1/"
}

# curl + bsdtar: the download to a file, then the extraction into the folder.
tool_times=()
for _ in $(seq $runs); do
  fresh_folder "$work/tools"
  t0=$(date +%s.%N)
  curl -s -f -o "$work/tools.zip" "http://127.0.0.1:$port/big/vlr753.zip"
  bsdtar -xf "$work/tools.zip" -C "$work/tools"
  t1=$(date +%s.%N)
  rm -f "$work/tools.zip"
  tool_times+=("$(awk -v a="$t0" -v b="$t1" 'BEGIN { print b - a }')")
done
tools_s=$(printf '%s\n' "${tool_times[@]}" | best)
printf "%-34s %7.3f s\n" "curl -o + bsdtar -xf" "$tools_s"

if [ -x "$native/bin/update_bench" ]; then
  lib="$native/bin/libunzip32.so"
  out=$(fresh_folder "$work/veloran" "$lib" && \
        "$native/bin/update_bench" "$work/veloran" "127.0.0.1:$port/small/")
  small_k=$(echo "$out" | field peak_rss_kib)
  s=() k=()
  for _ in $(seq $runs); do
    fresh_folder "$work/veloran" "$lib"
    out=$("$native/bin/update_bench" "$work/veloran" "127.0.0.1:$port/big/") \
      || { echo "update run failed: $out" >&2; exit 1; }
    s+=("$(echo "$out" | field seconds)")
    k+=("$(echo "$out" | field peak_rss_kib)")
  done
  # Same files as bsdtar wrote (stored folder names are not recreated by the updater).
  (cd "$work/tools" && find . -type f -printf '%f\n' | sort) >"$work/names.tools"
  (cd "$work/veloran" && find . -type f ! -name libunzip32.so -printf '%f\n' | sort) \
    >"$work/names.ours"
  cmp -s "$work/names.tools" "$work/names.ours" || { echo "the run wrote other files" >&2; exit 1; }
  for f in $(head -3 "$work/names.ours"); do
    cmp -s "$work/veloran/$f" "$(find "$work/tools" -name "$f" | head -1)" \
      || { echo "$f differs from bsdtar's" >&2; exit 1; }
  done
  ours_s=$(printf '%s\n' "${s[@]}" | best)
  ours_k=$(printf '%s\n' "${k[@]}" | sort -g | tail -1)
  printf "%-34s %7.3f s  %.2fx curl+bsdtar  peak RSS %d KiB (%s MiB package: %d KiB)\n" \
    "update run (native)" "$ours_s" "$(awk -v a="$ours_s" -v b="$tools_s" 'BEGIN { print a / b }')" \
    "$ours_k" "$small_mib" "$small_k"
else
  echo "no native build in $native (cmake --build $native --target update_bench unzip32)" >&2
fi

if [ -f "$windows/bin/vlrupdate.exe" ] && [ -f "$windows/bin/uidriver.exe" ] && command -v wine >/dev/null; then
  exe_bytes=$(stat -c %s "$windows/bin/vlrupdate.exe")
  printf "%-34s %7.2f MiB (%d bytes)\n" "vlrupdate.exe size" \
    "$(awk -v b="$exe_bytes" 'BEGIN { print b / 1048576 }')" "$exe_bytes"
  echo "Windows build: $windows ($VLR_WINDOWS_WHY)"
  prefix=$WINEPREFIX
  win_folder="$work/winveloran"
  fresh_folder "$win_folder" "$windows/bin/unzip32.dll"
  cp "$windows/bin/vlrupdate.exe" "$win_folder/"
  cp "$windows/bin/vlrstub.exe" "$win_folder/vlrmain.exe"
  display=()
  if [ -z "${DISPLAY:-}" ]; then display=(xvfb-run -a -s "-screen 0 1024x768x24"); fi
  out=$("${display[@]}" sh -c '
    bash scripts/wine-prefix.sh start "$1" "$2/uidriver.exe" count >/dev/null &&
    python3 bench/update/wine_run.py "$2" "$3" "$4"; status=$?
    wineserver -k </dev/null >/dev/null 2>&1; exit $status' \
    sh "$prefix" "$windows/bin" "$win_folder" "127.0.0.1:$port/big/")
  printf "%-34s %7.3f s  %.2fx curl+bsdtar  (%s)\n" "update run (Wine, vlrupdate.exe)" \
    "$(echo "$out" | field run_s)" \
    "$(awk -v a="$(echo "$out" | field run_s)" -v b="$tools_s" 'BEGIN { print a / b }')" \
    "$(echo "$out" | sed -n 's/.*message="\([^"]*\)".*/\1/p')"
  printf "%-34s %7.3f s\n" "start to window shown (Wine)" "$(echo "$out" | field window_s)"
fi
