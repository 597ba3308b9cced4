"""Checks the installed orvanepavonize module as a Python program meets it.

    python_module_check.py SAMPLE SCRATCH VERSION [DASK_EXAMPLE]

Imports the module from wherever Python finds it (the caller sets
PYTHONPATH, or not for the Debian package), recolours SAMPLE, and feeds it
inputs the library refuses: each must raise PavonizeError with the library's
message while this interpreter carries on. Then the worker's colour
sequence, colours=, the bytes and batch calls, threads, a fork, and real
SIGINTs at random moments. With DASK_EXAMPLE, runs that example on a local
cluster of two workers, through --scheduler with TLS and through its own
cluster, and the plain example beside it; both must quote a file name that
holds control characters.
Prints "module ok" at the end; any failed check ends it with a traceback.
"""
import errno
import io
import os
import pathlib
import pickle
import queue
import random
import signal
import stat
import struct
import subprocess
import sys
import tempfile
import threading
import time

import orvanepavonize

SUCCESS = "BMP image loaded successfully!\nimage saved\n"
PALETTE_OFFSET = 54
COLOURS = ["#102030", (64, 80, 96), "#A0b0C0", (255, 0, 7)]
COLOUR_BYTES = bytes.fromhex("30201000" "60504000" "c0b0a000" "0700ff00")


def bmp_24_bit():
    """A 1 x 1 image of 24 bits per pixel: a valid file the library refuses."""
    pixels = b"\0\0\0\0"
    info = struct.pack("<IiiHHIIiiII", 40, 1, 1, 1, 24, 0, len(pixels), 0, 0, 0, 0)
    header = b"BM" + struct.pack("<IHHI", 14 + len(info) + len(pixels), 0, 0, 14 + len(info))
    return header + info + pixels


def colour_sets(count):
    """The entries 0-3 the library's generator gives the first `count` images
    of a worker: minstd_rand from 1, each value taken modulo 256, red, green
    and blue of entries 0 to 3 in turn."""
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


def fresh_worker(scratch):
    """A failed image ends the worker; the next call has a new one."""
    try:
        orvanepavonize.pavonize(scratch / "missing.bmp", scratch / "never.bmp")
    except orvanepavonize.PavonizeError:
        return
    raise AssertionError("a missing input was recoloured")


def expect_refusal(input_path, output_path, message, code=None):
    existed = pathlib.Path(output_path).exists()
    finally_ran = False
    try:
        orvanepavonize.pavonize(input_path, output_path)
    except OSError as error:  # PavonizeError is one
        assert type(error) is orvanepavonize.PavonizeError, type(error)
        assert error.message == message == str(error), error.message
        assert error.status == 1, error.status
        assert error.output.rstrip("\n").endswith(message), error.output
        assert error.errno == code, (error.errno, code)
        if code is not None:
            assert error.strerror == os.strerror(code), error.strerror
            assert error.filename in (input_path, output_path), error.filename
        copy = pickle.loads(pickle.dumps(error))
        assert (copy.message, copy.output, copy.status, copy.errno, copy.filename) == \
            (error.message, error.output, error.status, error.errno, error.filename)
    else:
        raise AssertionError(f"{input_path} was not refused")
    finally:
        finally_ran = True
    assert finally_ran
    assert pathlib.Path(output_path).exists() == existed, output_path


