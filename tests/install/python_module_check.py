"""Checks the installed orvanepavonize module as a Python program meets it.

    python_module_check.py SAMPLE SCRATCH VERSION [DASK_EXAMPLE]

Imports the module from wherever Python finds it (the caller sets
PYTHONPATH, or not for the Debian package), recolours SAMPLE, and feeds it
inputs and outputs the library refuses: each must raise PavonizeError, of
the OSError subclass its errno calls for, while this interpreter carries
on. Then the process's colour sequence, colours=, the bytes and batch
calls, threads at once, forks from a busy process, a path past PATH_MAX
and a real SIGINT in the middle of a batch; then pavonize_image on numpy
arrays and Pillow images, other formats in and PNG out, and all that
needs no Pillow working without it. With DASK_EXAMPLE, runs that example
on a local cluster of two workers, through --scheduler with TLS and
through its own cluster, and the plain example beside it; both must quote
a file name that holds control characters. Needs Pillow and numpy. Prints
"module ok" at the end; any failed check ends it with a traceback.
"""
import errno
import fcntl
import io
import os
import pathlib
import pickle
import shutil
import signal
import struct
import subprocess
import sys
import tempfile
import termios
import threading
import time
import warnings

import numpy
from PIL import Image

import orvanepavonize

LOADED, SAVED = "BMP image loaded successfully!\n", "image saved\n"
PALETTE_OFFSET = 54
COLOURS = ["#102030", (64, 80, 96), "#A0b0C0", (255, 0, 7)]
COLOUR_BYTES = bytes.fromhex("30201000" "60504000" "c0b0a000" "0700ff00")
COLOUR_RGB = list(bytes.fromhex("102030" "405060" "a0b0c0" "ff0007"))  # as Pillow gives them
# A process's first drawn colours, as the README gives them: #8FE246,
# #7DF123, #5159C3, #7F236F, each stored blue, green, red, 0.
FIRST_COLOURS = bytes.fromhex("46e28f00" "23f17d00" "c3595100" "6f237f00")


def bmp_24_bit():
    """A 1 x 1 image of 24 bits per pixel: a valid file the library refuses."""
    pixels = b"\0\0\0\0"
    info = struct.pack("<IiiHHIIiiII", 40, 1, 1, 1, 24, 0, len(pixels), 0, 0, 0, 0)
    header = b"BM" + struct.pack("<IHHI", 14 + len(info) + len(pixels), 0, 0, 14 + len(info))
    return header + info + pixels


def colour_sets(count):
    """Entries 0-3 of the first `count` images of a process with drawn
    colours: minstd_rand from 1, each value modulo 256, red, green and
    blue of entries 0 to 3 in turn."""
    state, sets = 1, []
    for _ in range(count):
        entries = b""
        for _ in range(4):
            channels = []
            for _ in range(3):
                state = state * 48271 % 2147483647
                channels.append(state % 256)
            red, green, blue = channels
            entries += bytes((blue, green, red, 0))
        sets.append(entries)
    return sets


def entries(path):
    with open(path, "rb") as file:
        return file.read()[PALETTE_OFFSET:PALETTE_OFFSET + 16]


def bands_and_palette(path):
    """An indexed image's pixels and its 256 colours, as Pillow reads them."""
    with Image.open(path) as image:
        assert image.mode == "P", (path, image.mode)
        return numpy.asarray(image), image.getpalette()


def sample_png(sample, scratch):
    """The sample's greys as a PNG, made once for the checks that read one."""
    png = scratch / "sample.png"
    if not png.exists():
        with Image.open(sample) as image:
            image.save(png)
    return png


def run_python(code, *arguments, user=()):
    return subprocess.run(list(user) + [sys.executable, "-c", code, *map(str, arguments)],
                          capture_output=True, text=True, timeout=120)


