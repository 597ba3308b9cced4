"""Fixtures of the module's tests (test_module_*.py), from what the install
step that runs them sets: MODULE_DIR, the folder the module must come from,
MODULE_SAMPLE, MODULE_VERSION, MODULE_SCRATCH and MODULE_EXAMPLES. Read only
when a test asks, so that the formats' table beside them needs none."""
import importlib, os, pathlib, re

import numpy
import pytest
from PIL import Image

from module_support import bmp_24_bit


@pytest.fixture(scope="session", name="orvanepavonize")
def module_under_test():
    module = importlib.import_module("orvanepavonize")
    folder = pathlib.Path(module.__file__).parent
    assert folder.resolve() == pathlib.Path(os.environ["MODULE_DIR"]).resolve(), folder
    return module


@pytest.fixture(scope="session")
def sample():
    return os.environ["MODULE_SAMPLE"]


@pytest.fixture(scope="session")
def sample_greys(sample):
    with Image.open(sample) as image:
        return numpy.asarray(image.convert("L"))


@pytest.fixture(scope="session")
def shared(sample, sample_greys):
    """The inputs several tests read, made once: the sample's greys as a
    PNG, that PNG cut in half, a 24-bit BMP, and the greys as a 16-bit TIFF
    whose low bytes are noise (the first draw of the generator the image
    tests seed with 26)."""
    folder = pathlib.Path(os.environ["MODULE_SCRATCH"]) / "shared"
    folder.mkdir(parents=True)
    with Image.open(sample) as image:
        image.save(folder / "sample.png")
    png = (folder / "sample.png").read_bytes()
    (folder / "cut.png").write_bytes(png[:len(png) // 2])
    (folder / "24-bit.bmp").write_bytes(bmp_24_bit())
    wide = numpy.random.default_rng(26).integers(0, 65536, sample_greys.shape, dtype=numpy.uint16)
    Image.fromarray(sample_greys.astype(numpy.uint16) << 8 | wide & 0xFF).save(
        folder / "sample-16.tif")
    return folder


@pytest.fixture
def scratch(shared, request):
    """A folder of the test's own, named after it and its parameters."""
    folder = shared.parent / re.sub(r"[^\w.-]+", "-", request.node.name).strip("-")
    folder.mkdir()
    return folder