def check_calls(sample, scratch, version):
    assert dir(orvanepavonize) == ["PAVONIZE_DONE", "PavonizeError", "__version__", "pavonize",
                                   "pavonize_bytes", "pavonize_many"], dir(orvanepavonize)
    assert orvanepavonize.__version__ == version, orvanepavonize.__version__
    assert (pathlib.Path(orvanepavonize.__file__).parent / "py.typed").is_file()
    sample_size = pathlib.Path(sample).stat().st_size

    # str, bytes and os.PathLike; a name outside ASCII travels as UTF-16.
    # Quiet unless asked; a missing or broken sys.stdout changes nothing.
    class Broken(io.StringIO):
        def write(self, text):
            raise OSError(errno.EPIPE, "broken pipe")
    outputs = (str(scratch / "module.bmp"), scratch / "module-été.bmp",
               os.fsencode(scratch / "module-bytes.bmp"), scratch / "quiet-none.bmp",
               scratch / "verbose-none.bmp", scratch / "verbose-broken.bmp")
    for output, stream, verbose, shown in zip(
            outputs, (io.StringIO(), io.StringIO(), io.StringIO(), None, None, Broken()),
            (False, True, False, False, True, True), ("", SUCCESS, "", None, None, None)):
        saved, sys.stdout = sys.stdout, stream
        try:
            result = orvanepavonize.pavonize(pathlib.Path(sample), output, verbose=verbose)
        finally:
            sys.stdout = saved
        assert result == orvanepavonize.PAVONIZE_DONE == 999, result
        assert shown is None or stream.getvalue() == shown, (output, stream.getvalue())
        assert pathlib.Path(os.fsdecode(output)).stat().st_size == sample_size, output

    deep = scratch / "24-bit.bmp"
    deep.write_bytes(bmp_24_bit())
    expect_refusal(deep, scratch / "24-bit-out.bmp",
                   "24-bit images are not supported: only 8-bit images are recoloured")
    expect_refusal(scratch / "missing.bmp", scratch / "missing-out.bmp", "read BMP file failed",
                   errno.ENOENT)
    expect_refusal(sample, scratch / "no-folder" / "out.bmp", "read BMP image failed",
                   errno.ENOENT)
    (scratch / "a-folder").mkdir(exist_ok=True)
    expect_refusal(sample, scratch / "a-folder", "read BMP image failed", errno.EISDIR)

    # Relative paths are the caller's, whatever folder the worker started in.
    saved_folder = os.getcwd()
    os.chdir(scratch)
    try:
        assert orvanepavonize.pavonize(os.path.relpath(sample), "relative.bmp") == 999
    finally:
        os.chdir(saved_folder)
    assert (scratch / "relative.bmp").stat().st_size == sample_size

    # Arguments the module cannot pass are refused before any work.
    bad_calls = [((42, scratch / "never.bmp"), {}, TypeError),
                 (("a\0b", scratch / "never.bmp"), {}, ValueError),
                 (("\udcff.bmp", scratch / "never.bmp"), {}, ValueError),
                 ((sample, scratch / "never.bmp"), {"colours": COLOURS[:3]}, ValueError),
                 ((sample, scratch / "never.bmp"), {"colours": "#102030"}, TypeError),
                 ((sample, scratch / "never.bmp"), {"colours": ["#1020"] * 4}, ValueError),
                 ((sample, scratch / "never.bmp"), {"colours": [(1, 2, 256)] * 4}, ValueError),
                 ((sample, scratch / "never.bmp"), {"colours": [(1, 2)] * 4}, TypeError)]
    for arguments, options, error_type in bad_calls:
        try:
            orvanepavonize.pavonize(*arguments, **options)
        except error_type:
            pass
        else:
            raise AssertionError(f"{arguments} {options} was accepted")
    assert not (scratch / "never.bmp").exists()


