"""Times a folder of mixed grey images as users have them, recoloured into
another folder by pavonize, Pillow, OpenCV and ImageMagick:

    mixed_folder.py --build BUILD [--rounds 3] [--runs 3] [--output report.md]

The folder holds 100 one-megapixel greyscale images: 8- and 16-bit PNG,
8- and 16-bit TIFF (LZW), 8- and 16-bit PGM, JPEG, 8-bit BMP, and PNGs
named .jpg. Every tool writes PNG for a .png input and BMP otherwise.
ImageMagick is run as users run it over a folder, once per file (its
`-clut` with a four-colour table). Timed with hyperfine as
batch_goals.py times its sets; it reports, it never fails on speed."""
import argparse
import os
import shlex
import shutil
import statistics
import sys
import tempfile

import numpy
from PIL import Image

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from batch_goals import COLOURS, PYTHON, ratio, table, time_rounds  # noqa: E402

BENCH_DIR = os.path.dirname(os.path.abspath(__file__))
SIDE = 1000
# How many of each kind, and how each is written.
KINDS = [
    ("png8", 20, "png"), ("png16", 10, "png"), ("tiff8", 10, "tif"), ("tiff16", 10, "tif"),
    ("pgm8", 10, "pgm"), ("pgm16", 5, "pgm"), ("jpeg", 15, "jpg"), ("bmp8", 15, "bmp"),
    ("misnamed", 5, "jpg"),
]


def photo_like(seed):
    """A smooth scene with texture: gradients, blobs and noise."""
    rng = numpy.random.default_rng(seed)
    y, x = numpy.mgrid[0:SIDE, 0:SIDE] / SIDE
    scene = 0.5 + 0.3 * numpy.sin(6 * x + rng.uniform(0, 6)) * numpy.cos(4 * y)
    scene += 0.15 * rng.standard_normal((SIDE, SIDE))
    return numpy.clip(scene, 0, 1)


def make_folder(folder):
    index = 0
    for kind, count, extension in KINDS:
        for _ in range(count):
            index += 1
            scene = photo_like(index)
            grey8 = (scene * 255).astype(numpy.uint8)
            grey16 = (scene * 65535).astype(numpy.uint16)
            path = os.path.join(folder, "%s-%03d.%s" % (kind, index, extension))
            if kind == "pgm16":  # Pillow writes no 16-bit PGM
                with open(path, "wb") as pgm:
                    pgm.write(b"P5\n%d %d\n65535\n" % (SIDE, SIDE) + grey16.astype(">u2").tobytes())
            elif kind in ("png16", "tiff16"):
                Image.fromarray(grey16).save(path, **({"compression": "tiff_lzw"}
                                                       if kind == "tiff16" else {}))
            elif kind == "tiff8":
                Image.fromarray(grey8).save(path, compression="tiff_lzw")
            elif kind == "bmp8":
                Image.fromarray(grey8).convert("P").save(path)
            elif kind == "misnamed":
                Image.fromarray(grey8).save(path, format="PNG")
            else:
                Image.fromarray(grey8).save(path)


def commands(build, folder):
    files = " ".join(shlex.quote(os.path.join(folder, name)) for name in sorted(os.listdir(folder)))
    pavonize = shlex.quote(os.path.join(build, "bin", "pavonize"))
    peers = shlex.quote(os.path.join(BENCH_DIR, "peers", "folder_peers.py"))
    clut = shlex.quote(os.path.join(folder, "..", "clut.ppm"))
    return [
        ("pavonize -q -o out", "%s -q --colours %s -o out %s" % (pavonize, COLOURS, files)),
        ("pavonize -q -j 2 -o out", "%s -q -j 2 --colours %s -o out %s" % (pavonize, COLOURS, files)),
        ("Pillow", "%s %s pillow out %s" % (PYTHON, peers, files)),
        ("OpenCV", "%s %s opencv out %s" % (PYTHON, peers, files)),
        ("ImageMagick -clut, per file",
         "for f in %s; do n=${f##*/}; case $n in *.png) o=out/$n;; *) o=BMP3:out/$n;; esac; "
         "convert \"$f\" -colorspace Gray %s -clut \"$o\"; done" % (files, clut)),
    ]


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--build", required=True, help="release build tree")
    parser.add_argument("--rounds", type=int, default=3)
    parser.add_argument("--runs", type=int, default=3, help="hyperfine runs per round")
    parser.add_argument("--output", help="write the report here as well as to stdout")
    options = parser.parse_args()
    build = os.path.abspath(options.build)
    work = tempfile.mkdtemp(prefix="pavonize-mixed-folder-")
    try:
        folder = os.path.join(work, "messy")
        os.mkdir(folder)
        make_folder(folder)
        # The four colours as a 4 x 1 image, stretched by -clut over 0-255.
        with open(os.path.join(work, "clut.ppm"), "wb") as clut:
            clut.write(b"P6\n4 1\n255\n" + bytes.fromhex("000080008000FFFF00FF0000"))
        print("a mixed folder of %d images" % len(os.listdir(folder)), flush=True)
        per_round = time_rounds(commands(build, folder), work, options.rounds, options.runs)
    finally:
        shutil.rmtree(work, ignore_errors=True)
    total = sum(count for _, count, _ in KINDS)
    text = ("%d one-megapixel grey images (8- and 16-bit PNG, TIFF and PGM, JPEG, BMP, "
            "PNGs named .jpg):\n\n%s" % (total, table("mixed folder", per_round,
                                                    "pavonize -q -o out")))
    print()
    print(text, end="")
    if options.output:
        with open(options.output, "w") as report:
            report.write(text)


if __name__ == "__main__":
    main()
