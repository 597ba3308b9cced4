"""Recolour 8-bit BMP images with the OrvanePavonize library.

    import orvanepavonize

    try:
        orvanepavonize.pavonize("grey.bmp", "colour.bmp")  # returns 999
    except orvanepavonize.PavonizeError as error:           # an OSError
        print("not recoloured:", error)

When an image cannot be read or written, or is refused, the library prints
one line and ends the process that called it. So the module calls it in a
worker process that lives across calls: it loads the library once and
recolours image after image; a failed image ends it with the library's
message, which becomes a PavonizeError here, and the next call starts a
new worker. Calls from several threads are served one at a time.

The colours follow one sequence per worker, as in one run of the command
line: the first image of a worker gets the library's first four colours,
each later one the next four, and after a failed image the sequence
starts again. `colours=` sets them instead: four colours for
bands 0-3, each '#RRGGBB' or an (r, g, b) tuple.

Nothing is printed unless `verbose=True`, which passes the library's lines
("BMP image loaded successfully!", "image saved") on to sys.stdout.

The library is looked for in the file named by ORVANEPAVONIZE_LIBRARY,
then in the install this module belongs to (a CMake install), then through
the system's loader (the Debian package).
"""
from __future__ import annotations

import collections.abc as _abc
import os as _os
import re as _re
import sys as _sys
import typing as _typing

from . import _build_info, _jobs, _worker, _workers
from ._errors import PavonizeError

__all__ = ["PAVONIZE_DONE", "PavonizeError", "pavonize", "pavonize_bytes", "pavonize_many"]
__version__ = _build_info.VERSION

# What Pavonize returns whenever it returns.
PAVONIZE_DONE = 999

# A path, and one band's colour, as the functions take them.
_Path = _typing.Union[str, bytes, "_os.PathLike[str]", "_os.PathLike[bytes]"]
_Colour = _typing.Union[str, "tuple[int, int, int]"]

_HEX_COLOUR = _re.compile(r"#[0-9A-Fa-f]{6}")


def pavonize(input_path: _Path, output_path: _Path, *,
             colours: _abc.Sequence[_Colour] | None = None, verbose: bool = False) -> int:
    """Recolours the BMP file at input_path into output_path; returns 999.

    Paths are str, bytes or os.PathLike. A file the library cannot read or
    write, or an image it refuses, raises PavonizeError (an OSError) with
    the library's message. `colours` sets the four band colours; `verbose`
    passes the library's lines on to sys.stdout.
    """
    request = _request(input_path, output_path, _palette(colours))
    outcome = _jobs.Call(request, input_path, output_path).run_on(_workers.shared_slot())
    if verbose:
        _echo(outcome.text)
    if outcome.error is not None:
        raise outcome.error
    return outcome.value


def pavonize_many(pairs: _abc.Iterable[tuple[_Path, _Path]], *,
                  colours: _abc.Sequence[_Colour] | None = None,
                  workers: int = 1) -> list[int | PavonizeError]:
    """Recolours each (input, output) pair; one entry per pair, in order:
    999, or the PavonizeError that image raised. A failed image never stops
    the rest. `workers` worker processes run at once, each taking the next
    pair when it is free.

    Every pair is checked before any image is touched (TypeError or
    ValueError for one that cannot be passed). OSError is raised, instead
    of a list, when the library cannot be loaded.
    """
    if isinstance(workers, bool) or not isinstance(workers, int) or workers < 1:
        raise ValueError(f"workers must be a whole number of at least 1, not {workers!r}")
    palette = _palette(colours)
    items = []
    for pair in pairs:
        input_path, output_path = pair
        items.append((_request(input_path, output_path, palette), input_path, output_path))
    if not items:
        return []
    job = _workers.Many(items, min(workers, len(items)) - 1)
    outcome = job.run_on(_workers.shared_slot())
    if outcome.error is not None:
        raise outcome.error
    return outcome.value


def pavonize_bytes(data: bytes | bytearray | memoryview, *,
                   colours: _abc.Sequence[_Colour] | None = None) -> bytes:
    """Recolours a BMP image held in memory and returns the new one.

    The image goes through two files in a private temporary folder (in
    tempfile.gettempdir()), which is removed whatever happens. A refused
    image raises PavonizeError, whose filename is then None.
    """
    if not isinstance(data, (bytes, bytearray, memoryview)):
        raise TypeError(f"data must be bytes-like, not {type(data).__name__}")
    palette = _palette(colours)
    job = _jobs.BytesCall(bytes(data),
                             lambda source, target: _request(source, target, palette))
    outcome = job.run_on(_workers.shared_slot())
    if outcome.error is not None:
        raise outcome.error
    return outcome.value


def _encoded_path(path) -> bytes:
    """A path as the worker takes it: absolute (the worker keeps the folder
    it started in) and UTF-8, as the library turns UTF-16 into UTF-8. Only
    names that are valid Unicode can be passed: anything else would name a
    different file."""
    text = _os.fsdecode(_os.fspath(path))
    if "\0" in text:
        raise ValueError("embedded null character in path")
    if text and not _os.path.isabs(text):
        text = _os.path.join(_os.getcwd(), text)
    return text.encode("utf-8")


def _request(input_path, output_path, palette: bytes | None) -> bytes:
    source, target = _encoded_path(input_path), _encoded_path(output_path)
    flags = _worker.FLAG_COLOURS if palette is not None else 0
    header = _worker.REQUEST.pack(flags, len(source), len(target))
    return header + (palette or b"") + source + target


def _palette(colours) -> bytes | None:
    """Palette entries 0-3 for four colours, each stored blue, green, red, 0."""
    if colours is None:
        return None
    if isinstance(colours, (str, bytes)) or not isinstance(colours, _abc.Sequence):
        raise TypeError("colours must be a sequence of four colours, each '#RRGGBB' or (r, g, b)")
    if len(colours) != 4:
        raise ValueError(f"colours must be four, one for each band; {len(colours)} were given")
    entries = bytearray()
    for colour in colours:
        red, green, blue = _channels(colour)
        entries += bytes((blue, green, red, 0))
    return bytes(entries)


def _channels(colour) -> tuple[int, int, int]:
    if isinstance(colour, str):
        if not _HEX_COLOUR.fullmatch(colour):
            raise ValueError(f"colour {colour!r} is not '#RRGGBB'")
        return int(colour[1:3], 16), int(colour[3:5], 16), int(colour[5:7], 16)
    if isinstance(colour, tuple) and len(colour) == 3 and all(
            isinstance(channel, int) and not isinstance(channel, bool) for channel in colour):
        if all(0 <= channel <= 255 for channel in colour):
            return colour
        raise ValueError(f"colour {colour!r} has a channel outside 0-255")
    raise TypeError(f"colour {colour!r} is neither '#RRGGBB' nor an (r, g, b) tuple of ints")


def _echo(text: str) -> None:
    """The library's lines on sys.stdout, if there is one that works: a
    missing or failing sys.stdout never turns a saved image into an error."""
    stream = _sys.stdout
    if stream is None or not text:
        return
    try:
        stream.write(text)
        stream.flush()
    except Exception:  # closed, broken pipe, full disk: the image is saved all the same
        pass


def __dir__() -> list[str]:
    return sorted(__all__ + ["__version__"])
