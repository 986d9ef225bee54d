#!/usr/bin/env bash
# Installs on a Debian machine what the build, the tests, the demo, the benchmarks and a
# release (scripts/release.sh) need, skipping what is already there. Needs root (or
# sudo) only when something is missing.
set -euo pipefail

packages=(
  cmake ninja-build g++ gcc pkg-config
  g++-mingw-w64-i686 gcc-mingw-w64-i686 g++-mingw-w64-x86-64 gcc-mingw-w64-x86-64 libz-mingw-w64-dev
  wine wine32:i386 wine64 fonts-wine
  xvfb xauth imagemagick x11-utils
  libcurl4-openssl-dev libssl-dev openssl zlib1g-dev
  googletest libgtest-dev libgmock-dev libbenchmark-dev libcpp-httplib-dev
  python3 libarchive-tools p7zip-full curl zip time
  git osslsigncode
  clang libclang-rt-14-dev
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  echo "bootstrap: everything is installed"
  exit 0
fi

echo "bootstrap: installing ${missing[*]}"
sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
if ! dpkg --print-foreign-architectures | grep -qx i386; then
  $sudo dpkg --add-architecture i386
fi
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -q
$sudo apt-get install -y -q --no-install-recommends "${missing[@]}"
