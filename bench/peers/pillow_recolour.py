"""The Pillow way of recolouring an 8-bit BMP in four grey bands: open, map
every pixel to its band with point(), give the four indices colours with
putpalette(), save as BMP. Usage: pillow_recolour.py INPUT.bmp OUTPUT.bmp"""
import random
import sys

from PIL import Image

# Pillow refuses images above about 179 MP as a guard against decompression
# bombs; the benchmark's own inputs are trusted.
Image.MAX_IMAGE_PIXELS = None

BAND_TABLE = [value // 64 for value in range(256)]


def main():
    source, target = sys.argv[1], sys.argv[2]
    image = Image.open(source)
    # A grey-ramp palette opens as "L"; anything else is taken by its greys.
    if image.mode != "L":
        image = image.convert("L")
    bands = image.point(BAND_TABLE)
    colours = [random.randrange(256) for _ in range(12)]
    bands.putpalette(colours + [level for level in range(4, 256) for _ in range(3)])
    bands.save(target, format="BMP")


if __name__ == "__main__":
    main()
