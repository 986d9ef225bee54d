#!/usr/bin/env bash
# unzip32 against bsdtar on a 100 MiB package and on a 25 MiB one (same member count:
# peak memory must not follow the package size).
#   bench/unzip32/run_bench.sh [BUILD_DIR=build/uz-native] [ROUNDS=5]
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
build=$(cd "${1:-$here/../../build/uz-native}" && pwd)
rounds=${2:-5}
cmake --build "$build" --target uz32_extract uz32_bench >/dev/null
work=$build/unzip32-bench
mkdir -p "$work"
for mib in 100 25; do
  pkg=$work/package-$mib.zip
  [ -f "$pkg" ] || /usr/bin/python3 "$here/make_package.py" "$pkg" "$mib"
  "$build/bin/uz32_bench" "$build/bin/uz32_extract" "$pkg" "$work/out" "$rounds"
done
