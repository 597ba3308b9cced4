"""Times pavonize against cp, two plain C programs and the installed peers
(Pillow, ImageMagick, netpbm) on inputs of 1, 16 and 256 megapixels, checks
that every recolouring program draws the same bands, and writes a Markdown
report of medians, ratios and peak memory. bench/run_benchmarks.sh installs
what is missing, builds, and calls this.

Timing: each round is one hyperfine run over every program in turn (the
slow peers in a second one at the largest size), so the programs are timed
side by side under the same conditions; a program's time is the median of
its round medians, and a ratio is the median of the ratios within rounds.
Peak memory comes from one run under /usr/bin/time -v. Every run writes a
new output file: all outputs are removed before it, outside the timing."""
import argparse
import json
import math
import os
import platform
import re
import shutil
import statistics
import subprocess
import sys
import tempfile

BENCH_DIR = os.path.dirname(os.path.abspath(__file__))
PYTHON = "/usr/bin/python3"  # Debian's python packages are importable only here
MIB = 1 << 20
PIXEL_OFFSET = 14 + 40 + 1024  # headers and palette of an 8-bit BMP

# Fixed colours for the peers that need them spelled out; pavonize and the
# Pillow script draw their own. Bands are compared, not colours.
PEER_COLOURS = [(200, 30, 40), (20, 180, 60), (50, 60, 220), (240, 220, 10)]

# Raises ImageMagick's default limits (128 MP, 256 MiB of memory, 16K
# pixels a side), which refuse or page to disk the 256 MP image.
MAGICK_POLICY = """<policymap>
  <policy domain="resource" name="memory" value="16GiB"/>
  <policy domain="resource" name="map" value="16GiB"/>
  <policy domain="resource" name="disk" value="16GiB"/>
  <policy domain="resource" name="area" value="16GP"/>
  <policy domain="resource" name="width" value="1MP"/>
  <policy domain="resource" name="height" value="1MP"/>
</policymap>
"""

# The other programs that recolour an image; cp and the plain C programs are
# yardsticks, not peers.
PEERS = ("Pillow", "ImageMagick", "netpbm")
SLOW_PEERS = ("ImageMagick", "netpbm")  # seconds per run at 256 MP

# Rounds and hyperfine runs per round for each size (megapixels): enough for
# stable medians, few enough that the 256 MP peers finish in minutes.
DEFAULT_REPEATS = {1: (10, 10), 16: (7, 3), 256: (7, 1)}


def run(arguments, **options):
    return subprocess.run(arguments, check=True, **options)


