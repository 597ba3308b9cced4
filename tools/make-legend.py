#!/usr/bin/python3
"""Draws the README's legend: which grey range becomes which band, and in
which colours.

    tools/make-legend.py [--colours LIST] PAVONIZE OUTPUT.png

A 256-pixel grey ramp is recoloured by PAVONIZE (build/bin/pavonize, say),
with --colours LIST passed on when given (else the colours a process's
first image draws), and the legend shows the ramp above what came out of
it, with each band's colour as it was written. Needs Debian's
python3-matplotlib and python3-pil.
"""
import argparse
import os
import struct
import subprocess
import tempfile

import matplotlib

matplotlib.use("Agg")
import matplotlib.pyplot as plt  # noqa: E402
from PIL import Image  # noqa: E402


def grey_ramp_bmp(path):
    """An 8-bit BMP one row high, pixel x of grey level x."""
    palette = b"".join(bytes((level, level, level, 0)) for level in range(256))
    pixels = bytes(range(256))
    offset = 14 + 40 + len(palette)
    info = struct.pack("<IiiHHIIiiII", 40, 256, 1, 1, 8, 0, len(pixels), 0, 0, 0, 0)
    header = b"BM" + struct.pack("<IHHI", offset + len(pixels), 0, 0, offset)
    with open(path, "wb") as file:
        file.write(header + info + palette + pixels)


def recoloured_ramp(pavonize, colours):
    with tempfile.TemporaryDirectory() as folder:
        source = os.path.join(folder, "ramp.bmp")
        target = os.path.join(folder, "bands.bmp")
        grey_ramp_bmp(source)
        chosen = ["--colours", colours] if colours else []
        subprocess.run([pavonize, "-q", *chosen, source, target], check=True)
        return Image.open(target).convert("RGB")


def main(pavonize, output, colours=None):
    bands = recoloured_ramp(pavonize, colours)
    ramp = Image.new("RGB", (256, 1))
    ramp.putdata([(level, level, level) for level in range(256)])
    figure, (top, bottom) = plt.subplots(2, 1, figsize=(6.4, 1.9), dpi=100,
                                         gridspec_kw={"height_ratios": [1, 1.25]})
    for axes, image in ((top, ramp), (bottom, bands)):
        axes.imshow(image, aspect="auto", interpolation="nearest", extent=(0, 256, 0, 1))
        axes.set_yticks([])
    top.set_xticks([])
    top.set_ylabel("grey", rotation=0, ha="right", va="center")
    bottom.set_ylabel("band", rotation=0, ha="right", va="center")
    bottom.set_xticks([0, 64, 128, 192, 256], ["0", "64", "128", "192", "256"])
    for band in range(4):
        red, green, blue = bands.getpixel((band * 64, 0))
        light = red * 0.299 + green * 0.587 + blue * 0.114 > 140
        bottom.text(band * 64 + 32, 0.5,
                    "%d: %d–%d\n#%02X%02X%02X" % (band, band * 64, band * 64 + 63, red, green,
                                                  blue),
                    ha="center", va="center", fontsize=9, color="black" if light else "white")
    figure.tight_layout(h_pad=0.2)
    figure.savefig(output, metadata={"Software": None})


if __name__ == "__main__":
    parser = argparse.ArgumentParser(usage=__doc__.split("\n\n")[1].strip())
    parser.add_argument("--colours", "--colors", metavar="LIST",
                        help="four colours for bands 0-3, as pavonize --colours takes them")
    parser.add_argument("pavonize")
    parser.add_argument("output")
    arguments = parser.parse_args()
    main(arguments.pavonize, arguments.output, arguments.colours)
