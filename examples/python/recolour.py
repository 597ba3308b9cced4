#!/usr/bin/python3
"""Recolour a BMP file by calling the OrvanePavonize library through ctypes.

    recolour.py [--library PATH] INPUT.bmp OUTPUT.bmp

Pavonize takes its paths as null-terminated UTF-16 strings. ctypes.c_wchar_p
does not give that on Linux: wchar_t is 32 bits wide there, so it would pass
UTF-32. Encode the path to UTF-16 in the machine's byte order, add a 16-bit
terminator, and pass it as an array of 16-bit units.

When a file cannot be read or written, Pavonize ends the whole Python process
with exit status 1 after printing the reason: no exception is raised, and
neither `finally` blocks nor atexit handlers run. Call it in a child process
if your program must carry on after a bad file.
"""
import argparse
import ctypes
import ctypes.util
import os
import sys

PAVONIZE_DONE = 999
UTF16_NATIVE = "utf-16-le" if sys.byteorder == "little" else "utf-16-be"


def load_library(path=None):
    """Opens the library at `path`, or wherever the system's loader finds it."""
    name = path or ctypes.util.find_library("orvanepavonize") or "liborvanepavonize.so.1"
    library = ctypes.CDLL(name)
    units = ctypes.POINTER(ctypes.c_uint16)
    library.Pavonize.argtypes = [units, units]
    library.Pavonize.restype = ctypes.c_int32
    return library


def utf16_path(path):
    """A path (str, bytes or os.PathLike) as a null-terminated UTF-16 array.

    A Linux file name is bytes; the library turns UTF-16 back into UTF-8, so
    only names that are valid UTF-8 can be passed (others raise
    UnicodeEncodeError here rather than naming a different file)."""
    encoded = os.fsdecode(path).encode(UTF16_NATIVE) + b"\0\0"
    return (ctypes.c_uint16 * (len(encoded) // 2)).from_buffer_copy(encoded)


def recolour(library, input_path, output_path):
    # The library writes to the same standard output; what Python printed
    # before must come out first.
    sys.stdout.flush()
    return library.Pavonize(utf16_path(input_path), utf16_path(output_path))


def main():
    parser = argparse.ArgumentParser(description="Recolour an 8-bit BMP file.")
    parser.add_argument("--library", help="path of liborvanepavonize.so.1")
    parser.add_argument("input")
    parser.add_argument("output")
    arguments = parser.parse_args()
    library = load_library(arguments.library)
    result = recolour(library, arguments.input, arguments.output)
    print(f"Pavonize returned {result}")
    return 0 if result == PAVONIZE_DONE else 1


if __name__ == "__main__":
    sys.exit(main())
