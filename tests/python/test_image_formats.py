"""The greys the command line's decoders take from each format and depth,
set beside Pillow's own decoding of the same file, and the reasons they
give for damaged files.

Each file is made here from a known grey ramp (or random colours) by
Pillow, ImageMagick, libtiff's tiffcp or by hand. Pillow's decoding with the
documented rules is the reference: 16-bit samples by their top eight bits,
everything else through convert("L")."""
import os
import subprocess
import zlib
import struct

import numpy as np
import pytest
from PIL import Image

DECODE_GREY = os.environ["DECODE_GREY"]

RAMP = np.tile(np.arange(256, dtype=np.uint8), (37, 1))
RNG = np.random.default_rng(26)
COLOURS = RNG.integers(0, 256, (29, 53, 3), dtype=np.uint8)
RAMP16 = RAMP.astype(np.uint16) * 257 + 0x3C


def pillow_greys(path):
    with Image.open(path) as image:
        if image.mode in ("I", "I;16", "I;16B", "I;16L"):
            greys = (np.asarray(image).astype(np.int64) >> 8).astype(np.uint8)
            # Pillow leaves 16-bit white-is-zero TIFF samples as stored; they
            # are taken as they look, like those of every other depth.
            return 255 - greys if getattr(image, "tag_v2", {}).get(262) == 0 else greys
        return np.asarray(image.convert("L"))


def magick(source, out, *options):
    subprocess.run(["convert", str(source), *options, out], check=True)


def saved(array, name, **params):
    def make(folder):
        path = folder / name
        Image.fromarray(array).save(path, **params)
        return path
    return make


def converted(array, name, *options, coder=""):
    """ImageMagick's encoding of a Pillow-made PNG, for what Pillow cannot
    write; `coder` forces ImageMagick's output format ("PNG48:")."""
    def make(folder):
        source = folder.parent / ("source-" + name + ".png")  # kept out of the folder
        Image.fromarray(array).save(source)
        path = folder / name
        magick(source, coder + str(path), *options)
        return path
    return make


def png_chunk(kind, data):
    return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))


def hand_png(name, width, height, depth, colour_type, rows, extra_chunks=b""):
    def make(folder):
        path = folder / name
        header = struct.pack(">IIBBBBB", width, height, depth, colour_type, 0, 0, 0)
        raw = b"".join(b"\0" + row for row in rows)
        path.write_bytes(b"\x89PNG\r\n\x1a\n" + png_chunk(b"IHDR", header) + extra_chunks +
                         png_chunk(b"IDAT", zlib.compress(raw)) + png_chunk(b"IEND", b""))
        return path
    return make


# ---- JPEG: files edited after Pillow wrote them ----------------------------

def jpeg_edited(array, name, edit, **params):
    def make(folder):
        path = saved(array, name, **params)(folder)
        path.write_bytes(edit(path.read_bytes()))
        return path
    return make


def with_frame(data, precision=8, height=None, width=None):
    """A baseline JPEG whose frame header (SOF0) claims other values."""
    data = bytearray(data)
    sof = data.index(b"\xff\xc0")
    data[sof + 4] = precision
    if height is not None:
        data[sof + 5:sof + 9] = struct.pack(">HH", height, width)
    return bytes(data)


def repeated_first_scan(data, copies):
    """The first scan, header and entropy-coded data, `copies` more times."""
    start = data.index(b"\xff\xda")
    end = start + 2 + struct.unpack(">H", data[start + 2:start + 4])[0]
    while not (data[end] == 0xFF and data[end + 1] != 0 and not 0xD0 <= data[end + 1] <= 0xD7):
        end += 1
    return data[:start] + data[start:end] * copies + data[start:]


# ---- PNM: files made by hand -----------------------------------------------

def written(name, data):
    def make(folder):
        path = folder / name
        path.write_bytes(data)
        return path
    return make


def text_samples(samples):
    return b" ".join(b"%d" % sample for sample in np.ravel(samples))


# ---- TIFF: layouts from libtiff's tiffcp, directories edited ----------------

