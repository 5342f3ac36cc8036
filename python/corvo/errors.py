"""The exceptions the package raises."""
from typing import Optional


class Error(Exception):
    """A call into the library failed.

    Attributes:
        code: the library's result code (a corvo.Result value when known); None when the
            library itself could not be used, or the package refused on its own (a session is
            already open).
        name: the result's fixed name, for example "not running".
        reason: why it failed, as the library told (corvo_last_error), or the package's reason.
        call: the C function that failed, for example "corvo_start".
    """

    def __init__(self, code: Optional[int], name: str, reason: str, call: str) -> None:
        self.code = code
        self.name = name
        self.reason = reason
        self.call = call
        shown = f"{name} ({code})" if code is not None else name
        super().__init__(f"{call}: {shown}: {reason}" if reason else f"{call}: {shown}")


class LibraryError(Error):
    """The shared library cannot be found, loaded, or is of an unsuitable version."""

    def __init__(self, reason: str, call: str = "load") -> None:
        super().__init__(None, "library unusable", reason, call)
