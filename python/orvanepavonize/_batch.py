"""pavonize_many's pairs on several threads: the caller's and helpers that
end before it returns."""
from __future__ import annotations

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
    stop = threading.Event()
    fatal: list[BaseException] = []

    def take_turns() -> None:
        while not stop.is_set():
            with taking:
                index = next(pending, None)
            if index is None:
                return
            try:
                results[index] = recolour(items[index])
            except BaseException as error:  # raised in the caller's thread, never lost
                fatal.append(error)
                stop.set()

    helpers = []
    try:
        for _ in range(threads - 1):
            helper = threading.Thread(target=take_turns, name="orvanepavonize")
            try:
                helper.start()
            except RuntimeError:
                break  # no more threads: the pairs go to those there are
            helpers.append(helper)
        take_turns()
    finally:
        stop.set()
        for helper in helpers:
            helper.join()
    if fatal:
        raise fatal[0]
    return results
