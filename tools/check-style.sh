#!/usr/bin/env bash
# Fails when a C or C++ file of the project differs from what clang-format
# makes of it under .clang-format. `tools/check-style.sh --fix` rewrites them.
set -euo pipefail
cd "$(dirname "$0")/.."
mapfile -t files < <(git ls-files -- '*.c' '*.cpp' '*.h')
if [ "${1:-}" = "--fix" ]; then
  clang-format -i "${files[@]}"
  exit 0
fi
if ! clang-format --dry-run --Werror "${files[@]}"; then
  echo "check-style: files above differ from .clang-format; run tools/check-style.sh --fix" >&2
  exit 1
fi
echo "check-style: ${#files[@]} files follow .clang-format"
