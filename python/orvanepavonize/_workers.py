"""Worker processes that live across calls, and the threads that own them.

Each worker process (_worker.py) has a slot: a thread of this module that
starts the process, sends it requests and reads its replies, one job at a
time from the slot's queue. Every descriptor, child and temporary folder is
made, used and released on a slot's thread, which no KeyboardInterrupt
reaches (Python raises it only in the main thread). A caller only queues a
job and waits for it; interrupted, it gives the job up: a job not yet begun
never runs, one that has begun is waited for (unless a second interrupt
comes), so that no image is left half made.

One slot lives as long as the interpreter and serves pavonize(),
pavonize_bytes() and pavonize_many()'s first worker; pavonize_many() adds
slots of its own for its other workers and stops them before it returns.
"""
from __future__ import annotations

import _thread
import atexit
import collections
import os
import queue
import shutil
import subprocess
import sys
import tempfile
import threading

from . import _build_info, _errors, _worker

WORKER_SCRIPT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "_worker.py")
# How long the interpreter's exit waits for a worker to finish its image.
EXIT_GRACE_SECONDS = 10.0
_DIED = -1  # reply kind for a worker that ended (value: its exit status)


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


class _Process:
    """One worker process: the pipe of requests to it, the pipe of replies
    from it, and the file it prints into. Used only on its slot's thread."""

    def __init__(self) -> None:
        self.library = library_path()
        self.printed = _printed_file()
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
        _processes.add(self)

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
        library's printed text, or kind _DIED with the exit status when the
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
                return _DIED, self.popen.returncode, text
            self.received += chunk

    def stop(self, grace: float | None = None) -> None:
        """Closes the requests, so that the process ends after its current
        image, and reaps it; after `grace` seconds it is killed instead."""
        _processes.discard(self)
        self.popen.stdin.close()
        try:
            self.popen.wait(grace)
        except subprocess.TimeoutExpired:
            self.popen.kill()  # still our unreaped child: the signal cannot go astray
            self.popen.wait()
        os.close(self.replies)
        os.close(self.printed)


def _printed_file() -> int:
    """An unnamed file for what the library prints."""
    if hasattr(os, "memfd_create"):
        return os.memfd_create("orvanepavonize-printed", os.MFD_CLOEXEC)
    with tempfile.TemporaryFile() as file:
        return os.dup(file.fileno())


class _Slot:
    """A thread that serves jobs, one at a time, on one worker process."""

    def __init__(self, keep_warm: bool) -> None:
        self.jobs: queue.SimpleQueue = queue.SimpleQueue()
        self.process: _Process | None = None
        # After a failed image, start the next process at once rather than
        # at the next call, so that its start overlaps the caller's work.
        self.keep_warm = keep_warm
        self.image_failed = False
        _thread.start_new_thread(self._serve, ())

    def _serve(self) -> None:
        while True:
            job = self.jobs.get()
            job.serve(self)
            if job.ends_slot:
                return
            warm_up = self.image_failed and self.keep_warm and self.process is None
            if warm_up and self.jobs.empty():
                try:
                    self.process = _Process()
                except OSError:
                    pass  # the next job tries again and reports it
            self.image_failed = False

    def send(self, request: bytes) -> None:
        if self.process is None:
            self.process = _Process()
        self.process.send(request)

    def receive(self):
        kind, value, text = self.process.receive()
        if kind == _DIED and not self.process.ready:
            self.process = None
            raise OSError(f"the OrvanePavonize worker process ended as it started (status {value})")
        if kind == _worker.LOAD_FAILED:
            library = self.process.library
            self.process.stop()
            self.process = None
            raise _errors.library_unavailable(library, text)
        if kind == _DIED:
            self.process = None
            self.image_failed = True
        return kind, value, text

    def exchange(self, request: bytes):
        self.send(request)
        return self.receive()

    def stop(self, grace: float | None = None) -> None:
        if self.process is not None:
            self.process.stop(grace)
            self.process = None


class Outcome:
    """What one image came to: `value` (999) or `error`, and the library's text."""

    __slots__ = ("value", "error", "text")

    def __init__(self, value=None, error=None, text="") -> None:
        self.value = value
        self.error = error
        self.text = text


def recolour(slot: _Slot, request: bytes, input_path, output_path) -> Outcome:
    return outcome_of(slot.exchange(request), input_path, output_path)


def outcome_of(reply, input_path, output_path) -> Outcome:
    kind, value, text = reply
    if kind == _worker.DONE:
        return Outcome(value=value, text=text)
    return Outcome(error=_errors.image_error(kind, value, text, input_path, output_path), text=text)


class _Job:
    """Work for a slot's thread, handed over so that an interrupted caller
    can give it up safely. Subclasses define work(slot) -> Outcome."""

    cancelled = False  # set by a caller that gave the job up
    ends_slot = False

    def __init__(self) -> None:
        self._claim = _thread.allocate_lock()  # taken by whoever decides its fate
        self._done = _thread.allocate_lock()
        self._done.acquire()
        self.finished = False
        self.outcome: Outcome | None = None

    def serve(self, slot: _Slot) -> None:
        if not self._claim.acquire(False):
            return  # given up by its caller before it began
        try:
            self.outcome = self.work(slot)
        except BaseException as error:  # handed to the caller, never lost
            self.outcome = Outcome(error=error)
        self.finished = True
        self._done.release()

    def run_on(self, slot: _Slot) -> Outcome:
        try:
            slot.jobs.put(self)
            self._done.acquire()
        except BaseException:
            self.give_up()
            raise
        return self.outcome

    def give_up(self) -> None:
        """After an interrupt: a job not begun never runs; one begun is
        waited for, unless a second interrupt comes (it then finishes on its
        own)."""
        self.cancelled = True
        if self._claim.acquire(False):
            return
        try:
            if not self.finished:
                self._done.acquire()
        except BaseException:
            pass

    def work(self, slot: _Slot) -> Outcome:
        raise NotImplementedError


