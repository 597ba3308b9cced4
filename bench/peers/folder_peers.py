"""How users recolour a folder of mixed grey images without pavonize, one
process for the whole folder, each output named as its input:

    folder_peers.py pillow|opencv OUTDIR INPUT...

pillow: open, take greys by pavonize's rules (16-bit by the top eight
bits), point() to the bands, putpalette(), save in the format the name
asks. opencv: imread as grey (16-bit scaled to 8 by OpenCV), a 256-entry
colour table through applyColorMap, imwrite. A file the tool cannot read
is skipped, as pavonize skips it."""
import os
import sys

COLOURS = [(0x00, 0x00, 0x80), (0x00, 0x80, 0x00), (0xFF, 0xFF, 0x00), (0xFF, 0x00, 0x00)]


def pillow(out, inputs):
    import numpy
    from PIL import Image
    palette = [c for colour in COLOURS for c in colour] + \
        [level for level in range(4, 256) for _ in range(3)]
    table = [value >> 6 for value in range(256)]
    for path in inputs:
        try:
            with Image.open(path) as image:
                if image.mode in ("I", "I;16", "I;16B", "I;16L"):
                    grey = Image.fromarray((numpy.asarray(image) >> 8).astype(numpy.uint8))
                else:
                    grey = image.convert("L")
        except OSError:
            continue
        bands = grey.point(table)
        bands.putpalette(palette)
        name = os.path.basename(path)
        fmt = "PNG" if name.lower().endswith(".png") else "BMP"
        bands.save(os.path.join(out, name), format=fmt)


def opencv(out, inputs):
    import cv2
    import numpy
    table = numpy.zeros((256, 1, 3), numpy.uint8)
    for value in range(256):
        red, green, blue = COLOURS[value >> 6]
        table[value, 0] = (blue, green, red)
    for path in inputs:
        grey = cv2.imread(path, cv2.IMREAD_GRAYSCALE)
        if grey is None:
            continue
        name = os.path.basename(path)
        target = os.path.join(out, name if name.lower().endswith(".png") else name + ".bmp")
        cv2.imwrite(target, cv2.applyColorMap(grey, table))


if __name__ == "__main__":
    {"pillow": pillow, "opencv": opencv}[sys.argv[1]](sys.argv[2], sys.argv[3:])
