# Sourced by the demo and the benchmarks:  . scripts/wine-env.sh [WINDOWS_BUILD_DIR]
# Picks the Windows build that runs under Wine on this machine (scripts/windows-build.sh)
# unless a build folder is given, and exports the Wine settings for that build's private
# prefix. Sets VLR_WINDOWS_PRESET, VLR_WINDOWS_WHY and VLR_WINDOWS_BUILD (relative to
# the source folder); WINELOADER is the loader to start Windows programs with.
read -r VLR_WINDOWS_PRESET VLR_WINDOWS_WHY < <(bash "$(dirname "${BASH_SOURCE[0]}")/windows-build.sh")
if [ -n "${1:-}" ]; then
  VLR_WINDOWS_BUILD=$1
  # A given folder keeps its own kind: a 64-bit build needs wine64 and a 64-bit prefix.
  if grep -qs 'CMAKE_TOOLCHAIN_FILE.*mingw-x86_64' "$1/CMakeCache.txt"; then
    VLR_WINDOWS_PRESET=windows64
  elif [ -f "$1/CMakeCache.txt" ]; then
    VLR_WINDOWS_PRESET=windows
  fi
  VLR_WINDOWS_WHY="$VLR_WINDOWS_WHY; the build in $1 is used as given"
else
  VLR_WINDOWS_BUILD=build/$VLR_WINDOWS_PRESET
fi
if [ "$VLR_WINDOWS_PRESET" = windows64 ]; then
  export WINEARCH=win64 WINELOADER=/usr/lib/wine/wine64
else
  export WINEARCH=win32 WINELOADER=/usr/lib/wine/wine
fi
case $VLR_WINDOWS_BUILD in
  /*) export WINEPREFIX=$VLR_WINDOWS_BUILD/wineprefix ;;
  *) export WINEPREFIX=$PWD/$VLR_WINDOWS_BUILD/wineprefix ;;
esac
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
