"""corvo: the CorvoStreaming_DLL market-data client library from Python.

A thin layer over the library's C interface (corvo.h) with ctypes::

    import corvo
    with corvo.Session(key="demo-key", login=1001, server="127.0.0.1", api_port=8080) as s:
        print(s.subscribe(["AAA"]), s.poll(), s.status())

The library is found through the CORVO_LIBRARY environment variable, else inside the
package, else by the system's loader. The session is stopped when the Session closes or is
collected, and the library is ended (corvo_end) at interpreter exit or by corvo.end().
"""
from .constants import REFRESH_CAPACITY, Files, Query, Result
from .errors import Error, LibraryError
from .library import LIBRARY_ENV, end, loaded_path, package_version
from .session import Session

__version__ = package_version()
__all__ = ["Error", "Files", "LIBRARY_ENV", "LibraryError", "Query", "REFRESH_CAPACITY",
           "Result", "Session", "end", "library_version", "loaded_path", "__version__"]


def library_version() -> str:
    """The loaded library's version text (loads it if needed)."""
    from . import library

    return library.get().corvo_version().decode("ascii", "replace")
