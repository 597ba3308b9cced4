"""The worker process: loads the library once and recolours image after
image on request, until its standard input ends.

The module starts it as `python -I -S _worker.py LIBRARY REPLIES`, so it
imports nothing but the standard library; the module imports it only for
the protocol below.

Requests come on standard input: REQUEST (flags, input length, output
length), then the 16 palette bytes when FLAG_COLOURS is set, then both
paths as UTF-8. Standard output is a file that the module holds too: the
library prints into it, and after each call the worker takes the text out
and empties it. Replies go on the descriptor REPLIES: REPLY (kind, value,
text length), then the text. The first reply is READY or LOAD_FAILED.

The library ends this process when an image fails, after printing its
message: the module then sees the end of the replies, and reads the
message from the file.
"""
import ctypes
import errno
import os
import select
import signal
import stat
import struct
import sys
import time

REQUEST = struct.Struct("<BII")
FLAG_COLOURS = 1
REPLY = struct.Struct("<BiI")
# Reply kinds. DONE carries Pavonize's result; COLOURS_FAILED the errno of
# the palette write; NOT_REGULAR says the output cannot take colours (the
# image was not made). Their text is what the library printed. LOAD_FAILED
# carries the loader's reason as text.
READY, DONE, COLOURS_FAILED, NOT_REGULAR, LOAD_FAILED = range(5)

# Palette entries 0-3, the four band colours, stored blue, green, red, 0.
PALETTE_OFFSET = 14 + 40
PALETTE_BYTES = 4 * 4
PIXEL_OFFSET = PALETTE_OFFSET + 256 * 4

# How long the worker stays awake for the next request after a reply.
AWAKE_SECONDS = 0.0005

_UTF16_NATIVE = "utf-16-le" if sys.byteorder == "little" else "utf-16-be"
_REQUESTS = 0
_PRINTED = 1


def _reply(replies, kind, value=0, text=b""):
    message = REPLY.pack(kind, value, len(text)) + text
    while message:
        message = message[os.write(replies, message):]


def _take_printed():
    """What the library printed in this call; the file is left empty."""
    size = os.fstat(_PRINTED).st_size
    if not size:
        return b""
    text = os.pread(_PRINTED, size, 0)
    os.ftruncate(_PRINTED, 0)
    os.lseek(_PRINTED, 0, os.SEEK_SET)
    return text


def _read_exactly(count):
    """`count` bytes of the next request, or None where standard input ends.

    A caller in a loop sends the next request a few tens of microseconds
    after the last reply; waiting for it awake for a moment, rather than
    asleep, spares the wake-up of an idle processor, which on a virtual
    machine costs more than the image."""
    chunks = []
    awake_until = time.monotonic() + AWAKE_SECONDS
    while count > 0:
        try:
            chunk = os.read(_REQUESTS, count)
        except BlockingIOError:
            if time.monotonic() < awake_until:
                continue
            select.select([_REQUESTS], [], [])
            continue
        if not chunk:
            return None
        chunks.append(chunk)
        count -= len(chunk)
    return b"".join(chunks)


def _utf16(path):
    encoded = path.decode("utf-8").encode(_UTF16_NATIVE) + b"\0\0"
    return (ctypes.c_uint16 * (len(encoded) // 2)).from_buffer_copy(encoded)


def _takes_colours(path):
    """Whether the colours can be written into the output afterwards: a new
    file, or an existing regular one (not a FIFO or a device, which the
    library writes straight through)."""
    try:
        return stat.S_ISREG(os.stat(path).st_mode)
    except OSError:
        return True  # the library's own open tells why, or makes the file


def _write_colours(path, palette):
    """Writes the band colours over palette entries 0-3 of the saved image
    and syncs them; 0, or the errno of what failed."""
    try:
        descriptor = os.open(path, os.O_WRONLY | os.O_CLOEXEC | os.O_NOCTTY | os.O_NONBLOCK)
    except OSError as error:
        return error.errno or errno.EIO
    failure = 0
    try:
        status = os.fstat(descriptor)
        if not stat.S_ISREG(status.st_mode) or status.st_size < PIXEL_OFFSET:
            failure = errno.EINVAL  # not the image the library just wrote
        elif os.pwrite(descriptor, palette, PALETTE_OFFSET) != len(palette):
            failure = errno.EIO
        else:
            os.fsync(descriptor)
    except OSError as error:
        failure = error.errno or errno.EIO
    try:
        os.close(descriptor)
    except OSError as error:
        failure = failure or error.errno or errno.EIO
    return failure


def main(library_path, replies):
    # Interrupts belong to the program that uses the module: it stops its
    # worker by closing the requests.
    signal.signal(signal.SIGINT, signal.SIG_IGN)
    try:
        library = ctypes.CDLL(library_path)
        pavonize = library.Pavonize
    except (OSError, AttributeError) as error:
        _reply(replies, LOAD_FAILED, 0, str(error).encode("utf-8", errors="replace"))
        return 2
    os.set_blocking(_REQUESTS, False)
    units = ctypes.POINTER(ctypes.c_uint16)
    pavonize.argtypes = [units, units]
    pavonize.restype = ctypes.c_int32
    _reply(replies, READY)
    while True:
        header = _read_exactly(REQUEST.size)
        if header is None:
            return 0
        flags, input_length, output_length = REQUEST.unpack(header)
        palette = None
        if flags & FLAG_COLOURS:
            palette = _read_exactly(PALETTE_BYTES)
        paths = _read_exactly(input_length + output_length)
        if paths is None or (flags & FLAG_COLOURS and palette is None):
            return 0
        input_path, output_path = paths[:input_length], paths[input_length:]
        if palette is not None and not _takes_colours(output_path):
            _reply(replies, NOT_REGULAR)
            continue
        result = pavonize(_utf16(input_path), _utf16(output_path))
        failure = _write_colours(output_path, palette) if palette is not None else 0
        if failure:
            _reply(replies, COLOURS_FAILED, failure, _take_printed())
        else:
            _reply(replies, DONE, result, _take_printed())


if __name__ == "__main__":
    sys.exit(main(sys.argv[1], int(sys.argv[2])))
