"""What the module's tests share: the messages and colours they expect, and
the images and processes they make."""
import struct, subprocess, sys

from PIL import Image
import numpy

LOADED, SAVED = "BMP image loaded successfully!\n", "image saved\n"
PALETTE_OFFSET = 54
COLOURS = ["#102030", (64, 80, 96), "#A0b0C0", (255, 0, 7)]
COLOUR_BYTES = bytes.fromhex("30201000" "60504000" "c0b0a000" "0700ff00")
COLOUR_RGB = list(bytes.fromhex("102030" "405060" "a0b0c0" "ff0007"))  # as Pillow gives them
# A process's first drawn colours, as docs/embedding.md gives them: #8FE246,
# #7DF123, #5159C3, #7F236F, each stored blue, green, red, 0.
FIRST_COLOURS = bytes.fromhex("46e28f00" "23f17d00" "c3595100" "6f237f00")


def bmp_24_bit():
    """A 1 x 1 image of 24 bits per pixel: a valid file the library refuses."""
    pixels = b"\0\0\0\0"
    info = struct.pack("<IiiHHIIiiII", 40, 1, 1, 1, 24, 0, len(pixels), 0, 0, 0, 0)
    header = b"BM" + struct.pack("<IHHI", 14 + len(info) + len(pixels), 0, 0, 14 + len(info))
    return header + info + pixels


def colour_sets(count):
    """Entries 0-3 of the first `count` images of a process with drawn
    colours: minstd_rand from 1, each value modulo 256, red, green and
    blue of entries 0 to 3 in turn."""
    state, sets = 1, []
    for _ in range(count):
        entries = b""
        for _ in range(4):
            channels = []
            for _ in range(3):
                state = state * 48271 % 2147483647
                channels.append(state % 256)
            red, green, blue = channels
            entries += bytes((blue, green, red, 0))
        sets.append(entries)
    return sets


def entries(path):
    with open(path, "rb") as file:
        return file.read()[PALETTE_OFFSET:PALETTE_OFFSET + 16]


def bands_and_palette(path):
    """An indexed image's pixels and its 256 colours, as Pillow reads them."""
    with Image.open(path) as image:
        assert image.mode == "P", (path, image.mode)
        return numpy.asarray(image), image.getpalette()


def run_python(code, *arguments, user=()):
    return subprocess.run(list(user) + [sys.executable, "-c", code, *map(str, arguments)],
                          capture_output=True, text=True, timeout=120)
