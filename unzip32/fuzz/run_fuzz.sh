#!/usr/bin/env bash
# Builds the archive-reader fuzz target with clang (libFuzzer + AddressSanitizer +
# UndefinedBehaviorSanitizer) and runs it for a bounded time.
#
#   unzip32/fuzz/run_fuzz.sh [SECONDS=60] [BUILD_DIR=build/uz-fuzz]
#
# The corpus starts from the test archives (made here if need be) and grows in
# BUILD_DIR/corpus. Crashes land in BUILD_DIR/artifacts; keep each one under
# tests/unzip32/regressions/ so the unit tests replay it.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
repo=$(cd "$here/../.." && pwd)
seconds=${1:-60}
out=${2:-$repo/build/uz-fuzz}
mkdir -p "$out/corpus" "$out/artifacts" "$out/seeds"

src=$repo/unzip32/src
sources=(
  "$here/fuzz_archive_reader.cpp" "$here/archive_probe.cpp"
  "$src/byte_source.cpp" "$src/central_directory.cpp" "$src/end_records.cpp"
  "$src/extra_fields.cpp" "$src/extraction_plan.cpp" "$src/local_header.cpp"
  "$src/member_decoder.cpp" "$src/member_kind.cpp" "$src/member_path.cpp"
  "$src/name_patterns.cpp" "$src/name_safety.cpp"
  "$src/name_text.cpp" "$src/traditional_cipher.cpp" "$src/os/posix_text.cpp"
)
bin=$out/fuzz_archive_reader
if [ ! -x "$bin" ] || [ -n "$(find "$here" "$src" -newer "$bin" -name '*.[ch]*' | head -1)" ]; then
  echo "fuzz: building $bin"
  clang++ -std=c++20 -O1 -g -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=undefined \
    -I"$repo/unzip32" -I"$src" -I"$here" "${sources[@]}" -lz -o "$bin"
fi

if [ -z "$(ls -A "$out/seeds")" ]; then
  python=$(command -v /usr/bin/python3 || command -v python3)
  "$python" "$repo/tests/unzip32/fixtures/make_fixtures.py" "$out/fixtures" >/dev/null
  find "$out/fixtures" -maxdepth 1 \( -name '*.zip' -o -name '*.bin' \) -size -64k \
    -exec cp {} "$out/seeds/" \;
fi

echo "fuzz: running for ${seconds}s"
status=0
"$bin" "$out/corpus" "$out/seeds" "$repo/tests/unzip32/regressions" \
  -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -max_len=65536 \
  -artifact_prefix="$out/artifacts/" -print_final_stats=1 || status=$?
found=$(ls "$out/artifacts" | wc -l)
echo "fuzz: exit $status, $found artifact(s) in $out/artifacts"
exit $status
