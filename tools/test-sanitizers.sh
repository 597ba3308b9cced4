#!/usr/bin/env bash
# The checks beyond the everyday build: every test under AddressSanitizer +
# UndefinedBehaviorSanitizer, the concurrent-call test under
# ThreadSanitizer, and a one-minute fuzz run (which also replays every past
# crash). Each build takes its own folder, so repeated runs are incremental.
set -euo pipefail
cd "$(dirname "$0")/.."
tools/install-deps.sh

cmake --preset asan >/dev/null
cmake --build --preset asan
ctest --preset asan

cmake --preset tsan >/dev/null
cmake --build --preset tsan
ctest --preset tsan

fuzz/run-fuzz.sh 60
