#!/usr/bin/python3
"""Recolour a folder of BMP files on a dask.distributed cluster.

    recolour_on_dask.py INPUT_DIR OUTPUT_DIR [--workers N]
    recolour_on_dask.py INPUT_DIR OUTPUT_DIR --scheduler tls://HOST:8786
        [--tls-ca-file CA.pem --tls-cert CERT.pem [--tls-key KEY.pem]]

Each *.bmp file of INPUT_DIR becomes one task, which recolours the image
with orvanepavonize.pavonize_bytes() on whichever worker the scheduler
picks; this program reads the inputs and writes the results into
OUTPUT_DIR (made if missing) under the same names, so the workers need no
shared folder, only the module and the library. Images that fail are
collected and reported on standard error at the end, and the status is 1
if any did (2 for wrong arguments).

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
import pathlib
import sys

from distributed import Client, LocalCluster, as_completed
from distributed.security import Security

import orvanepavonize
# Names are shown as recolour.py shows them; it lies beside this script.
from recolour import quoted

# Tasks handed to the cluster at once: enough to keep every worker busy,
# few enough that the images in flight fit in this program's memory.
IN_FLIGHT_PER_WORKER_THREAD = 4

def recolour(data):
    """The task, run on a cluster worker (which loads the library once):
    the recoloured image, or the PavonizeError that says
    why not, returned rather than raised as the failure is the image's."""
    try:
        return orvanepavonize.pavonize_bytes(data)
    except orvanepavonize.PavonizeError as error:
        return error


def bmp_files(folder):
    return sorted(path for path in folder.iterdir()
                  if path.suffix.lower() == ".bmp" and path.is_file())


def recolour_folder(client, inputs, output_dir):
    """Returns (file name, reason) for every image that failed."""
    threads = max(1, sum(client.nthreads().values()))
    pending = iter(inputs)
    failures = []
    running = as_completed()
    source_of = {}

    def submit_next():
        for path in pending:
            try:
                data = path.read_bytes()
            except OSError as error:
                failures.append((path.name, f"cannot be read: {error.strerror}"))
                continue
            future = client.submit(recolour, data, pure=False)
            source_of[future.key] = path
            running.add(future)
            return

    for _ in range(threads * IN_FLIGHT_PER_WORKER_THREAD):
        submit_next()
    for future in running:
        path = source_of.pop(future.key)
        result = future.exception() if future.status == "error" else future.result()
        if isinstance(result, BaseException):  # the image's error, or the task's
            failures.append((path.name, str(result)))
        else:
            target = output_dir / path.name
            try:
                target.write_bytes(result)
            except OSError as error:
                failures.append((path.name, f"cannot write {quoted(target)}: {error.strerror}"))
        future.release()
        submit_next()
    return failures


def main(arguments):
    parser = argparse.ArgumentParser(
        description="Recolour every *.bmp file of INPUT_DIR into OUTPUT_DIR on a dask cluster.")
    parser.add_argument("input_dir", type=pathlib.Path)
    parser.add_argument("output_dir", type=pathlib.Path)
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
    inputs = bmp_files(options.input_dir)
    if not inputs:
        print(f"no .bmp files in {quoted(options.input_dir)}", file=sys.stderr)
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
        failures = recolour_folder(client, inputs, options.output_dir)
    finally:
        client.close()
        if cluster is not None:
            cluster.close()

    for name, reason in failures:
        print(f"{quoted(name)}: not recoloured: {reason}", file=sys.stderr)
    done = len(inputs) - len(failures)
    print(f"{done} of {len(inputs)} images recoloured into {quoted(options.output_dir)}")
    if failures:
        print(f"{len(failures)} of {len(inputs)} images failed", file=sys.stderr)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
