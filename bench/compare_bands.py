"""Checks that two recoloured images show the same four bands: every pixel
of REFERENCE.bmp (written by pavonize, so its pixel values are band numbers)
must have the colour that OTHER.bmp gives that band, and the bands must have
four different colours in OTHER. Colours themselves may differ, as each
program draws or picks its own. Usage: compare_bands.py REFERENCE.bmp
OTHER.bmp; exit status 0 when they agree, 1 with a reason otherwise."""
import sys

from PIL import Image

Image.MAX_IMAGE_PIXELS = None  # the benchmark's own images are trusted

BAND_COUNT = 4


def compare(reference_path, other_path):
    reference = Image.open(reference_path)
    other = Image.open(other_path)
    if reference.size != other.size:
        return f"sizes differ: {reference.size} and {other.size}"
    if reference.mode != "P":
        return f"{reference_path} is not a palette image (mode {reference.mode})"
    bands = Image.frombytes("L", reference.size, reference.tobytes())  # the indices
    red, green, blue = other.convert("RGB").split()
    # One RGBA pixel per (other's colour, reference band); Pillow counts the
    # distinct ones in C, so even 256 MP is quick.
    pairs = Image.merge("RGBA", (red, green, blue, bands)).getcolors(BAND_COUNT * BAND_COUNT + 1)
    if pairs is None:
        return "more colour/band pairs than four bands can give"
    colour_of_band = {}
    for _, (r, g, b, band) in pairs:
        if band >= BAND_COUNT:
            return f"{reference_path} holds pixel value {band}, not a band number"
        if band in colour_of_band:
            return f"band {band} has more than one colour in {other_path}"
        colour_of_band[band] = (r, g, b)
    if len(set(colour_of_band.values())) != len(colour_of_band):
        return f"two bands share one colour in {other_path}: {colour_of_band}"
    if len(colour_of_band) != BAND_COUNT:
        return f"only bands {sorted(colour_of_band)} occur; the input should cover all four"
    return None


def main():
    problem = compare(sys.argv[1], sys.argv[2])
    if problem:
        print(f"compare_bands: {problem}", file=sys.stderr)
        sys.exit(1)


if __name__ == "__main__":
    main()
