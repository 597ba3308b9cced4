#!/usr/bin/env bash
# Builds ORVANEPAVONIZE.dll for 64-bit and 32-bit x86 Windows with mingw-w64
# and tests each under Wine: the export directory with pefile, and a Windows
# test host that loads the DLL and checks it against the native build's
# output on the sample.
set -euo pipefail
cd "$(dirname "$0")/.."

# Wine runs 32-bit Windows programs with its i386 half.
if ! dpkg --print-foreign-architectures | grep -qx i386; then
  sudo_cmd=()
  [ "$(id -u)" -eq 0 ] || sudo_cmd=(sudo)
  "${sudo_cmd[@]}" dpkg --add-architecture i386
fi
tools/install-deps.sh g++-mingw-w64-x86-64 g++-mingw-w64-i686 wine64 wine64-tools wine32:i386 \
  python3-pefile

# The native command line writes the reference output, the native build
# tools make the sample and the identity resources, so both legs read the
# very same input, and the native library's resources are what the DLL's
# must equal. The same build directory and settings as tools/test.sh, so
# nothing is built twice.
cmake --preset ci >/dev/null
cmake --build build-test --target pavonize orvanepavonize make_sample generate_identity

# Debian keeps wineserver and the 64-bit loader in /usr/lib/wine, out of
# PATH; look there first so that a bare environment finds them too.
export PATH=/usr/lib/wine:$PATH
# Wine names files through the locale: under the C locale it cannot name a
# non-ASCII file, such as those the Windows host test makes.
export LANG=C.UTF-8
unset LC_ALL

# One Wine prefix for the whole run, in a scratch folder; making one takes
# 10-20 s. A persistent wineserver spares every Wine process the start-up.
scratch=$(mktemp -d "${TMPDIR:-/tmp}/pavonize-wine-XXXXXX")
export WINEPREFIX=$scratch/prefix WINEDEBUG=-all
cleanup() {
  wineserver -k 2>/dev/null || true
  rm -rf "$scratch"
}
trap cleanup EXIT
mkdir -p "$WINEPREFIX"
wineserver -p
wine64 wineboot --init >/dev/null 2>&1

for triple in x86_64-w64-mingw32 i686-w64-mingw32; do
  build=build-windows-${triple%%-*}
  cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DORVANEPAVONIZE_WERROR=ON \
    -DCMAKE_TOOLCHAIN_FILE="cmake/toolchain-$triple.cmake" \
    -DORVANEPAVONIZE_REFERENCE_PAVONIZE="$PWD/build-test/bin/pavonize" \
    -DORVANEPAVONIZE_REFERENCE_LIBRARY="$PWD/build-test/bin/liborvanepavonize.so" \
    -DORVANEPAVONIZE_BUILD_TOOLS="$PWD/build-test/OrvanePavonizeBuildTools.cmake" >/dev/null
  cmake --build "$build"
  ctest --test-dir "$build" --output-on-failure -j2
done
