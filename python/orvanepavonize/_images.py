"""Images other than BMP files: Pillow images and numpy arrays banded in
memory with PavonizePixels, and files of the formats Pillow reads, written
as an indexed PNG or an 8-bit BMP with PavonizeWriteFile.

Greys are taken as the command line takes them: 8-bit values as they are,
16-bit ones by their top eight bits, everything else through Pillow's
convert("L") (which drops alpha and transparency)."""
from __future__ import annotations

import collections
import ctypes
import io
import os
import re
import stat
import sys

from . import _library
from ._errors import INPUT_MALFORMED, INPUT_UNREADABLE, INPUT_UNSUPPORTED, OUT_OF_MEMORY
from ._errors import image_error

ACCEPTED = "a Pillow Image or a 2-D numpy array of uint8 or uint16"

# A status made here, read as the library's PavonizeStatus is.
Failure = collections.namedtuple("Failure", "problem osError message")

# What the command line calls the formats Pillow names otherwise.
_NAMES = {"PPM": "PNM", "MPO": "JPEG"}
# Formats told by their first bytes, to name a file Pillow cannot even open.
_SIGNATURES = [(re.compile(rb"\x89PNG\r\n\x1a\n"), "PNG"), (re.compile(rb"II\*\0|MM\0\*"), "TIFF"),
               (re.compile(rb"\xff\xd8\xff"), "JPEG"), (re.compile(rb"P[2356][ \t\r\n]"), "PNM"),
               (re.compile(rb"GIF8[79]a"), "GIF"), (re.compile(rb"RIFF....WEBP", re.S), "WEBP")]
_UNREADABLE = b"read BMP file failed"  # as the library and the command line say it
_GREY_RAMP = bytes(level for level in range(256) for _ in range(3))


class ModeNotGrey(TypeError):
    """A Pillow image of a mode convert("L") does not take (LAB, say)."""


def pillow(what: str):
    """PIL.Image, or an ImportError that says what needed it."""
    try:
        from PIL import Image
    except ImportError as error:
        raise ImportError(f"{what} needs Pillow (python3-pil)") from error
    return Image


def is_png(path: bytes) -> bool:
    return path.lower().endswith(b".png")


def pavonize_image(library, image, colours: bytes | None):
    Image = pillow("pavonize_image")
    if isinstance(image, Image.Image):
        grey = _grey_image(Image, image)
        pixels, stride = grey.tobytes(), grey.size[0]
        width, height = grey.size
    else:
        pixels = _grey_array(image)
        height, width = pixels.shape
        stride = pixels.strides[0]
    status = _library.Status()
    bands, palette = _band(library, pixels, width, height, stride, colours, status)
    if status.problem:
        raise image_error(status)
    return _indexed(Image, bands, (width, height), palette)


def _grey_image(Image, image):
    """An "L" image of the image's greys."""
    mode = image.mode
    if mode == "L":
        return image
    if mode.startswith("I;16"):
        # The high byte of each sample, as the samples are stored.
        big = mode.endswith("B") or (mode.endswith("N") and sys.byteorder == "big")
        return Image.frombytes("L", image.size, image.tobytes()[0 if big else 1::2])
    if mode == "I":
        # A division that truncates, then convert's clipping to 0..255:
        # the same as clipping to 0..65535 and taking the top eight bits.
        return image.point(lambda value: value * (1 / 256)).convert("L")
    if mode == "P" and isinstance(image.info.get("transparency"), bytes):
        # Pillow warns of transparency it cannot carry over, which is
        # ignored here anyway.
        image = image.copy()
        del image.info["transparency"]
    try:
        return image.convert("L")
    except ValueError:
        raise ModeNotGrey(f"a Pillow image of mode {mode!r} cannot be turned into grey") from None


def _grey_array(array):
    numpy = sys.modules.get("numpy")  # an array exists only once numpy was imported
    if numpy is None or not isinstance(array, numpy.ndarray):
        raise TypeError(f"pavonize_image takes {ACCEPTED}, not {type(array).__name__}")
    if array.ndim != 2 or array.dtype.kind != "u" or array.dtype.itemsize > 2:
        raise TypeError(f"pavonize_image takes {ACCEPTED}, not a {array.ndim}-D array "
                        f"of {array.dtype}")
    if array.dtype.itemsize == 2:
        return (array >> 8).astype(numpy.uint8, order="C")  # else a transposed array stays so
    # The library takes rows of adjacent bytes, any distance apart.
    if array.strides[1] != 1 or array.strides[0] < array.shape[1]:
        return numpy.ascontiguousarray(array)
    return array


def _band(library, pixels, width: int, height: int, stride: int, colours, status):
    """PavonizePixels on bytes or a numpy array: the bands, rows unpadded,
    and the 768-byte palette."""
    address = pixels if isinstance(pixels, bytes) else pixels.ctypes.data
    bands = ctypes.create_string_buffer(width * height)
    palette = ctypes.create_string_buffer(768)
    library.PavonizePixels(address, width, height, stride, colours, bands, width, palette,
                           ctypes.byref(status))
    return bands, palette.raw


