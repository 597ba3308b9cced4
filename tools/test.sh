#!/usr/bin/env bash
# Builds with warnings as errors and runs every test.
set -euo pipefail
cd "$(dirname "$0")/.."
tools/install-deps.sh
tools/check-style.sh
cmake --preset ci >/dev/null
cmake --build --preset ci
ctest --preset ci
tools/check-tidy.sh build-test
tools/test-sanitizers.sh

