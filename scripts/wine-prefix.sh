#!/usr/bin/env bash
# wine-prefix.sh start PREFIX [PROGRAM [ARGS...]] | stop PREFIX
# start: create the private prefix if it is missing, keep one wineserver running for
#        it, and warm it: Wine's helper processes start now, and when a Windows PROGRAM
#        is given it is started once, so that the desktop process Wine brings up with
#        the first GUI program is already there when the tests begin.
# stop:  end that server.
# The Wine build comes from the environment: WINEARCH (win32 or win64) and WINELOADER
# (/usr/lib/wine/wine or /usr/lib/wine/wine64); without them, the 32-bit one.
# Every Wine process started here has its output sent away: the server and the helper
# processes Wine starts with the first program live on, and a pipe they held would keep
# ctest waiting for this step to end.
set -euo pipefail
action=$1 prefix=$2
shift 2
export WINEPREFIX=$prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
export WINEARCH=${WINEARCH:-win32}
if [ -z "${WINELOADER:-}" ]; then
  if [ "$WINEARCH" = win64 ]; then WINELOADER=/usr/lib/wine/wine64; else WINELOADER=/usr/lib/wine/wine; fi
fi
export WINELOADER
wine() { "$WINELOADER" "$@"; }
case $action in
  start)
    if [ ! -f "$prefix/system.reg" ]; then
      mkdir -p "$prefix"
      timeout 170 "$WINELOADER" wineboot -i </dev/null >/dev/null 2>&1 || true
      timeout 60 wineserver -w </dev/null >/dev/null 2>&1 || true
    fi
    [ -f "$prefix/system.reg" ] || { echo "wine prefix was not created: $prefix ($WINELOADER)" >&2; exit 1; }
    # wine64 does not find the fonts Debian's fonts-wine installs, and without Marlett
    # the title-bar buttons read "0 1 r": give the prefix its own copies.
    fonts=$prefix/drive_c/windows/Fonts
    if [ -d /usr/share/wine/fonts ] && [ -d "$fonts" ]; then
      cp -n /usr/share/wine/fonts/* "$fonts/" 2>/dev/null || true
    fi
    # A server that is already running is fine.
    wineserver -p </dev/null >/dev/null 2>&1 || true
    # Start Wine's helper processes now, quietly, rather than in the first test.
    timeout 120 wine cmd /c exit </dev/null >/dev/null 2>&1 || true
    if [ $# -gt 0 ] && [ -f "$1" ]; then
      timeout 120 wine "$@" </dev/null >/dev/null 2>&1 || true
    fi
    # Wine ends its service processes when the last program ends, and the next program
    # starts them again with its own output: a test's output pipe would then stay open
    # after the test, and ctest would wait on it. One idle program keeps them alive for
    # the whole run: cmd waiting for a line that never comes, on a FIFO it holds open
    # itself. "stop" ends it with the server.
    fifo=$prefix/keepalive.fifo
    rm -f "$fifo" && mkfifo "$fifo"
    ( exec <>"$fifo" >/dev/null 2>&1; exec "$WINELOADER" cmd /k ) &
    ;;
  stop)
    wineserver -k </dev/null >/dev/null 2>&1 || true
    rm -f "$prefix/keepalive.fifo"
    ;;
  *) echo "usage: $0 start PREFIX [PROGRAM [ARGS...]] | stop PREFIX" >&2; exit 2 ;;
esac
