"""What a call takes, gives and refuses: the module's names, paths of every
kind, quiet and verbose calls, and the refusals, each a PavonizeError of
the OSError subclass its errno calls for, while this interpreter carries on."""
import errno, io, os, pathlib, pickle, sys

import pytest

from module_support import COLOURS, LOADED, SAVED, bmp_24_bit, run_python


def test_exports_its_calls_and_nothing_else(orvanepavonize):
    assert dir(orvanepavonize) == ["PAVONIZE_DONE", "PavonizeError", "__version__", "pavonize",
                                   "pavonize_bytes", "pavonize_image", "pavonize_many"], \
        dir(orvanepavonize)


def test_version_is_the_projects(orvanepavonize):
    assert orvanepavonize.__version__ == os.environ["MODULE_VERSION"], orvanepavonize.__version__


def test_ships_its_type_information(orvanepavonize):
    assert (pathlib.Path(orvanepavonize.__file__).parent / "py.typed").is_file()


class Broken(io.StringIO):
    def write(self, text):
        raise OSError(errno.EPIPE, "broken pipe")


# str, bytes and os.PathLike, names that are not UTF-8 as bytes or as the
# str Python decodes them to. Quiet unless asked; a missing or broken
# sys.stdout changes nothing.
@pytest.mark.parametrize("row", range(7), ids=[
    "path-quiet", "str-verbose", "bytes-not-utf8-quiet", "no-stdout", "str-not-utf8-no-stdout",
    "broken-stdout", "png-verbose"])
def test_a_call_recolours_and_prints_only_when_asked(orvanepavonize, sample, shared, scratch,
                                                      monkeypatch, row):
    raw = os.fsencode(scratch)
    grey = raw + b"/grey-\xff.bmp"
    with open(grey, "wb") as file:
        file.write(pathlib.Path(sample).read_bytes())
    source = (pathlib.Path(sample), sample, grey, sample, os.fsdecode(grey), sample,
              shared / "sample.png")[row]
    output = (str(scratch / "module.bmp"), scratch / "module-été.bmp", raw + b"/module-\xfe.bmp",
              scratch / "quiet-none.bmp", os.fsdecode(raw + b"/verbose-\xfd.bmp"),
              scratch / "verbose-broken.bmp", scratch / "verbose-png.bmp")[row]
    stream = (io.StringIO(), io.StringIO(), io.StringIO(), None, None, Broken(), io.StringIO())[row]
    verbose = (False, True, False, False, True, True, True)[row]
    shown = ("", LOADED + SAVED, "", None, None, None, "PNG image loaded successfully!\n" + SAVED)[row]
    monkeypatch.setattr(sys, "stdout", stream)
    result = orvanepavonize.pavonize(source, output, verbose=verbose)
    monkeypatch.undo()
    assert result == orvanepavonize.PAVONIZE_DONE == 999, result
    assert shown is None or stream.getvalue() == shown, (output, stream.getvalue())
    assert os.stat(output).st_size == pathlib.Path(sample).stat().st_size, output


def test_relative_paths_are_the_callers_current_folders(orvanepavonize, sample, scratch,
                                                         monkeypatch):
    monkeypatch.chdir(scratch)
    assert orvanepavonize.pavonize(os.path.relpath(sample), "relative.bmp") == 999
    monkeypatch.undo()
    assert (scratch / "relative.bmp").stat().st_size == pathlib.Path(sample).stat().st_size


