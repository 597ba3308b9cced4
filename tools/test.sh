#!/usr/bin/env bash
# Builds with warnings as errors and runs every test.
set -euo pipefail
cd "$(dirname "$0")/.."
tools/install-deps.sh
tools/check-style.sh
cmake -S . -B build-test -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DORVANEPAVONIZE_WERROR=ON \
  -DCMAKE_EXPORT_COMPILE_COMMANDS=ON >/dev/null
cmake --build build-test
ctest --test-dir build-test --output-on-failure -j2
tools/check-tidy.sh build-test
tools/test-sanitizers.sh

