"""PavonizeError, and how a worker's reply becomes one."""
from __future__ import annotations

import errno as _errno
import os
import stat

from . import _worker

# The library's messages that the module tells apart.
INPUT_FAILED = "read BMP file failed"
OUTPUT_FAILED = "read BMP image failed"
WRITE_FAILED = "write BMP image failed"
NOT_REGULAR = "colours can be set only in a regular output file"


class PavonizeError(OSError):
    """The library refused an image or could not read or write a file.

    Its text is the library's message, also in `message`; `output` is all
    the library printed in the call; `status` the exit status the library
    ended its process with (1), or minus the signal number that ended it.
    Where the operating system gave a reason, `errno`, `strerror` and
    `filename` say it as for any OSError: a missing input has ENOENT and the
    input path.
    """

    def __init__(self, message: str, output: str = "", status: int = 1,
                 errno: int | None = None, filename=None) -> None:
        super().__init__(message)
        self.message = message
        self.output = output
        self.status = status
        self.errno = errno
        self.strerror = os.strerror(errno) if errno else None
        self.filename = filename

    def __str__(self) -> str:
        return self.message

    def __reduce__(self):
        # OSError's own would rebuild it from (errno, strerror, filename).
        return type(self), (self.message, self.output, self.status, self.errno, self.filename)


PavonizeError.__module__ = "orvanepavonize"


def library_unavailable(library: str, reason: str) -> OSError:
    return OSError(
        f"cannot load the OrvanePavonize library {library!r}: {reason}. It is looked for "
        "in the file that ORVANEPAVONIZE_LIBRARY names, then in the install this module "
        "belongs to (cmake --install puts both in one prefix), then through the system's "
        "loader (the Debian package liborvanepavonize1)")


def image_error(kind: int, value: int, text: str, input_path, output_path) -> PavonizeError:
    """The PavonizeError for a reply other than DONE. The paths are None for
    an image in memory, whose files are the module's own."""
    if kind == _worker.COLOURS_FAILED:
        return PavonizeError(WRITE_FAILED, text, 1, value, output_path)
    if kind == _worker.NOT_REGULAR:
        return PavonizeError(NOT_REGULAR, text, 1, None, output_path)
    status = value
    lines = text.splitlines()
    if lines:
        message = lines[-1]
    elif status > 0:
        message = f"the library ended the call with status {status} and no message"
    else:
        message = f"the library's process ended with signal {-status}"
    code, filename = None, None
    if message == INPUT_FAILED and input_path is not None:
        code, filename = _input_reason(input_path), input_path
    elif message == OUTPUT_FAILED and output_path is not None:
        code, filename = _output_reason(output_path), output_path
    return PavonizeError(message, text, status, code, filename if code else None)


def _input_reason(path) -> int | None:
    """Why the library could not open the input, asked again of the system."""
    try:
        os.stat(path)
    except OSError as error:
        return error.errno
    if not os.access(path, os.R_OK, effective_ids=os.access in os.supports_effective_ids):
        return _errno.EACCES
    return None


def _output_reason(path) -> int | None:
    """Why the output could not be opened for writing, found without
    opening it (which a FIFO's reader, or a file watcher, would notice)."""
    effective = os.access in os.supports_effective_ids
    try:
        status = os.stat(path)
    except FileNotFoundError:
        folder = os.path.dirname(os.fspath(path)) or os.curdir
        try:
            if not stat.S_ISDIR(os.stat(folder).st_mode):
                return _errno.ENOTDIR
        except OSError as error:
            return error.errno
        if _read_only(folder):
            return _errno.EROFS
        if not os.access(folder, os.W_OK | os.X_OK, effective_ids=effective):
            return _errno.EACCES
        return None
    except OSError as error:
        return error.errno
    if stat.S_ISDIR(status.st_mode):
        return _errno.EISDIR
    if stat.S_ISFIFO(status.st_mode):
        return _errno.ENXIO  # a FIFO with no reader
    if _read_only(path):
        return _errno.EROFS
    if not os.access(path, os.W_OK, effective_ids=effective):
        return _errno.EACCES
    return None


def _read_only(path) -> bool:
    try:
        return bool(os.statvfs(path).f_flag & os.ST_RDONLY)
    except OSError:
        return False
