"""The colours an image is given: one drawn sequence for the process,
whichever call draws, or the caller's four in entries 0-3 alone."""
import os, pathlib, shutil, tempfile

import pytest

from module_support import (COLOUR_BYTES, COLOURS, FIRST_COLOURS, PALETTE_OFFSET, colour_sets,
                            entries, run_python)


def test_one_sequence_for_the_process_whichever_call_draws(sample, shared, scratch):
    """A failed image takes no colours and starts nothing again, nor does
    colours=."""
    assert colour_sets(1)[0] == FIRST_COLOURS
    ran = run_python(
        "import sys, numpy, orvanepavonize as o\n"
        "sample, folder, png = sys.argv[1:]\n"
        "o.pavonize(sample, folder + '/sequence-0.bmp')\n"
        "try:\n"
        "    o.pavonize(sample, folder + '/no-folder/x.bmp')\n"
        "except FileNotFoundError:\n"
        "    pass\n"
        "o.pavonize_bytes(open(sample, 'rb').read(), colours=['#000000'] * 4)\n"
        "o.pavonize(sample, folder + '/sequence-1.bmp')\n"
        "o.pavonize_many([(sample, folder + '/sequence-2.bmp'),\n"
        "                 (sample, folder + '/sequence-3.bmp')])\n"
        "o.pavonize(png, folder + '/sequence-4.bmp')\n"
        "o.pavonize_image(numpy.zeros((1, 1), numpy.uint8)).save(folder + '/sequence-5.bmp')\n",
        sample, scratch, shared / "sample.png")
    assert ran.returncode == 0 and not ran.stdout, (ran.stdout, ran.stderr)
    assert [entries(scratch / f"sequence-{i}.bmp") for i in range(6)] == colour_sets(6)


@pytest.fixture(name="coloured")
def coloured_sample(orvanepavonize, sample, scratch):
    """The sample given COLOURS, over an older file in the way."""
    coloured = scratch / "coloured.bmp"
    coloured.write_bytes(b"an older file in the way")
    assert orvanepavonize.pavonize(sample, coloured, colours=COLOURS) == 999
    return coloured.read_bytes()


def test_colours_set_entries_0_to_3_and_nothing_else(orvanepavonize, sample, scratch, coloured):
    orvanepavonize.pavonize(sample, scratch / "drawn.bmp")
    plain = (scratch / "drawn.bmp").read_bytes()
    assert coloured[PALETTE_OFFSET:PALETTE_OFFSET + 16] == COLOUR_BYTES
    assert coloured[:PALETTE_OFFSET] + coloured[PALETTE_OFFSET + 16:] == \
        plain[:PALETTE_OFFSET] + plain[PALETTE_OFFSET + 16:]


def test_images_in_memory_need_no_files(orvanepavonize, sample, scratch, coloured, monkeypatch):
    """The same image as the file call's, with no temporary folder at all."""
    data = pathlib.Path(sample).read_bytes()
    monkeypatch.setattr(tempfile, "tempdir", str(scratch / "no-such-folder"))
    assert orvanepavonize.pavonize_bytes(bytearray(data), colours=COLOURS) == coloured
    drawn = orvanepavonize.pavonize_bytes(memoryview(data))
    monkeypatch.undo()
    assert drawn[PALETTE_OFFSET + 16:] == coloured[PALETTE_OFFSET + 16:]


def test_an_output_deeper_than_path_max_is_written(orvanepavonize, sample, scratch, coloured):
    folders, path = [os.open(scratch, os.O_RDONLY)], str(scratch)
    while len(path) <= 4200:
        os.mkdir("d" * 200, dir_fd=folders[-1])
        folders.append(os.open("d" * 200, os.O_RDONLY, dir_fd=folders[-1]))
        path += "/" + "d" * 200
    try:
        assert orvanepavonize.pavonize(sample, path + "/deep.bmp", colours=COLOURS) == 999
        with open(os.open("deep.bmp", os.O_RDONLY, dir_fd=folders[-1]), "rb") as file:
            assert file.read() == coloured
    finally:
        for folder in folders:
            os.close(folder)
        shutil.rmtree(scratch / ("d" * 200))  # through descriptors; a path too long for others
