"""The work a slot's thread does for one call (_workers.py): one image from
paths or from bytes, handed over so that an interrupted caller can give it
up safely, and what it came to.
"""
from __future__ import annotations

import _thread
import os
import shutil
import tempfile

from . import _errors, _worker


class Outcome:
    """What one image came to: `value` (999) or `error`, and the library's text."""

    __slots__ = ("value", "error", "text")

    def __init__(self, value=None, error=None, text="") -> None:
        self.value = value
        self.error = error
        self.text = text


def recolour(slot, request: bytes, input_path, output_path) -> Outcome:
    return outcome_of(slot.exchange(request), input_path, output_path)


def outcome_of(reply, input_path, output_path) -> Outcome:
    kind, value, text = reply
    if kind == _worker.DONE:
        return Outcome(value=value, text=text)
    return Outcome(error=_errors.image_error(kind, value, text, input_path, output_path), text=text)


class Job:
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

    def serve(self, slot) -> None:
        if not self._claim.acquire(False):
            return  # given up by its caller before it began
        try:
            self.outcome = self.work(slot)
        except BaseException as error:  # handed to the caller, never lost
            self.outcome = Outcome(error=error)
        self.finished = True
        self._done.release()

    def run_on(self, slot) -> Outcome:
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

    def work(self, slot) -> Outcome:
        raise NotImplementedError


class Call(Job):
    def __init__(self, request: bytes, input_path, output_path) -> None:
        super().__init__()
        self.request = request
        self.paths = input_path, output_path

    def work(self, slot) -> Outcome:
        return recolour(slot, self.request, *self.paths)


class BytesCall(Job):
    """An image in memory, through two files in a private folder that is
    removed on every path."""

    def __init__(self, data, make_request) -> None:
        super().__init__()
        self.data = data
        self.make_request = make_request

    def work(self, slot) -> Outcome:
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
