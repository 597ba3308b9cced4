"""Times a Python loop over many small 8-bit BMPs: the orvanepavonize module
against the Pillow equivalent, and against a plain copy of each file (the
floor any loop that writes files meets), in the same process and the same
rounds. Then a loop over numpy arrays in memory: pavonize_image() against
Pillow's in-memory equivalent, numpy's own lookup and OpenCV's
applyColorMap (when python3-opencv is installed).

    python_loop.py --build BUILD [--images 1000] [--rounds 7] [--folder /tmp]
                   [--arrays 300] [--arrays-only] [--output report.md]

Makes the images (48 to 160 pixels a side, grey ramp palette, a gradient
with noise; the same files on every run) in a new folder under --folder, and
imports the module from BUILD/python, which calls BUILD's library in this
process. Each round runs every loop once, in a rotated order, over all the
images, writing new files into one folder (every output is removed before
each loop, outside the timing); a warm-up pass first loads the library and
Pillow, and checks their bands agree. A loop's time is the median over
rounds, and a ratio the median of the ratios within rounds. A second table
repeats the loops over outputs that exist already, which the library
replaces atomically (and syncs). The arrays (256 x 256, uint8, the same
gradient with noise) are timed the same way, each loop making one coloured
image per array and keeping none. It reports; it never fails on speed."""
import argparse
import importlib.util
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


# In memory: every loop colours each array and keeps nothing. Pillow's and
# the module's results are images of mode "P"; numpy's and OpenCV's are
# arrays of colours (OpenCV's in blue, green, red order).
ARRAY_SIDE = 256
ARRAY_COLOURS = ["#000080", "#008000", "#FFFF00", "#FF0000"]
ARRAY_RGB = [[0, 0, 128], [0, 128, 0], [255, 255, 0], [255, 0, 0]]
ARRAY_PALETTE = [channel for colour in ARRAY_RGB for channel in colour] + [
    level for level in range(4, 256) for _ in range(3)]


def make_arrays(count):
    import numpy
    noise = numpy.random.default_rng(20)
    ramp = numpy.add.outer(numpy.arange(ARRAY_SIDE), numpy.arange(ARRAY_SIDE)) // 2
    return [numpy.minimum(255, ramp + noise.integers(0, 8, ramp.shape)).astype(numpy.uint8)
            for _ in range(count)]


def pavonize_image_loop(arrays):
    import orvanepavonize
    for array in arrays:
        orvanepavonize.pavonize_image(array)


def pavonize_image_colours_loop(arrays):
    import orvanepavonize
    for array in arrays:
        orvanepavonize.pavonize_image(array, colours=ARRAY_COLOURS)


def pillow_array_loop(arrays):
    from PIL import Image
    for array in arrays:
        image = Image.fromarray(array).point(BAND_TABLE)
        image.putpalette(ARRAY_PALETTE)


def numpy_loop(arrays):
    import numpy
    palette = numpy.array(ARRAY_RGB, dtype=numpy.uint8)
    for array in arrays:
        palette[array >> 6]


def opencv_loop(arrays):
    import cv2
    import numpy
    table = numpy.array([ARRAY_RGB[value >> 6][::-1] for value in range(256)], numpy.uint8)
    table = table.reshape(256, 1, 3)
    for array in arrays:
        cv2.applyColorMap(array, table)


ARRAY_LOOPS = [
    ("Pillow: fromarray, point, putpalette", pillow_array_loop),
    ("orvanepavonize.pavonize_image()", pavonize_image_loop),
    ("orvanepavonize.pavonize_image(colours=...)", pavonize_image_colours_loop),
    ("numpy: PALETTE[array >> 6]", numpy_loop),
    ("OpenCV: applyColorMap with a 256-entry table", opencv_loop),
]
ARRAY_PILLOW, ARRAY_PAVONIZE = ARRAY_LOOPS[0][0], ARRAY_LOOPS[1][0]
# Goal: pavonize_image() at most twice Pillow's time.
GOAL_ARRAYS = 2.0


