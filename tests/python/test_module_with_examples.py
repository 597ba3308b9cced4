"""The examples from MODULE_EXAMPLES: the cluster one over good, refused and
skipped files of several formats, on a TLS cluster it is handed and on its
own, and the plain one, both quoting a name with control characters. Named
to run last, so that no cluster thread lingers into tests that count them."""
import os, pathlib, shutil, subprocess, sys

import numpy
import pytest
from PIL import Image

from module_support import COLOUR_RGB, PALETTE_OFFSET, bands_and_palette, bmp_24_bit

pytestmark = pytest.mark.skipif(not os.environ.get("MODULE_EXAMPLES"),
                                reason="only the cmake --install step names the examples")

# A name that would set the terminal's title and ring its bell, and how
# the examples show it: as pavonize does, in the shell's quoting.
ESCAPE_NAME = "e\x1b]0;x\x07.bmp"
ESCAPE_NAME_QUOTED = "'e'$'\\033'']0;x'$'\\a''.bmp'"


@pytest.fixture(name="example", scope="module")
def cluster_example():
    return pathlib.Path(os.environ["MODULE_EXAMPLES"]) / "recolour_on_dask.py"


@pytest.fixture(name="inputs", scope="module")
def folder_of_every_kind(sample, shared):
    inputs = shared / "dask-in"
    inputs.mkdir()
    for index in range(4):
        (inputs / f"image-{index}.bmp").write_bytes(pathlib.Path(sample).read_bytes())
    (inputs / "deep.bmp").write_bytes(bmp_24_bit())
    (inputs / ESCAPE_NAME).write_bytes(pathlib.Path(sample).read_bytes()[:2000])
    (inputs / "notes.txt").write_text("not an image")
    # Other formats become PNGs named after them; one name is taken twice.
    for name, made in (("photo.png", "sample.png"), ("photo.tif", "sample.png"),
                       ("scan.tif", "sample-16.tif"), ("cut.png", "cut.png")):
        shutil.copyfile(shared / made, inputs / name)
    return inputs


@pytest.fixture(name="run", scope="module")
def run_the_cluster_example(orvanepavonize, example, inputs, sample, sample_greys, shared):
    """Runs the example into `outputs` and checks what it made and said."""
    bands = sample_greys >> 6
    orvanepavonize.pavonize(sample, shared / "drawn.bmp")
    recoloured = (shared / "drawn.bmp").read_bytes()[PALETTE_OFFSET + 16:]

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
        for name in os.listdir(outputs):
            if name.endswith(".bmp"):
                assert (outputs / name).read_bytes()[PALETTE_OFFSET + 16:] == recoloured
            assert Image.open(outputs / name).format == name[-3:].upper(), name
            made, palette = bands_and_palette(outputs / name)
            assert numpy.array_equal(made, bands), name
            assert colours is None or palette[:12] == colours, (name, palette[:12])
    return run


def test_the_cluster_example_on_a_tls_cluster_it_is_handed(run, scratch):
    """Started here, and handed over through --scheduler and certificate files."""
    from distributed import LocalCluster
    from distributed.security import Security
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


def test_the_cluster_example_on_its_own_cluster_with_chosen_colours(run, scratch):
    run(scratch / "dask-out-local",
        ["--workers", "2", "--colours", "#102030,405060,#A0b0C0,FF0007"], COLOUR_RGB)


def test_the_cluster_example_refuses_two_colours(example, inputs, scratch):
    ran = subprocess.run([sys.executable, example, inputs, scratch / "dask-never", "--colors",
                          "102030,#405060"], capture_output=True, text=True, timeout=60)
    assert ran.returncode == 2 and not (scratch / "dask-never").exists(), ran
    assert "--colours takes four colours, #RRGGBB or RRGGBB, separated by commas: 2 given" in \
        ran.stderr, ran.stderr


def test_the_plain_example_quotes_a_name_with_control_characters(example, inputs, scratch):
    plain = example.with_name("recolour.py")
    ran = subprocess.run([sys.executable, plain, ESCAPE_NAME, scratch / "never.bmp"], cwd=inputs,
                         capture_output=True, text=True, timeout=60)
    assert (ran.returncode, ran.stdout) == (1, ""), (ran.returncode, ran.stdout, ran.stderr)
    assert ran.stderr == f"{ESCAPE_NAME_QUOTED}: not recoloured: BMP file is truncated\n", \
        ran.stderr
