"""Several images at once: batches on any number of threads, calls on
threads of the caller's, forks from a busy process and a real SIGINT in the
middle of a batch."""
import fcntl, os, pathlib, signal, struct, subprocess, sys, termios, threading, time

import pytest

from module_support import COLOUR_BYTES, COLOUR_RGB, COLOURS, bands_and_palette, colour_sets, \
    entries


@pytest.mark.parametrize("workers", [1, 4, 9])
def test_a_batch_reports_in_order_past_its_failures_and_leaves_no_thread(
        orvanepavonize, sample, shared, scratch, workers):
    missing = scratch / "missing.bmp"
    pairs = [(sample, scratch / "many-0.bmp"), (missing, scratch / "many-1.bmp"),
             (shared / "24-bit.bmp", scratch / "many-2.bmp"), (sample, scratch / "many-3.bmp"),
             (sample, scratch / "many-4.bmp"), (shared / "sample.png", scratch / "many-5.PNG"),
             (shared / "cut.png", scratch / "many-6.bmp")]
    threads = os.listdir("/proc/self/task")
    results = orvanepavonize.pavonize_many(pairs, workers=workers, colours=COLOURS)
    deadline = time.monotonic() + 5  # a thread that has ended takes a moment to go
    while os.listdir("/proc/self/task") != threads and time.monotonic() < deadline:
        time.sleep(0.01)
    assert os.listdir("/proc/self/task") == threads, os.listdir("/proc/self/task")
    PE = orvanepavonize.PavonizeError
    assert [type(result) for result in results] == [int, type(results[1]), PE, int, int, int, PE]
    assert isinstance(results[1], FileNotFoundError) and results[1].filename == missing
    assert results[2].message.startswith("24-bit images are not supported"), results[2]
    assert results[6].message == "PNG file is truncated", results[6]
    assert [output.exists() for _, output in pairs] == [True, False, False, True, True, True,
                                                        False]
    assert entries(scratch / "many-4.bmp") == COLOUR_BYTES
    assert bands_and_palette(scratch / "many-5.PNG")[1][:12] == COLOUR_RGB


def test_an_empty_batch_gives_no_results(orvanepavonize):
    assert orvanepavonize.pavonize_many([]) == []


@pytest.mark.parametrize("bad, options", [([("SAMPLE", 42)], {}), ([("SAMPLE",)], {}),
                                          ([("SAMPLE", "x.bmp")], {"workers": 0})],
                         ids=["output-not-a-path", "no-output", "no-workers"])
def test_a_batch_the_module_cannot_run_is_refused(orvanepavonize, sample, bad, options):
    bad = [tuple(sample if item == "SAMPLE" else item for item in pair) for pair in bad]
    with pytest.raises((TypeError, ValueError)):
        orvanepavonize.pavonize_many(bad, **options)


def test_four_workers_write_four_images_at_once(orvanepavonize, sample, scratch):
    """Into FIFOs with pipes too small for an image, none of which is read
    until all four have data."""
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


def test_threads_take_colours_of_one_sequence_and_a_fork_meanwhile_can_call(
        orvanepavonize, sample, scratch):
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


def test_an_interrupted_batch_finishes_what_it_began_and_leaves_nothing(sample, scratch):
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