def check_colours(sample, scratch):
    # One sequence per worker, as in one run of the command line, begun
    # again after a failure.
    fresh_worker(scratch)
    expected = colour_sets(3)
    for index in range(3):
        orvanepavonize.pavonize(sample, scratch / f"sequence-{index}.bmp")
    assert [entries(scratch / f"sequence-{i}.bmp") for i in range(3)] == expected
    fresh_worker(scratch)
    orvanepavonize.pavonize(sample, scratch / "sequence-again.bmp")
    assert entries(scratch / "sequence-again.bmp") == expected[0]

    # colours= sets entries 0-3 and nothing else.
    coloured = scratch / "coloured.bmp"
    coloured.write_bytes(b"an older file in the way")
    assert orvanepavonize.pavonize(sample, coloured, colours=COLOURS) == 999
    plain = (scratch / "sequence-0.bmp").read_bytes()
    image = coloured.read_bytes()
    assert image[PALETTE_OFFSET:PALETTE_OFFSET + 16] == COLOUR_BYTES
    assert image[:PALETTE_OFFSET] + image[PALETTE_OFFSET + 16:] == \
        plain[:PALETTE_OFFSET] + plain[PALETTE_OFFSET + 16:]
    data = pathlib.Path(sample).read_bytes()
    assert orvanepavonize.pavonize_bytes(data, colours=COLOURS) == image

    # A FIFO cannot take them afterwards: refused before the image is made.
    fifo = scratch / "colours.fifo"
    os.mkfifo(fifo)
    try:
        orvanepavonize.pavonize(sample, fifo, colours=COLOURS)
    except orvanepavonize.PavonizeError as error:
        assert error.filename == fifo, error.filename
    else:
        raise AssertionError("colours were accepted for a FIFO")

    # A palette that cannot be written is a failed write: here the new file
    # is read-only (umask 0277) for its owner, who is not root.
    shared = scratch / "for-nobody"
    shared.mkdir(exist_ok=True)
    shared.chmod(0o777)
    check = ("import errno, os, sys, orvanepavonize\n"
             "os.umask(0o277)\n"
             "try:\n"
             "    orvanepavonize.pavonize(sys.argv[1], sys.argv[2], colours=['#000000'] * 4)\n"
             "except orvanepavonize.PavonizeError as error:\n"
             "    assert (error.message, error.errno) == ('write BMP image failed', errno.EACCES)\n"
             "    assert error.filename == sys.argv[2], error.filename\n"
             "    print('refused')\n")
    nobody = []
    if os.getuid() == 0:
        nobody = ["setpriv", "--reuid=65534", "--regid=65534", "--clear-groups"]
    target = shared / "read-only.bmp"
    ran = subprocess.run(nobody + [sys.executable, "-c", check, sample, str(target)],
                         capture_output=True, text=True, cwd=shared)
    assert ran.stdout == "refused\n", (ran.stdout, ran.stderr)
    assert stat.S_IMODE(target.stat().st_mode) == 0o400


def check_bytes_and_batches(sample, scratch):
    data = pathlib.Path(sample).read_bytes()
    tempfile.tempdir = str(scratch / "tmp")  # where pavonize_bytes makes its folder
    os.makedirs(tempfile.tempdir, exist_ok=True)
    fresh_worker(scratch)
    image = orvanepavonize.pavonize_bytes(bytearray(data))
    orvanepavonize.pavonize(sample, scratch / "from-file.bmp")
    from_file = (scratch / "from-file.bmp").read_bytes()
    assert image[PALETTE_OFFSET:PALETTE_OFFSET + 16] == colour_sets(1)[0]
    assert image[PALETTE_OFFSET + 16:] == from_file[PALETTE_OFFSET + 16:]
    for refused in (b"", b"BM" + bytes(100), bmp_24_bit()):
        try:
            orvanepavonize.pavonize_bytes(refused)
        except orvanepavonize.PavonizeError as error:
            assert error.filename is None and error.errno is None, error
        else:
            raise AssertionError(f"{refused[:8]!r} was recoloured")
    try:
        orvanepavonize.pavonize_bytes("BM")
    except TypeError:
        pass
    else:
        raise AssertionError("text was taken for an image")
    assert os.listdir(tempfile.tempdir) == [], os.listdir(tempfile.tempdir)

    # In order, a failure in the middle stops nothing, with one or two workers.
    missing = scratch / "missing.bmp"
    pairs = [(sample, scratch / "many-0.bmp"), (missing, scratch / "many-1.bmp"),
             (scratch / "24-bit.bmp", scratch / "many-2.bmp"), (sample, scratch / "many-3.bmp"),
             (sample, scratch / "many-4.bmp")]
    for workers in (1, 2, 9):
        for _, output in pairs:
            output.unlink(missing_ok=True)
        results = orvanepavonize.pavonize_many(pairs, workers=workers, colours=COLOURS)
        assert [type(result) for result in results] == [int, orvanepavonize.PavonizeError,
                                                        orvanepavonize.PavonizeError, int, int]
        assert results[1].errno == errno.ENOENT and results[1].filename == missing, results[1]
        assert results[2].message.startswith("24-bit images are not supported"), results[2]
        assert [output.exists() for _, output in pairs] == [True, False, False, True, True]
        assert entries(scratch / "many-4.bmp") == COLOUR_BYTES
    assert orvanepavonize.pavonize_many([]) == []
    for bad, options in (([(sample, 42)], {}), ([(sample,)], {}), (pairs, {"workers": 0})):
        try:
            orvanepavonize.pavonize_many(bad, **options)
        except (TypeError, ValueError):
            pass
        else:
            raise AssertionError(f"pavonize_many({bad}, {options}) was accepted")