def _indexed(Image, bands, size, palette: bytes):
    image = Image.frombuffer("P", size, bands, "raw", "P", 0, 1)
    image.putpalette(palette)
    return image


# ---- Files --------------------------------------------------------------------


def read_input(source: bytes, png: bool):
    """The input's bytes when PavonizeFile cannot do the whole work, or
    None when it can: a BMP file for a BMP output, or an input that is no
    regular file (a FIFO, a device), which the library reads as it goes.
    None too for an input this process cannot open, for the library to
    report as it does for a BMP; a Failure instead when the output is a
    PNG, which PavonizeFile cannot write."""
    try:
        descriptor = os.open(source, os.O_RDONLY | os.O_CLOEXEC | os.O_NONBLOCK)
    except OSError as error:
        return Failure(INPUT_UNREADABLE, error.errno, _UNREADABLE) if png else None
    try:
        regular = stat.S_ISREG(os.fstat(descriptor).st_mode)
        if not png and (not regular or os.pread(descriptor, 2, 0) == b"BM"):
            return None
        os.set_blocking(descriptor, True)  # a FIFO's writer is waited for
        chunks = []
        while chunk := os.read(descriptor, 1 << 20):
            chunks.append(chunk)
        return b"".join(chunks)
    except OSError as error:
        return Failure(INPUT_UNREADABLE, error.errno, _UNREADABLE) if png else None
    finally:
        os.close(descriptor)


def recolour_data(library, data: bytes, target: bytes, png: bool, colours):
    """Recolours a whole input file held in memory into target: the format
    it was read as, and a PavonizeStatus or a Failure."""
    status = _library.Status()
    if data[:2] == b"BM":
        # The library reads BMPs itself, with its checks and refusals.
        coloured = _memory(library, data, colours, status)
        if status.problem:
            return "BMP", status
        if png:
            coloured = _bmp_as_png(coloured)
        return "BMP", _write(library, target, coloured)
    Image = pillow("reading an image that is not a BMP")
    name = _signature_name(data)
    try:
        with Image.open(io.BytesIO(data)) as image:
            name = _NAMES.get(image.format, image.format)
            grey = _grey_image(Image, image)
            pixels = grey.tobytes()  # decoded here, while the file is open
    except ModeNotGrey as error:
        return name, Failure(INPUT_UNSUPPORTED, 0, f"{name} image: {error}".encode())
    except Exception as error:  # Pillow's many ways of saying a file is damaged
        if name is None:
            # Nothing of any format Pillow or the command line knows: the
            # library's own verdict on it, as for any file that is no BMP.
            _memory(library, data, colours, status)
            return "BMP", status
        return name, _refusal(Image, error, name)
    (width, height) = grey.size
    if not width or not height:
        return name, Failure(INPUT_UNSUPPORTED, 0, f"{name} image has no pixels".encode())
    bands, palette = _band(library, pixels, width, height, width, colours, status)
    if status.problem:
        return name, status
    out = io.BytesIO()
    _indexed(Image, bands, grey.size, palette).save(out, format="PNG" if png else "BMP")
    return name, _write(library, target, out.getvalue())


def _signature_name(data: bytes) -> str | None:
    return next((name for mark, name in _SIGNATURES if mark.match(data)), None)


def _refusal(Image, error: Exception, name: str) -> Failure:
    if isinstance(error, MemoryError):
        return Failure(OUT_OF_MEMORY, 0, b"not enough memory for the image")
    reason = "" if isinstance(error, Image.UnidentifiedImageError) else str(error)
    said = reason.lower()
    if isinstance(error, Image.DecompressionBombError) or any(
            words in said for words in ("unsupported", "not supported", "not available")):
        return Failure(INPUT_UNSUPPORTED, 0, f"{name} image is not supported: {reason}".encode())
    if isinstance(error, EOFError) or "truncated" in said:
        return Failure(INPUT_MALFORMED, 0, f"{name} file is truncated".encode())
    return Failure(INPUT_MALFORMED, 0,
                   f"{name} file is damaged{': ' + reason if reason else ''}".encode())


def _memory(library, data: bytes, colours, status) -> bytes | None:
    """PavonizeMemory: the recoloured BMP, or None with status set."""
    output, size = ctypes.c_void_p(), ctypes.c_size_t()
    try:
        library.PavonizeMemory(data, len(data), colours, ctypes.byref(output),
                               ctypes.byref(size), ctypes.byref(status))
        return None if status.problem else ctypes.string_at(output, size.value)
    finally:
        if output.value:
            library.PavonizeRelease(output)


def _bmp_as_png(bmp: bytes) -> bytes:
    Image = pillow("writing a PNG")
    with Image.open(io.BytesIO(bmp)) as image:
        # Pillow reads a BMP whose palette is a grey ramp as "L".
        palette = bytes(image.getpalette()) if image.mode == "P" else _GREY_RAMP
        indexed = _indexed(Image, image.tobytes(), image.size, palette)
    out = io.BytesIO()
    indexed.save(out, format="PNG")
    return out.getvalue()


def _write(library, target: bytes, data: bytes):
    status = _library.Status()
    library.PavonizeWriteFile(target, data, len(data), ctypes.byref(status))
    return status