def expect_refusal(input_path, output_path, message, problem, code=None, kind=OSError):
    """The call raises a PavonizeError that `except kind` catches, prints
    what Pavonize prints with verbose=True, and leaves the output as it was."""
    existed = os.path.lexists(output_path)
    printed, sys.stdout = sys.stdout, io.StringIO()
    try:
        orvanepavonize.pavonize(input_path, output_path, verbose=True)
    except kind as error:
        assert isinstance(error, orvanepavonize.PavonizeError), type(error)
        assert (error.message, error.problem, error.errno) == (message, problem, code), \
            (error.message, error.problem, error.errno)
        assert str(error) == message and error.strerror == (os.strerror(code) if code else None)
        assert error.filename is (output_path if problem == 4 else input_path), error.filename
        copy = pickle.loads(pickle.dumps(error))
        assert type(copy) is type(error), type(copy)
        assert (copy.message, copy.problem, copy.errno, copy.filename) == \
            (message, problem, code, error.filename)
        loaded = LOADED.replace("BMP", "PNG") if os.fspath(input_path).endswith(".png") else LOADED
        shown = (loaded if problem == 4 else "") + message + (
            "" if message == "read BMP image failed" else "\n")
        assert sys.stdout.getvalue() == shown, sys.stdout.getvalue()
    else:
        raise AssertionError(f"{input_path} -> {output_path} was not refused")
    finally:
        sys.stdout = printed
    assert os.path.lexists(output_path) == existed, output_path