def check_array_colours(arrays, loops):
    """Every loop's colours for a few arrays, set beside numpy's lookup."""
    import numpy
    import orvanepavonize
    from PIL import Image
    palette = numpy.array(ARRAY_RGB, dtype=numpy.uint8)
    for array in arrays[::max(1, len(arrays) // 10)]:
        expected = palette[array >> 6]
        made = {"pavonize_image": numpy.asarray(orvanepavonize.pavonize_image(
                    array, colours=ARRAY_COLOURS).convert("RGB"))}
        image = Image.fromarray(array).point(BAND_TABLE)
        image.putpalette(ARRAY_PALETTE)
        made["Pillow"] = numpy.asarray(image.convert("RGB"))
        if any(loop is opencv_loop for _, loop in loops):
            import cv2
            table = numpy.array([ARRAY_RGB[value >> 6][::-1] for value in range(256)],
                                numpy.uint8).reshape(256, 1, 3)
            made["OpenCV"] = cv2.applyColorMap(array, table)[..., ::-1]
        for name, colours in made.items():
            if not numpy.array_equal(colours, expected):
                return "DIFFERENT: " + name
    return "same"


def time_array_rounds(loops, arrays, rounds):
    per_round = {name: [] for name, _ in loops}
    for round_number in range(rounds):
        turn = round_number % len(loops)
        for name, loop in loops[turn:] + loops[:turn]:
            start = time.perf_counter()
            loop(arrays)
            per_round[name].append(time.perf_counter() - start)
    return per_round


def array_report(count, rounds):
    have_opencv = importlib.util.find_spec("cv2") is not None
    loops = [(name, loop) for name, loop in ARRAY_LOOPS if loop is not opencv_loop or have_opencv]
    arrays = make_arrays(count)
    for _, loop in loops:  # warm-up: the library, Pillow and OpenCV loaded
        loop(arrays[:10])
    colours = check_array_colours(arrays, loops)
    per_round = time_array_rounds(loops, arrays, rounds)
    lines = ["%d uint8 arrays of %d x %d in memory; medians of %d rounds. Colours of every "
             "loop against numpy's lookup: %s.%s" % (
                 count, ARRAY_SIDE, ARRAY_SIDE, rounds, colours,
                 "" if len(loops) == len(ARRAY_LOOPS) else " OpenCV (python3-opencv) is not "
                 "installed."),
             "", "| loop | median s for %d arrays | µs per array | time ÷ Pillow |" % count,
             "|---|---|---|---|"]
    for name, _ in loops:
        seconds = statistics.median(per_round[name])
        ratio = statistics.median(
            a / b for a, b in zip(per_round[name], per_round[ARRAY_PILLOW]))
        lines.append("| %s | %.4f | %.1f | %.2f |" % (name, seconds, seconds * 1e6 / count,
                                                      ratio))
    ratio = statistics.median(
        a / b for a, b in zip(per_round[ARRAY_PAVONIZE], per_round[ARRAY_PILLOW]))
    lines += ["", "Goal: pavonize_image() at most %.2f times Pillow's time: %s, %.2f" % (
        GOAL_ARRAYS, "met" if ratio <= GOAL_ARRAYS else "**missed**", ratio)]
    return lines, colours


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


def file_report(options):
    """The loops over files: the report's lines, and the band check."""
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
    lines = ["%d images of 48-160 pixels a side in %s; medians of %d rounds. Bands of Pillow's "
             "output against the module's: %s." % (
                 options.images, options.folder, options.rounds, bands),
             "", "New outputs:", ""] + table(fresh, options.images) + [
             "", "Outputs that exist already (replaced):", ""] + table(replaced, options.images)
    ratio = statistics.median(a / b for a, b in zip(fresh[PAVONIZE], fresh[PILLOW]))
    chosen = statistics.median(a / b for a, b in zip(fresh[CHOSEN], fresh[PAVONIZE]))
    lines += ["", "Goals, new outputs: a loop of pavonize() at most %.2f times Pillow's: %s, %.2f; "
              "colours= at most %.2f times the drawn colours: %s, %.2f" % (
                  GOAL_PILLOW, "met" if ratio <= GOAL_PILLOW else "**missed**", ratio,
                  GOAL_COLOURS, "met" if chosen <= GOAL_COLOURS else "**missed**", chosen)]
    return lines, bands


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--build", required=True, help="build tree with the library and python/")
    parser.add_argument("--images", type=int, default=1000)
    parser.add_argument("--rounds", type=int, default=7)
    parser.add_argument("--output", help="write the report here as well as to stdout")
    parser.add_argument("--folder", default="/tmp",
                        help="where the images are made and written (default /tmp; /dev/shm "
                        "leaves the disk out)")
    parser.add_argument("--arrays", type=int, default=300,
                        help="arrays for the loops in memory (default 300; 0 leaves them out)")
    parser.add_argument("--arrays-only", action="store_true", help="no loops over files")
    options = parser.parse_args()
    sys.path.insert(0, os.path.join(os.path.abspath(options.build), "python"))
    import orvanepavonize
    from PIL import __version__ as pillow_version

    lines = ["orvanepavonize %s, Pillow %s, Python %s." % (
        orvanepavonize.__version__, pillow_version, sys.version.split()[0])]
    checks = []
    if not options.arrays_only:
        file_lines, bands = file_report(options)
        lines += [""] + file_lines
        checks.append(bands)
    if options.arrays:
        print("arrays in memory: %d rounds" % options.rounds, flush=True)
        array_lines, colours = array_report(options.arrays, options.rounds)
        lines += ["", "Arrays in memory:", ""] + array_lines
        checks.append(colours)
    text = "\n".join(lines) + "\n"
    print()
    print(text, end="")
    if options.output:
        with open(options.output, "w") as out:
            out.write(text)
    return 0 if all(check == "same" for check in checks) else 1


if __name__ == "__main__":
    sys.exit(main())
