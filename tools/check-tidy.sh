#!/usr/bin/env bash
# Runs clang-tidy (.clang-tidy) over the shipped code: library, framework
# stand-in, command-line host, sample maker and examples. The tests are left out: parsing GoogleTest
# costs most of the time and they are not what users run.
# Usage: tools/check-tidy.sh BUILD_DIR   (configured with compile commands)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:?usage: tools/check-tidy.sh BUILD_DIR}
if [ ! -f "$build/compile_commands.json" ]; then
  echo "check-tidy: $build/compile_commands.json is missing" >&2
  exit 1
fi
# clang counts the warnings it kept quiet outside the checked files; the
# count says nothing, so it is dropped from the log.
quiet() { grep -v ' warnings\? generated\.$' || true; }
{
  run-clang-tidy -quiet -p "$build" -j "$(nproc)" "$PWD/(platform|recolour|framework|shell|host|sample)/"
  # The examples are built against an installed copy, not in this build, so
  # they are given their flags here.
  clang-tidy -quiet examples/c-host/recolour_file.c -- -std=c11 -Iinclude
  clang-tidy -quiet examples/load-at-run-time/load_at_run_time.cpp -- -std=c++20 -Iinclude -Iframework
} 2>&1 | quiet
echo "check-tidy: clean"
