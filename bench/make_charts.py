"""Draws BENCHMARKS.md's charts from measurements.

    make_charts.py --build BUILD --figures FIGURES.json --out DIR

Two PNG files in DIR:

- benchmark-sizes.png: seconds per image by image size for cp, pavonize, the
  one-buffer C program and Pillow, from the JSON figures that
  run_benchmarks.py writes (--json);
- benchmark-batch.png: seconds for N small images, one pavonize process per image
  against one batch (`pavonize -q -o out ...`), measured here with
  hyperfine, median of the runs.

bench/run_benchmarks.sh --charts runs both steps. Needs Debian's
python3-matplotlib and hyperfine.
"""
import argparse
import json
import os
import shutil
import subprocess
import tempfile

import matplotlib

matplotlib.use("Agg")
import matplotlib.pyplot as plt  # noqa: E402
import matplotlib.ticker  # noqa: E402

# The programs of the size chart, as run_benchmarks.py names them.
SIZE_PROGRAMS = [
    ("cp", "cp", "tab:gray"),
    ("pavonize", "pavonize", "tab:green"),
    ("plain C, whole file", "C program, one buffer", "tab:blue"),
    ("Pillow", "Pillow", "tab:orange"),
]
BATCH_COUNTS = [1, 10, 50, 200]


def save_log_chart(figure, axes, ticks, labels, path):
    """Both axes logarithmic, labelled in plain numbers; then saved."""
    axes.set_xscale("log")
    axes.set_yscale("log")
    axes.set_xticks(ticks, ["%g" % tick for tick in ticks])
    axes.yaxis.set_major_formatter(matplotlib.ticker.FormatStrFormatter("%g"))
    axes.set_xlabel(labels[0])
    axes.set_ylabel(labels[1])
    axes.set_title(labels[2])
    axes.grid(True, which="both", alpha=0.3)
    axes.legend()
    figure.tight_layout()
    figure.savefig(path, metadata={"Software": None})


def size_chart(figures, path):
    sizes = figures["sizes"]
    figure, axes = plt.subplots(figsize=(6.4, 4.0), dpi=100)
    for name, label, colour in SIZE_PROGRAMS:
        points = [(size["megapixels"], size["seconds"][name]) for size in sizes
                  if name in size["seconds"]]
        if points:
            axes.plot(*zip(*points), marker="o", label=label, color=colour)
    save_log_chart(figure, axes, [size["megapixels"] for size in sizes],
                   ("image size, megapixels (8-bit BMP, MB)", "seconds per image (median)",
                    "One image, one process, warm page cache"), path)


def median_seconds(command, work, runs):
    exported = os.path.join(work, "batch.json")
    subprocess.run(["hyperfine", "-N", "--runs", str(runs), "--warmup", "1", "--prepare",
                    "sh -c 'rm -rf out && mkdir out'", "--export-json", exported, command],
                   cwd=work, check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    with open(exported) as results:
        return json.load(results)["results"][0]["median"]


def batch_chart(build, path, runs):
    build = os.path.abspath(build)
    pavonize = os.path.join(build, "bin", "pavonize")
    sample = os.path.join(build, "sample", "sample.bmp")
    work = tempfile.mkdtemp(prefix="pavonize-charts-", dir="/tmp")
    try:
        names = ["img%03d.bmp" % i for i in range(max(BATCH_COUNTS))]
        for name in names:
            shutil.copyfile(sample, os.path.join(work, name))
        per_image, batch = [], []
        for count in BATCH_COUNTS:
            chosen = " ".join(names[:count])
            per_image.append(median_seconds(
                "sh -c 'for f in %s; do %s -q $f out/$f; done'" % (chosen, pavonize), work, runs))
            batch.append(median_seconds("%s -q -o out %s" % (pavonize, chosen), work, runs))
            print("  %d images: %.4f s one process each, %.4f s one batch"
                  % (count, per_image[-1], batch[-1]), flush=True)
    finally:
        shutil.rmtree(work, ignore_errors=True)
    figure, axes = plt.subplots(figsize=(6.4, 4.0), dpi=100)
    axes.plot(BATCH_COUNTS, per_image, marker="o", label="one pavonize per image", color="tab:red")
    axes.plot(BATCH_COUNTS, batch, marker="o", label="pavonize -q -o out *.bmp",
              color="tab:green")
    save_log_chart(figure, axes, BATCH_COUNTS,
                   ("images (the sample, 321 × 200, 65 KB each)",
                    "seconds for all of them (median)", "Many small images on one core"), path)


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--build", required=True, help="build tree with pavonize and the sample")
    parser.add_argument("--figures", required=True, help="run_benchmarks.py --json output")
    parser.add_argument("--out", required=True, help="folder for the two PNG files")
    parser.add_argument("--runs", type=int, default=10, help="hyperfine runs per batch command")
    options = parser.parse_args()
    os.makedirs(options.out, exist_ok=True)
    with open(options.figures) as file:
        size_chart(json.load(file), os.path.join(options.out, "benchmark-sizes.png"))
    print("batch against one process per image", flush=True)
    batch_chart(options.build, os.path.join(options.out, "benchmark-batch.png"), options.runs)


if __name__ == "__main__":
    main()