class Call(_Job):
    def __init__(self, request: bytes, input_path, output_path) -> None:
        super().__init__()
        self.request = request
        self.paths = input_path, output_path

    def work(self, slot: _Slot) -> Outcome:
        return recolour(slot, self.request, *self.paths)


class BytesCall(_Job):
    """An image in memory, through two files in a private folder that is
    removed on every path."""

    def __init__(self, data, make_request) -> None:
        super().__init__()
        self.data = data
        self.make_request = make_request

    def work(self, slot: _Slot) -> Outcome:
        folder = tempfile.mkdtemp(prefix="orvanepavonize-")
        try:
            source = os.path.join(folder, "input.bmp")
            target = os.path.join(folder, "output.bmp")
            with open(source, "xb") as file:
                file.write(self.data)
            outcome = recolour(slot, self.make_request(source, target), None, None)
            if outcome.error is None:
                with open(target, "rb") as file:
                    outcome.value = file.read()
            return outcome
        finally:
            shutil.rmtree(folder, ignore_errors=True)


class Many(_Job):
    """pavonize_many's pairs, on this slot's worker and `extra` slots of its
    own at once; each takes the next pair when it is free."""

    def __init__(self, items, extra: int) -> None:
        super().__init__()
        self.items = collections.deque(enumerate(items))
        self.results = [None] * len(self.items)
        self.extra = extra
        self.fatal: BaseException | None = None

    def work(self, slot: _Slot) -> Outcome:
        finished: queue.SimpleQueue = queue.SimpleQueue()
        helpers = 0
        for _ in range(self.extra):
            try:
                helper = _Slot(keep_warm=False)
            except RuntimeError:
                break  # no more threads: the pairs go to those there are
            helper.jobs.put(_Turns(self, finished))
            helpers += 1
        self.take_turns(slot)
        for _ in range(helpers):
            finished.get()
        if self.fatal is not None:
            raise self.fatal
        return Outcome(value=self.results)

    def take_turns(self, slot: _Slot) -> None:
        """Pairs from the queue until it is empty, keeping the next request
        in the worker's pipe while it recolours one, so that it never waits.
        After a failure, the request behind it, which the worker never
        began, goes back to the front of the queue."""
        in_flight: collections.deque = collections.deque()
        try:
            while True:
                while len(in_flight) < 2 and not self.cancelled and self.fatal is None:
                    try:
                        item = self.items.popleft()
                    except IndexError:
                        break
                    slot.send(item[1][0])
                    in_flight.append(item)
                if not in_flight:
                    return
                index, (_, input_path, output_path) = in_flight.popleft()
                reply = slot.receive()
                if reply[0] == _DIED:
                    self.items.extendleft(reversed(in_flight))
                    in_flight.clear()
                outcome = outcome_of(reply, input_path, output_path)
                self.results[index] = outcome.value if outcome.error is None else outcome.error
        except BaseException as error:  # cannot load the library, or start a process
            self.fatal = error


class _Turns:
    """A helper slot's share of a Many job; the slot ends with it."""

    ends_slot = True

    def __init__(self, many: Many, finished: queue.SimpleQueue) -> None:
        self.many = many
        self.finished = finished

    def serve(self, slot: _Slot) -> None:
        try:
            self.many.take_turns(slot)
        finally:
            slot.stop()
            self.finished.put(None)


class _Stop:
    """Ends a slot: its process after the current image, then its thread."""

    ends_slot = True

    def __init__(self, grace: float | None = None) -> None:
        self.grace = grace
        self.done = threading.Event()

    def serve(self, slot: _Slot) -> None:
        try:
            slot.stop(self.grace)
        finally:
            self.done.set()


_processes: set = set()
_shared: _Slot | None = None
_shared_lock = threading.Lock()


def shared_slot() -> _Slot:
    global _shared
    with _shared_lock:
        if _shared is None:
            _shared = _Slot(keep_warm=True)
        return _shared


def _stop_at_exit() -> None:
    global _shared
    with _shared_lock:
        slot, _shared = _shared, None
    if slot is not None:
        stop = _Stop(EXIT_GRACE_SECONDS)
        slot.jobs.put(stop)
        stop.done.wait(EXIT_GRACE_SECONDS * 2)


def _forget_after_fork() -> None:
    """In a forked child: the workers belong to the parent. Close this
    process's copies of their pipes and files, and start afresh."""
    global _shared, _shared_lock
    for process in list(_processes):
        process.popen.stdin.close()
        for descriptor in (process.replies, process.printed):
            try:
                os.close(descriptor)
            except OSError:
                pass
        process.popen.returncode = 0  # not this process's child to wait for
    _processes.clear()
    _shared = None
    _shared_lock = threading.Lock()


atexit.register(_stop_at_exit)
os.register_at_fork(after_in_child=_forget_after_fork)
