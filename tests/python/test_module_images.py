"""pavonize_image on arrays and Pillow images of every kind, and pavonize()
between formats: the bands are the greys' top two bits, the palette
PavonizeMemory's for the same colours, whichever way the image comes in and
goes out; and without Pillow, all that needs none of it."""
import io, pathlib, warnings

import numpy
import pytest
from PIL import Image

from module_support import COLOUR_RGB, COLOURS, bands_and_palette, run_python


@pytest.fixture(name="palette", scope="module")
def memory_palette(orvanepavonize, sample):
    """PavonizeMemory's palette for COLOURS, as Pillow reads it."""
    return list(Image.open(io.BytesIO(orvanepavonize.pavonize_bytes(
        pathlib.Path(sample).read_bytes(), colours=COLOURS))).getpalette())


def test_the_palette_is_the_chosen_colours_then_the_greys(palette):
    assert palette[:12] == COLOUR_RGB and palette[12:] == [v for v in range(4, 256) for _ in "rgb"]


@pytest.fixture(name="kinds", scope="module")
def images_of_every_kind(sample_greys):
    """By name: an image of that kind, and the bands it must come out as."""
    grey = sample_greys
    random = numpy.random.default_rng(26)
    wide = random.integers(0, 65536, grey.shape, dtype=numpy.uint16)
    signed = random.integers(-70000, 140000, grey.shape, dtype=numpy.int32)
    rgb = Image.fromarray(random.integers(0, 256, grey.shape + (3,), dtype=numpy.uint8))
    see_through = rgb.convert("P")
    see_through.info["transparency"] = bytes(range(256))  # ignored, without Pillow's warning

    def luma(image):  # colour, palette and 1-bit images: Pillow's convert("L")
        return numpy.asarray(image.convert("L")) >> 6
    return {
        "uint8": (grey, grey >> 6),
        "uint8, rows reversed, every third column": (grey[::-1, ::3], grey[::-1, ::3] >> 6),
        "uint8, a window": (grey[20:90, 30:200], grey[20:90, 30:200] >> 6),
        "uint8, empty": (grey[:0], grey[:0]),
        "uint16": (wide, wide >> 14),
        "uint16, big-endian and transposed": (wide.T.astype(">u2"), wide.T >> 14),
        "L": (Image.fromarray(grey), grey >> 6),
        "I;16": (Image.fromarray(wide), wide >> 14),
        "I;16B": (Image.frombytes("I;16B", rgb.size, wide.astype(">u2").tobytes()), wide >> 14),
        "I": (Image.fromarray(signed), numpy.clip(signed, 0, 65535) >> 14),
        "RGB": (rgb, luma(rgb)),
        "P": (see_through, luma(rgb.convert("P"))),
        "1": (Image.fromarray(grey).convert("1"), luma(Image.fromarray(grey).convert("1")))}


@pytest.mark.parametrize("name", [
    "uint8", "uint8, rows reversed, every third column", "uint8, a window", "uint8, empty",
    "uint16", "uint16, big-endian and transposed", "L", "I;16", "I;16B", "I", "RGB", "P", "1"])
def test_pavonize_image_bands_every_kind_of_image(orvanepavonize, kinds, palette, name):
    given, bands = kinds[name]
    with warnings.catch_warnings():
        warnings.simplefilter("error")
        made = orvanepavonize.pavonize_image(given, colours=COLOURS)
    assert (made.mode, made.getpalette()) == ("P", palette), name
    assert numpy.array_equal(numpy.asarray(made), bands), name
    assert numpy.array_equal(numpy.asarray(made.convert("RGB")),
                             numpy.reshape(palette, (256, 3))[bands]), name


def test_pavonize_image_leaves_the_callers_image_as_it_was(orvanepavonize, kinds):
    see_through = kinds["P"][0]
    orvanepavonize.pavonize_image(see_through, colours=COLOURS)
    assert see_through.info["transparency"] == bytes(range(256))


@pytest.mark.parametrize("kind", ["float32", "int16", "3-D", "list", "path"])
def test_pavonize_image_refuses_what_is_no_image(orvanepavonize, sample, sample_greys, kind):
    grey = sample_greys
    refused = {"float32": grey.astype(numpy.float32), "int16": grey.astype(numpy.int16),
               "3-D": grey[..., None], "list": grey.tolist(), "path": sample}[kind]
    with pytest.raises(TypeError, match="a Pillow Image or a 2-D numpy array of uint8 or uint16"):
        orvanepavonize.pavonize_image(refused)


@pytest.mark.parametrize("source, output, kind", [
    ("png", "from-png.bmp", "BMP"), ("tiff", "from-tiff.bmp", "BMP"),
    ("bmp", "from-bmp.PNG", "PNG"), ("png", "from-png.png", "PNG"),
    ("tiff", "from-tiff.Png", "PNG")])
def test_files_of_other_formats_in_and_png_out_in_any_case(
        orvanepavonize, sample, sample_greys, shared, palette, scratch, source, output, kind):
    """A PNG and a 16-bit TIFF in, PNG out, against the BMP route."""
    assert Image.open(shared / "sample-16.tif").mode == "I;16"
    orvanepavonize.pavonize(sample, scratch / "formats.bmp", colours=COLOURS)
    bands = bands_and_palette(scratch / "formats.bmp")[0]
    assert numpy.array_equal(bands, sample_greys >> 6)
    source = {"png": shared / "sample.png", "tiff": shared / "sample-16.tif", "bmp": sample}[source]
    assert orvanepavonize.pavonize(source, scratch / output, colours=COLOURS) == 999
    assert Image.open(scratch / output).format == kind, output
    made, made_palette = bands_and_palette(scratch / output)
    assert numpy.array_equal(made, bands) and made_palette == palette, output


def test_without_pillow_bmp_to_bmp_works_and_the_rest_says_what_it_needs(
        sample, sample_greys, shared, scratch):
    ran = run_python(
        "import sys\n"
        "sys.modules['PIL'] = None  # as if Pillow were not installed\n"
        "import orvanepavonize as o\n"
        "sample, png, folder = sys.argv[1:]\n"
        "print(o.pavonize(sample, folder + '/no-pillow.bmp'))\n"
        "for call in (lambda: o.pavonize(png, folder + '/no-pillow-from-png.bmp'),\n"
        "             lambda: o.pavonize(sample, folder + '/no-pillow.png'),\n"
        "             lambda: o.pavonize_image(None)):\n"
        "    try:\n"
        "        call()\n"
        "    except ImportError as error:\n"
        "        print(error)\n", sample, shared / "sample.png", scratch)
    assert ran.stdout == ("999\nreading an image that is not a BMP needs Pillow (python3-pil)\n"
                          "writing a PNG needs Pillow (python3-pil)\n"
                          "pavonize_image needs Pillow (python3-pil)\n"), (ran.stdout, ran.stderr)
    assert numpy.array_equal(bands_and_palette(scratch / "no-pillow.bmp")[0], sample_greys >> 6)
    assert not (scratch / "no-pillow-from-png.bmp").exists()
    assert not (scratch / "no-pillow.png").exists()
