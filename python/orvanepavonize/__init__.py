"""Recolour grey images with the OrvanePavonize library.

    import orvanepavonize

    try:
        orvanepavonize.pavonize("grey.bmp", "colour.bmp")  # returns 999
    except orvanepavonize.PavonizeError as error:           # an OSError
        print("not recoloured:", error)

    coloured = orvanepavonize.pavonize_image(array)  # a numpy array or Pillow image in,
                                                     # a Pillow image of mode "P" out

pavonize() and pavonize_many() read 8-bit BMP files through the library,
and every other format Pillow reads (PNG, TIFF, JPEG, PGM/PPM, ...)
through Pillow; they write an indexed PNG when the output's name ends in
.png (in any case), else an 8-bit BMP. Greys are taken as the command line
takes them: 16-bit samples by their top eight bits, colour and palette
images through Pillow's convert("L"), alpha and transparency ignored.

The module calls the library in this process through ctypes: its calls
return what went wrong, which becomes a PavonizeError, and never print or
end the process. Calls from several threads run at once.

The colours follow the library's one sequence for the process: the first
image of a process gets the first four colours, each later one the next
four; an image that fails before it is coloured takes none. `colours=`
sets them instead: four colours for bands 0-3, each '#RRGGBB' or an
(r, g, b) tuple.

Nothing is printed unless `verbose=True`, which writes the lines the
library's Pavonize prints ("BMP image loaded successfully!", "image saved")
to sys.stdout; for another format, the first line names it ("PNG image
loaded successfully!").

The library is looked for in the file named by ORVANEPAVONIZE_LIBRARY, then
beside this module (where pip puts it), then in the install this module
belongs to (a CMake install), then through the system's loader (the Debian
package).
"""
from __future__ import annotations

import collections.abc as _abc
import ctypes as _ctypes
import os as _os
import re as _re
import sys as _sys
import typing as _typing

from . import _batch, _build_info, _images, _library
from ._errors import OUTPUT_FAILED as _OUTPUT_FAILED
from ._errors import PavonizeError, image_error as _image_error

__all__ = ["PAVONIZE_DONE", "PavonizeError", "pavonize", "pavonize_bytes", "pavonize_image",
           "pavonize_many"]
__version__ = _build_info.VERSION

# What Pavonize returns whenever it returns.
PAVONIZE_DONE = 999

# A path, and one band's colour, as the functions take them.
_Path = _typing.Union[str, bytes, "_os.PathLike[str]", "_os.PathLike[bytes]"]
_Colour = _typing.Union[str, "tuple[int, int, int]"]

_HEX_COLOUR = _re.compile(r"#[0-9A-Fa-f]{6}")
_LOADED = " image loaded successfully!\n"  # after the format's name
_SAVED = "image saved\n"
_OUTPUT_REFUSED = "read BMP image failed"  # the one message Pavonize prints without a line feed


def pavonize(input_path: _Path, output_path: _Path, *,
             colours: _abc.Sequence[_Colour] | None = None, verbose: bool = False) -> int:
    """Recolours the image file at input_path into output_path; returns 999.

    Paths are str, bytes or os.PathLike. A file that cannot be read or
    written, or an image that is refused, raises PavonizeError (an OSError)
    with the library's message, or for a damaged file of another format
    one that names the format. `colours` sets the four band colours;
    `verbose` writes the library's lines to sys.stdout. ImportError when
    the input is no BMP, or the output a PNG, and Pillow is not installed.
    """
    source, target = _encoded_path(input_path), _encoded_path(output_path)
    palette = _palette(colours)
    if _images.is_png(target):
        _images.pillow("writing a PNG")
    name, status = _recolour_file(_library.library(), source, target, palette)
    if verbose:
        _echo(_printed(status, name))
    if status.problem:
        raise _image_error(status, input_path, output_path)
    return PAVONIZE_DONE


def pavonize_many(pairs: _abc.Iterable[tuple[_Path, _Path]], *,
                  colours: _abc.Sequence[_Colour] | None = None,
                  workers: int = 1) -> list[int | PavonizeError]:
    """Recolours each (input, output) pair; one entry per pair, in order:
    999, or the PavonizeError that image raised. A failed image never stops
    the rest. `workers` threads recolour at once (the caller's among them),
    each taking the next pair when it is free.

    Every pair is checked before any image is touched (TypeError or
    ValueError for one that cannot be passed, ImportError for a PNG output
    without Pillow). OSError is raised, instead of a list, when the library
    cannot be loaded, and ImportError when an input that is no BMP comes
    and Pillow is not installed.
    """
    if isinstance(workers, bool) or not isinstance(workers, int) or workers < 1:
        raise ValueError(f"workers must be a whole number of at least 1, not {workers!r}")
    palette = _palette(colours)
    items = []
    for pair in pairs:
        input_path, output_path = pair
        items.append((input_path, output_path,
                      _encoded_path(input_path), _encoded_path(output_path)))
    if any(_images.is_png(target) for *_, target in items):
        _images.pillow("writing a PNG")
    if not items:
        return []
    library = _library.library()

    def recolour(item):
        input_path, output_path, source, target = item
        _, status = _recolour_file(library, source, target, palette)
        return _image_error(status, input_path, output_path) if status.problem else PAVONIZE_DONE
    return _batch.run(items, recolour, min(workers, len(items)))


