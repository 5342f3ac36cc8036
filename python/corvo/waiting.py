"""Waiting for pending updates: in the library (corvo_wait), or in an asyncio loop through the
library's event handle on Linux and a worker thread's corvo_wait elsewhere.

Every wait is bounded by SLICE. A signal does not end corvo_wait, and Python raises
KeyboardInterrupt only once the main thread is back from the library, so an unbounded wait
would make Ctrl-C wait for the next update. The event handle is readable only while updates are
pending, never at a stop, so an async wait looks at the session's state at least this often.
"""
import asyncio
import ctypes
import os
import sys
import time
from typing import Optional

from . import library

SLICE = 0.25

#: Whether async waits watch the event handle (an eventfd on Linux); else a worker thread waits.
WATCH_HANDLE = sys.platform.startswith("linux")


def deadline(timeout: Optional[float]) -> Optional[float]:
    """The monotonic time at which a wait of timeout seconds ends (None: never)."""
    return None if timeout is None else time.monotonic() + timeout


def passed(at: Optional[float]) -> bool:
    return at is not None and time.monotonic() >= at


def _bound(at: Optional[float]) -> float:
    """The next wait's length in seconds: a slice, or what is left before at."""
    return SLICE if at is None else max(0.0, min(SLICE, at - time.monotonic()))


def _milliseconds(seconds: float) -> int:
    return int(seconds * 1000 + 0.999)


def wait(lib: ctypes.CDLL, at: Optional[float]) -> int:
    """One corvo_wait of at most a slice; its result code."""
    return lib.corvo_wait(_milliseconds(_bound(at)))


def event_handle(lib: ctypes.CDLL) -> Optional[int]:
    """The library's event handle when async waits watch it; None when they use a worker."""
    if not WATCH_HANDLE:
        return None
    handle = ctypes.c_ssize_t()
    library.call(lib, "corvo_event_handle", ctypes.byref(handle))
    return handle.value


def _settle(future: "asyncio.Future[None]") -> None:
    if not future.done():
        future.set_result(None)


async def wait_async(lib: ctypes.CDLL, handle: Optional[int], at: Optional[float]) -> int:
    """Waits, at most a slice, for updates without blocking the loop; then corvo_wait(0) on the
    loop's thread answers the state, so a failure's reason is noted for this thread.

    Nothing is taken here: a task cancelled at this await leaves every update pending."""
    loop = asyncio.get_running_loop()
    seconds = _bound(at)
    if handle is None:
        # A cancelled task abandons the worker, which only waits out its slice.
        await loop.run_in_executor(None, lib.corvo_wait, _milliseconds(seconds))
        return lib.corvo_wait(0)
    # Our own descriptor of the library's eventfd: two iterators on one loop do not replace
    # each other's reader, and closing it leaves the library's open.
    watched = os.dup(handle)
    try:
        ready = loop.create_future()
        loop.add_reader(watched, _settle, ready)
        try:
            await asyncio.wait([ready], timeout=seconds)
        finally:
            loop.remove_reader(watched)
    finally:
        os.close(watched)
    return lib.corvo_wait(0)
