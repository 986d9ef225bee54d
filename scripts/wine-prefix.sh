#!/usr/bin/env bash
# wine-prefix.sh start|stop PREFIX
# start: create the private 32-bit prefix if it is missing and keep one wineserver
#        running for it; stop: end that server.
set -euo pipefail
action=$1 prefix=$2
export WINEPREFIX=$prefix WINEARCH=win32 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
case $action in
  start)
    if [ ! -f "$prefix/system.reg" ]; then
      mkdir -p "$prefix"
      timeout 170 wineboot -i >/dev/null 2>&1 || true
      timeout 60 wineserver -w || true
    fi
    wineserver -p
    [ -f "$prefix/system.reg" ] || { echo "wine prefix was not created: $prefix" >&2; exit 1; }
    ;;
  stop)
    wineserver -k 2>/dev/null || true
    ;;
  *) echo "usage: $0 start|stop PREFIX" >&2; exit 2 ;;
esac
