#!/usr/bin/env bash
# unzip32 against bsdtar (and bsdtar + sync -f) on a 100 MiB package and on a 25 MiB
# one (same member count: peak memory must not follow the package size), once per
# worker count given (none: the library's own choice).
#   bench/unzip32/run_bench.sh [BUILD_DIR=build/uz-native] [ROUNDS=5] [WORKERS...]
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
build=$(cd "${1:-$here/../../build/uz-native}" && pwd)
rounds=${2:-5}
shift $(($# < 2 ? $# : 2))
workers=("$@")
[ ${#workers[@]} -gt 0 ] || workers=("")
cmake --build "$build" --target uz32_extract uz32_bench >/dev/null
work=$build/unzip32-bench
mkdir -p "$work"
for mib in 100 25; do
  pkg=$work/package-$mib.zip
  [ -f "$pkg" ] || /usr/bin/python3 "$here/make_package.py" "$pkg" "$mib"
  for w in "${workers[@]}"; do
    "$build/bin/uz32_bench" "$build/bin/uz32_extract" "$pkg" "$work/out" "$rounds" "$w"
  done
done
