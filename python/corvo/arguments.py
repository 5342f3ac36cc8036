"""Checks and converts arguments before any call, so a wrong one names its parameter instead of
turning into a ctypes error or a silently different C value."""
import os
from typing import Iterable, List, Optional, Union

_INT32_MIN, _INT32_MAX = -(2**31), 2**31 - 1


def int32(name: str, value: object) -> int:
    """An int that fits the C interface's int32_t; TypeError or ValueError naming name."""
    # bool is an int to Python, but True as a login or a port is a mistake.
    if isinstance(value, bool) or not isinstance(value, int):
        raise TypeError(f"{name} must be an int, not {type(value).__name__}")
    if not _INT32_MIN <= value <= _INT32_MAX:
        raise ValueError(f"{name} must fit in 32 bits ({_INT32_MIN} to {_INT32_MAX}), "
                         f"got {value}")
    return value


def port(name: str, value: object) -> int:
    """A TCP port, 1-65535."""
    number = int32(name, value)
    if not 1 <= number <= 65535:
        raise ValueError(f"{name} must be a TCP port (1-65535), got {number}")
    return number


def text(name: str, value: object) -> bytes:
    """A str as the UTF-8 bytes of a C string; a zero character would cut it short."""
    if not isinstance(value, str):
        raise TypeError(f"{name} must be a str, not {type(value).__name__}")
    return _c_string(name, value.encode("utf-8", "surrogateescape"))


def _c_string(name: str, value: bytes) -> bytes:
    if b"\0" in value:
        raise ValueError(f"{name} must not contain a zero character")
    return value


def path(name: str, value: object) -> Optional[bytes]:
    """A str or path-like as the bytes of a C string, or None for None."""
    if value is None:
        return None
    try:
        value = os.fspath(value)  # type: ignore[arg-type]
    except TypeError:
        raise TypeError(f"{name} must be a str or a path, not {type(value).__name__}") from None
    return text(name, value) if isinstance(value, str) else _c_string(name, value)


def symbols(name: str, value: Union[str, Iterable[str]]) -> List[bytes]:
    """One instrument code or several, each a non-empty str."""
    if isinstance(value, str):
        codes: List[object] = [value]
    else:
        try:
            codes = list(value)
        except TypeError:
            raise TypeError(f"{name} must be a str or an iterable of str, "
                            f"not {type(value).__name__}") from None
    if not codes:
        raise ValueError(f"{name} names no instrument")
    for code in codes:
        if not isinstance(code, str):
            raise TypeError(f"{name} must hold str codes, not {type(code).__name__}")
        # The library drops white space, and an empty list there means every topic.
        if not code.strip():
            raise ValueError(f"{name} holds an empty code")
    return [text(name, code) for code in codes]
