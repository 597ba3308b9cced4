#!/usr/bin/python3
"""Recolour BMP files with the orvanepavonize module.

    recolour.py INPUT.bmp OUTPUT.bmp [INPUT OUTPUT]...

Each pair is recoloured in turn, by the one worker process the module keeps
(so the pairs get the colours of one sequence). A file the library cannot
read or write, or refuses, raises orvanepavonize.PavonizeError (an OSError)
with the library's message; this script reports it on standard error and
goes on with the next pair. It exits with 1 when any pair failed.

With the module installed outside /usr, put its folder on PYTHONPATH:
    PYTHONPATH="$HOME/.local/lib/python3/dist-packages" python3 recolour.py in.bmp out.bmp
"""
import sys

import orvanepavonize


def main(arguments):
    if not arguments or len(arguments) % 2 != 0:
        print("usage: recolour.py INPUT.bmp OUTPUT.bmp [INPUT OUTPUT]...", file=sys.stderr)
        return 2
    failed = False
    for input_path, output_path in zip(arguments[0::2], arguments[1::2]):
        try:
            result = orvanepavonize.pavonize(input_path, output_path)
        except orvanepavonize.PavonizeError as error:
            print(f"{input_path}: not recoloured: {error}", file=sys.stderr)
            failed = True
        else:
            print(f"Pavonize returned {result}")
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