def check_calls(sample, scratch, version):
    assert dir(orvanepavonize) == ["PAVONIZE_DONE", "PavonizeError", "__version__", "pavonize",
                                   "pavonize_bytes", "pavonize_image", "pavonize_many"], \
        dir(orvanepavonize)
    assert orvanepavonize.__version__ == version, orvanepavonize.__version__
    assert (pathlib.Path(orvanepavonize.__file__).parent / "py.typed").is_file()
    sample_size = pathlib.Path(sample).stat().st_size

    # str, bytes and os.PathLike, names that are not UTF-8 as bytes or as
    # the str Python decodes them to. Quiet unless asked; a missing or
    # broken sys.stdout changes nothing.
    class Broken(io.StringIO):
        def write(self, text):
            raise OSError(errno.EPIPE, "broken pipe")
    raw = os.fsencode(scratch)
    grey = raw + b"/grey-\xff.bmp"
    with open(grey, "wb") as file:
        file.write(pathlib.Path(sample).read_bytes())
    outputs = (str(scratch / "module.bmp"), scratch / "module-été.bmp", raw + b"/module-\xfe.bmp",
               scratch / "quiet-none.bmp", os.fsdecode(raw + b"/verbose-\xfd.bmp"),
               scratch / "verbose-broken.bmp", scratch / "verbose-png.bmp")
    png = sample_png(sample, scratch)
    for source, output, stream, verbose, shown in zip(
            (pathlib.Path(sample), sample, grey, sample, os.fsdecode(grey), sample, png), outputs,
            (io.StringIO(), io.StringIO(), io.StringIO(), None, None, Broken(), io.StringIO()),
            (False, True, False, False, True, True, True),
            ("", LOADED + SAVED, "", None, None, None, "PNG image loaded successfully!\n" + SAVED)):
        saved, sys.stdout = sys.stdout, stream
        try:
            result = orvanepavonize.pavonize(source, output, verbose=verbose)
        finally:
            sys.stdout = saved
        assert result == orvanepavonize.PAVONIZE_DONE == 999, result
        assert shown is None or stream.getvalue() == shown, (output, stream.getvalue())
        assert os.stat(output).st_size == sample_size, output

    # Refusals: the library's message and problem, the system's reason as
    # errno and class, the path it concerns.
    deep, cut, a_file = scratch / "24-bit.bmp", scratch / "cut.bmp", scratch / "a-file"
    deep.write_bytes(bmp_24_bit())
    cut.write_bytes(pathlib.Path(sample).read_bytes()[:2000])
    cut_png = scratch / "cut.png"
    cut_png.write_bytes(png.read_bytes()[:png.stat().st_size // 2])
    a_file.write_bytes(b"")
    (scratch / "a-folder").mkdir(exist_ok=True)
    PE = orvanepavonize.PavonizeError
    for input_path, output_path, message, problem, code, kind in [
            (deep, scratch / "out.bmp",
             "24-bit images are not supported: only 8-bit images are recoloured", 3, None, PE),
            (cut, scratch / "out.bmp", "BMP file is truncated", 2, None, PE),
            (a_file, scratch / "out.bmp", "not a BMP file: no BM signature", 2, None, PE),
            (scratch / "a-folder", scratch / "out.bmp",
             "input is a directory, not a BMP file", 1, None, PE),
            (scratch / "missing.bmp", scratch / "out.bmp", "read BMP file failed", 1,
             errno.ENOENT, FileNotFoundError),
            (cut_png, scratch / "out.png", "PNG file is truncated", 2, None, PE),
            (cut_png, scratch / "out.bmp", "PNG file is truncated", 2, None, PE),
            (scratch / "missing.png", scratch / "out.png", "read BMP file failed", 1,
             errno.ENOENT, FileNotFoundError),
            (png, scratch / "no-folder" / "out.png", "cannot create the output file", 4,
             errno.ENOENT, FileNotFoundError),
            (sample, a_file / "out.PNG", "cannot create the output file", 4, errno.ENOTDIR,
             NotADirectoryError),
            (sample, scratch / "no-folder" / "out.bmp", "read BMP image failed", 4,
             errno.ENOENT, FileNotFoundError),
            (sample, scratch / "a-folder", "read BMP image failed", 4, errno.EISDIR,
             IsADirectoryError),
            (sample, a_file / "out.bmp", "read BMP image failed", 4, errno.ENOTDIR,
             NotADirectoryError)]:
        expect_refusal(input_path, output_path, message, problem, code, kind)

    # An output the caller may not write, as an unprivileged user.
    shared = scratch / "not-for-nobody"
    shared.mkdir(exist_ok=True)
    shared.chmod(0o755 if os.getuid() == 0 else 0o555)
    nobody = ["setpriv", "--reuid=65534", "--regid=65534", "--clear-groups"] \
        if os.getuid() == 0 else []
    ran = run_python("import errno, sys, orvanepavonize\n"
                     "try:\n"
                     "    orvanepavonize.pavonize(sys.argv[1], sys.argv[2])\n"
                     "except PermissionError as error:\n"
                     "    assert (error.errno, error.problem) == (errno.EACCES, 4), error.errno\n"
                     "    assert error.filename == sys.argv[2], error.filename\n"
                     "    print('refused')\n", sample, shared / "out.bmp", user=nobody)
    assert ran.stdout == "refused\n", (ran.stdout, ran.stderr)

    # Relative paths are the caller's current folder's.
    saved_folder = os.getcwd()
    os.chdir(scratch)
    try:
        assert orvanepavonize.pavonize(os.path.relpath(sample), "relative.bmp") == 999
    finally:
        os.chdir(saved_folder)
    assert (scratch / "relative.bmp").stat().st_size == sample_size

    # Arguments the module cannot pass are refused before any work.
    never = scratch / "never.bmp"
    for arguments, options, error_type in [
            ((42, never), {}, TypeError), (("a\0b", never), {}, ValueError),
            ((sample, b"a\0b"), {}, ValueError), (("\ud800.bmp", never), {}, ValueError),
            ((sample, never), {"colours": COLOURS[:3]}, ValueError),
            ((sample, never), {"colours": "#102030"}, TypeError),
            ((sample, never), {"colours": ["#1020"] * 4}, ValueError),
            ((sample, never), {"colours": [(1, 2, 256)] * 4}, ValueError),
            ((sample, never), {"colours": [(1, 2)] * 4}, TypeError)]:
        try:
            orvanepavonize.pavonize(*arguments, **options)
        except error_type:
            pass
        else:
            raise AssertionError(f"{arguments} {options} was accepted")
    assert not never.exists()


def check_colours(sample, scratch):
    # One sequence for the process, whichever call draws: a failed image
    # takes no colours and starts nothing again, nor does colours=.
    assert colour_sets(1)[0] == FIRST_COLOURS
    ran = run_python(
        "import sys, numpy, orvanepavonize as o\n"
        "sample, folder = sys.argv[1:]\n"
        "o.pavonize(sample, folder + '/sequence-0.bmp')\n"
        "try:\n"
        "    o.pavonize(sample, folder + '/no-folder/x.bmp')\n"
        "except FileNotFoundError:\n"
        "    pass\n"
        "o.pavonize_bytes(open(sample, 'rb').read(), colours=['#000000'] * 4)\n"
        "o.pavonize(sample, folder + '/sequence-1.bmp')\n"
        "o.pavonize_many([(sample, folder + '/sequence-2.bmp'),\n"
        "                 (sample, folder + '/sequence-3.bmp')])\n"
        "o.pavonize(folder + '/sample.png', folder + '/sequence-4.bmp')\n"
        "o.pavonize_image(numpy.zeros((1, 1), numpy.uint8)).save(folder + '/sequence-5.bmp')\n",
        sample, scratch)
    assert ran.returncode == 0 and not ran.stdout, (ran.stdout, ran.stderr)
    assert [entries(scratch / f"sequence-{i}.bmp") for i in range(6)] == colour_sets(6)

    # colours= sets entries 0-3 and nothing else, in files and in memory,
    # and at a path deeper than PATH_MAX.
    coloured = scratch / "coloured.bmp"
    coloured.write_bytes(b"an older file in the way")
    assert orvanepavonize.pavonize(sample, coloured, colours=COLOURS) == 999
    plain, image = (scratch / "sequence-0.bmp").read_bytes(), coloured.read_bytes()
    assert image[PALETTE_OFFSET:PALETTE_OFFSET + 16] == COLOUR_BYTES
    assert image[:PALETTE_OFFSET] + image[PALETTE_OFFSET + 16:] == \
        plain[:PALETTE_OFFSET] + plain[PALETTE_OFFSET + 16:]
    data = pathlib.Path(sample).read_bytes()
    tempfile.tempdir = str(scratch / "no-such-folder")  # images in memory need no files
    try:
        assert orvanepavonize.pavonize_bytes(bytearray(data), colours=COLOURS) == image
        drawn = orvanepavonize.pavonize_bytes(memoryview(data))
    finally:
        tempfile.tempdir = None
    assert drawn[PALETTE_OFFSET + 16:] == image[PALETTE_OFFSET + 16:]

    folders, path = [os.open(scratch, os.O_RDONLY)], str(scratch)
    while len(path) <= 4200:
        os.mkdir("d" * 200, dir_fd=folders[-1])
        folders.append(os.open("d" * 200, os.O_RDONLY, dir_fd=folders[-1]))
        path += "/" + "d" * 200
    try:
        assert orvanepavonize.pavonize(sample, path + "/deep.bmp", colours=COLOURS) == 999
        with open(os.open("deep.bmp", os.O_RDONLY, dir_fd=folders[-1]), "rb") as file:
            assert file.read() == image
    finally:
        for folder in folders:
            os.close(folder)
        shutil.rmtree(scratch / ("d" * 200))  # through descriptors; a path too long for others


def check_bytes_and_batches(sample, scratch):
    for refused, problem in ((b"", 2), (b"BM" + bytes(100), 2), (bmp_24_bit(), 3)):
        try:
            orvanepavonize.pavonize_bytes(refused)
        except orvanepavonize.PavonizeError as error:
            assert (error.filename, error.errno, error.problem) == (None, None, problem), error
        else:
            raise AssertionError(f"{refused[:8]!r} was recoloured")
    try:
        orvanepavonize.pavonize_bytes("BM")
    except TypeError:
        pass
    else:
        raise AssertionError("text was taken for an image")

    # In order, a failure in the middle stops nothing, with any number of
    # threads, and none is left behind.
    missing = scratch / "missing.bmp"
    pairs = [(sample, scratch / "many-0.bmp"), (missing, scratch / "many-1.bmp"),
             (scratch / "24-bit.bmp", scratch / "many-2.bmp"), (sample, scratch / "many-3.bmp"),
             (sample, scratch / "many-4.bmp"), (scratch / "sample.png", scratch / "many-5.PNG"),
             (scratch / "cut.png", scratch / "many-6.bmp")]
    threads = os.listdir("/proc/self/task")
    for workers in (1, 4, 9):
        for _, output in pairs:
            output.unlink(missing_ok=True)
        results = orvanepavonize.pavonize_many(pairs, workers=workers, colours=COLOURS)
        deadline = time.monotonic() + 5  # a thread that has ended takes a moment to go
        while os.listdir("/proc/self/task") != threads and time.monotonic() < deadline:
            time.sleep(0.01)
        assert os.listdir("/proc/self/task") == threads, os.listdir("/proc/self/task")
        PE = orvanepavonize.PavonizeError
        assert [type(result) for result in results] == [int, type(results[1]), PE, int, int,
                                                        int, PE]
        assert isinstance(results[1], FileNotFoundError) and results[1].filename == missing
        assert results[2].message.startswith("24-bit images are not supported"), results[2]
        assert results[6].message == "PNG file is truncated", results[6]
        assert [output.exists() for _, output in pairs] == [True, False, False, True, True,
                                                            True, False]
        assert entries(scratch / "many-4.bmp") == COLOUR_BYTES
        assert bands_and_palette(scratch / "many-5.PNG")[1][:12] == COLOUR_RGB
    assert orvanepavonize.pavonize_many([]) == []
    for bad, options in (([(sample, 42)], {}), ([(sample,)], {}), (pairs, {"workers": 0})):
        try:
            orvanepavonize.pavonize_many(bad, **options)
        except (TypeError, ValueError):
            pass
        else:
            raise AssertionError(f"pavonize_many({bad}, {options}) was accepted")

    # workers=4 writes four images at once: into FIFOs with pipes too small
    # for an image, none of which is read until all four have data.
    readers = []
    for index in range(4):
        os.mkfifo(scratch / f"many-{index}.fifo")
        readers.append(os.open(scratch / f"many-{index}.fifo", os.O_RDONLY | os.O_NONBLOCK))
        fcntl.fcntl(readers[-1], fcntl.F_SETPIPE_SZ, 4096)
    results = []
    batch = threading.Thread(target=lambda: results.extend(orvanepavonize.pavonize_many(
        [(sample, scratch / f"many-{index}.fifo") for index in range(4)], workers=4)),
        daemon=True)  # left blocked, and ended with this process, if this fails
    batch.start()
    deadline = time.monotonic() + 30
    while not all(struct.unpack("i", fcntl.ioctl(reader, termios.FIONREAD, b"\0" * 4))[0]
                  for reader in readers):
        assert time.monotonic() < deadline, "four workers did not write at once"
        time.sleep(0.01)
    for reader in readers:
        os.set_blocking(reader, True)
        with open(reader, "rb") as fifo:
            assert len(fifo.read()) == pathlib.Path(sample).stat().st_size
    batch.join(30)
    assert results == [999] * 4, results


def check_threads_and_forks(sample, scratch):
    """Calls on several threads at once each take four colours of the one
    sequence, failed calls none; a fork while they run, failed ones
    included, gives a child that can call too."""
    orvanepavonize.pavonize(sample, scratch / "marker.bmp")
    first = colour_sets(1000).index(entries(scratch / "marker.bmp")) + 1
    calls, hung, failed = 25, [], []

    def work(thread):
        for call in range(calls):
            try:
                orvanepavonize.pavonize(sample, scratch / f"thread-{thread}-{call}.bmp")
                orvanepavonize.pavonize(scratch / "missing.bmp", scratch / "never.bmp")
            except FileNotFoundError:
                pass
            except BaseException as error:
                failed.append(error)

    def fork_while_busy():
        for index in range(10):
            child = os.fork()
            if child == 0:
                try:
                    orvanepavonize.pavonize(sample, scratch / f"forked-{index}.bmp")
                    orvanepavonize.pavonize_bytes(pathlib.Path(sample).read_bytes())
                finally:
                    os._exit(0 if (scratch / f"forked-{index}.bmp").exists() else 1)
            deadline = time.monotonic() + 30
            while not os.waitpid(child, os.WNOHANG)[0]:
                if time.monotonic() > deadline:
                    hung.append(index)
                    os.kill(child, signal.SIGKILL)
                    os.waitpid(child, 0)
                    break
                time.sleep(0.001)
    running = [threading.Thread(target=work, args=(thread,)) for thread in range(4)]
    running.append(threading.Thread(target=fork_while_busy))
    for thread in running:
        thread.start()
    for thread in running:
        thread.join()
    assert not failed and not hung, (failed, hung)
    assert all((scratch / f"forked-{index}.bmp").exists() for index in range(10))
    made = sorted(entries(scratch / f"thread-{thread}-{call}.bmp")
                  for thread in range(4) for call in range(calls))
    assert made == sorted(colour_sets(first + 4 * calls)[first:])


def check_interrupt(sample, scratch):
    """A real SIGINT in the middle of a long batch on three threads: the
    images begun are finished, no other, and nothing is left behind."""
    outputs = scratch / "interrupted"
    outputs.mkdir()
    child = subprocess.Popen(
        [sys.executable, "-c",
         "import os, sys, time, orvanepavonize\n"
         "sample, folder = sys.argv[1:]\n"
         "descriptors = os.listdir('/proc/self/fd')\n"
         "try:\n"
         "    orvanepavonize.pavonize_many(\n"
         "        [(sample, f'{folder}/{index}.bmp') for index in range(100000)], workers=3)\n"
         "except KeyboardInterrupt:\n"
         "    made = len(os.listdir(folder))\n"
         "    for _ in range(200):  # a thread that has ended takes a moment to go\n"
         "        if len(os.listdir('/proc/self/task')) == 1:\n"
         "            break\n"
         "        time.sleep(0.01)\n"
         "    print(made, len(os.listdir(folder)), len(os.listdir('/proc/self/task')),\n"
         "          os.listdir('/proc/self/fd') == descriptors, flush=True)\n"
         "    print(orvanepavonize.pavonize(sample, folder + '/after.bmp'))\n",
         sample, outputs], stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
    deadline = time.monotonic() + 60
    while not os.listdir(outputs) and time.monotonic() < deadline:
        time.sleep(0.001)
    child.send_signal(signal.SIGINT)
    out, err = child.communicate(timeout=60)
    assert child.returncode == 0, (child.returncode, out, err)
    made, made_later, threads, same_descriptors = out.splitlines()[0].split()
    # Begun at once, so a batch that went on would make far more.
    assert 0 < int(made) == int(made_later) < 50000, out
    assert threads == "1" and same_descriptors == "True", out
    assert out.splitlines()[1] == "999", out
    names = os.listdir(outputs)
    assert all(name.endswith(".bmp") for name in names) and len(names) == int(made) + 1, names


def check_images_and_arrays(sample, scratch):
    """pavonize_image on arrays and Pillow images of every kind, and
    pavonize() between formats: the bands are the greys' top two bits by
    the command line's rules, the palette PavonizeMemory's for the same
    colours, whichever way the image comes in and goes out."""
    palette = list(Image.open(io.BytesIO(orvanepavonize.pavonize_bytes(
        pathlib.Path(sample).read_bytes(), colours=COLOURS))).getpalette())
    assert palette[:12] == COLOUR_RGB and palette[12:] == [v for v in range(4, 256) for _ in "rgb"]
    with Image.open(sample) as image:
        grey = numpy.asarray(image.convert("L"))
    random = numpy.random.default_rng(26)
    wide = random.integers(0, 65536, grey.shape, dtype=numpy.uint16)
    signed = random.integers(-70000, 140000, grey.shape, dtype=numpy.int32)
    rgb = Image.fromarray(random.integers(0, 256, grey.shape + (3,), dtype=numpy.uint8))
    see_through = rgb.convert("P")
    see_through.info["transparency"] = bytes(range(256))  # ignored, without Pillow's warning

    def luma(image):  # colour, palette and 1-bit images: Pillow's convert("L")
        return numpy.asarray(image.convert("L")) >> 6
    for name, given, bands in [
            ("uint8", grey, grey >> 6),
            ("uint8, rows reversed, every third column", grey[::-1, ::3], grey[::-1, ::3] >> 6),
            ("uint8, a window", grey[20:90, 30:200], grey[20:90, 30:200] >> 6),
            ("uint8, empty", grey[:0], grey[:0]),
            ("uint16", wide, wide >> 14),
            ("uint16, big-endian and transposed", wide.T.astype(">u2"), wide.T >> 14),
            ("L", Image.fromarray(grey), grey >> 6),
            ("I;16", Image.fromarray(wide), wide >> 14),
            ("I;16B", Image.frombytes("I;16B", rgb.size, wide.astype(">u2").tobytes()), wide >> 14),
            ("I", Image.fromarray(signed), numpy.clip(signed, 0, 65535) >> 14),
            ("RGB", rgb, luma(rgb)),
            ("P", see_through, luma(rgb.convert("P"))),
            ("1", Image.fromarray(grey).convert("1"), luma(Image.fromarray(grey).convert("1")))]:
        with warnings.catch_warnings():
            warnings.simplefilter("error")
            made = orvanepavonize.pavonize_image(given, colours=COLOURS)
        assert (made.mode, made.getpalette()) == ("P", palette), name
        assert numpy.array_equal(numpy.asarray(made), bands), name
        assert numpy.array_equal(numpy.asarray(made.convert("RGB")),
                                 numpy.reshape(palette, (256, 3))[bands]), name
    assert see_through.info["transparency"] == bytes(range(256))  # the caller's, left as it was
    for refused in (grey.astype(numpy.float32), grey.astype(numpy.int16), grey[..., None],
                    grey.tolist(), sample):
        try:
            orvanepavonize.pavonize_image(refused)
        except TypeError as error:
            assert "a Pillow Image or a 2-D numpy array of uint8 or uint16" in str(error), error
        else:
            raise AssertionError(f"pavonize_image took {type(refused)}")

    # Files: a PNG and a 16-bit TIFF in, PNG out in any case, against the
    # BMP route.
    png, tiff = sample_png(sample, scratch), scratch / "sample-16.tif"
    Image.fromarray(grey.astype(numpy.uint16) << 8 | wide & 0xFF).save(tiff)  # low bytes: noise
    assert Image.open(tiff).mode == "I;16"
    orvanepavonize.pavonize(sample, scratch / "formats.bmp", colours=COLOURS)
    bands = bands_and_palette(scratch / "formats.bmp")[0]
    assert numpy.array_equal(bands, grey >> 6)
    for source, output, kind in [(png, "from-png.bmp", "BMP"), (tiff, "from-tiff.bmp", "BMP"),
                                 (sample, "from-bmp.PNG", "PNG"), (png, "from-png.png", "PNG"),
                                 (tiff, "from-tiff.Png", "PNG")]:
        assert orvanepavonize.pavonize(source, scratch / output, colours=COLOURS) == 999
        assert Image.open(scratch / output).format == kind, output
        made, made_palette = bands_and_palette(scratch / output)
        assert numpy.array_equal(made, bands) and made_palette == palette, output

    # Without Pillow: BMP to BMP as ever, ImportError for anything else.
    ran = run_python(
        "import sys\n"
        "sys.modules['PIL'] = None  # as if Pillow were not installed\n"
        "import orvanepavonize as o\n"
        "sample, png, folder = sys.argv[1:]\n"
        "print(o.pavonize(sample, folder + '/no-pillow.bmp'))\n"
        "for call in (lambda: o.pavonize(png, folder + '/no-pillow-from-png.bmp'),\n"
        "             lambda: o.pavonize(sample, folder + '/no-pillow.png'),\n"
        "             lambda: o.pavonize_image(None)):\n"
        "    try:\n"
        "        call()\n"
        "    except ImportError as error:\n"
        "        print(error)\n", sample, png, scratch)
    assert ran.stdout == ("999\nreading an image that is not a BMP needs Pillow (python3-pil)\n"
                          "writing a PNG needs Pillow (python3-pil)\n"
                          "pavonize_image needs Pillow (python3-pil)\n"), (ran.stdout, ran.stderr)
    assert numpy.array_equal(bands_and_palette(scratch / "no-pillow.bmp")[0], bands)
    assert not (scratch / "no-pillow-from-png.bmp").exists()
    assert not (scratch / "no-pillow.png").exists()


# A name that would set the terminal's title and ring its bell, and how
# the examples show it: as pavonize does, in the shell's quoting.
ESCAPE_NAME = "e\x1b]0;x\x07.bmp"
ESCAPE_NAME_QUOTED = "'e'$'\\033'']0;x'$'\\a''.bmp'"


def check_examples(example, sample, scratch):
    """The cluster example over good, refused and skipped files of several
    formats, on a cluster with TLS that this check starts (through
    --scheduler and certificate files) and on the example's own with
    --colours; and the plain example beside it."""
    from distributed import LocalCluster
    from distributed.security import Security
    inputs = scratch / "dask-in"
    inputs.mkdir()
    for index in range(4):
        (inputs / f"image-{index}.bmp").write_bytes(pathlib.Path(sample).read_bytes())
    (inputs / "deep.bmp").write_bytes(bmp_24_bit())
    (inputs / ESCAPE_NAME).write_bytes(pathlib.Path(sample).read_bytes()[:2000])
    (inputs / "notes.txt").write_text("not an image")
    # Other formats become PNGs named after them; one name is taken twice.
    for name, made in (("photo.png", "sample.png"), ("photo.tif", "sample.png"),
                       ("scan.tif", "sample-16.tif"), ("cut.png", "cut.png")):
        shutil.copyfile(scratch / made, inputs / name)
    with Image.open(sample) as image:
        bands = numpy.asarray(image.convert("L")) >> 6

    def run(outputs, options, colours=None):
        ran = subprocess.run([sys.executable, example, str(inputs), str(outputs)] + options,
                             capture_output=True, text=True, timeout=300)
        assert ran.returncode == 1, (ran.returncode, ran.stdout, ran.stderr)
        reported = ran.stderr.splitlines()
        assert "deep.bmp: not recoloured: 24-bit images are not supported" in ran.stderr, ran.stderr
        for line in (f"{ESCAPE_NAME_QUOTED}: not recoloured: BMP file is truncated",
                     "cut.png: not recoloured: PNG file cannot be decoded: image file is truncated",
                     "notes.txt: skipped: not an image: neither a BMP nor any format Pillow reads",
                     "photo.tif: skipped: its output photo.png is that of photo.png",
                     "3 of 9 images failed"):
            assert line in reported, (line, ran.stderr)
        assert "\x1b" not in ran.stderr + ran.stdout, ran.stderr
        assert sorted(os.listdir(outputs)) == [f"image-{index}.bmp" for index in range(4)] + [
            "photo.png", "scan.png"]
        recoloured = (scratch / "sequence-0.bmp").read_bytes()[PALETTE_OFFSET + 16:]
        for name in os.listdir(outputs):
            if name.endswith(".bmp"):
                assert (outputs / name).read_bytes()[PALETTE_OFFSET + 16:] == recoloured
            assert Image.open(outputs / name).format == name[-3:].upper(), name
            made, palette = bands_and_palette(outputs / name)
            assert numpy.array_equal(made, bands), name
            assert colours is None or palette[:12] == colours, (name, palette[:12])

    # The credentials as files, the way a real cluster's are handed out.
    security = Security.temporary()
    credentials = {"--tls-ca-file": security.tls_ca_file, "--tls-cert": security.tls_client_cert,
                   "--tls-key": security.tls_client_key}
    tls_options = []
    for option, pem in credentials.items():
        path = scratch / f"dask{option.replace('--', '-')}.pem"
        path.write_text(pem)
        tls_options += [option, str(path)]
    with LocalCluster(n_workers=2, threads_per_worker=1, host="127.0.0.1",
                      dashboard_address="127.0.0.1:0", worker_dashboard_address="127.0.0.1:0",
                      security=security) as cluster:
        assert cluster.scheduler_address.startswith("tls://"), cluster.scheduler_address
        run(scratch / "dask-out-scheduler",
            ["--scheduler", cluster.scheduler_address] + tls_options)
    run(scratch / "dask-out-local",
        ["--workers", "2", "--colours", "#102030,405060,#A0b0C0,FF0007"], COLOUR_RGB)
    ran = subprocess.run([sys.executable, example, inputs, scratch / "dask-never", "--colors",
                          "102030,#405060"], capture_output=True, text=True, timeout=60)
    assert ran.returncode == 2 and not (scratch / "dask-never").exists(), ran
    assert "--colours takes four colours, #RRGGBB or RRGGBB, separated by commas: 2 given" in \
        ran.stderr, ran.stderr

    plain = pathlib.Path(example).with_name("recolour.py")
    ran = subprocess.run([sys.executable, plain, ESCAPE_NAME, scratch / "never.bmp"], cwd=inputs,
                         capture_output=True, text=True, timeout=60)
    assert (ran.returncode, ran.stdout) == (1, ""), (ran.returncode, ran.stdout, ran.stderr)
    assert ran.stderr == f"{ESCAPE_NAME_QUOTED}: not recoloured: BMP file is truncated\n", \
        ran.stderr


def main(sample, scratch, version, dask_example=None):
    scratch = pathlib.Path(scratch)
    scratch.mkdir(parents=True, exist_ok=True)
    check_calls(sample, scratch, version)
    check_colours(sample, scratch)
    check_bytes_and_batches(sample, scratch)
    check_threads_and_forks(sample, scratch)
    check_interrupt(sample, scratch)
    check_images_and_arrays(sample, scratch)
    if dask_example:
        check_examples(dask_example, sample, scratch)
    print("module ok")


if __name__ == "__main__":
    main(*sys.argv[1:])
