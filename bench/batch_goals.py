"""Times the command line's batches against cp, and the Python loop
against Pillow, side by side in one run, for the goals of recolouring in
one process:

- 200 small images (copies of the sample) in one batch, against `cp` of
  the same files into a folder;
- the same batch with `--colours`, against drawn colours;
- six 9-megapixel images with `-j 2`, against `-j 1`;
- bench/python_loop.py over 200 small images: the module against Pillow,
  and `colours=` against drawn colours; then pavonize_image() over 300
  arrays in memory against Pillow, numpy and OpenCV.

    batch_goals.py --build BUILD [--rounds 5] [--runs 5] [--output report.md]

Each round is one hyperfine run over the commands of a set, in a rotated
order, each with a warm-up run, and every output folder emptied before each
run; a command's time is the median of its round medians, a ratio the
median of the ratios within rounds. It reports; it never fails on speed."""
import argparse
import json
import os
import shlex
import shutil
import statistics
import subprocess
import sys
import tempfile

BENCH_DIR = os.path.dirname(os.path.abspath(__file__))
PYTHON = "/usr/bin/python3"  # Debian's python packages are importable only here
COLOURS = "000080,008000,FFFF00,FF0000"
SMALL_IMAGES = 200
LARGE_IMAGES = 6
LARGE_SIDE = 3000  # 9 megapixels


def run(arguments, **options):
    return subprocess.run(arguments, check=True, **options)


def time_rounds(commands, work, rounds, runs):
    """Per command name, its median in each round."""
    per_round = {name: [] for name, _ in commands}
    exported = os.path.join(work, "round.json")
    for round_number in range(rounds):
        turn = round_number % len(commands)
        order = commands[turn:] + commands[:turn]
        hyperfine = ["hyperfine", "--style", "none", "--runs", str(runs), "--warmup", "1",
                     "--export-json", exported, "--prepare", "rm -rf out && mkdir out"]
        for name, command in order:
            hyperfine += ["-n", name, command]
        finished = subprocess.run(hyperfine, cwd=work, stdout=subprocess.DEVNULL,
                                  stderr=subprocess.PIPE, text=True)
        if finished.returncode != 0:
            sys.exit("hyperfine failed:\n" + finished.stderr)
        with open(exported) as results:
            for result in json.load(results)["results"]:
                per_round[result["command"]].append(result["median"])
        print("    round %d/%d done" % (round_number + 1, rounds), flush=True)
    return per_round


def ratio(per_round, name, over):
    return statistics.median(a / b for a, b in zip(per_round[name], per_round[over]))


def small_set(build, work):
    sample = os.path.join(build, "sample", "sample.bmp")
    names = ["img%03d.bmp" % i for i in range(1, SMALL_IMAGES + 1)]
    for name in names:
        shutil.copyfile(sample, os.path.join(work, name))
    files = " ".join(names)
    pavonize = shlex.quote(os.path.join(build, "bin", "pavonize"))
    return [
        ("cp", "cp %s out/" % files),
        ("pavonize -q -o out", "%s -q -o out %s" % (pavonize, files)),
        ("pavonize -q --colours LIST -o out",
         "%s -q --colours %s -o out %s" % (pavonize, COLOURS, files)),
        ("pavonize -q -j 2 -o out", "%s -q -j 2 -o out %s" % (pavonize, files)),
    ]


def large_set(build, work):
    names = ["big%d.bmp" % i for i in range(1, LARGE_IMAGES + 1)]
    for name in names:
        run([os.path.join(build, "bench", "make_bench_image"), str(LARGE_SIDE), str(LARGE_SIDE),
             os.path.join(work, name)])
    files = " ".join(names)
    pavonize = shlex.quote(os.path.join(build, "bin", "pavonize"))
    return [
        ("cp", "cp %s out/" % files),
        ("pavonize -q -j 1 -o out", "%s -q -j 1 -o out %s" % (pavonize, files)),
        ("pavonize -q -j 2 -o out", "%s -q -j 2 -o out %s" % (pavonize, files)),
    ]


def table(title, per_round, reference):
    lines = ["| %s | seconds (median) | ÷ %s |" % (title, reference), "|---|---|---|"]
    for name, medians in per_round.items():
        lines.append("| `%s` | %.4f | %.2f |"
                     % (name, statistics.median(medians), ratio(per_round, name, reference)))
    return "\n".join(lines) + "\n"


def goal(text, value, limit):
    return "| %s | %.2f× | %s |" % (text, value, "met" if value <= limit else "**missed**")


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--build", required=True, help="release build tree")
    parser.add_argument("--rounds", type=int, default=5)
    parser.add_argument("--runs", type=int, default=5, help="hyperfine runs per round")
    parser.add_argument("--output", help="write the report here as well as to stdout")
    options = parser.parse_args()
    build = os.path.abspath(options.build)
    work = tempfile.mkdtemp(prefix="pavonize-batch-goals-")
    try:
        print("200 small images", flush=True)
        small_dir = os.path.join(work, "small")
        os.mkdir(small_dir)
        small = time_rounds(small_set(build, small_dir), small_dir, options.rounds, options.runs)
        print("six 9-megapixel images", flush=True)
        large_dir = os.path.join(work, "large")
        os.mkdir(large_dir)
        large = time_rounds(large_set(build, large_dir), large_dir, options.rounds, options.runs)
        shutil.rmtree(large_dir)
        print("the Python loop", flush=True)
        loop_report = os.path.join(work, "loop.md")
        run([PYTHON, os.path.join(BENCH_DIR, "python_loop.py"), "--build", build, "--images",
             str(SMALL_IMAGES), "--rounds", str(options.rounds), "--output", loop_report])
        with open(loop_report) as loop:
            loop_text = loop.read()
    finally:
        shutil.rmtree(work, ignore_errors=True)
    goals = "\n".join([
        "| goal | measured | |",
        "|---|---|---|",
        goal("200 small images in one batch within 1.5× of `cp`",
             ratio(small, "pavonize -q -o out", "cp"), 1.5),
        goal("`--colours` within 1.25× of drawn colours",
             ratio(small, "pavonize -q --colours LIST -o out", "pavonize -q -o out"), 1.25),
        goal("`-j 2` on six 9 MP images at most 0.75× of `-j 1`",
             ratio(large, "pavonize -q -j 2 -o out", "pavonize -q -j 1 -o out"), 0.75),
    ]) + "\n"
    text = ("%s\n%s\n%s\nThe Python loop (`bench/python_loop.py`, %d images):\n\n%s"
            % (goals, table("200 small images", small, "cp"),
               table("six 9 MP images", large, "pavonize -q -j 1 -o out"), SMALL_IMAGES,
               loop_text))
    print()
    print(text, end="")
    if options.output:
        with open(options.output, "w") as report:
            report.write(text)


if __name__ == "__main__":
    main()
