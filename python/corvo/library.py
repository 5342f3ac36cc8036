"""Finds, loads and declares the shared library; one instance serves the whole process."""
import atexit
import ctypes
import os
import sys
import threading
from pathlib import Path
from typing import Callable, List, Optional, Tuple

from .constants import Result
from .errors import Error, LibraryError

#: The environment variable naming the library's path; it overrides every other place.
LIBRARY_ENV = "CORVO_LIBRARY"

_PACKAGE_DIR = Path(__file__).resolve().parent
if sys.platform == "win32":
    _FILE_NAMES = ["CorvoStreaming_DLL.dll"]
else:
    _FILE_NAMES = ["libCorvoStreaming_DLL.so.1", "libCorvoStreaming_DLL.so"]

_c_char_pp = ctypes.POINTER(ctypes.c_void_p)
_size_p = ctypes.POINTER(ctypes.c_size_t)
_I32 = ctypes.c_int32

# name: (result type, argument types), as declared in corvo.h. c_ssize_t stands for intptr_t.
# The library is a CDLL, not a PyDLL: ctypes releases the GIL for each call, so a thread
# blocked in corvo_wait holds up no other Python thread.
_PROTOTYPES = {
    "corvo_version": (ctypes.c_char_p, []),
    "corvo_last_error": (ctypes.c_char_p, []),
    "corvo_result_name": (ctypes.c_char_p, [_I32]),
    "corvo_free": (None, [ctypes.c_void_p]),
    "corvo_start": (_I32, [ctypes.c_char_p, _I32, ctypes.c_char_p, _I32]),
    "corvo_stop": (_I32, []),
    "corvo_end": (_I32, []),
    "corvo_subscribe": (_I32, [ctypes.c_char_p, _c_char_pp, _size_p]),
    "corvo_unsubscribe": (_I32, [ctypes.c_char_p]),
    "corvo_refresh": (_I32, [ctypes.c_char_p, ctypes.c_size_t, _size_p]),
    "corvo_wait": (_I32, [_I32]),
    "corvo_event_handle": (_I32, [ctypes.POINTER(ctypes.c_ssize_t)]),
    "corvo_symbol_record": (_I32, [ctypes.c_char_p, _c_char_pp, _size_p]),
    "corvo_top20": (_I32, [_c_char_pp, _size_p]),
    "corvo_query": (_I32, [_I32, ctypes.c_char_p, _c_char_pp, _size_p]),
    "corvo_feedback": (_I32, [_I32, _I32, _I32, _I32, ctypes.c_char_p]),
    "corvo_export_files": (_I32, [_I32, ctypes.c_char_p]),
    "corvo_status": (_I32, [_c_char_pp, _size_p]),
    "corvo_calculate_speed": (ctypes.c_uint32,
                              [ctypes.POINTER(ctypes.c_uint32), ctypes.POINTER(ctypes.c_double)]),
    "corvo_test": (_I32, []),
}

_lock = threading.Lock()
_library: Optional[ctypes.CDLL] = None
_ended = False
_exit_hooks: List[Callable[[], None]] = []


def package_version() -> str:
    """The version this package was made for (the project's one VERSION)."""
    return (_PACKAGE_DIR / "VERSION").read_text(encoding="ascii").strip()


def check_version(found: str, wanted: str) -> None:
    """Accepts the same major version, no older than the package's; raises LibraryError."""
    try:
        have = tuple(int(part) for part in found.split("."))
        need = tuple(int(part) for part in wanted.split("."))
    except ValueError:
        raise LibraryError(f"the library reports an unreadable version {found!r}") from None
    if have[0] != need[0] or have < need:
        raise LibraryError(
            f"the library is version {found}, but this package needs {wanted} "
            f"(same major version, not older); point {LIBRARY_ENV} at a matching library")


def _candidates() -> Tuple[List[str], List[str]]:
    """The paths or names to try, and how to describe each in an error."""
    chosen = os.environ.get(LIBRARY_ENV)
    if chosen:
        return [chosen], [f"{chosen} (from {LIBRARY_ENV})"]
    bundled = [str(_PACKAGE_DIR / "lib" / name) for name in _FILE_NAMES]
    return bundled + _FILE_NAMES, bundled + [f"{name} (the system loader's search path)"
                                             for name in _FILE_NAMES]


