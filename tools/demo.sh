#!/usr/bin/env bash
# Builds everything and recolours the bundled sample.
set -euo pipefail
cd "$(dirname "$0")/.."
tools/install-deps.sh --build-only
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Release \
  -DORVANEPAVONIZE_TESTS=OFF -DORVANEPAVONIZE_BENCHMARKS=OFF >/dev/null
cmake --build build
build/bin/pavonize build/sample/sample.bmp build/sample/sample-recoloured.bmp
echo "The sample is build/sample/sample.bmp; its recoloured copy is build/sample/sample-recoloured.bmp"
