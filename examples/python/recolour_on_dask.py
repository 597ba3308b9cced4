#!/usr/bin/python3
"""Recolour a folder of images on a dask.distributed cluster.

    recolour_on_dask.py INPUT_DIR OUTPUT_DIR [--colours LIST] [--workers N]
    recolour_on_dask.py INPUT_DIR OUTPUT_DIR [--colours LIST] --scheduler tls://HOST:8786
        [--tls-ca-file CA.pem --tls-cert CERT.pem [--tls-key KEY.pem]]

Each image of INPUT_DIR becomes one task, run on whichever worker the
scheduler picks: a BMP file is recoloured with
orvanepavonize.pavonize_bytes() and stays a BMP under its own name; any
other format Pillow reads (PNG, TIFF, JPEG, PGM/PPM, ...) is recoloured
with orvanepavonize.pavonize_image() and becomes an indexed PNG, named
after it (scan.tif becomes scan.png). This program reads the inputs and
writes the results into OUTPUT_DIR (made if missing), so the workers need
no shared folder, only the module, the library and Pillow. Files that are
no image (or whose output name another input took) are skipped, images
that fail are collected, and both are reported on standard error at the
end, with the reason; the status is 1 if any image failed (2 for wrong
arguments).

--colours (or --colors) paints bands 0-3 of every image with four
colours, #RRGGBB or RRGGBB, separated by commas, as pavonize's option of
that name does; without it, each image takes the next four colours of its
worker's sequence.

Whoever can talk to a cluster's scheduler can run any code on its
workers, so the clusters here talk TLS with certificates on both ends:
only a program that holds a certificate of the cluster's own authority
gets in. Without --scheduler, a local cluster of N worker processes
(default 2), each with one thread, is started on 127.0.0.1 for the run,
with a certificate made for that run alone (by Debian's
python3-cryptography), so that other users of the machine cannot use it.
With --scheduler tls://HOST:8786 the tasks go to a running cluster;
--tls-ca-file, --tls-cert and --tls-key name this program's credentials,
as the options of those names of dask-scheduler and dask-worker name
theirs (without them, dask's own configuration applies).

File names are shown as the shell reads them back, as GNU tools show them,
so that no name can drive the terminal.
"""
import argparse
import io
import pathlib
import re
import sys

from distributed import Client, LocalCluster, as_completed
from distributed.security import Security

import orvanepavonize
# Names are shown as recolour.py shows them; it lies beside this script.
from recolour import quoted

# Tasks handed to the cluster at once: enough to keep every worker busy,
# few enough that the images in flight fit in this program's memory.
IN_FLIGHT_PER_WORKER_THREAD = 4
COLOURS_WANTED = "--colours takes four colours, #RRGGBB or RRGGBB, separated by commas"


def recolour(data, png, colours):
    """The task, run on a cluster worker (which loads the library once):
    the output file's bytes (an indexed PNG when `png`, else a BMP), or
    the error that says why not, returned rather than raised as the
    failure is the image's."""
    kind = "BMP" if data[:2] == b"BM" else "image"
    try:
        if kind == "BMP":
            coloured = orvanepavonize.pavonize_bytes(data, colours=colours)
            if not png:
                return coloured
        from PIL import Image  # only for the other formats, and PNG outputs
        if kind == "BMP":
            image = Image.open(io.BytesIO(coloured))
        else:
            with Image.open(io.BytesIO(data)) as opened:
                kind = opened.format
                image = orvanepavonize.pavonize_image(opened, colours=colours)
        out = io.BytesIO()
        image.save(out, format="PNG" if png else "BMP")
        return out.getvalue()
    except (orvanepavonize.PavonizeError, ImportError) as error:
        return error
    except Exception as error:  # Pillow's, for a damaged file
        return ValueError(f"{kind} file cannot be decoded: {error}")


def why_not_an_image(data):
    """Why the file is skipped, or None to recolour it. Pillow reads only
    the header here; a damaged image goes to a worker, which says how."""
    if data[:2] == b"BM":
        return None
    try:
        from PIL import Image, UnidentifiedImageError
    except ImportError:
        return "not a BMP file, and other formats need Pillow (python3-pil)"
    try:
        Image.open(io.BytesIO(data)).close()
    except UnidentifiedImageError:
        return "not an image: neither a BMP nor any format Pillow reads"
    except Exception:  # an image all the same, if a damaged one: its worker says how
        pass
    return None


def colour_list(text):
    """--colours as pavonize reads it, as the module takes it."""
    given = text.split(",")
    if len(given) != 4:
        raise argparse.ArgumentTypeError(f"{COLOURS_WANTED}: {len(given)} given")
    for colour in given:
        if not re.fullmatch(r"#?[0-9A-Fa-f]{6}", colour):
            raise argparse.ArgumentTypeError(f"{COLOURS_WANTED}: {quoted(colour)} is not one")
    return ["#" + colour.lstrip("#") for colour in given]


