"""The process's one session: which Session holds it, starting it so that Ctrl-C is heard, and
stopping it. The library runs one session per process, so one Handle at a time holds it."""
import ctypes
import threading
from typing import Optional, Tuple

from . import library
from .constants import Result
from .errors import Error

# A thread waiting on the library wakes this often, so KeyboardInterrupt is raised promptly.
_SLICE = 0.1

_lock = threading.Lock()
_holder: Optional["Handle"] = None


class Handle:
    """A session's hold on the library: what stops it, without keeping its Session alive."""

    def __init__(self) -> None:
        self.open = True
        self.library: Optional[ctypes.CDLL] = None
        # Set while an interrupted start is being undone; it releases the handle when done.
        self.undoing: Optional[threading.Thread] = None

    def release(self) -> bool:
        """Gives up the hold; answers whether it was still held."""
        global _holder
        with _lock:
            held, self.open = self.open, False
            if _holder is self:
                _holder = None
        return held

    def stop(self) -> None:
        """Stops the session (corvo_stop) once; raises Error if the library fails to."""
        if not self.release() or self.library is None:
            return
        code = self.library.corvo_stop()
        # Stopped already, or by corvo_end: either is what a close wants.
        if code not in (Result.NOT_RUNNING, Result.TORN_DOWN):
            library.check(self.library, "corvo_stop", code)


def stop_quietly(handle: Handle) -> None:
    try:
        handle.stop()
    except Error:
        pass  # garbage collection or exit: nobody to tell


def _stop_holder() -> None:
    handle = _holder
    if handle is not None:
        stop_quietly(handle)


library.on_exit(_stop_holder)


def claim(handle: Handle) -> None:
    """Makes handle the holder, first waiting for an interrupted start to be undone; raises
    Error while another session is open."""
    global _holder
    while True:
        with _lock:
            if _holder is None:
                _holder = handle
                return
            undoing = _holder.undoing
        if undoing is None:
            raise Error(None, "session open", "a session is already open; close it first",
                        "corvo_start")
        _wait(undoing)


def start(handle: Handle, key: bytes, login: int, server: bytes, port: int) -> None:
    """Starts the claimed session. corvo_start blocks (about 30 s against a hung API) and a
    signal cannot reach Python code inside it, so it runs on a worker thread while this thread
    waits in short slices: Ctrl-C raises KeyboardInterrupt here at once, and the start is
    undone behind it.

    Raises Error if the start fails; the handle is released on every failure, by the undoing
    thread once it is done after an interrupt."""
    try:
        handle.library = library.get()
        worker, outcome = _launch(handle.library, (key, login, server, port))
    except BaseException:
        handle.release()
        raise
    try:
        _wait(worker)
    except BaseException:
        handle.undoing = threading.Thread(
            target=_undo, args=(handle, handle.library, worker, outcome),
            name="corvo-undo-start", daemon=True)
        handle.undoing.start()
        raise
    if outcome.failure is not None:
        handle.release()
        raise outcome.failure


class _Outcome:
    """What the worker's corvo_start came to."""

    def __init__(self) -> None:
        self.started = False
        self.failure: Optional[BaseException] = None


def _launch(lib: ctypes.CDLL, arguments: tuple) -> Tuple[threading.Thread, _Outcome]:
    outcome = _Outcome()

    def run() -> None:
        # The reason of a failure is noted for the failing thread: read it on this one.
        try:
            library.call(lib, "corvo_start", *arguments)
            outcome.started = True
        except BaseException as failure:
            outcome.failure = failure

    # A daemon, so an interpreter leaving after the interrupt does not wait for it.
    worker = threading.Thread(target=run, name="corvo-start", daemon=True)
    worker.start()
    return worker, outcome


def _undo(handle: Handle, lib: ctypes.CDLL, worker: threading.Thread, outcome: _Outcome) -> None:
    try:
        # Ends the start where the library can cancel it; else this waits for the start and
        # stops what it started.
        lib.corvo_stop()
        worker.join()
        # The start may have begun only after that stop.
        if outcome.started:
            lib.corvo_stop()
    finally:
        handle.release()


def _wait(thread: threading.Thread) -> None:
    while thread.is_alive():
        thread.join(_SLICE)
