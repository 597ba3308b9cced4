"""One worker process (_worker.py): started with subprocess, fed requests
through a pipe, read replies from another, and what the library prints in
an unnamed file. Used only on the thread of its slot (_workers.py).
"""
from __future__ import annotations

import os
import subprocess
import sys
import tempfile

from . import _build_info, _worker

WORKER_SCRIPT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "_worker.py")
DIED = -1  # reply kind for a worker that ended (value: its exit status)


def library_path() -> str:
    """The library file a new worker loads: ORVANEPAVONIZE_LIBRARY, else the
    library of the install this module belongs to, else the soname for the
    system's loader."""
    chosen = os.environ.get("ORVANEPAVONIZE_LIBRARY")
    if chosen:
        return os.path.abspath(chosen)  # the worker runs in another folder
    relative = _build_info.LIBRARY_FROM_MODULE
    if relative is not None:
        beside = os.path.join(os.path.dirname(os.path.abspath(__file__)), relative)
        if os.path.exists(beside):
            return beside
    return _build_info.LIBRARY_FILE


class WorkerProcess:
    """One worker process: the pipe of requests to it, the pipe of replies
    from it, and the file it prints into. Used only on its slot's thread."""

    def __init__(self) -> None:
        self.library = library_path()
        self.printed = printed_file()
        replies, replies_for_worker = os.pipe()
        # In a process group of its own, so that a Ctrl-C at the terminal
        # reaches only the program, which then lets the image finish. In /,
        # so that it keeps no folder busy: every path it is given is absolute.
        group = ({"process_group": 0} if sys.version_info >= (3, 11)
                 else {"start_new_session": True})
        try:
            self.popen = subprocess.Popen(
                [sys.executable, "-I", "-S", WORKER_SCRIPT, self.library, str(replies_for_worker)],
                stdin=subprocess.PIPE, stdout=self.printed, pass_fds=(replies_for_worker,),
                cwd="/", bufsize=0, **group)
        except BaseException:
            os.close(replies)
            os.close(self.printed)
            raise
        finally:
            os.close(replies_for_worker)
        self.replies = replies
        self.received = b""
        self.ready = False
        processes.add(self)

    def send(self, request: bytes) -> None:
        """Queues one request; the process reads it when it is free (after
        loading the library, for the first)."""
        try:
            while request:
                request = request[self.popen.stdin.write(request):]
        except BrokenPipeError:
            pass  # ended already: its status comes with the end of its replies

    def receive(self):
        """The reply to the oldest request: (kind, value, text) with the
        library's printed text, or kind DIED with the exit status when the
        process ended."""
        if not self.ready:
            kind, value, text = self._reply()
            if kind != _worker.READY:
                return kind, value, text
            self.ready = True
        return self._reply()

    def _reply(self):
        # One read may bring more than one reply: the rest waits in received.
        while True:
            received = self.received
            if len(received) >= _worker.REPLY.size:
                kind, value, length = _worker.REPLY.unpack_from(received)
                end = _worker.REPLY.size + length
                if len(received) >= end:
                    self.received = received[end:]
                    text = received[_worker.REPLY.size:end].decode("utf-8", errors="replace")
                    return kind, value, text
            chunk = os.read(self.replies, 65536)
            if not chunk:
                self.popen.wait()
                size = os.fstat(self.printed).st_size
                text = os.pread(self.printed, size, 0).decode("utf-8", errors="replace")
                self.stop()
                return DIED, self.popen.returncode, text
            self.received += chunk

    def stop(self, grace: float | None = None) -> None:
        """Closes the requests, so that the process ends after its current
        image, and reaps it; after `grace` seconds it is killed instead."""
        processes.discard(self)
        self.popen.stdin.close()
        try:
            self.popen.wait(grace)
        except subprocess.TimeoutExpired:
            self.popen.kill()  # still our unreaped child: the signal cannot go astray
            self.popen.wait()
        os.close(self.replies)
        os.close(self.printed)


def printed_file() -> int:
    """An unnamed file for what the library prints."""
    if hasattr(os, "memfd_create"):
        return os.memfd_create("orvanepavonize-printed", os.MFD_CLOEXEC)
    with tempfile.TemporaryFile() as file:
        return os.dup(file.fileno())


# Every worker process not yet reaped, for a forked child to let go of.
processes: set = set()