def check_threads(sample, scratch):
    """Calls from several threads are served one at a time, in one colour
    sequence."""
    fresh_worker(scratch)
    threads, calls = 4, 25
    failures = []

    def work(thread):
        for call in range(calls):
            try:
                orvanepavonize.pavonize(sample, scratch / f"thread-{thread}-{call}.bmp")
            except BaseException as error:
                failures.append(error)
    running = [threading.Thread(target=work, args=(thread,)) for thread in range(threads)]
    for thread in running:
        thread.start()
    for thread in running:
        thread.join()
    assert not failures, failures
    made = sorted(entries(scratch / f"thread-{thread}-{call}.bmp")
                  for thread in range(threads) for call in range(calls))
    assert made == sorted(colour_sets(threads * calls))


def check_fork(sample, scratch):
    """A forked child gets workers of its own; the parent keeps its."""
    child = os.fork()
    if child == 0:
        try:
            status = 0 if orvanepavonize.pavonize(sample, scratch / "forked.bmp") == 999 else 1
        except BaseException:
            status = 1
        os._exit(status)
    _, status = os.waitpid(child, 0)
    assert os.waitstatus_to_exitcode(status) == 0
    assert (scratch / "forked.bmp").exists()
    assert orvanepavonize.pavonize(sample, scratch / "after-fork.bmp") == 999


def descriptors():
    return sorted(os.listdir("/proc/self/fd"))


def children():
    """(pid, state) of each child of this process."""
    found = []
    for entry in os.listdir("/proc"):
        try:
            with open(f"/proc/{entry}/stat") as status:
                fields = status.read().rsplit(")", 1)[1].split()
        except (OSError, IndexError):
            continue
        if int(fields[1]) == os.getpid():
            found.append((entry, fields[0]))
    return found


