#!/usr/bin/env bash
# wine-prefix.sh start|stop PREFIX
# start: create the private 32-bit prefix if it is missing and keep one wineserver
#        running for it; stop: end that server.
# Every Wine process started here has its output sent away: the server and the helper
# processes Wine starts with the first program live on, and a pipe they held would keep
# ctest waiting for this step to end.
set -euo pipefail
action=$1 prefix=$2
export WINEPREFIX=$prefix WINEARCH=win32 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
case $action in
  start)
    if [ ! -f "$prefix/system.reg" ]; then
      mkdir -p "$prefix"
      timeout 170 wineboot -i </dev/null >/dev/null 2>&1 || true
      timeout 60 wineserver -w </dev/null >/dev/null 2>&1 || true
    fi
    [ -f "$prefix/system.reg" ] || { echo "wine prefix was not created: $prefix" >&2; exit 1; }
    # A server that is already running is fine.
    wineserver -p </dev/null >/dev/null 2>&1 || true
    # Start Wine's helper processes now, quietly, rather than in the first test.
    timeout 120 wine cmd /c exit </dev/null >/dev/null 2>&1 || true
    ;;
  stop)
    wineserver -k </dev/null >/dev/null 2>&1 || true
    ;;
  *) echo "usage: $0 start|stop PREFIX" >&2; exit 2 ;;
esac