def pavonize_bytes(data: bytes | bytearray | memoryview, *,
                   colours: _abc.Sequence[_Colour] | None = None) -> bytes:
    """Recolours a BMP image held in memory and returns the new one; no
    file is read or written. A refused image raises PavonizeError, whose
    filename is None.
    """
    if not isinstance(data, (bytes, bytearray, memoryview)):
        raise TypeError(f"data must be bytes-like, not {type(data).__name__}")
    palette = _palette(colours)
    library = _library.library()
    data = bytes(data)
    status = _library.Status()
    output, size = _ctypes.c_void_p(), _ctypes.c_size_t()
    try:
        library.PavonizeMemory(data, len(data), palette, _ctypes.byref(output),
                               _ctypes.byref(size), _ctypes.byref(status))
        if not status.problem:
            return _ctypes.string_at(output, size.value)
    finally:
        if output.value:
            library.PavonizeRelease(output)
    raise _image_error(status)


def pavonize_image(image, *, colours: _abc.Sequence[_Colour] | None = None):
    """Recolours an image in memory and returns a new Pillow image of mode
    "P": numpy.asarray() of it gives the bands (0-3), convert("RGB") the
    colours. No file is read or written.

    `image` is a Pillow image of any mode convert("L") takes, 16-bit ones
    ("I;16", "I;16B", ...; "I" clipped to 0..65535) by their top eight
    bits, or a 2-D numpy array of uint8 (as it is) or uint16 (by its top
    eight bits); TypeError for anything else. ImportError without Pillow.
    """
    _images.pillow("pavonize_image")
    palette = _palette(colours)
    return _images.pavonize_image(_library.library(), image, palette)


def _recolour_file(library, source: bytes, target: bytes, palette: bytes | None):
    """(the format the input was read as, a PavonizeStatus or its like)."""
    png = _images.is_png(target)
    data = _images.read_input(source, png)
    if data is None:
        status = _library.Status()
        library.PavonizeFile(source, target, palette, _ctypes.byref(status))
        return "BMP", status
    if isinstance(data, _images.Failure):
        return "BMP", data
    return _images.recolour_data(library, data, target, png, palette)


def _encoded_path(path) -> bytes:
    """A path as the system takes it: any name, valid Unicode or not."""
    encoded = _os.fsencode(_os.fspath(path))
    if b"\0" in encoded:
        raise ValueError("embedded null character in path")
    return encoded


def _palette(colours) -> bytes | None:
    """The twelve bytes the library takes: red, green, blue of bands 0-3."""
    if colours is None:
        return None
    if isinstance(colours, (str, bytes)) or not isinstance(colours, _abc.Sequence):
        raise TypeError("colours must be a sequence of four colours, each '#RRGGBB' or (r, g, b)")
    if len(colours) != 4:
        raise ValueError(f"colours must be four, one for each band; {len(colours)} were given")
    return b"".join(map(_channels, colours))


def _channels(colour) -> bytes:
    if isinstance(colour, str):
        if not _HEX_COLOUR.fullmatch(colour):
            raise ValueError(f"colour {colour!r} is not '#RRGGBB'")
        return bytes.fromhex(colour[1:])
    if isinstance(colour, tuple) and len(colour) == 3 and all(
            isinstance(channel, int) and not isinstance(channel, bool) for channel in colour):
        if all(0 <= channel <= 255 for channel in colour):
            return bytes(colour)
        raise ValueError(f"colour {colour!r} has a channel outside 0-255")
    raise TypeError(f"colour {colour!r} is neither '#RRGGBB' nor an (r, g, b) tuple of ints")


def _printed(status, name: str) -> str:
    """What Pavonize prints for the image: the loaded line, naming the
    format `name`, once the input was read, then the saved line or the
    failure's message."""
    if not status.problem:
        return name + _LOADED + _SAVED
    message = status.message.decode("utf-8", errors="replace")
    loaded = name + _LOADED if status.problem == _OUTPUT_FAILED else ""
    return loaded + message + ("" if message == _OUTPUT_REFUSED else "\n")


def _echo(text: str) -> None:
    """Text on sys.stdout, if there is one that works: a missing or failing
    sys.stdout never turns a saved image into an error."""
    stream = _sys.stdout
    if stream is None:
        return
    try:
        stream.write(text)
        stream.flush()
    except Exception:  # closed, broken pipe, full disk: the image is saved all the same
        pass


def __dir__() -> list[str]:
    return sorted(__all__ + ["__version__"])