def _open() -> ctypes.CDLL:
    tries, shown = _candidates()
    failures = []
    for target, description in zip(tries, shown):
        if os.sep in target and not os.path.exists(target):
            failures.append(f"{description}: no such file")
            continue
        try:
            return ctypes.CDLL(target)
        except OSError as error:
            failures.append(f"{description}: {error}")
    raise LibraryError("the CorvoStreaming_DLL library was not found. Looked in:\n  "
                       + "\n  ".join(failures)
                       + f"\nSet {LIBRARY_ENV} to the library's path.")


def _declare(library: ctypes.CDLL) -> None:
    for name, (result, arguments) in _PROTOTYPES.items():
        try:
            function = getattr(library, name)
        except AttributeError:
            raise LibraryError(f"{library._name} has no {name}: it predates the C interface "
                               f"corvo.h; use version {package_version()} or later") from None
        function.restype = result
        function.argtypes = arguments


def get() -> ctypes.CDLL:
    """The loaded library, loaded and checked on first use."""
    global _library
    with _lock:
        if _ended:
            raise Error(int(Result.TORN_DOWN), "torn down",
                        "corvo.end() has ended the library for this process", "corvo_end")
        if _library is None:
            library = _open()
            _declare(library)
            check_version(library.corvo_version().decode("ascii", "replace"), package_version())
            _library = library
            atexit.register(_at_exit)
        return _library


def ended() -> bool:
    """True once corvo.end() has ended the library for this process."""
    return _ended


def loaded_path() -> Optional[str]:
    """The path the library was loaded from, or None before it is loaded."""
    return None if _library is None else _library._name


def error(library: ctypes.CDLL, function: str, code: int, reason: str) -> Error:
    """The Error of a failed call, named by the library's fixed name of its code."""
    name = library.corvo_result_name(code)
    return Error(code, name.decode("utf-8", "replace") if name else f"result {code}", reason,
                 function)


def check(library: ctypes.CDLL, function: str, code: int) -> None:
    """Raises Error unless code is CORVO_OK, with the reason library noted on this thread.

    The library object the call used answers, also once another thread has ended the library:
    its reasons and names still hold, where get() would refuse and hide them."""
    if code != Result.OK:
        reason = (library.corvo_last_error() or b"").decode("utf-8", "replace")
        raise error(library, function, code, reason)


def call(library: ctypes.CDLL, function: str, *arguments: object) -> None:
    """Calls function of library and raises Error unless it answers CORVO_OK."""
    check(library, function, getattr(library, function)(*arguments))


def take(library: ctypes.CDLL, function: str, *arguments: object) -> bytes:
    """Calls a function of library that hands back allocated bytes, copies them, frees them.

    The block goes back through the same library object: corvo_free only releases memory and
    works after corvo_end too, so another thread's corvo.end() can neither leak the block nor
    replace the call's own outcome."""
    memory = ctypes.c_void_p()
    length = ctypes.c_size_t()
    code = getattr(library, function)(*arguments, ctypes.byref(memory), ctypes.byref(length))
    try:
        check(library, function, code)
        return ctypes.string_at(memory, length.value) if memory.value else b""
    finally:
        library.corvo_free(memory)


def on_exit(hook: Callable[[], None]) -> None:
    """Runs hook at interpreter exit, before the library is ended."""
    _exit_hooks.append(hook)


def end() -> None:
    """Ends the library for this process (corvo_end): stops any session; later calls fail."""
    global _ended
    if _library is not None and not _ended:
        for hook in list(_exit_hooks):
            hook()
    with _lock:
        library, _ended = _library, True
    if library is None:
        return
    code = library.corvo_end()
    if code != Result.TORN_DOWN:
        check(library, "corvo_end", code)


def _at_exit() -> None:
    if not _ended:
        try:
            end()
        except Error:
            pass  # nothing is left to report to at exit