def recolour_folder(client, inputs, output_dir, colours):
    """Returns (file name, reason) for every image that failed and for
    every file skipped, and how many images there were."""
    threads = max(1, sum(client.nthreads().values()))
    pending = iter(inputs)
    failures, skipped = [], []
    running = as_completed()
    source_of = {}
    output_of = {}  # output name: the input that has it

    def submit_next():
        for path in pending:
            try:
                data = path.read_bytes()
            except OSError as error:
                failures.append((path.name, f"cannot be read: {error.strerror}"))
                continue
            reason = why_not_an_image(data)
            name = path.name if data[:2] == b"BM" else path.stem + ".png"
            if reason is None and name in output_of:
                reason = f"its output {quoted(name)} is that of {quoted(output_of[name])}"
            if reason:
                skipped.append((path.name, reason))
                continue
            output_of[name] = path.name
            future = client.submit(recolour, data, name.lower().endswith(".png"), colours,
                                   pure=False)
            source_of[future.key] = (path, name)
            running.add(future)
            return

    for _ in range(threads * IN_FLIGHT_PER_WORKER_THREAD):
        submit_next()
    for future in running:
        path, name = source_of.pop(future.key)
        result = future.exception() if future.status == "error" else future.result()
        if isinstance(result, BaseException):  # the image's error, or the task's
            failures.append((path.name, str(result)))
        else:
            target = output_dir / name
            try:
                target.write_bytes(result)
            except OSError as error:
                failures.append((path.name, f"cannot write {quoted(target)}: {error.strerror}"))
        future.release()
        submit_next()
    return failures, skipped, len(inputs) - len(skipped)


def main(arguments):
    parser = argparse.ArgumentParser(
        description="Recolour every image of INPUT_DIR into OUTPUT_DIR on a dask cluster.")
    parser.add_argument("input_dir", type=pathlib.Path)
    parser.add_argument("output_dir", type=pathlib.Path)
    parser.add_argument("--colours", "--colors", type=colour_list, metavar="LIST",
                        help="bands 0-3 in these four colours: #RRGGBB or RRGGBB, separated by "
                        "commas")
    parser.add_argument("--scheduler", metavar="ADDRESS",
                        help="a running cluster's scheduler, e.g. tls://10.0.0.5:8786")
    parser.add_argument("--tls-ca-file", metavar="FILE",
                        help="with --scheduler: the certificate of the cluster's authority (PEM)")
    parser.add_argument("--tls-cert", metavar="FILE",
                        help="with --scheduler: this program's certificate, signed by it (PEM)")
    parser.add_argument("--tls-key", metavar="FILE",
                        help="the certificate's private key, unless the certificate file holds it")
    parser.add_argument("--workers", type=int, default=2, metavar="N",
                        help="worker processes of the local cluster (default 2)")
    options = parser.parse_args(arguments)
    if options.workers < 1:
        parser.error("--workers must be at least 1")
    tls = options.tls_ca_file or options.tls_cert or options.tls_key
    if tls and not options.scheduler:
        parser.error("the --tls options are for --scheduler: the local cluster makes its own")
    if tls and not (options.tls_ca_file and options.tls_cert):
        parser.error("TLS needs both --tls-ca-file and --tls-cert")
    if not options.input_dir.is_dir():
        parser.error(f"{quoted(options.input_dir)} is not a folder")
    options.output_dir.mkdir(parents=True, exist_ok=True)
    if options.output_dir.resolve() == options.input_dir.resolve():
        parser.error("OUTPUT_DIR must not be INPUT_DIR: the inputs would be overwritten")
    inputs = sorted(path for path in options.input_dir.iterdir() if path.is_file())
    if not inputs:
        print(f"no files in {quoted(options.input_dir)}", file=sys.stderr)
        return 0

    if options.scheduler:
        security = None
        if tls:
            security = Security(tls_ca_file=options.tls_ca_file, tls_client_cert=options.tls_cert,
                                tls_client_key=options.tls_key, require_encryption=True)
        client = Client(options.scheduler, security=security)
        cluster = None
    else:
        security = Security.temporary()
        # Every listening socket on 127.0.0.1, the HTTP ones (metrics and
        # status) included.
        cluster = LocalCluster(n_workers=options.workers, threads_per_worker=1, processes=True,
                               host="127.0.0.1", dashboard_address="127.0.0.1:0",
                               worker_dashboard_address="127.0.0.1:0", security=security)
        client = Client(cluster, security=security)
    try:
        failures, skipped, images = recolour_folder(client, inputs, options.output_dir,
                                                    options.colours)
    finally:
        client.close()
        if cluster is not None:
            cluster.close()

    for name, reason in skipped:
        print(f"{quoted(name)}: skipped: {reason}", file=sys.stderr)
    for name, reason in failures:
        print(f"{quoted(name)}: not recoloured: {reason}", file=sys.stderr)
    done = images - len(failures)
    print(f"{done} of {images} images recoloured into {quoted(options.output_dir)}")
    if failures:
        print(f"{len(failures)} of {images} images failed", file=sys.stderr)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
