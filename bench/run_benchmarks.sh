#!/usr/bin/env bash
# Installs the peers and tools the benchmarks need, builds a release tree in
# build-bench/, and runs bench/run_benchmarks.py with any arguments given
# (for instance --sizes 1,16 or --output report.md). With --python-loop
# first, runs bench/python_loop.py instead (the Python module's loop over
# small images against Pillow's, and pavonize_image() over arrays against
# Pillow, numpy and OpenCV), with the arguments after it. With
# --batch-goals first, runs bench/batch_goals.py (command-line batches
# against cp, -j, --colours, and the Python loop, side by side). With
# --mixed-folder first, runs bench/mixed_folder.py (a folder of PNG, TIFF,
# PGM, JPEG and BMP against Pillow, OpenCV and ImageMagick). With
# --charts first, runs bench/run_benchmarks.py with the arguments after it
# and then bench/make_charts.py, which draws BENCHMARKS.md's charts into
# docs/ from those figures and its own batch measurements.
set -euo pipefail
cd "$(dirname "$0")/.."
tools/install-deps.sh hyperfine time python3-pil python3-matplotlib python3-opencv imagemagick netpbm
cmake -S . -B build-bench -G Ninja -DCMAKE_BUILD_TYPE=Release -DORVANEPAVONIZE_TESTS=OFF \
  -DORVANEPAVONIZE_BENCHMARKS=ON >/dev/null
cmake --build build-bench
if [ "${1:-}" = --python-loop ]; then
  shift
  exec /usr/bin/python3 bench/python_loop.py --build build-bench "$@"
fi
if [ "${1:-}" = --batch-goals ]; then
  shift
  exec /usr/bin/python3 bench/batch_goals.py --build build-bench "$@"
fi
if [ "${1:-}" = --mixed-folder ]; then
  shift
  exec /usr/bin/python3 bench/mixed_folder.py --build build-bench "$@"
fi
if [ "${1:-}" = --charts ]; then
  shift
  /usr/bin/python3 bench/run_benchmarks.py --build build-bench --json build-bench/figures.json "$@"
  exec /usr/bin/python3 bench/make_charts.py --build build-bench --figures build-bench/figures.json \
    --out docs
fi
exec /usr/bin/python3 bench/run_benchmarks.py --build build-bench "$@"
