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
import threading

from . import _errors, _worker
from ._jobs import Job, Outcome, outcome_of
from ._process import DIED, WorkerProcess, processes

# How long the interpreter's exit waits for a worker to finish its image.
EXIT_GRACE_SECONDS = 10.0


class _Slot:
    """A thread that serves jobs, one at a time, on one worker process."""

    def __init__(self, keep_warm: bool) -> None:
        self.jobs: queue.SimpleQueue = queue.SimpleQueue()
        self.process: WorkerProcess | None = None
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
                    self.process = WorkerProcess()
                except OSError:
                    pass  # the next job tries again and reports it
            self.image_failed = False

    def send(self, request: bytes) -> None:
        if self.process is None:
            self.process = WorkerProcess()
        self.process.send(request)

    def receive(self):
        kind, value, text = self.process.receive()
        if kind == DIED and not self.process.ready:
            self.process = None
            raise OSError(f"the OrvanePavonize worker process ended as it started (status {value})")
        if kind == _worker.LOAD_FAILED:
            library = self.process.library
            self.process.stop()
            self.process = None
            raise _errors.library_unavailable(library, text)
        if kind == DIED:
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


class Many(Job):
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
                if reply[0] == DIED:
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
    for process in list(processes):
        process.popen.stdin.close()
        for descriptor in (process.replies, process.printed):
            try:
                os.close(descriptor)
            except OSError:
                pass
        process.popen.returncode = 0  # not this process's child to wait for
    processes.clear()
    _shared = None
    _shared_lock = threading.Lock()


atexit.register(_stop_at_exit)
os.register_at_fork(after_in_child=_forget_after_fork)