def write_peer_assets(work):
    """The colour table for ImageMagick's -clut, its -remap palette, and the
    lookup table for netpbm's pamlookup: grey value v gets band v / 64."""
    with open(os.path.join(work, "clut.ppm"), "w") as clut:
        clut.write("P3\n256 1\n255\n")
        for value in range(256):
            clut.write("%d %d %d\n" % PEER_COLOURS[value // 64])
    with open(os.path.join(work, "palette.ppm"), "w") as palette:
        palette.write("P3\n4 1\n255\n")
        for colour in PEER_COLOURS:
            palette.write("%d %d %d\n" % colour)
    with open(os.path.join(work, "lookup.pam"), "wb") as lookup:
        lookup.write(b"P7\nWIDTH 256\nHEIGHT 1\nDEPTH 3\nMAXVAL 255\nTUPLTYPE RGB\nENDHDR\n")
        lookup.write(bytes(channel for value in range(256) for channel in PEER_COLOURS[value // 64]))
    policy_dir = os.path.join(work, "magick")
    os.makedirs(policy_dir, exist_ok=True)
    with open(os.path.join(policy_dir, "policy.xml"), "w") as policy:
        policy.write(MAGICK_POLICY)


def have_pillow():
    return subprocess.run([PYTHON, "-c", "import PIL"], capture_output=True).returncode == 0


def programs(build, work, source):
    """(name, argv for a run writing `target`, recolours?) for every program
    that is installed; argv is a function of the output path."""
    def output(name):
        return os.path.join(work, "out-%s.bmp" % name)

    found = [
        ("cp", lambda t: ["cp", source, t], False),
        ("pavonize", lambda t: [os.path.join(build, "bin", "pavonize"), source, t], True),
        ("plain C, whole file",
         lambda t: [os.path.join(build, "bench", "whole_file_recolour"), source, t], True),
        ("plain C, 1 MiB chunks",
         lambda t: [os.path.join(build, "bench", "streaming_recolour"), source, t], True),
    ]
    if have_pillow():
        script = os.path.join(BENCH_DIR, "peers", "pillow_recolour.py")
        found.append(("Pillow", lambda t: [PYTHON, script, source, t], True))
    if shutil.which("convert"):
        found.append(("ImageMagick", lambda t: [
            "env", "MAGICK_CONFIGURE_PATH=" + os.path.join(work, "magick"), "convert", source,
            os.path.join(work, "clut.ppm"), "-interpolate", "Integer", "-clut", "+dither",
            "-remap", os.path.join(work, "palette.ppm"), "-compress", "none", "BMP3:" + t], True))
    if all(shutil.which(tool) for tool in ("bmptopnm", "pamlookup", "ppmtobmp")):
        lookup = os.path.join(work, "lookup.pam")
        found.append(("netpbm", lambda t: [
            "sh", "-c", "bmptopnm -quiet '%s' | pamlookup -quiet -lookupfile='%s' | "
            "ppmtobmp -quiet > '%s'" % (source, lookup, t)], True))
    return [(name, make(output(slug(name))), output(slug(name)), recolours)
            for name, make, recolours in found]


def slug(name):
    return re.sub(r"[^a-z0-9]+", "-", name.lower()).strip("-")


def remove(path):
    if os.path.exists(path):
        os.remove(path)


def check_bands(entries, reference):
    """Runs every program once (which also warms the page cache) and compares
    its bands with pavonize's."""
    verdicts = {}
    for name, argv, target, _ in entries:
        remove(target)
        run(argv, stdout=subprocess.DEVNULL)
    for name, argv, target, recolours in entries:
        if not recolours or target == reference:
            verdicts[name] = "reference" if target == reference else "copy"
            continue
        checked = subprocess.run([PYTHON, os.path.join(BENCH_DIR, "compare_bands.py"), reference,
                                  target], capture_output=True, text=True)
        verdicts[name] = "same" if checked.returncode == 0 else "DIFFERENT: " + checked.stderr.strip()
    return verdicts


def peak_memory_mib(argv, target):
    """Largest resident set of one run; for a pipeline, of its largest process."""
    remove(target)
    report = subprocess.run(["/usr/bin/time", "-v"] + argv, stdout=subprocess.DEVNULL,
                            stderr=subprocess.PIPE, text=True, check=True).stderr
    kib = int(re.search(r"Maximum resident set size \(kbytes\): (\d+)", report).group(1))
    return kib / 1024


def time_rounds(entries, work, rounds, runs, megapixels):
    """Per program, the median of each round. Each program gets one
    untimed warm-up run right before its timed runs, so that it starts from
    the same state as its own previous run: on a virtual machine memory left
    free for a few seconds may go back to the host and cost far more to touch
    again. The slow peers skip the warm-up at the largest size, where it
    would take minutes and change nothing."""
    per_round = {name: [] for name, _, _, _ in entries}
    slow = [entry for entry in entries if entry[0] in SLOW_PEERS and megapixels >= 100]
    groups = [[entry for entry in entries if entry not in slow], slow]
    every_target = [target for _, _, target, _ in entries]
    for round_number in range(rounds):
        for group in groups:
            if group:
                # A different program goes first in each round, so none is
                # always the one that follows a particular other.
                turn = round_number % len(group)
                order = group[turn:] + group[:turn]
                warmup = 0 if group is slow else 1
                for name, median in hyperfine(order, every_target, work, runs, warmup):
                    per_round[name].append(median)
        print("    round %d/%d done" % (round_number + 1, rounds), flush=True)
    return per_round


def hyperfine(entries, every_target, work, runs, warmup):
    exported = os.path.join(work, "round.json")
    command = ["hyperfine", "-N", "--style", "none", "--runs", str(runs), "--warmup",
               str(warmup), "--export-json", exported,
               # Before every run, every program's output goes: each run
               # writes a new file, and no earlier output is still being
               # written back while it runs.
               "--prepare", "rm -f " + " ".join(quote(target) for target in every_target)]
    for name, argv, target, _ in entries:
        command += ["-n", name, " ".join(quote(a) for a in argv)]
    finished = subprocess.run(command, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, text=True)
    if finished.returncode != 0:
        sys.exit("hyperfine failed:\n" + finished.stderr)
    with open(exported) as results:
        return [(result["command"], result["median"]) for result in json.load(results)["results"]]


def quote(argument):
    # hyperfine -N splits the command line like a shell, quotes included.
    if re.fullmatch(r"[\w@%+=:,./-]+", argument):
        return argument
    return "'" + argument.replace("'", "'\"'\"'") + "'"


def colour_pass_speed(build):
    """The Google Benchmark of the colouring pass: bytes per CPU second for
    each kind of palette, medians of five."""
    report = subprocess.run(
        [os.path.join(build, "bench", "colour_bands_benchmark"), "--benchmark_format=json",
         "--benchmark_repetitions=5", "--benchmark_report_aggregates_only=true"],
        capture_output=True, text=True, check=True).stdout
    return {benchmark["label"]: benchmark["bytes_per_second"]
            for benchmark in json.loads(report)["benchmarks"]
            if benchmark.get("aggregate_name") == "median"}


def side_for(megapixels):
    # Square images; a side that is a multiple of four leaves no row padding.
    return max(4, int(round(math.sqrt(megapixels * 1e6) / 4)) * 4)


def measure_size(build, work, megapixels, rounds, runs):
    side = side_for(megapixels)
    source = os.path.join(work, "in-%dx%d.bmp" % (side, side))
    print("%g MP (%dx%d)" % (megapixels, side, side), flush=True)
    run([os.path.join(build, "bench", "make_bench_image"), str(side), str(side), source])
    entries = programs(build, work, source)
    reference = dict((name, target) for name, _, target, _ in entries)["pavonize"]
    print("  checking bands", flush=True)
    verdicts = check_bands(entries, reference)
    print("  peak memory", flush=True)
    memory = {name: peak_memory_mib(argv, target) for name, argv, target, _ in entries}
    print("  timing: %d rounds of %d runs" % (rounds, runs), flush=True)
    per_round = time_rounds(entries, work, rounds, runs, megapixels)
    for _, _, target, _ in entries:
        remove(target)
    file_bytes = os.path.getsize(source)
    os.remove(source)
    return {
        "megapixels": megapixels, "side": side, "file_bytes": file_bytes,
        "pixel_bytes": file_bytes - PIXEL_OFFSET, "rounds": rounds, "runs": runs,
        "programs": [name for name, _, _, _ in entries],
        "seconds": {name: statistics.median(times) for name, times in per_round.items()},
        "per_round": per_round, "memory_mib": memory, "bands": verdicts,
    }


def ratio(size, name, over):
    """Median over rounds of name's time divided by over's time."""
    pairs = zip(size["per_round"][name], size["per_round"][over])
    return statistics.median(a / b for a, b in pairs)


def report(results, filesystem, colour_speed, rounds_note):
    lines = []
    add = lines.append
    add("Machine: %s, %d cores, Linux %s; output on %s; transparent huge pages: %s." % (
        cpu_model(), os.cpu_count(), platform.release(), filesystem,
        thp_mode()))
    add("")
    add("| size | program | median s | MB/s | ms per MB | time ÷ cp | time ÷ pavonize "
        "| peak MiB | bands |")
    add("|---|---|---|---|---|---|---|---|---|")
    for size in results:
        megabytes = size["file_bytes"] / 1e6
        for name in size["programs"]:
            seconds = size["seconds"][name]
            add("| %g MP | %s | %.4f | %.0f | %.3f | %.2f | %.2f | %.1f | %s |" % (
                size["megapixels"], name, seconds, megabytes / seconds,
                seconds * 1000 / megabytes, ratio(size, name, "cp"),
                ratio(size, name, "pavonize"), size["memory_mib"][name], size["bands"][name]))
    add("")
    add(rounds_note)
    add("")
    add("Goals:")
    add("")
    for goal, figure, met in goals(results, colour_speed):
        add("- %s %s: %s" % ("met" if met else "**missed**", goal, figure))
    return "\n".join(lines) + "\n"


def goals(results, colour_speed):
    by_size = {size["megapixels"]: size for size in results}
    checks = []

    def against(megapixels, name, over, limit, at_most, goal):
        size = by_size.get(megapixels)
        if size is None or name not in size["seconds"] or over not in size["seconds"]:
            return
        value = ratio(size, name, over)
        checks.append((goal, "%.2f×" % value, value <= limit if at_most else value >= limit))

    against(256, "pavonize", "cp", 1.3, True, "256 MP within 1.3× of cp")
    against(256, "plain C, whole file", "pavonize", 2.0, False,
            "256 MP at least 2× faster than plain C whole file")
    against(16, "pavonize", "cp", 1.5, True, "16 MP within 1.5× of cp")
    against(256, "Pillow", "pavonize", 3.0, False, "256 MP at least 3× Pillow")
    against(256, "ImageMagick", "pavonize", 30.0, False, "256 MP at least 30× ImageMagick")
    against(1, "pavonize", "cp", 2.0, True, "1 MP within 2× of cp")
    against(1, "Pillow", "pavonize", 10.0, False, "1 MP at least 10× Pillow")
    for size in results:
        peers = [name for name in size["programs"] if name in PEERS]
        if peers:
            closest = min(peers, key=lambda name: ratio(size, name, "pavonize"))
            margin = ratio(size, closest, "pavonize")
            checks.append(("%g MP ahead of every peer" % size["megapixels"],
                           "closest, %s, takes %.2f× as long" % (closest, margin), margin > 1.0))
        allowed = (size["pixel_bytes"] + 4 * MIB) / MIB
        used = size["memory_mib"]["pavonize"]
        checks.append(("%g MP peak memory at most pixel area + 4 MiB" % size["megapixels"],
                       "%.1f MiB of %.1f MiB allowed" % (used, allowed), used <= allowed))
    # Time per MB at each size, and the cost of each further MB between one
    # size and the next, which leaves out the fixed cost of starting.
    ordered = sorted(results, key=lambda s: s["file_bytes"])
    per_megabyte = [s["seconds"]["pavonize"] * 1e9 / s["file_bytes"] for s in ordered]
    figures = ", ".join("%g MP %.2f ms" % (s["megapixels"], value)
                        for s, value in zip(ordered, per_megabyte))
    marginal = ["%g→%g MP %.2f ms" % (a["megapixels"], b["megapixels"],
                                      (b["seconds"]["pavonize"] - a["seconds"]["pavonize"]) * 1e9 /
                                      (b["file_bytes"] - a["file_bytes"]))
                for a, b in zip(ordered, ordered[1:])]
    if marginal:
        figures += "; each further MB: " + ", ".join(marginal)
    spread = max(per_megabyte) / min(per_megabyte)
    checks.append(("time per MB flat (largest ÷ smallest within 1.25)",
                   "%s (spread %.2f)" % (figures, spread), spread <= 1.25))
    for label, speed in sorted((colour_speed or {}).items()):
        checks.append(("colouring pass at least 2 GB/s on one core, %s" % label,
                       "%.2f GB/s (median of 5, CPU time)" % (speed / 1e9), speed >= 2e9))
    return checks


def cpu_model():
    with open("/proc/cpuinfo") as info:
        for line in info:
            if line.startswith("model name"):
                return line.split(":", 1)[1].strip()
    return platform.machine()


def thp_mode():
    try:
        with open("/sys/kernel/mm/transparent_hugepage/enabled") as mode:
            return re.search(r"\[(\w+)\]", mode.read()).group(1)
    except (OSError, AttributeError):
        return "unknown"


def filesystem_of(path):
    found = subprocess.run(["findmnt", "-n", "-o", "FSTYPE", "-T", path], capture_output=True,
                           text=True)
    return found.stdout.strip() or "unknown"


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--build", required=True, help="build tree with pavonize and bench/")
    parser.add_argument("--work", help="scratch folder for images (default: a new one in /tmp)")
    parser.add_argument("--sizes", default="1,16,256", help="megapixels, comma-separated")
    parser.add_argument("--rounds", type=int, help="rounds per size (default by size)")
    parser.add_argument("--runs", type=int, help="hyperfine runs per round (default by size)")
    parser.add_argument("--no-colour-pass", action="store_true",
                        help="skip the Google Benchmark of the colouring pass")
    parser.add_argument("--output", help="write the report here as well as to stdout")
    parser.add_argument("--json", help="write the raw figures here")
    options = parser.parse_args()

    work = options.work or tempfile.mkdtemp(prefix="pavonize-bench-", dir="/tmp")
    os.makedirs(work, exist_ok=True)
    write_peer_assets(work)
    filesystem = filesystem_of(work)
    results = []
    notes = []
    try:
        for text in options.sizes.split(","):
            megapixels = float(text)
            default_rounds, default_runs = DEFAULT_REPEATS.get(megapixels, (5, 3))
            rounds = options.rounds or default_rounds
            runs = options.runs or default_runs
            results.append(measure_size(options.build, work, megapixels, rounds, runs))
            notes.append("%g MP: %d rounds × %d runs" % (megapixels, rounds, runs))
    finally:
        if options.work is None:
            shutil.rmtree(work, ignore_errors=True)
    colour_speed = None if options.no_colour_pass else colour_pass_speed(options.build)
    text = report(results, filesystem, colour_speed,
                  "Medians of " + "; ".join(notes) + ".")
    print()
    print(text, end="")
    if options.output:
        with open(options.output, "w") as out:
            out.write(text)
    if options.json:
        with open(options.json, "w") as out:
            json.dump({"sizes": results, "colour_pass_bytes_per_second": colour_speed}, out,
                      indent=1)
    different = [(size["megapixels"], name, verdict) for size in results
                 for name, verdict in size["bands"].items() if verdict.startswith("DIFFERENT")]
    for megapixels, name, verdict in different:
        print("%g MP %s: %s" % (megapixels, name, verdict), file=sys.stderr)
    return 1 if different else 0


if __name__ == "__main__":
    sys.exit(main())
