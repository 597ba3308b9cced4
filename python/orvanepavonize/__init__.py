"""Recolour 8-bit BMP images with the OrvanePavonize library.

    import orvanepavonize

    try:
        orvanepavonize.pavonize("grey.bmp", "colour.bmp")  # returns 999
    except orvanepavonize.PavonizeError as error:
        print("not recoloured:", error)

When an image cannot be read or written, or is refused, the library prints
one line and ends the process that called it with exit status 1. So that
this does not end your interpreter, pavonize() makes the call in a forked
child process: the child loads the library with ctypes and hands it both
paths as UTF-16; the parent waits for it. A child that ends with status 1
becomes a PavonizeError carrying the library's message, and the interpreter
goes on (`except` and `finally` run as usual).

What the library prints on standard output is read from the child through a
pipe. After a successful call it is written unchanged to sys.stdout
("BMP image loaded successfully!" and "image saved", one line each); after a
failure it is not printed but kept in the error (`message`, `output`).

The library is looked for in this order: the file named by the environment
variable ORVANEPAVONIZE_LIBRARY; the library of the install this module
belongs to, found relative to the module (installs outside /usr); the
system's loader, by the library's soname (the Debian package).

Each call forks, so call it from the main thread of a program that has one:
a child forked while other threads hold locks may stall in the loader.
"""
import ctypes
import os
import signal
import sys

from . import _library_location

__all__ = ["PAVONIZE_DONE", "PavonizeError", "pavonize"]

# What Pavonize returns whenever it returns.
PAVONIZE_DONE = 999

_UTF16_NATIVE = "utf-16-le" if sys.byteorder == "little" else "utf-16-be"
# The process's own C library, whose stdio buffers are flushed before a fork.
_C_LIBRARY = ctypes.CDLL(None)
# Exit status of a child whose Python side failed before or after the call
# (the library could not be loaded, say); the reason comes on the report pipe.
_CHILD_FAILED = 2


class PavonizeError(Exception):
    """The library refused an image or could not read or write a file.

    `message` is the library's last line, saying why; `output` all that the
    library printed in the call; `status` the exit status the library ended
    the call with (1), or minus the signal number that ended it.
    """

    def __init__(self, message, output="", status=1):
        super().__init__(message)
        self.message = message
        self.output = output
        self.status = status


def _utf16_units(path):
    """A path (str or os.PathLike) as a null-terminated UTF-16 array.

    Only names that are valid Unicode can be passed: the library turns UTF-16
    back into UTF-8, so anything else would name a different file."""
    text = os.fsdecode(os.fspath(path))
    if "\0" in text:
        raise ValueError("embedded null character in path")
    encoded = text.encode(_UTF16_NATIVE) + b"\0\0"
    return (ctypes.c_uint16 * (len(encoded) // 2)).from_buffer_copy(encoded)


def _library_path():
    chosen = os.environ.get("ORVANEPAVONIZE_LIBRARY")
    if chosen:
        return chosen
    relative = _library_location.LIBRARY_FROM_MODULE
    if relative is not None:
        beside = os.path.join(os.path.dirname(os.path.abspath(__file__)), relative)
        if os.path.exists(beside):
            return beside
    return _library_location.LIBRARY_FILE


def _call_in_child(input_units, output_units, pipes):
    """Runs in the forked child and never returns."""
    (output_read, output_fd), (report_read, report_fd) = pipes
    status = _CHILD_FAILED
    try:
        os.close(output_read)
        os.close(report_read)
        os.dup2(output_fd, 1)
        library = ctypes.CDLL(_library_path())
        units = ctypes.POINTER(ctypes.c_uint16)
        library.Pavonize.argtypes = [units, units]
        library.Pavonize.restype = ctypes.c_int32
        result = library.Pavonize(input_units, output_units)
        os.write(report_fd, str(result).encode())
        status = 0
    except BaseException as error:  # whatever it is, the parent hears of it
        os.write(report_fd, f"{type(error).__name__}: {error}".encode(errors="replace"))
    finally:
        # No interpreter shutdown in the child: the parent owns its buffers.
        os._exit(status)


def _read_all(fd):
    chunks = []
    while chunk := os.read(fd, 65536):
        chunks.append(chunk)
    return b"".join(chunks)


def pavonize(input_path, output_path):
    """Recolours the BMP file at input_path into output_path; returns 999.

    The paths are str or os.PathLike. The library runs in a forked child
    process, so a file it cannot read or write, or refuses, raises
    PavonizeError with the library's message instead of ending the
    interpreter. OSError is raised when the library cannot be loaded.
    """
    input_units = _utf16_units(input_path)
    output_units = _utf16_units(output_path)
    pipes = (os.pipe(), os.pipe())
    (output_read, output_write), (report_read, report_write) = pipes
    # What this process has buffered, in Python or in C, must not be written
    # twice or land in the child's pipe.
    sys.stdout.flush()
    sys.stderr.flush()
    _C_LIBRARY.fflush(None)
    pid = os.fork()
    if pid == 0:
        _call_in_child(input_units, output_units, pipes)
    os.close(output_write)
    os.close(report_write)
    try:
        # Read to the end before waiting, so a child never blocks on a full pipe.
        output = _read_all(output_read)
        report = _read_all(report_read).decode(errors="replace")
        _, wait_status = os.waitpid(pid, 0)
    except BaseException:
        os.kill(pid, signal.SIGKILL)
        os.waitpid(pid, 0)
        raise
    finally:
        os.close(output_read)
        os.close(report_read)
    text = output.decode(errors="replace")
    status = os.waitstatus_to_exitcode(wait_status)
    if status == 0:
        sys.stdout.write(text)
        sys.stdout.flush()
        return int(report)
    if status == _CHILD_FAILED and report:
        raise OSError(f"cannot call the OrvanePavonize library: {report}")
    lines = text.splitlines()
    if lines:
        message = lines[-1]
    elif status > 0:
        message = f"the library ended the call with status {status} and no message"
    else:
        message = f"the library's process ended with signal {-status}"
    raise PavonizeError(message, text, status)