def tiffcp(array, name, *options):
    """libtiff's rewriting of a Pillow-made TIFF, for the layouts neither
    Pillow nor ImageMagick writes (YCbCr JPEG, planes in strips), and fax."""
    def make(folder):
        source = folder.parent / ("source-" + name)  # kept out of the folder
        Image.fromarray(array).save(source)
        path = folder / name
        subprocess.run(["tiffcp", *options, str(source), str(path)], check=True)
        return path
    return make


def retagged(make, tags):
    """A little-endian TIFF with single-valued tags of its first directory
    rewritten as LONGs: {tag: value}."""
    def remake(folder):
        path = make(folder)
        data = bytearray(path.read_bytes())
        assert data[:4] == b"II*\0"
        (directory,) = struct.unpack_from("<I", data, 4)
        (count,) = struct.unpack_from("<H", data, directory)
        found = set()
        for entry in range(directory + 2, directory + 2 + 12 * count, 12):
            (tag,) = struct.unpack_from("<H", data, entry)
            if tag in tags:
                struct.pack_into("<HII", data, entry + 2, 4, 1, tags[tag])
                found.add(tag)
        assert found == set(tags)
        path.write_bytes(bytes(data))
        return path
    return remake


# name: how the file is made.
READABLE = {
    "png-grey-8": saved(RAMP, "g8.png"),
    "png-grey-16": saved(RAMP16, "g16.png"),
    "png-grey-4": converted(RAMP, "g4.png", "-depth", "4"),
    "png-grey-2": converted(RAMP, "g2.png", "-depth", "2"),
    "png-grey-1": converted(RAMP, "g1.png", "-type", "bilevel"),
    "png-grey-alpha": saved(np.dstack([RAMP, RAMP[::-1]]), "la.png"),
    "png-rgb-8": saved(COLOURS, "rgb.png"),
    "png-rgb-16": converted(COLOURS, "rgb16.png", "-evaluate", "add", "0.3%", coder="PNG48:"),
    "png-rgba": saved(np.dstack([COLOURS, COLOURS[..., :1]]), "rgba.png"),
    "png-palette": lambda folder: saved_palette(folder, "p.png"),
    "png-interlaced": converted(COLOURS, "interlaced.png", "-interlace", "PNG"),
    # gAMA 1.0 and an sRGB chunk change nothing: grey values are data.
    "png-gamma-and-srgb": hand_png("gamma.png", 4, 1, 8, 0, [bytes([0, 64, 128, 255])],
                                   png_chunk(b"gAMA", struct.pack(">I", 100000)) +
                                   png_chunk(b"sRGB", b"\0")),
    # JPEG: greys as decoded, colour through RGB and convert("L"), CMYK as
    # Adobe's inverted ink.
    "jpeg-grey": saved(RAMP, "g.jpg"),
    "jpeg-rgb-420": saved(COLOURS, "rgb.jpg"),
    "jpeg-rgb-444": saved(COLOURS, "444.jpg", subsampling=0),
    "jpeg-rgb-411": converted(COLOURS, "411.jpg", "-sampling-factor", "4:1:1"),
    "jpeg-progressive": saved(COLOURS, "progressive.jpg", progressive=True),
    "jpeg-ycck": converted(COLOURS, "ycck.jpg", "-colorspace", "CMYK"),
    # Every row whole, then a comment where the end marker should be, and
    # the file ends: read, as by Pillow.
    "jpeg-without-end-marker": jpeg_edited(COLOURS, "noend.jpg",
                                           lambda data: data[:-2] + b"\xff\xfe\x00\x04hi"),
    # PNM: Pillow's scaling of maxval other than 255 and 65535, rounding
    # halves to even; grey of maxval above 255 by the top eight bits of the
    # scaling to 65535, colour straight to 255.
    "pnm-p5-8": saved(RAMP, "g.pgm"),
    "pnm-p6-8": saved(COLOURS, "rgb.ppm"),
    "pnm-p5-16": saved(RAMP16.astype(np.int32), "g16.pgm"),
    "pnm-p6-16": converted(COLOURS, "rgb16.ppm", "-evaluate", "add", "0.3%", "-depth", "16"),
    "pnm-p5-maxval-1000": written("m1000.pgm", b"P5 256 37 1000\n" +
                                  (RAMP.astype(">u2") * 1000 // 255).tobytes()),
    "pnm-p2-maxval-10": written("m10.pgm", b"P2 11 1 10\n" + text_samples(range(11))),
    "pnm-p3-maxval-1000": written("m1000.ppm", b"P3 53 29 1000\n" +
                                  text_samples(COLOURS.astype(np.int64) * 1000 // 255)),
    # A comment ends with CR or LF, and does not part the digits around it.
    "pnm-p2-comments": written("comments.pgm", b"P2\n# by hand\n4 # width\r2 255\n"
                                               b"0 64 1# inside a number\n28 255\n9 1 2 3"),
    # Binary samples above maxval are clamped, as by Pillow.
    "pnm-p5-above-maxval": written("above.pgm", b"P5 256 1 15\n" + bytes(range(256))),
    "pnm-trailing-bytes": lambda folder: appended(saved(RAMP, "tail.pgm")(folder), b"junk"),
    # TIFF: the first page's samples by the same rules, whatever the
    # compression, strips or tiles, planes; white-is-zero as it looks.
    "tiff-grey-8-lzw": saved(RAMP, "g8.tif", compression="tiff_lzw"),
    "tiff-grey-16-deflate": saved(RAMP16, "g16.tif", compression="tiff_adobe_deflate"),
    "tiff-grey-2": converted(RAMP, "g2.tif", "-depth", "2"),
    "tiff-bilevel-packbits": saved(RAMP > 100, "b.tif", compression="packbits"),
    "tiff-grey-4-min-is-white": converted(RAMP, "w4.tif", "-depth", "4",
                                          "-define", "quantum:polarity=min-is-white"),
    "tiff-grey-16-min-is-white": converted(RAMP16, "w16.tif", "-depth", "16",
                                           "-define", "quantum:polarity=min-is-white"),
    # Tiles cut by the right and the foot; the alpha sample is skipped.
    "tiff-grey-alpha-tiled": converted(np.dstack([RAMP, RAMP[::-1]]), "la.tif",
                                       "-define", "tiff:tile-geometry=48x16"),
    "tiff-grey-jpeg": saved(RAMP, "gj.tif", compression="jpeg"),
    # Unassociated alpha, not premultiplied into the colours.
    "tiff-rgba-lzw": saved(np.dstack([COLOURS, COLOURS[..., :1]]), "rgba.tif",
                           compression="tiff_lzw"),
    "tiff-rgb-16": converted(COLOURS, "rgb16.tif", "-depth", "16", "-evaluate", "add", "0.3%"),
    "tiff-palette": lambda folder: saved_palette(folder, "p.tif"),
    "tiff-first-of-two-pages": lambda folder: saved_pages(folder, "pages.tif"),
    # Subsampled YCbCr, made RGB by libjpeg as in Pillow: the same greys exactly.
    "tiff-ycbcr-jpeg-tiled": tiffcp(np.tile(COLOURS, (2, 2, 1)), "ycc.tif",
                                    "-c", "jpeg", "-t", "-w", "32", "-l", "16"),
    "tiff-rgb-planes-in-strips": tiffcp(COLOURS, "planes.tif",
                                        "-p", "separate", "-r", "5", "-c", "lzw"),
}


def saved_palette(folder, name):
    path = folder / name
    Image.fromarray(COLOURS).convert("P").save(path)
    return path


def saved_pages(folder, name):
    path = folder / name
    Image.fromarray(RAMP).save(path, save_all=True, append_images=[Image.fromarray(COLOURS)])
    return path


@pytest.mark.parametrize("case", sorted(READABLE))
def test_greys_match_pillow(case, tmp_path):
    path = READABLE[case](tmp_path)
    out = tmp_path / "greys.pgm"
    subprocess.run([DECODE_GREY, str(path), str(out)], check=True)
    expected = pillow_greys(path)
    with Image.open(out) as decoded:
        ours = np.asarray(decoded)
    assert ours.shape == expected.shape
    assert np.array_equal(ours, expected), f"{case}: {np.argwhere(ours != expected)[:5]}"


# name: (how the file is made, exit status, the reason).
DAMAGED = {
    "png-truncated": (lambda folder: cut(saved(RAMP, "cut.png")(folder), 0.6), 1,
                      "PNG file is truncated"),
    "png-bad-crc": (lambda folder: flip_byte(saved(RAMP, "crc.png")(folder), 40), 1,
                    "PNG file is damaged"),
    "jpeg-truncated": (lambda folder: cut(saved(COLOURS, "cut.jpg")(folder), 0.6), 1,
                       "JPEG file is truncated"),
    "jpeg-corrupt-marker": (lambda folder: flip_byte(saved(COLOURS, "marker.jpg")(folder), 21),
                            1, "JPEG file is damaged: Unsupported marker type 0x24"),
    # A frame taller than its data: libjpeg would make up the rest.
    "jpeg-data-short-of-frame": (jpeg_edited(COLOURS, "short.jpg",
                                             lambda data: with_frame(data, height=2900, width=53)),
                                 1, "JPEG file is damaged: Corrupt JPEG data: premature end"),
    "jpeg-absurd-dimensions": (jpeg_edited(COLOURS, "huge.jpg",
                                           lambda data: with_frame(data, height=65000, width=65000)),
                               2, "JPEG image is too large"),
    "jpeg-12-bit": (jpeg_edited(COLOURS, "12.jpg", lambda data: with_frame(data, precision=12)),
                    2, "JPEG file is not supported: Unsupported JPEG data precision 12"),
    "jpeg-too-many-scans": (jpeg_edited(COLOURS, "scans.jpg",
                                        lambda data: repeated_first_scan(data, 600),
                                        progressive=True),
                            1, "JPEG file is damaged: more than 500 scans"),
    "pnm-truncated": (lambda folder: cut(saved(RAMP, "cut.pgm")(folder), 0.6), 1,
                      "PNM file is truncated"),
    # Pillow would repeat the last sample of a text file ending mid-number.
    "pnm-text-truncated": (written("cut.ppm", b"P3 2 2 255\n10 20 30 40 50 60 70 80"), 1,
                           "PNM file is truncated"),
    "pnm-text-above-maxval": (written("above.pgm", b"P2 2 1 15\n15 16\n"), 1,
                              "PNM file is damaged: sample above maxval"),
    "pnm-bad-number": (written("bad.pgm", b"P5 2 1x 255\n\0\0"), 1,
                       "PNM file is damaged: not a number"),
    "pnm-long-number": (written("long.pgm", b"P2 2 1 255\n00000000001 2\n"), 1,
                        "PNM file is damaged: number of more than 10 digits"),
    "pnm-maxval-0": (written("zero.pgm", b"P5 2 1 0\n\0\0"), 1,
                     "PNM file is damaged: maxval is not 1 to 65535"),
    "pnm-absurd-dimensions": (written("huge.pgm", b"P5 99999 99999 255\n\0"), 2,
                              "PNM image is too large"),
    "tiff-truncated": (lambda folder: cut(saved(RAMP, "cut.tif", compression="tiff_lzw")(folder),
                                          0.6), 1, "TIFF file is truncated"),
    "tiff-strip-offset-off-by-one": (
        retagged(saved(RAMP, "offset.tif", compression="tiff_lzw"), {273: 9}), 1,
        "TIFF file is damaged"),
    # libtiff would read the missing strips from the file's start.
    "tiff-rows-beyond-the-data": (retagged(saved(RAMP, "tall.tif"), {257: 100000}), 1,
                                  "TIFF file is truncated"),
    "tiff-absurd-width": (retagged(saved(RAMP, "wide.tif"), {256: 0x7FFFFFFF}), 2,
                          "TIFF image is too large"),
    # A tile of 2^60 bytes for a small image: refused before any buffer.
    "tiff-absurd-tiles": (retagged(converted(RAMP, "tiles.tif", "-define",
                                             "tiff:tile-geometry=64x64"),
                                   {322: 1 << 30, 323: 1 << 30}), 2, "TIFF image is too large"),
    "tiff-float-samples": (saved(RAMP.astype(np.float32), "f.tif"), 2,
                           "TIFF sample format is not supported"),
    # Fax, like LZMA and Zstandard, has no bound on what a byte can become.
    "tiff-fax": (tiffcp(RAMP > 100, "fax.tif", "-c", "g4"), 2,
                 "TIFF compression is not supported"),
    "tiff-cmyk": (converted(COLOURS, "cmyk.tif", "-colorspace", "cmyk"), 2,
                  "TIFF colour space is not supported"),
}


def cut(path, fraction):
    data = path.read_bytes()
    path.write_bytes(data[: int(len(data) * fraction)])
    return path


def appended(path, data):
    path.write_bytes(path.read_bytes() + data)
    return path


def flip_byte(path, offset):
    data = bytearray(path.read_bytes())
    data[offset] ^= 0xFF
    path.write_bytes(bytes(data))
    return path


@pytest.mark.parametrize("case", sorted(DAMAGED))
def test_damaged_files_are_refused_with_the_formats_reason(case, tmp_path):
    make, status, reason = DAMAGED[case]
    path = make(tmp_path)
    result = subprocess.run([DECODE_GREY, str(path), str(tmp_path / "none.pgm")],
                            capture_output=True, text=True)
    assert result.returncode == status, result.stderr
    assert result.stderr.startswith(reason), result.stderr
    assert not (tmp_path / "none.pgm").exists()


# ---- Through the command line ------------------------------------------------

COLOURS_OPTION = "#E69F00,#56B4E9,#009E73,#CC79A7"
CHOSEN = [0xE6, 0x9F, 0x00, 0x56, 0xB4, 0xE9, 0x00, 0x9E, 0x73, 0xCC, 0x79, 0xA7]
PALETTE = CHOSEN + [level for level in range(4, 256) for _ in range(3)]


def bands_and_palette(path):
    with Image.open(path) as image:
        assert image.mode == "P", path
        return np.asarray(image), image.getpalette()


def make_bmp(folder, name, greys):
    """An 8-bit BMP with a grey palette, as users' BMPs are."""
    path = folder / name
    Image.fromarray(greys).convert("P").save(path)
    return path


@pytest.fixture(name="messy")
def messy_folder(tmp_path):
    """A folder as users have them: every format read, misnamed files, a
    format still not read and a damaged file."""
    folder = tmp_path / "messy"
    folder.mkdir()
    readable = {}
    for case in ("png-grey-16", "png-palette", "png-interlaced", "tiff-grey-16-deflate",
                 "tiff-grey-4-min-is-white", "jpeg-rgb-420", "pnm-p5-16", "pnm-p2-comments"):
        readable[READABLE[case](folder).name] = case
    misnamed = READABLE["png-rgb-8"](folder)
    misnamed.rename(folder / "photo.jpg")
    readable["photo.jpg"] = "png-rgb-8"
    readable[make_bmp(folder, "plain.bmp", RAMP).name] = "bmp"
    Image.fromarray(RAMP).save(folder / "not-read.gif")
    cut(saved(RAMP16, "damaged.png")(folder), 0.5)
    return folder, sorted(readable)


def test_a_mixed_folder_is_recoloured_where_it_can_be_read(messy, tmp_path):
    folder, readable = messy
    out = tmp_path / "out"
    out.mkdir()
    inputs = sorted(str(path) for path in folder.iterdir())
    result = subprocess.run([os.environ["PAVONIZE"], "--colours", COLOURS_OPTION, "-o", str(out),
                             *inputs], capture_output=True, text=True)
    assert result.returncode == 1
    assert "pavonize: " + str(folder / "damaged.png") + ": PNG file is truncated\n" in result.stderr
    assert "not-read.gif is a GIF image" in result.stderr
    assert "2 of %d images failed" % len(inputs) in result.stderr
    assert sorted(path.name for path in out.iterdir()) == readable
    for name in readable:
        bands, palette = bands_and_palette(out / name)
        assert np.array_equal(bands, pillow_greys(folder / name) >> 6), name
        assert palette == PALETTE, name


def test_png_output_holds_the_bmp_outputs_indices_and_palette(tmp_path):
    sources = [READABLE["png-rgb-16"](tmp_path), make_bmp(tmp_path, "odd.bmp", COLOURS[..., 0])]
    for source in sources:
        outputs = [tmp_path / (source.stem + "-out.bmp"), tmp_path / (source.stem + "-out.PNG")]
        for output in outputs:
            subprocess.run([os.environ["PAVONIZE"], "-q", "--colours", COLOURS_OPTION,
                            str(source), str(output)], check=True)
        bmp, png = (bands_and_palette(output) for output in outputs)
        assert np.array_equal(bmp[0], png[0]) and bmp[1] == png[1] == PALETTE, source
        assert outputs[1].read_bytes().startswith(b"\x89PNG")
