"""PavonizeError: what the library returned for an image that failed."""
from __future__ import annotations

import errno as _errno
import os

# The library's problem codes (PavonizeStatus.problem).
INPUT_UNREADABLE, INPUT_MALFORMED, INPUT_UNSUPPORTED, OUTPUT_FAILED, OUT_OF_MEMORY = range(1, 6)


class PavonizeError(OSError):
    """The library refused an image or could not read or write a file.

    Its text, and `message`, is the library's message; `problem` the
    library's code for it (1 input unreadable, 2 malformed, 3 unsupported,
    4 output failed, 5 out of memory, 6 internal). `errno` and `strerror`
    are the system's reason where a system call failed, else None;
    `filename` is the input path for an input problem and the output path
    for an output problem (None for an image in memory). Where the errno
    has an OSError subclass of its own, the error is one of those too:
    `except FileNotFoundError` catches a missing input.
    """

    def __new__(cls, message: str, problem: int | None = None, errno: int | None = None,
                filename=None):
        if cls is PavonizeError:
            cls = _KINDS.get(errno, cls)
        return super().__new__(cls, message)

    def __init__(self, message: str, problem: int | None = None, errno: int | None = None,
                 filename=None) -> None:
        super().__init__(message)
        self.message = message
        self.problem = problem
        self.errno = errno
        self.strerror = os.strerror(errno) if errno else None
        self.filename = filename

    def __str__(self) -> str:
        return self.message

    def __reduce__(self):
        # OSError's own would rebuild it from (errno, strerror, filename).
        return PavonizeError, (self.message, self.problem, self.errno, self.filename)


def _kinds() -> dict:
    """A PavonizeError subclass for each errno that Python gives an OSError
    subclass of its own (ENOENT: FileNotFoundError, EACCES and EPERM:
    PermissionError, ...), taken from Python's own table."""
    made, kinds = {}, {}
    for code in _errno.errorcode:
        builtin = type(OSError(code, ""))
        if builtin is OSError:
            continue
        if builtin not in made:
            made[builtin] = type("Pavonize" + builtin.__name__, (PavonizeError, builtin),
                                 {"__module__": "orvanepavonize", "__doc__": PavonizeError.__doc__})
        kinds[code] = made[builtin]
    return kinds


_KINDS = _kinds()
PavonizeError.__module__ = "orvanepavonize"


def image_error(status, input_path=None, output_path=None) -> PavonizeError:
    """The PavonizeError for a PavonizeStatus other than OK; the paths are
    the caller's, None for an image in memory."""
    problem = status.problem
    code = status.osError or None
    message = status.message.decode("utf-8", errors="replace")
    if problem == OUT_OF_MEMORY:
        code = code or _errno.ENOMEM
    filename = {INPUT_UNREADABLE: input_path, INPUT_MALFORMED: input_path,
                INPUT_UNSUPPORTED: input_path, OUTPUT_FAILED: output_path}.get(problem)
    return PavonizeError(message or f"the library failed with problem {problem}", problem,
                         code, filename)