def check_interrupts(sample, scratch):
    """Real SIGINTs at random moments of a few hundred calls of every kind:
    each ends in KeyboardInterrupt (or the call's own result), and none
    leaves a descriptor, a child, a zombie or a temporary behind."""
    data = pathlib.Path(sample).read_bytes()
    outputs = scratch / "interrupted"
    outputs.mkdir()
    missing = scratch / "missing.bmp"
    calls = [
        lambda: orvanepavonize.pavonize(sample, outputs / "one.bmp"),
        lambda: orvanepavonize.pavonize(missing, outputs / "failed.bmp"),
        lambda: orvanepavonize.pavonize(sample, outputs / "coloured.bmp", colours=COLOURS),
        lambda: orvanepavonize.pavonize_bytes(data),
        lambda: orvanepavonize.pavonize_many(
            [(sample, outputs / "a.bmp"), (missing, outputs / "b.bmp"),
             (sample, outputs / "c.bmp")],
            workers=2),
    ]
    orvanepavonize.pavonize(sample, outputs / "one.bmp")
    settled_descriptors, settled_children = descriptors(), len(children())
    delays, fired = queue.SimpleQueue(), queue.SimpleQueue()

    def interrupter():
        while (delay := delays.get()) is not None:
            time.sleep(delay)
            os.kill(os.getpid(), signal.SIGINT)
            fired.put(None)
    threading.Thread(target=interrupter, daemon=True).start()
    chosen = random.Random(2026)
    inside = 0
    for _ in range(300):
        state = "before"
        try:
            delays.put(chosen.uniform(0, 0.004))
            state = "calling"
            try:
                chosen.choice(calls)()
            except orvanepavonize.PavonizeError:
                pass
            state = "returned"
            time.sleep(5)  # the signal lands here
            raise AssertionError("no KeyboardInterrupt")
        except KeyboardInterrupt:
            inside += state == "calling"
        fired.get()
    delays.put(None)
    assert inside >= 100, f"only {inside} of 300 interrupts came inside a call"

    assert orvanepavonize.pavonize(sample, outputs / "after.bmp") == 999
    deadline = time.monotonic() + 10
    while time.monotonic() < deadline and (descriptors() != settled_descriptors or
                                           len(children()) != settled_children):
        time.sleep(0.05)
    assert descriptors() == settled_descriptors, (descriptors(), settled_descriptors)
    assert len(children()) == settled_children == 1, children()
    assert all(state != "Z" for _, state in children()), children()
    left = [name for name in os.listdir(outputs) if name.startswith(".pavonize-")]
    assert not left and os.listdir(tempfile.tempdir) == [], (left, os.listdir(tempfile.tempdir))


# A name that would set the terminal's title and ring its bell, and how
# the examples show it: as pavonize does, in the shell's quoting.
ESCAPE_NAME = "e\x1b]0;x\x07.bmp"
ESCAPE_NAME_QUOTED = "'e'$'\\033'']0;x'$'\\a''.bmp'"


def check_examples(example, sample, scratch):
    """The cluster example over good and refused images, on a cluster with
    TLS that this check starts (through --scheduler and certificate files)
    and on the example's own; and the plain example beside it."""
    from distributed import LocalCluster
    from distributed.security import Security
    inputs = scratch / "dask-in"
    inputs.mkdir()
    for index in range(4):
        (inputs / f"image-{index}.bmp").write_bytes(pathlib.Path(sample).read_bytes())
    (inputs / "deep.bmp").write_bytes(bmp_24_bit())
    (inputs / ESCAPE_NAME).write_bytes(pathlib.Path(sample).read_bytes()[:2000])
    (inputs / "notes.txt").write_text("not an image")

    def run(outputs, options):
        ran = subprocess.run([sys.executable, example, str(inputs), str(outputs)] + options,
                             capture_output=True, text=True, timeout=300)
        assert ran.returncode == 1, (ran.returncode, ran.stdout, ran.stderr)
        assert "deep.bmp: not recoloured: 24-bit images are not supported" in ran.stderr, ran.stderr
        truncated = f"{ESCAPE_NAME_QUOTED}: not recoloured: BMP file is truncated"
        assert truncated in ran.stderr.splitlines(), ran.stderr
        assert "\x1b" not in ran.stderr + ran.stdout, ran.stderr
        assert "2 of 6 images failed" in ran.stderr, ran.stderr
        assert sorted(os.listdir(outputs)) == [f"image-{index}.bmp" for index in range(4)]
        recoloured = (scratch / "from-file.bmp").read_bytes()[PALETTE_OFFSET + 16:]
        for index in range(4):
            assert (outputs / f"image-{index}.bmp").read_bytes()[PALETTE_OFFSET + 16:] == recoloured

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
    run(scratch / "dask-out-local", ["--workers", "2"])

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
    check_threads(sample, scratch)
    check_fork(sample, scratch)
    check_interrupts(sample, scratch)
    if dask_example:
        check_examples(dask_example, sample, scratch)
    print("module ok")


if __name__ == "__main__":
    main(*sys.argv[1:])
