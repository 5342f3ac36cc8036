"""Session: one streaming session of the library, as a context manager."""
import ctypes
import json
import weakref
from pathlib import Path
from typing import Any, AsyncIterator, Dict, Iterable, Iterator, Optional, Union

from . import arguments, library, lifecycle, records, waiting
from .constants import REFRESH_CAPACITY, Files, Query, Result
from .errors import Error
from .records import Key

Json = Any
FileKind = Union[Files, int, str]


def _json(data: bytes) -> Json:
    return json.loads(data.decode("utf-8")) if data else None


class Session:
    """A running session: started on creation, stopped by close() or at the end of a with block.

    Example::

        with corvo.Session(key="demo-key", login=1001, server="127.0.0.1", api_port=8080) as s:
            snapshot = s.subscribe(["AAA"])
            for updates in s.updates(timeout=5):  # or: async for ... in s.aupdates()
                print(updates)

    Only one Session may be open at a time, since the library runs one session per process.
    Failures raise corvo.Error; the API's replies are parsed as JSON (json.JSONDecodeError if
    not), the stream's records as JSON where they are (see poll()). An argument of the wrong
    type raises TypeError, one out of range ValueError, both naming the parameter, before any
    call into the library.
    """

    def __init__(self, *, key: str, login: int, api_port: int,
                 server: str = "127.0.0.1") -> None:
        """Starts the session (at most about 15 s): the API at server:api_port announces the
        account and names the stream port. Ctrl-C ends the wait at once (KeyboardInterrupt);
        the start is then stopped in the background, and a new Session waits for that."""
        start = (arguments.text("key", key), arguments.int32("login", login),
                 arguments.text("server", server), arguments.port("api_port", api_port))
        handle = lifecycle.Handle()
        lifecycle.claim(handle)
        lifecycle.start(handle, *start)
        self._handle = handle
        self._finalizer = weakref.finalize(self, lifecycle.stop_quietly, handle)

    # Life cycle.

    @property
    def closed(self) -> bool:
        """True once the session was stopped."""
        return not self._handle.open

    def close(self) -> None:
        """Stops the session (corvo_stop); closing twice is fine."""
        self._finalizer.detach()
        self._handle.stop()

    def __enter__(self) -> "Session":
        self._library("Session")
        return self

    def __exit__(self, *exc_info: object) -> None:
        self.close()

    def _library(self, function: str) -> ctypes.CDLL:
        """The library for a call; a closed Session refuses, as another may hold the library."""
        lib = library.get()
        if not self._handle.open:
            raise library.error(lib, function, Result.NOT_RUNNING,
                                "this Session is closed; open a new one")
        return lib

    # Streaming.

    def subscribe(self, symbols: Union[str, Iterable[str]]) -> Json:
        """Subscribes one instrument code or several and returns their snapshot as parsed
        JSON; subscribe_all() subscribes every topic."""
        joined = b",".join(arguments.symbols("symbols", symbols))
        return _json(library.take(self._library("corvo_subscribe"), "corvo_subscribe", joined))

    def subscribe_all(self) -> None:
        """Subscribes every topic of the stream; no snapshot is fetched for that."""
        library.take(self._library("corvo_subscribe"), "corvo_subscribe", b"")

    def unsubscribe(self, symbols: Union[str, Iterable[str]]) -> None:
        """Stops the updates of one instrument or several."""
        for symbol in arguments.symbols("symbols", symbols):
            library.call(self._library("corvo_unsubscribe"), "corvo_unsubscribe", symbol)

    def poll(self) -> Dict[Key, Json]:
        """The records updated since the last poll, keyed by topic ({} when none). One result
        holds at most about 10 kB; what does not fit stays pending for the next poll.

        Nothing taken is lost: a payload is parsed JSON where it is JSON, else its text (str),
        else its bytes when it is not UTF-8. When payloads that are not JSON spoil the result's
        shape, it is split on its members: such a payload runs up to the next member of a
        "..._Corvo" topic, so a member of another topic right after it stays in its text. A
        topic that is not UTF-8 is a bytes key."""
        lib = self._library("corvo_refresh")
        buffer = ctypes.create_string_buffer(REFRESH_CAPACITY)
        needed = ctypes.c_size_t()
        code = lib.corvo_refresh(buffer, REFRESH_CAPACITY, ctypes.byref(needed))
        if code == Result.NOTHING_PENDING:
            return {}
        library.check(lib, "corvo_refresh", code)
        return records.parse_records(buffer.raw[:needed.value - 1])

    def updates(self, timeout: Optional[float] = None) -> Iterator[Dict[Key, Json]]:
        """Yields each non-empty poll() as updates arrive, blocking in the library between
        them (other threads run meanwhile), until timeout seconds have passed (None: no
        limit) or the Session is closed, also from another thread. Ctrl-C raises
        KeyboardInterrupt within a quarter of a second; the updates not yet taken stay
        pending. A session that stops for any other reason raises corvo.Error."""
        lib = self._library("corvo_wait")
        return self._updates(lib, waiting.deadline(timeout))

    def _updates(self, lib: ctypes.CDLL, at: Optional[float]) -> Iterator[Dict[Key, Json]]:
        while not waiting.passed(at):
            updates = self._after_wait(lib, waiting.wait(lib, at))
            if updates is None:
                return
            if updates:
                yield updates

    async def aupdates(self, timeout: Optional[float] = None) -> AsyncIterator[Dict[Key, Json]]:
        """updates() for asyncio, ending the same ways: the loop runs on while nothing is
        pending (on Linux it watches the library's event handle, elsewhere a worker thread
        waits). Cancelling the task loses nothing: an update is taken only to be yielded."""
        lib = self._library("corvo_wait")
        handle = waiting.event_handle(lib)
        at = waiting.deadline(timeout)
        while not waiting.passed(at):
            updates = self._after_wait(lib, await waiting.wait_async(lib, handle, at))
            if updates is None:
                return
            if updates:
                yield updates

    def _after_wait(self, lib: ctypes.CDLL, code: int) -> Optional[Dict[Key, Json]]:
        """What a wait's result brings: the updates taken ({} when none), or None once this
        Session was closed. Raises Error when the session stopped otherwise."""
        if code == Result.NOTHING_PENDING:
            return {}
        if code != Result.OK:
            if self.closed:
                return None
            library.check(lib, "corvo_wait", code)
        try:
            return self.poll()
        except Error:
            # Closed between the wait and the take.
            if self.closed:
                return None
            raise

    def symbol(self, symbol: str) -> Dict[Key, Json]:
        """The latest record of one instrument as {topic: payload}, read as poll() reads
        them; pending updates stay pending."""
        return records.parse_records(library.take(
            self._library("corvo_symbol_record"), "corvo_symbol_record",
            arguments.text("symbol", symbol)))

    def top20(self) -> Json:
        """The latest Top20 ranking: parsed JSON, else its text, else its bytes."""
        return records.payload(library.take(self._library("corvo_top20"), "corvo_top20"))

    def status(self) -> Dict[str, Json]:
        """The session's and the stream's health: state, connected, messages, topics, ..."""
        return _json(library.take(self._library("corvo_status"), "corvo_status"))

    # Queries.

    def _query(self, kind: Query, symbol: Optional[bytes] = None) -> Json:
        return _json(library.take(self._library("corvo_query"), "corvo_query", int(kind), symbol))

    def fundamental(self, symbol: str) -> Json:
        """One instrument's fundamental data."""
        return self._query(Query.FUNDAMENTAL, arguments.text("symbol", symbol))

    def fundamental_all_last_year(self) -> Json:
        """Every instrument's fundamental data of last year."""
        return self._query(Query.FUNDAMENTAL_ALL_LAST_YEAR)

    def iaa(self, symbol: str) -> Json:
        """One instrument's IAA data."""
        return self._query(Query.IAA, arguments.text("symbol", symbol))

    def iaa_all_symbols(self) -> Json:
        """Every instrument's IAA data."""
        return self._query(Query.IAA_ALL_SYMBOLS)

    def key_market_statistics(self) -> Json:
        """The key market statistics."""
        return self._query(Query.KEY_MARKET_STATISTICS)

    def volume(self, symbol: str) -> Json:
        """One instrument's volume data."""
        return self._query(Query.VOLUME, arguments.text("symbol", symbol))

    def feedback(self, account: int, second: int, third: int, fourth: int,
                 message: str) -> None:
        """Sends a feedback record; '|' characters are removed from the message."""
        values = [arguments.int32(name, value) for name, value in
                  (("account", account), ("second", second), ("third", third),
                   ("fourth", fourth))]
        library.call(self._library("corvo_feedback"), "corvo_feedback", *values,
                     arguments.text("message", message))

    def export_files(self, kind: FileKind, directory: Union[str, Path, None] = None) -> None:
        """Writes one file per instrument for kind ("fundamental", "iaa", "volume" or a
        corvo.Files) below directory (None: the "Files" directory beside the library's
        "Libraries" directory)."""
        try:
            number = Files[kind.upper()] if isinstance(kind, str) else Files(kind)
        except (KeyError, ValueError):
            raise ValueError(f"unknown file kind {kind!r}; use one of "
                             f"{', '.join(k.name.lower() for k in Files)}") from None
        target = arguments.path("directory", directory)
        library.call(self._library("corvo_export_files"), "corvo_export_files", int(number),
                     target)
