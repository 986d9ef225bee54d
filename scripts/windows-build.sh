#!/usr/bin/env bash
# Which Windows build the tests, the demo and the benchmarks run under Wine on this
# machine. Prints one line: the preset name, a blank, and why.
#   windows    the shipped 32-bit build, under 32-bit Wine, where the kernel starts
#              32-bit programs;
#   windows64  the same sources built for x86_64, under wine64, where it does not.
# VLR_WINDOWS_TESTS=32 or 64 overrides the choice (so either path can be tried on a
# machine that has both).
set -euo pipefail
case "${VLR_WINDOWS_TESTS:-}" in
  32) echo "windows VLR_WINDOWS_TESTS=32 asks for the 32-bit build"; exit 0 ;;
  64) echo "windows64 VLR_WINDOWS_TESTS=64 asks for the 64-bit build"; exit 0 ;;
  "") ;;
  *) echo "VLR_WINDOWS_TESTS must be 32 or 64, not '$VLR_WINDOWS_TESTS'" >&2; exit 2 ;;
esac
# The 32-bit Wine loader is a tiny 32-bit program: if it starts, 32-bit Wine works.
if out=$(/usr/lib/wine/wine --version 2>&1 </dev/null); then
  echo "windows this machine starts 32-bit programs ($out)"
else
  reason=$(printf '%s' "$out" | tail -1 | sed 's/^.*: //')
  echo "windows64 this machine cannot start 32-bit programs (/usr/lib/wine/wine: ${reason:-failed})"
fi
