"""Checks the installed orvanepavonize module as a Python program meets it.

    python_module_check.py SAMPLE SCRATCH

Imports the module from wherever Python finds it (the caller sets
PYTHONPATH, or not for the Debian package), recolours SAMPLE, and feeds it
inputs the library refuses: each must raise PavonizeError with the library's
message while this interpreter carries on. Prints "module ok" at the end;
any failed check ends it with a traceback instead.
"""
import contextlib
import io
import pathlib
import struct
import sys

import orvanepavonize

SUCCESS = "BMP image loaded successfully!\nimage saved\n"


def bmp_24_bit():
    """A 1 x 1 image of 24 bits per pixel: a valid file the library refuses."""
    pixels = b"\0\0\0\0"
    info = struct.pack("<IiiHHIIiiII", 40, 1, 1, 1, 24, 0, len(pixels), 0, 0, 0, 0)
    header = b"BM" + struct.pack("<IHHI", 14 + len(info) + len(pixels), 0, 0, 14 + len(info))
    return header + info + pixels


def expect_refusal(input_path, output_path, message):
    finally_ran = False
    try:
        orvanepavonize.pavonize(input_path, output_path)
    except orvanepavonize.PavonizeError as error:
        assert error.message == message == str(error), error.message
        assert error.status == 1, error.status
        assert error.output.rstrip("\n").endswith(message), error.output
    else:
        raise AssertionError(f"{input_path} was not refused")
    finally:
        finally_ran = True
    assert finally_ran
    assert not pathlib.Path(output_path).exists(), output_path


def main(sample, scratch):
    scratch = pathlib.Path(scratch)
    scratch.mkdir(parents=True, exist_ok=True)
    sample_size = pathlib.Path(sample).stat().st_size

    # str and os.PathLike; a name outside ASCII travels as UTF-16.
    for output in (str(scratch / "module.bmp"), scratch / "module-été.bmp"):
        printed = io.StringIO()
        with contextlib.redirect_stdout(printed):
            result = orvanepavonize.pavonize(pathlib.Path(sample), output)
        assert result == orvanepavonize.PAVONIZE_DONE == 999, result
        assert printed.getvalue() == SUCCESS, printed.getvalue()
        assert pathlib.Path(output).stat().st_size == sample_size, output

    deep = scratch / "24-bit.bmp"
    deep.write_bytes(bmp_24_bit())
    expect_refusal(deep, scratch / "24-bit-out.bmp",
                   "24-bit images are not supported: only 8-bit images are recoloured")
    expect_refusal(scratch / "missing.bmp", scratch / "missing-out.bmp", "read BMP file failed")

    # Arguments the module cannot pass are refused before any child is made.
    for bad, error_type in ((42, TypeError), ("a\0b", ValueError)):
        try:
            orvanepavonize.pavonize(bad, scratch / "never.bmp")
        except error_type:
            pass
        else:
            raise AssertionError(f"{bad!r} was accepted")
    print("module ok")


if __name__ == "__main__":
    main(*sys.argv[1:])
