#!/usr/bin/env bash
# Builds everything and recolours the bundled sample.
set -euo pipefail
cd "$(dirname "$0")/.."
tools/install-deps.sh --build-only
# A folder of its own, so that it never shares a cache with build/ (where
# the plain CMake flow builds the tests).
cmake -S . -B build-demo -G Ninja -DCMAKE_BUILD_TYPE=Release -DORVANEPAVONIZE_TESTS=OFF >/dev/null
cmake --build build-demo
build-demo/bin/pavonize build-demo/sample/sample.bmp build-demo/sample/sample-recoloured.bmp
echo "The sample is build-demo/sample/sample.bmp; its recoloured copy is build-demo/sample/sample-recoloured.bmp"