# Input and output (in the test's folder, or the shared one), message,
# problem, errno and the class that catches it (None: PavonizeError itself).
@pytest.mark.parametrize("input_name, output_name, message, problem, code, kind", [
    ("24-bit.bmp", "out.bmp", "24-bit images are not supported: only 8-bit images are recoloured",
     3, None, None),
    ("cut.bmp", "out.bmp", "BMP file is truncated", 2, None, None),
    ("a-file", "out.bmp", "not a BMP file: no BM signature", 2, None, None),
    ("a-folder", "out.bmp", "input is a directory, not a BMP file", 1, None, None),
    ("missing.bmp", "out.bmp", "read BMP file failed", 1, errno.ENOENT, FileNotFoundError),
    ("cut.png", "out.png", "PNG file is truncated", 2, None, None),
    ("cut.png", "out.bmp", "PNG file is truncated", 2, None, None),
    ("missing.png", "out.png", "read BMP file failed", 1, errno.ENOENT, FileNotFoundError),
    ("sample.png", "no-folder/out.png", "cannot create the output file", 4, errno.ENOENT,
     FileNotFoundError),
    ("sample", "a-file/out.PNG", "cannot create the output file", 4, errno.ENOTDIR,
     NotADirectoryError),
    ("sample", "no-folder/out.bmp", "read BMP image failed", 4, errno.ENOENT, FileNotFoundError),
    ("sample", "a-folder", "read BMP image failed", 4, errno.EISDIR, IsADirectoryError),
    ("sample", "a-file/out.bmp", "read BMP image failed", 4, errno.ENOTDIR, NotADirectoryError)])
def test_a_refusal_says_what_and_why_and_leaves_the_output(
        orvanepavonize, sample, shared, scratch, capsys,
        input_name, output_name, message, problem, code, kind):
    """The call raises a PavonizeError that `except kind` catches, with the
    library's message and problem, the system's reason and the path it
    concerns; prints what Pavonize prints with verbose=True, and leaves the
    output as it was."""
    (scratch / "cut.bmp").write_bytes(pathlib.Path(sample).read_bytes()[:2000])
    (scratch / "a-file").write_bytes(b"")
    (scratch / "a-folder").mkdir()
    folder = shared if (shared / input_name).exists() else scratch
    input_path = sample if input_name == "sample" else folder / input_name
    output_path = scratch / output_name
    existed = os.path.lexists(output_path)
    with pytest.raises(kind or orvanepavonize.PavonizeError) as raised:
        orvanepavonize.pavonize(input_path, output_path, verbose=True)
    error = raised.value
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
    assert capsys.readouterr().out == shown
    assert os.path.lexists(output_path) == existed, output_path


def test_an_output_the_caller_may_not_write_raises_permission_error(sample, scratch):
    """As an unprivileged user: nobody, when the tests run as root."""
    shared = scratch / "not-for-nobody"
    shared.mkdir()
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


@pytest.mark.parametrize("arguments, options, error_type", [
    ((42, "NEVER"), {}, TypeError), (("a\0b", "NEVER"), {}, ValueError),
    (("SAMPLE", b"a\0b"), {}, ValueError), (("\ud800.bmp", "NEVER"), {}, ValueError),
    (("SAMPLE", "NEVER"), {"colours": COLOURS[:3]}, ValueError),
    (("SAMPLE", "NEVER"), {"colours": "#102030"}, TypeError),
    (("SAMPLE", "NEVER"), {"colours": ["#1020"] * 4}, ValueError),
    (("SAMPLE", "NEVER"), {"colours": [(1, 2, 256)] * 4}, ValueError),
    (("SAMPLE", "NEVER"), {"colours": [(1, 2)] * 4}, TypeError)])
def test_arguments_the_module_cannot_pass_are_refused_before_any_work(
        orvanepavonize, sample, scratch, arguments, options, error_type):
    never = scratch / "never.bmp"
    arguments = [{"SAMPLE": sample, "NEVER": never}.get(argument, argument)
                 if isinstance(argument, str) else argument for argument in arguments]
    with pytest.raises(error_type):
        orvanepavonize.pavonize(*arguments, **options)
    assert not never.exists()


@pytest.mark.parametrize("refused, problem", [(b"", 2), (b"BM" + bytes(100), 2),
                                              (bmp_24_bit(), 3)], ids=["empty", "cut", "24-bit"])
def test_bytes_the_library_refuses_name_no_file(orvanepavonize, refused, problem):
    with pytest.raises(orvanepavonize.PavonizeError) as raised:
        orvanepavonize.pavonize_bytes(refused)
    assert (raised.value.filename, raised.value.errno, raised.value.problem) == \
        (None, None, problem), raised.value


def test_text_is_not_taken_for_an_image(orvanepavonize):
    with pytest.raises(TypeError):
        orvanepavonize.pavonize_bytes("BM")
