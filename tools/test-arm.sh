#!/usr/bin/env bash
# Builds for 32-bit ARM Linux with the cross g++ and runs the whole test
# suite under qemu-arm, including a check that the ARM command line writes
# the same bytes as the native one.
set -euo pipefail
cd "$(dirname "$0")/.."
tools/install-deps.sh g++-arm-linux-gnueabihf qemu-user googletest

# The native command line is the reference the ARM output is compared with;
# the same build directory and settings as tools/test.sh, so nothing is
# built twice when both run.
cmake --preset ci >/dev/null
cmake --build build-test --target pavonize

cmake -S . -B build-arm -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DORVANEPAVONIZE_WERROR=ON \
  -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-arm-linux-gnueabihf.cmake \
  -DORVANEPAVONIZE_REFERENCE_PAVONIZE="$PWD/build-test/bin/pavonize" >/dev/null
cmake --build build-arm
ctest --test-dir build-arm --output-on-failure -j2
