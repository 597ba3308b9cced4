"""Finding and loading the library once, and the ctypes signatures of the
calls that return their failure.

ctypes.CDLL lets go of the GIL during each call, so images recolour on
several threads at once. The library takes no lock of its own."""
from __future__ import annotations

import ctypes
import os
import threading

from . import _build_info

OVERRIDE = "ORVANEPAVONIZE_LIBRARY"
HERE = os.path.dirname(os.path.abspath(__file__))


class Status(ctypes.Structure):
    """PavonizeStatus."""

    _fields_ = [("problem", ctypes.c_int32), ("osError", ctypes.c_int32),
                ("message", ctypes.c_char * 128)]


def _declare(library: ctypes.CDLL) -> ctypes.CDLL:
    status = ctypes.POINTER(Status)
    text = ctypes.c_char_p  # bytes as they are: paths, colours, the input image
    library.PavonizeFile.argtypes = [text, text, text, status]
    library.PavonizeFile.restype = ctypes.c_int32
    library.PavonizeMemory.argtypes = [text, ctypes.c_size_t, text,
                                       ctypes.POINTER(ctypes.c_void_p),
                                       ctypes.POINTER(ctypes.c_size_t), status]
    library.PavonizeMemory.restype = ctypes.c_int32
    library.PavonizeRelease.argtypes = [ctypes.c_void_p]
    library.PavonizeRelease.restype = None
    # Pixels, bands and palette as addresses: numpy's, or ctypes buffers.
    size, address = ctypes.c_size_t, ctypes.c_void_p
    library.PavonizePixels.argtypes = [address, size, size, size, text, address, size, address,
                                       status]
    library.PavonizePixels.restype = ctypes.c_int32
    library.PavonizeWriteFile.argtypes = [text, address, size, status]
    library.PavonizeWriteFile.restype = ctypes.c_int32
    return library


def _places() -> list[tuple[str, str | None]]:
    """(what, file) for each place the library is looked for, in order; a
    file of None is a place that does not apply. The override, when set,
    is the only one."""
    chosen = os.environ.get(OVERRIDE)
    if chosen:
        return [(f"the file {OVERRIDE} names", os.path.abspath(chosen))]
    relative = _build_info.LIBRARY_FROM_MODULE
    return [
        (f"{OVERRIDE} (not set)", None),
        ("the library bundled in this module by pip",
         os.path.join(HERE, _build_info.LIBRARY_FILE)),
        ("the library of the install this module belongs to (cmake --install)"
         + (": none, under /usr or from pip" if relative is None else ""),
         None if relative is None else os.path.normpath(os.path.join(HERE, relative))),
        ("the system's loader (the Debian package liborvanepavonize1)", _build_info.LIBRARY_FILE),
    ]


def _load() -> ctypes.CDLL:
    tried = []
    for what, file in _places():
        if file is None:
            tried.append(what)
            continue
        if os.path.isabs(file) and not os.path.exists(file):
            tried.append(f"{what}, {file}: not there")
            continue
        try:
            return _declare(ctypes.CDLL(file))
        except (OSError, AttributeError) as error:  # AttributeError: an older library
            tried.append(f"{what}, {file}: {error}")
    raise OSError("cannot load the OrvanePavonize library; looked in " + "; ".join(tried))


_loaded: ctypes.CDLL | None = None
_lock = threading.Lock()


def library() -> ctypes.CDLL:
    """The library, loaded at the first call. A failed load is tried again
    at the next."""
    global _loaded
    if _loaded is None:
        with _lock:
            if _loaded is None:
                _loaded = _load()
    return _loaded


def _after_fork_in_child() -> None:
    # A fork while another thread was loading leaves the lock held for ever.
    global _lock
    _lock = threading.Lock()


os.register_at_fork(after_in_child=_after_fork_in_child)
