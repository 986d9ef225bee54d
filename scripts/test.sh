#!/usr/bin/env bash
# Installs what is missing, builds both targets and runs every test:
# the native build (Linux, the test vehicle) and the Windows build under Wine on a
# private X server.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/bootstrap.sh

jobs=$(nproc 2>/dev/null || echo 2)

echo "== native build"
cmake --preset native >/dev/null
cmake --build --preset native -j "$jobs"
echo "== native tests"
ctest --preset native -j "$jobs"

echo "== windows build"
cmake --preset windows >/dev/null
cmake --build --preset windows -j "$jobs"
echo "== windows tests (Wine on Xvfb)"
xvfb-run -a -s "-screen 0 1024x768x24" ctest --preset windows
