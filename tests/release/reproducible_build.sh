#!/usr/bin/env bash
# reproducible_build.sh SOURCE BUILD
# The shipped files of the Windows build in BUILD (vlrupdate.exe, unzip32.dll,
# vlrpublish.exe) must equal, byte for byte, those of a second build made now from a
# copy of SOURCE's working tree in another folder, into a build folder elsewhere, with
# the tests off, another SOURCE_DATE_EPOCH and another time zone, and BUILD's settings
# (toolchain, build type, package key, mirrors: read from its cache). Prints every
# differing byte (offset in hex, then the two values).
set -euo pipefail
src=$(cd "$1" && pwd) build=$(cd "$2" && pwd)
here=$(cd "$(dirname "$0")" && pwd)
files=(vlrupdate.exe unzip32.dll vlrpublish.exe)
for f in "${files[@]}"; do
  [ -f "$build/bin/$f" ] || { echo "$build/bin/$f is missing: build it first"; exit 1; }
done

cache() { sed -n "s/^$1:[A-Z]*=//p" "$build/CMakeCache.txt"; }
toolchain=$(cache CMAKE_TOOLCHAIN_FILE)

work=$(mktemp -d "${TMPDIR:-/tmp}/vlr-reproducible.XXXXXX")
trap 'rm -rf "$work"' EXIT
copy=$work/a-source-folder-of-another-name
other=$work/b
bash "$here/copy_tree.sh" "$src" "$copy"
# The copy's own toolchain file when BUILD used the tree's.
case "$toolchain" in "$src"/*) toolchain=$copy/${toolchain#"$src"/} ;; esac

export SOURCE_DATE_EPOCH=1 TZ=UTC-14
if ! (cd "$copy" &&
      cmake -S . -B "$other" -G "$(cache CMAKE_GENERATOR)" "-DCMAKE_TOOLCHAIN_FILE=$toolchain" \
            "-DCMAKE_BUILD_TYPE=$(cache CMAKE_BUILD_TYPE)" -DVLR_BUILD_TESTS=OFF \
            "-DVLR_PACKAGE_KEY=$(cache VLR_PACKAGE_KEY)" "-DVLR_MIRRORS=$(cache VLR_MIRRORS)" &&
      cmake --build "$other" -j "$(nproc 2>/dev/null || echo 2)" \
            --target vlrupdate unzip32 vlrpublish) >"$work/build.log" 2>&1; then
  tail -n 40 "$work/build.log"
  echo "the second build failed"
  exit 1
fi

status=0
for f in "${files[@]}"; do
  a=$build/bin/$f b=$other/bin/$f
  if cmp -s "$a" "$b"; then
    echo "identical: $f ($(stat -c %s "$a") bytes, sha256 $(sha256sum <"$a" | cut -c1-64))"
    continue
  fi
  status=1
  echo "DIFFERENT: $f ($(stat -c %s "$a") and $(stat -c %s "$b") bytes); offset, byte here, byte there:"
  # cmp -l counts from 1 and prints octal values; say it in hex from offset 0.
  cmp -l "$a" "$b" 2>&1 | awk '
    function octal(s,  n, i) { for (i = 1; i <= length(s); i++) n = n * 8 + substr(s, i, 1); return n }
    /^ *[0-9]/ { printf "  0x%06x  %02x %02x\n", $1 - 1, octal($2), octal($3); next }
    { print "  " $0 }' | head -n 40 || true  # cmp's status 1 is the expected news here
done
exit $status
