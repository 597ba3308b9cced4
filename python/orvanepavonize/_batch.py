"""pavonize_many's pairs on several threads: the caller's and helpers that
end before it returns."""
from __future__ import annotations

import _thread
import queue
import threading


def run(items: list, recolour, threads: int) -> list:
    """recolour(item) for every item, in order of the items, on `threads`
    threads at once, each taking the next item when it is free.

    An interrupt (KeyboardInterrupt) in the caller's thread lets every
    image already begun finish, begins no other, waits for the helpers
    and is raised again; a second one stops the waiting (the helpers then
    end on their own after their image)."""
    results = [None] * len(items)
    pending = iter(range(len(items)))
    taking = threading.Lock()
    stop: list = []  # not empty once no image may begin; appending is one step
    fatal: list[BaseException] = []
    finished: queue.SimpleQueue = queue.SimpleQueue()

    def take_turns() -> None:
        while not stop:
            with taking:
                index = next(pending, None)
            if index is None:
                return
            try:
                results[index] = recolour(items[index])
            except BaseException as error:  # raised in the caller's thread, never lost
                fatal.append(error)
                stop.append(True)

    def helper() -> None:
        try:
            take_turns()
        finally:
            finished.put(None)

    helpers: list = []
    try:
        try:
            # One call starts the helpers and records each, so that no
            # interrupt can come between a start and its record.
            helpers.extend(map(_thread.start_new_thread, [helper] * (threads - 1),
                               [()] * (threads - 1)))
        except RuntimeError:
            pass  # no more threads: the pairs go to those there are
        take_turns()
    finally:
        stop.append(True)
        for _ in helpers:
            finished.get()
    if fatal:
        raise fatal[0]
    return results
