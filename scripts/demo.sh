#!/usr/bin/env bash
# The demo: the real vlrupdate.exe under Wine updates a sample Veloran folder from a
# loopback mirror.
#   bash scripts/demo.sh [WINDOWS_BUILD_DIR]
# The Windows build is the one scripts/windows-build.sh picks for this machine: the
# shipped 32-bit build (build/windows) where 32-bit programs start, else the 64-bit one
# (build/windows64).
# Installs what is missing, builds the Windows targets the demo needs, makes a sample
# package (version 7.5.3) and a sample Veloran folder in build/demo/veloran, serves the
# package from 127.0.0.1, and runs the updater against it: in a window on your display
# when there is one (click Next, Next, then Finish), otherwise on a private X server,
# driven through Next, Next and Finish with a screenshot of every step in
# build/demo/screenshots. Exits non-zero when the update did not succeed.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
demo=$root/build/demo

bash scripts/bootstrap.sh
. scripts/wine-env.sh "${1:-}"
build=$VLR_WINDOWS_BUILD
prefix=$WINEPREFIX
echo "== Windows build: $build ($VLR_WINDOWS_WHY)"

if [ ! -f "$build/build.ninja" ]; then
  echo "== configuring the Windows build in $build"
  cmake --preset "$VLR_WINDOWS_PRESET" -B "$build" >/dev/null
fi
echo "== building vlrupdate, unzip32, uidriver, vlrstub in $build"
cmake --build "$build" --target vlrupdate unzip32 uidriver vlrstub -j "$(nproc 2>/dev/null || echo 2)" \
  | tail -1

mkdir -p "$demo"
python3 scripts/demo_tool.py make --bin-dir "$build/bin" --demo-dir "$demo"

mirror() { python3 tools/mirror/mirror.py "$@"; }
cleanup() {
  mirror --stop --pid-file "$demo/mirror.pid" >/dev/null 2>&1 || true
  wineserver -k </dev/null >/dev/null 2>&1 || true
}
trap cleanup EXIT
mirror --daemon --root "$demo/mirror-root" --port-file "$demo/mirror.port" \
  --pid-file "$demo/mirror.pid" --log "$demo/mirror.log" --max-seconds 900 --max-requests 100 --verbose \
  >/dev/null
site="127.0.0.1:$(cat "$demo/mirror.port")/"
echo "== loopback mirror at http://$site (log: $demo/mirror.log)"

if [ -f "$prefix/system.reg" ]; then
  echo "== Wine prefix $prefix"
else
  echo "== creating the Wine prefix $prefix (the first time takes 15-30 s)"
fi

status=0
if [ -n "${DISPLAY:-}" ] && xdpyinfo >/dev/null 2>&1; then
  bash scripts/wine-prefix.sh start "$prefix"
  # On a desktop the window manager draws and moves the window.
  "$WINELOADER" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d Y /f </dev/null >/dev/null 2>&1 || true
  echo "== the updater on your display: click Next, Next, wait for the message, then Finish"
  "$WINELOADER" "$demo/veloran/vlrupdate.exe" E "$site" </dev/null >/dev/null 2>&1 || true
else
  echo "== no usable display: the updater runs on a private X server, driven by uidriver"
  xvfb-run -a -s "-screen 0 1024x768x24" sh -c '
    bash scripts/wine-prefix.sh start "$1" "$2/uidriver.exe" count &&
    { "$WINELOADER" reg add "HKCU\\Software\\Wine\\X11 Driver" /v Managed /d N /f </dev/null >/dev/null 2>&1 || true; } &&
    python3 scripts/demo_tool.py drive --bin-dir "$2" --demo-dir "$3" --site "$4"' \
    sh "$prefix" "$build/bin" "$demo" "$site" || status=1
  echo "== screenshots of every step: $demo/screenshots/"
fi

echo "== the Veloran folder $demo/veloran after the run:"
python3 scripts/demo_tool.py check --demo-dir "$demo" || status=1
echo "== requests the mirror served:"
sed -n 's/.*"GET \([^ ]*\) HTTP[^"]*" \([0-9]*\).*/  \1 -> \2/p' "$demo/mirror.log"
if [ $status -eq 0 ]; then
  echo "== the demo update succeeded"
else
  echo "== the demo update FAILED" >&2
fi
exit $status
