#!/usr/bin/env bash
# Runs a Windows build of the updater (or any Windows program) under Wine from Linux,
# waits for it and ends with its exit code:
#
#   bash scripts/wine-run.sh PROGRAM.exe [ARGUMENTS...]
#
# The program says which Wine it needs: a 32-bit one (the shipped updater) runs under
# /usr/lib/wine/wine, a 64-bit one (the windows64 preset's) under wine64. On a machine
# whose kernel cannot start 32-bit programs a 32-bit one is refused with the reason
# (build with the windows64 preset to try there). It runs in PROGRAM's folder, so a
# relative /log:NAME lands beside it. Wine's settings live in a private prefix,
# $WINEPREFIX when set (its kind must be the program's), else ~/.vlr-wine32 or
# ~/.vlr-wine64, made at the first run (a minute); nothing else of the user's Wine is
# touched. /quiet runs show no window; the wizard needs a display (xvfb-run without one).
set -euo pipefail
me=wine-run
[ $# -ge 1 ] || { sed -n 5p "$0" | sed 's/^# *//' >&2; exit 2; }
program=$1
shift
[ -f "$program" ] || { echo "$me: no program $program" >&2; exit 2; }
# The PE header's machine field: at the offset the DOS header's e_lfanew gives, plus 4.
header=$(od -An -tu4 -j60 -N4 "$program" | tr -d ' ')
machine=$(od -An -tx2 -j$((header + 4)) -N2 "$program" 2>/dev/null | tr -d ' ')
case "$machine" in
  014c) bits=32 loader=/usr/lib/wine/wine ;;
  8664) bits=64 loader=/usr/lib/wine/wine64 ;;
  *) echo "$me: $program is no 32-bit or 64-bit x86 Windows program" >&2; exit 2 ;;
esac
[ -x "$loader" ] || { echo "$me: $loader is missing (scripts/bootstrap.sh installs Wine)" >&2; exit 2; }
if [ "$bits" = 32 ] && ! why=$("$loader" --version 2>&1 </dev/null); then
  echo "$me: $program is a 32-bit program and this machine cannot start 32-bit programs" \
       "($(printf '%s' "$why" | tail -n 1 | sed 's/^.*: //')); build with the windows64" \
       "preset to try it here" >&2
  exit 2
fi
export WINELOADER=$loader WINEARCH=win$bits
export WINEPREFIX=${WINEPREFIX:-$HOME/.vlr-wine$bits} WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-"mscoree,mshtml="}
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  echo "$me: making the Wine prefix $WINEPREFIX (once)" >&2
  mkdir -p "$WINEPREFIX"
  timeout 300 "$loader" wineboot -i </dev/null >/dev/null 2>&1 || true
  # The registry reaches its files when the server ends.
  timeout 120 wineserver -w </dev/null >/dev/null 2>&1 || true
  [ -f "$WINEPREFIX/system.reg" ] || { echo "$me: the Wine prefix was not made" >&2; exit 1; }
fi
folder=$(cd "$(dirname "$program")" && pwd)
cd "$folder"
# Wine's start-up chatter is of no use here; the program's exit code is.
rc=0
"$loader" "$folder/$(basename "$program")" "$@" </dev/null >/dev/null 2>&1 || rc=$?
exit "$rc"
