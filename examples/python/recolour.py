#!/usr/bin/python3
"""Recolour BMP files with the orvanepavonize module.

    recolour.py INPUT.bmp OUTPUT.bmp [INPUT OUTPUT]...

Each pair is recoloured in turn, in this process (so the pairs get the
colours of one sequence). A file the library cannot
read or write, or refuses, raises orvanepavonize.PavonizeError (an OSError)
with the library's message; this script reports it on standard error and
goes on with the next pair, the input's name quoted as the shell reads it
back (as GNU tools show names), so that no name can drive the terminal. It
exits with 1 when any pair failed.

With the module installed outside /usr, put its folder on PYTHONPATH:
    PYTHONPATH="$HOME/.local/lib/python3/dist-packages" python3 recolour.py in.bmp out.bmp
"""
import itertools
import os
import sys

import orvanepavonize

# The characters a name may hold and still be shown as it is.
# (recolour_on_dask.py shows names with quoted() too.)
PLAIN = frozenset("abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789_-+./,:@%=")
ESCAPES = {"\a": "\\a", "\b": "\\b", "\t": "\\t", "\n": "\\n", "\v": "\\v", "\f": "\\f",
           "\r": "\\r"}


def quoted(name):
    r"""A file name as the shell reads it back: unchanged when every character
    is plain, otherwise runs of characters in '...', control characters (C0,
    DEL and C1, by their UTF-8 bytes) in $'...' and a quote as \'. A name
    holding ESC and BEL shows as 'e'$'\033'']0;x'$'\a''.bmp'. A byte that is
    not UTF-8 gets an octal escape too."""
    text = os.fsdecode(name)
    if text and all(character in PLAIN for character in text):
        return text

    def piece(character):
        code = ord(character)
        if code < 0x20 or code == 0x7F or 0x80 <= code <= 0x9F or 0xDC80 <= code <= 0xDCFF:
            raw = bytes([code - 0xDC00]) if code >= 0xDC80 else character.encode()
            return "$'", "".join(ESCAPES.get(chr(byte), f"\\{byte:03o}") for byte in raw)
        if character == "'":
            return "", "\\'"
        return "'", character

    shown = ""
    for opening, run in itertools.groupby(map(piece, text), key=lambda pair: pair[0]):
        shown += opening + "".join(part for _, part in run) + ("'" if opening else "")
    return shown or "''"


def main(arguments):
    if not arguments or len(arguments) % 2 != 0:
        print("usage: recolour.py INPUT.bmp OUTPUT.bmp [INPUT OUTPUT]...", file=sys.stderr)
        return 2
    failed = False
    for input_path, output_path in zip(arguments[0::2], arguments[1::2]):
        try:
            result = orvanepavonize.pavonize(input_path, output_path)
        except orvanepavonize.PavonizeError as error:
            print(f"{quoted(input_path)}: not recoloured: {error}", file=sys.stderr)
            failed = True
        else:
            print(f"Pavonize returned {result}")
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
