"""Times a Python loop over many small 8-bit BMPs: the orvanepavonize module
against the Pillow equivalent, and against a plain copy of each file (the
floor any loop that writes files meets), in the same process and the same
rounds.

    python_loop.py --build BUILD [--images 1000] [--rounds 7] [--folder /tmp]
                   [--output report.md]

Makes the images (48 to 160 pixels a side, grey ramp palette, a gradient
with noise; the same files on every run) in a new folder under --folder, and
imports the module from BUILD/python, which calls BUILD's library in this
process. Each round runs every loop once, in a rotated order, over all the
images, writing new files into one folder (every output is removed before
each loop, outside the timing); a warm-up pass first loads the library and
Pillow, and checks their bands agree. A loop's time is the median over
rounds, and a ratio the median of the ratios within rounds. A second table
repeats the loops over outputs that exist already, which the library
replaces atomically (and syncs). It reports; it never fails on speed."""
import argparse
import os
import random
import shutil
import statistics
import struct
import subprocess
import sys
import tempfile
import time

BENCH_DIR = os.path.dirname(os.path.abspath(__file__))
BAND_TABLE = [value // 64 for value in range(256)]
GREY_PALETTE = bytes(channel for level in range(256) for channel in (level, level, level, 0))


def make_image(path, width, height, noise):
    """An 8-bit bottom-up BMP: a diagonal gradient over every grey, with noise."""
    row_bytes = (width + 3) // 4 * 4
    rows = bytearray()
    for y in range(height):
        row = bytes(min(255, (x + y) * 255 // (width + height - 2) + noise.randrange(8))
                    for x in range(width))
        rows += row + bytes(row_bytes - width)
    info = struct.pack("<IiiHHIIiiII", 40, width, height, 1, 8, 0, len(rows), 0, 0, 256, 0)
    offset = 14 + len(info) + len(GREY_PALETTE)
    header = b"BM" + struct.pack("<IHHI", offset + len(rows), 0, 0, offset)
    with open(path, "wb") as file:
        file.write(header + info + GREY_PALETTE + rows)


def make_images(folder, count):
    noise = random.Random(20)
    sides = random.Random(48)
    paths = []
    for index in range(count):
        path = os.path.join(folder, "in-%04d.bmp" % index)
        make_image(path, sides.randint(48, 160), sides.randint(48, 160), noise)
        paths.append(path)
    return paths


def pillow_loop(pairs):
    from PIL import Image
    for source, target in pairs:
        bands = Image.open(source).convert("L").point(BAND_TABLE)
        colours = [random.randrange(256) for _ in range(12)]
        bands.putpalette(colours + [level for level in range(4, 256) for _ in range(3)])
        bands.save(target, format="BMP")


def copy_loop(pairs):
    """The floor: each file read and written again, as it is."""
    for source, target in pairs:
        with open(source, "rb") as file:
            data = file.read()
        with open(target, "wb") as file:
            file.write(data)


def pavonize_loop(pairs):
    import orvanepavonize
    for source, target in pairs:
        orvanepavonize.pavonize(source, target)


def chosen_colours_loop(pairs):
    import orvanepavonize
    colours = ["#000080", "#008000", "#FFFF00", "#FF0000"]
    for source, target in pairs:
        orvanepavonize.pavonize(source, target, colours=colours)


def many_loop(workers):
    def run(pairs):
        import orvanepavonize
        results = orvanepavonize.pavonize_many(pairs, workers=workers)
        assert all(result == orvanepavonize.PAVONIZE_DONE for result in results)
    return run


def bytes_loop(pairs):
    import orvanepavonize
    for source, target in pairs:
        with open(source, "rb") as file:
            data = file.read()
        with open(target, "wb") as file:
            file.write(orvanepavonize.pavonize_bytes(data))


LOOPS = [
    ("Pillow: open, convert('L'), point, putpalette, save", pillow_loop),
    ("orvanepavonize.pavonize() per image", pavonize_loop),
    ("orvanepavonize.pavonize(colours=...) per image", chosen_colours_loop),
    ("orvanepavonize.pavonize_many(), 1 thread", many_loop(1)),
    ("orvanepavonize.pavonize_many(), 2 threads", many_loop(2)),
    ("orvanepavonize.pavonize_bytes(), files read and written here", bytes_loop),
    ("copy: each file read and written by Python, unchanged (the floor)", copy_loop),
]
PILLOW, PAVONIZE, CHOSEN = LOOPS[0][0], LOOPS[1][0], LOOPS[2][0]
# Goals: a loop of pavonize() at most 0.4 times Pillow's, and colours= at
# most 1.25 times the drawn colours' loop.
GOAL_PILLOW, GOAL_COLOURS = 0.4, 1.25


def outputs(work, name, count):
    folder = os.path.join(work, "out-%d" % [n for n, _ in LOOPS].index(name))
    os.makedirs(folder, exist_ok=True)
    return [os.path.join(folder, "out-%04d.bmp" % index) for index in range(count)]


def clear(targets):
    for target in targets:
        try:
            os.remove(target)
        except FileNotFoundError:
            pass


def time_rounds(work, sources, rounds, replace):
    # Every loop writes into one folder, so that none is helped or slowed
    # by where the file system put its folder.
    folder = os.path.join(work, "timed")
    os.makedirs(folder, exist_ok=True)
    targets = [os.path.join(folder, "out-%04d.bmp" % index) for index in range(len(sources))]
    if replace:
        LOOPS[1][1](list(zip(sources, targets)))
    per_round = {name: [] for name, _ in LOOPS}
    for round_number in range(rounds):
        turn = round_number % len(LOOPS)
        for name, loop in LOOPS[turn:] + LOOPS[:turn]:
            if not replace:
                clear(targets)
            os.sync()  # no earlier output still being written back
            start = time.perf_counter()
            loop(list(zip(sources, targets)))
            per_round[name].append(time.perf_counter() - start)
        print("    round %d/%d done" % (round_number + 1, rounds), flush=True)
    return per_round


def check_bands(work, sources):
    """Pillow's outputs show the same bands as the module's, for a few images."""
    reference = outputs(work, PAVONIZE, len(sources))
    other = outputs(work, PILLOW, len(sources))
    for index in range(0, len(sources), max(1, len(sources) // 10)):
        checked = subprocess.run([sys.executable, os.path.join(BENCH_DIR, "compare_bands.py"),
                                  reference[index], other[index]], capture_output=True, text=True)
        if checked.returncode != 0:
            return "DIFFERENT: " + checked.stderr.strip()
    return "same"


def table(per_round, count):
    lines = ["| loop | median s for %d images | ms per image | time ÷ Pillow |" % count,
             "|---|---|---|---|"]
    for name, _ in LOOPS:
        seconds = statistics.median(per_round[name])
        ratio = statistics.median(a / b for a, b in zip(per_round[name], per_round[PILLOW]))
        lines.append("| %s | %.3f | %.3f | %.2f |" % (name, seconds, seconds * 1000 / count, ratio))
    return lines


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--build", required=True, help="build tree with the library and python/")
    parser.add_argument("--images", type=int, default=1000)
    parser.add_argument("--rounds", type=int, default=7)
    parser.add_argument("--output", help="write the report here as well as to stdout")
    parser.add_argument("--folder", default="/tmp",
                        help="where the images are made and written (default /tmp; /dev/shm "
                        "leaves the disk out)")
    options = parser.parse_args()
    sys.path.insert(0, os.path.join(os.path.abspath(options.build), "python"))
    import orvanepavonize
    from PIL import __version__ as pillow_version

    work = tempfile.mkdtemp(prefix="pavonize-loop-", dir=options.folder)
    try:
        print("making %d images" % options.images, flush=True)
        sources = make_images(work, options.images)
        print("warm-up and band check", flush=True)
        for name, loop in LOOPS:
            loop(list(zip(sources, outputs(work, name, len(sources)))))
        bands = check_bands(work, sources)
        print("timing, new outputs: %d rounds" % options.rounds, flush=True)
        fresh = time_rounds(work, sources, options.rounds, replace=False)
        print("timing, outputs replaced: %d rounds" % options.rounds, flush=True)
        replaced = time_rounds(work, sources, options.rounds, replace=True)
    finally:
        shutil.rmtree(work, ignore_errors=True)
    lines = ["orvanepavonize %s, Pillow %s, Python %s; %d images of 48-160 pixels a side in "
             "%s; medians of %d rounds. Bands of Pillow's output against the module's: %s." % (
                 orvanepavonize.__version__, pillow_version, sys.version.split()[0],
                 options.images, options.folder, options.rounds, bands),
             "", "New outputs:", ""] + table(fresh, options.images) + [
             "", "Outputs that exist already (replaced):", ""] + table(replaced, options.images)
    ratio = statistics.median(a / b for a, b in zip(fresh[PAVONIZE], fresh[PILLOW]))
    chosen = statistics.median(a / b for a, b in zip(fresh[CHOSEN], fresh[PAVONIZE]))
    lines += ["", "Goals, new outputs: a loop of pavonize() at most %.2f times Pillow's: %s, %.2f; "
              "colours= at most %.2f times the drawn colours: %s, %.2f" % (
                  GOAL_PILLOW, "met" if ratio <= GOAL_PILLOW else "**missed**", ratio,
                  GOAL_COLOURS, "met" if chosen <= GOAL_COLOURS else "**missed**", chosen)]
    text = "\n".join(lines) + "\n"
    print()
    print(text, end="")
    if options.output:
        with open(options.output, "w") as out:
            out.write(text)
    return 1 if bands != "same" else 0


if __name__ == "__main__":
    sys.exit(main())
