#!/usr/bin/env bash
# Update-run benchmark: a package from the loopback mirror unpacked into a Veloran
# folder by the real update run (native: Form1 on the headless window system, libcurl,
# libunzip32.so), against curl -o + bsdtar -xf doing the same work in the same run;
# then, when the Windows build is there, the real vlrupdate.exe under Wine.
#   bench/update/run.sh [NATIVE_BUILD_DIR] [WINDOWS_BUILD_DIR] [SIZE_MIB] [SMALL_MIB] [ROUNDS]
# defaults: build/native, the Windows build that runs under Wine on this machine
# (scripts/windows-build.sh), 50, 10 and 5. Each native round runs both, in turns
# first, each after an untimed sync so that neither pays for the other's unwritten
# data; the tools are also timed with the sync -f of their folder that makes their
# files as durable as the update's. UZ32_WORKERS, when set, forces the extraction
# library's worker count.
set -euo pipefail
cd "$(dirname "$0")/../.."
native=${1:-build/native}
. scripts/wine-env.sh "${2:-}"
windows=$VLR_WINDOWS_BUILD
size_mib=${3:-50}
small_mib=${4:-10}
rounds=${5:-5}

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

field() { sed -n "s/.*$1=\([^ ]*\).*/\1/p"; }
now() { date +%s.%N; }
minus() { awk -v a="$1" -v b="$2" 'BEGIN { print a - b }'; }
# spread A... / B...: the median and the range of the per-round ratios
spread() {
  paste -d' ' "$1" "$2" | awk '{ print $1 / $2 }' | sort -g |
    awk '{ r[NR] = $1 } END { printf "%.2fx (%.2f-%.2f)", r[int((NR + 1) / 2)], r[1], r[NR] }'
}
median() { sort -g "$1" | awk '{ v[NR] = $1 } END { printf "%.3f", v[int((NR + 1) / 2)] }'; }
fresh_folder() {  # fresh_folder DIR [LIBRARY]: an empty Veloran folder
  rm -rf "$1" && mkdir -p "$1"
  [ -z "${2:-}" ] || cp "$2" "$1/"
}

# curl + bsdtar: the download to a file, then the extraction into the folder; then the
# sync -f that writes the folder's file system out.
tools_round() {
  fresh_folder "$work/tools"
  sync
  local t0 t1 t2
  t0=$(now)
  curl -s -f -o "$work/tools.zip" "http://127.0.0.1:$port/big/vlr753.zip"
  bsdtar -xf "$work/tools.zip" -C "$work/tools"
  t1=$(now)
  sync -f "$work/tools"
  t2=$(now)
  rm -f "$work/tools.zip"
  minus "$t1" "$t0" >>"$work/tools.s"
  minus "$t2" "$t0" >>"$work/durable.s"
}

if [ -x "$native/bin/update_bench" ]; then
  lib="$native/bin/libunzip32.so"
  # ours_round [SITE NAME]: the web mirror by default; the folder mirror is the same
  # package read from the mirror's own folder.
  ours_round() {
    local site=${1:-127.0.0.1:$port/big/} name=${2:-ours}
    fresh_folder "$work/veloran" "$lib"
    sync
    local out
    out=$("$native/bin/update_bench" "$work/veloran" "$site") \
      || { echo "update run failed: $out" >&2; exit 1; }
    echo "$out" | field seconds >>"$work/$name.s"
    echo "$out" | field peak_rss_kib >>"$work/$name.k"
  }
  out=$(fresh_folder "$work/veloran" "$lib" && \
        "$native/bin/update_bench" "$work/veloran" "127.0.0.1:$port/small/")
  small_k=$(echo "$out" | field peak_rss_kib)
  for r in $(seq "$rounds"); do
    if [ $((r % 2)) -eq 1 ]; then tools_round; ours_round; else ours_round; tools_round; fi
    ours_round "file://$work/root/big/" folder
  done
  # Same files as bsdtar wrote (stored folder names are not recreated by the updater),
  # besides the library and the record of the installed version.
  (cd "$work/tools" && find . -type f -printf '%f\n' | sort) >"$work/names.tools"
  (cd "$work/veloran" && find . -type f ! -name libunzip32.so ! -name vlrupdate.installed \
     -printf '%f\n' | sort) >"$work/names.ours"
  cmp -s "$work/names.tools" "$work/names.ours" || { echo "the run wrote other files" >&2; exit 1; }
  for f in $(head -3 "$work/names.ours"); do
    cmp -s "$work/veloran/$f" "$(find "$work/tools" -name "$f" | head -1)" \
      || { echo "$f differs from bsdtar's" >&2; exit 1; }
  done
  workers=${UZ32_WORKERS:-}
  echo "$rounds rounds; extraction workers: ${workers:-as the library chooses for $(nproc) processors}"
  printf "%-34s %7s s (median)\n" "curl -o + bsdtar -xf" "$(median "$work/tools.s")"
  printf "%-34s %7s s\n" "curl -o + bsdtar -xf + sync -f" "$(median "$work/durable.s")"
  printf "%-34s %7s s  %s curl+bsdtar, %s with sync -f, peak RSS %d KiB (%s MiB package: %d KiB)\n" \
    "update run (native)" "$(median "$work/ours.s")" "$(spread "$work/ours.s" "$work/tools.s")" \
    "$(spread "$work/ours.s" "$work/durable.s")" "$(sort -g "$work/ours.k" | tail -1)" \
    "$small_mib" "$small_k"
  printf "%-34s %7s s  %s the web mirror's run, peak RSS %d KiB\n" \
    "update run, folder mirror (native)" "$(median "$work/folder.s")" \
    "$(spread "$work/folder.s" "$work/ours.s")" "$(sort -g "$work/folder.k" | tail -1)"
else
  echo "no native build in $native (cmake --build $native --target update_bench unzip32)" >&2
  for _ in $(seq "$rounds"); do tools_round; done
  printf "%-34s %7s s (median)\n" "curl -o + bsdtar -xf" "$(median "$work/tools.s")"
fi
tools_s=$(median "$work/tools.s")

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
  # The same package from the mirror's folder, as a drive-letter folder mirror.
  fresh_folder "$win_folder" "$windows/bin/unzip32.dll"
  cp "$windows/bin/vlrupdate.exe" "$win_folder/"
  cp "$windows/bin/vlrstub.exe" "$win_folder/vlrmain.exe"
  out=$("${display[@]}" sh -c '
    bash scripts/wine-prefix.sh start "$1" "$2/uidriver.exe" count >/dev/null &&
    python3 bench/update/wine_run.py "$2" "$3" "$4"; status=$?
    wineserver -k </dev/null >/dev/null 2>&1; exit $status' \
    sh "$prefix" "$windows/bin" "$win_folder" "Z:$(echo "$work/root/big/" | tr / '\\')")
  printf "%-34s %7.3f s  (%s)\n" "update run, folder mirror (Wine)" \
    "$(echo "$out" | field run_s)" "$(echo "$out" | sed -n 's/.*message="\([^"]*\)".*/\1/p')"
fi
