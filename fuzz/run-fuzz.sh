#!/usr/bin/env bash
# Builds the fuzzer with clang (ASan + UBSan) and runs it.
#   fuzz/run-fuzz.sh [SECONDS] [libFuzzer options...]
# SECONDS defaults to 60. The corpus grows in build-fuzz/corpus and is kept
# between runs; crashing inputs land in build-fuzz/artifacts/ and belong in
# tests/fuzz_regressions/ once the bug is fixed.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds="${1:-60}"
shift || true

cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
  -DORVANEPAVONIZE_FUZZ=ON -DORVANEPAVONIZE_TESTS=OFF >/dev/null
cmake --build build-fuzz --target pavonize_fuzzer
mkdir -p build-fuzz/corpus build-fuzz/artifacts

# Inputs up to 8 KiB; no single allocation may pass 16 MiB, which proves a
# small file cannot ask for a large buffer. The first folder receives new
# inputs; the seeds and every past crash are read as well.
build-fuzz/fuzz/pavonize_fuzzer \
  -max_total_time="$seconds" -max_len=8192 -malloc_limit_mb=16 -timeout=10 \
  -dict=fuzz/images.dict -artifact_prefix=build-fuzz/artifacts/ -print_final_stats=1 \
  "$@" build-fuzz/corpus build-fuzz/fuzz/seeds fuzz/format_seeds tests/fuzz_regressions
