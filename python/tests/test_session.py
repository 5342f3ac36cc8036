"""Whole sessions against corvo-sim."""
import asyncio
import json
import select
import signal
import socket
import subprocess
import sys
import threading
import time
from pathlib import Path
from typing import Dict, Iterator, List, Optional, Tuple

import corvo
import pytest
from corvo import library, waiting

from conftest import eventually, run_python


@pytest.fixture
def session(sim: Dict[str, int]) -> Iterator[corvo.Session]:
    with corvo.Session(key="demo-key", login=1001, server="127.0.0.1",
                       api_port=sim["api"]) as opened:
        yield opened


def _unused_port() -> int:
    with socket.socket() as probe:
        probe.bind(("127.0.0.1", 0))
        return probe.getsockname()[1]


def test_subscribe_returns_the_snapshot_and_updates_follow(session: corvo.Session) -> None:
    snapshot = session.subscribe(["AAA", "AAB"])
    assert isinstance(snapshot, dict) and snapshot
    seen: Dict[str, object] = {}
    eventually(lambda: seen.update(session.poll()) or any("AAA" in t for t in seen),
               what="an update of AAA")
    assert all(isinstance(topic, str) for topic in seen)
    assert session.symbol("AAA")
    assert any(session.updates(timeout=10)), "updates() yielded nothing within 10 s"


def _drained(session: corvo.Session) -> None:
    while session.poll():
        pass


def test_updates_waits_for_a_record_published_after_it_began(session: corvo.Session) -> None:
    session.subscribe("AAA")
    before = session.symbol("AAA")["AAA_Corvo"]["seq"]
    _drained(session)
    first = next(session.updates(timeout=10), {})
    assert first.get("AAA_Corvo", {}).get("seq", before) > before, first


def test_updates_ends_at_its_timeout(session: corvo.Session) -> None:
    # Nothing is subscribed, so nothing is ever pending.
    began = time.monotonic()
    assert list(session.updates(timeout=0.3)) == []
    assert 0.3 <= time.monotonic() - began < 5


def test_closing_the_session_ends_an_updates_waiting_in_another_thread(
        sim: Dict[str, int]) -> None:
    opened = corvo.Session(key="demo-key", login=1001, api_port=sim["api"])
    iteration = opened.updates()
    outcome: List[object] = []
    waiter = threading.Thread(target=lambda: outcome.append(list(iteration)))
    waiter.start()
    eventually(lambda: getattr(sys._current_frames().get(waiter.ident), "f_code", None)
               is waiting.wait.__code__, what="the thread waiting in the library")
    opened.close()
    waiter.join(5)
    assert not waiter.is_alive() and outcome == [[]]


def test_ctrl_c_ends_a_wait_for_updates_promptly(sim: Dict[str, int]) -> None:
    # Nothing is subscribed; the child interrupts itself once its main thread waits.
    run = run_python(
        "import os, signal, sys, threading, time\n"
        "import corvo\n"
        "from corvo import waiting\n"
        f"s = corvo.Session(key='demo-key', login=1001, api_port={sim['api']})\n"
        "main, sent = threading.main_thread().ident, []\n"
        "def interrupt():\n"
        "    while sys._current_frames()[main].f_code is not waiting.wait.__code__:\n"
        "        time.sleep(0.01)\n"
        "    sent.append(time.monotonic())\n"
        "    os.kill(os.getpid(), signal.SIGINT)\n"
        "threading.Thread(target=interrupt, daemon=True).start()\n"
        "try:\n"
        "    list(s.updates(timeout=20))\n"
        "except KeyboardInterrupt:\n"
        "    print(time.monotonic() - sent[0])\n")
    assert run.returncode == 0, run.stderr
    assert float(run.stdout) < 1.0, run.stdout


_WAYS = pytest.mark.parametrize("watch_handle", [True, False],
                                ids=["event handle", "worker thread"])


@_WAYS
def test_aupdates_yields_records(session: corvo.Session, monkeypatch: pytest.MonkeyPatch,
                                 watch_handle: bool) -> None:
    monkeypatch.setattr(waiting, "WATCH_HANDLE", watch_handle)
    session.subscribe("AAA")

    async def first() -> Dict[str, object]:
        async for updates in session.aupdates(timeout=10):
            return updates
        return {}

    assert "AAA_Corvo" in asyncio.run(first())


@_WAYS
def test_a_cancelled_aupdates_leaves_the_pending_update(
        session: corvo.Session, monkeypatch: pytest.MonkeyPatch, watch_handle: bool) -> None:
    monkeypatch.setattr(waiting, "WATCH_HANDLE", watch_handle)
    session.subscribe("AAA")
    _drained(session)

    async def cancelled_while_an_update_is_pending() -> None:
        task = asyncio.create_task(anext(session.aupdates(timeout=10)))
        await asyncio.sleep(0)  # the task reaches its wait
        # The loop is blocked until an update is pending, so the task cannot take it.
        assert library.get().corvo_wait(10000) == corvo.Result.OK
        await asyncio.sleep(0)  # the loop sees the handle ready before the cancel
        task.cancel()
        with pytest.raises(asyncio.CancelledError):
            await task

    asyncio.run(cancelled_while_an_update_is_pending())
    assert "AAA_Corvo" in session.poll()
    assert "AAA_Corvo" in next(session.updates(timeout=10), {})


def test_status_and_top20(session: corvo.Session) -> None:
    session.subscribe("AAA")

    # The connection is noted by the stream's monitor, which may trail the first message.
    def streaming() -> Optional[dict]:
        status = session.status()
        return status if status["messages"] > 0 and status["connected"] is True else None

    status = eventually(streaming, what="a connected stream with a message counted")
    assert status["state"] == "running" and status["subscriptions"] >= 1

    def ranking() -> object:
        try:
            return session.top20()
        except corvo.Error as error:
            assert error.code == corvo.Result.NOT_FOUND, error
            return None

    assert eventually(ranking, what="a Top20 ranking")


def test_queries_feedback_and_files(session: corvo.Session, tmp_path: Path) -> None:
    assert session.fundamental("AAA")
    assert session.iaa("AAA")
    assert session.volume("AAA")
    assert session.fundamental_all_last_year()
    assert session.iaa_all_symbols()
    assert session.key_market_statistics()
    session.feedback(1001, 1, 2, 3, "fine|good")
    session.export_files("iaa", tmp_path)
    assert list((tmp_path / "iaa").glob("*.json"))


def test_a_closed_session_refuses_calls(sim: Dict[str, int]) -> None:
    opened = corvo.Session(key="demo-key", login=1001, api_port=sim["api"])
    opened.close()
    opened.close()
    assert opened.closed
    with pytest.raises(corvo.Error) as caught:
        opened.poll()
    assert caught.value.code == corvo.Result.NOT_RUNNING
    with pytest.raises(corvo.Error, match="closed") as caught:
        with opened:
            pass
    assert caught.value.code == corvo.Result.NOT_RUNNING


def test_one_session_at_a_time(session: corvo.Session, sim: Dict[str, int]) -> None:
    with pytest.raises(corvo.Error, match="a session is already open"):
        corvo.Session(key="demo-key", login=1001, api_port=sim["api"])
    assert session.status()["state"] == "running"


def test_subscribe_all_is_explicit(session: corvo.Session) -> None:
    with pytest.raises(TypeError, match="symbols"):
        session.subscribe()  # type: ignore[call-arg]
    session.subscribe_all()
    seen: Dict[str, object] = {}
    eventually(lambda: seen.update(session.poll()) or len(seen) >= 3,
               what="updates of three topics without naming any")


@pytest.mark.parametrize("change, error, parameter", [
    ({"login": 2**32 + 5}, ValueError, "login"),
    ({"login": -2**31 - 1}, ValueError, "login"),
    ({"login": "1001"}, TypeError, "login"),
    ({"login": 1001.0}, TypeError, "login"),
    ({"login": True}, TypeError, "login"),
    ({"api_port": "8080"}, TypeError, "api_port"),
    ({"api_port": 2**32 + 8080}, ValueError, "api_port"),
    ({"key": None}, TypeError, "key"),
    ({"key": b"demo-key"}, TypeError, "key"),
    ({"key": "demo\0key"}, ValueError, "key"),
    ({"server": 127001}, TypeError, "server"),
], ids=str)
def test_start_arguments_are_checked_before_any_call(sim: Dict[str, int], change: dict,
                                                     error: type, parameter: str) -> None:
    arguments = {"key": "demo-key", "login": 1001, "server": "127.0.0.1", "api_port": sim["api"],
                 **change}
    with pytest.raises(error, match=parameter):
        corvo.Session(**arguments)


@pytest.mark.parametrize("method, arguments, error, parameter", [
    ("subscribe", (5,), TypeError, "symbols"),
    ("subscribe", ([b"AAA"],), TypeError, "symbols"),
    ("subscribe", ([],), ValueError, "symbols"),
    ("subscribe", ("",), ValueError, "symbols"),
    ("subscribe", (["AAA", " "],), ValueError, "symbols"),
    ("unsubscribe", (None,), TypeError, "symbols"),
    ("symbol", (5,), TypeError, "symbol"),
    ("iaa", (None,), TypeError, "symbol"),
    ("feedback", (2**31, 1, 2, 3, "fine"), ValueError, "account"),
    ("feedback", (1001, "1", 2, 3, "fine"), TypeError, "second"),
    ("feedback", (1001, 1, 2, 3, None), TypeError, "message"),
    ("export_files", ("iaa", 5), TypeError, "directory"),
], ids=str)
def test_call_arguments_are_checked_before_any_call(session: corvo.Session, method: str,
                                                    arguments: tuple, error: type,
                                                    parameter: str) -> None:
    with pytest.raises(error, match=parameter):
        getattr(session, method)(*arguments)


def test_start_against_a_closed_port_raises_with_the_reason() -> None:
    with pytest.raises(corvo.Error) as caught:
        corvo.Session(key="demo-key", login=1001, api_port=_unused_port())
    assert caught.value.code == corvo.Result.START_FAILED
    assert caught.value.name and caught.value.reason


def test_end_stops_the_session_and_refuses_later_calls(sim: Dict[str, int]) -> None:
    run = run_python(
        "import corvo\n"
        f"s = corvo.Session(key='demo-key', login=1001, api_port={sim['api']})\n"
        "s.subscribe('AAA')\n"
        "corvo.end()\n"
        "s.close()\n"
        "try:\n    corvo.library_version()\nexcept corvo.Error as error:\n"
        "    print(error.code)\n")
    assert run.returncode == 0, run.stderr
    assert run.stdout.strip() == str(int(corvo.Result.TORN_DOWN))


def test_exit_with_an_open_session_ends_cleanly(sim: Dict[str, int]) -> None:
    run = run_python(
        "import corvo\n"
        f"s = corvo.Session(key='demo-key', login=1001, api_port={sim['api']})\n"
        "s.subscribe('AAA')\n")
    assert run.returncode == 0, run.stderr


# The loaded library, except that another thread runs corvo.end() as soon as CALL returns; it
# notes each block handed to corvo_free.
_ENDED_DURING_CALL = """
import ctypes, json, threading
import corvo
from corvo import library
session = corvo.Session(key='demo-key', login=1001, api_port={port})
real = library.get()
freed = []

class EndedDuringCall:
    def __getattr__(self, name):
        return getattr(real, name)

    def corvo_free(self, memory):
        freed.append(ctypes.cast(memory, ctypes.c_void_p).value)
        real.corvo_free(memory)

def ended_during_call(*arguments):
    code = getattr(real, '{call}')(*arguments)
    ender = threading.Thread(target=corvo.end)
    ender.start()
    ender.join()
    return code

wrapped = EndedDuringCall()
setattr(wrapped, '{call}', ended_during_call)
library._library = wrapped
try:
    outcome = {{'result': session.{method}}}
except corvo.Error as error:
    outcome = {{'code': error.code, 'reason': error.reason}}
outcome['freed'] = len(freed)
print(json.dumps(outcome, default=str))
"""


@pytest.mark.parametrize("method, call, code", [
    ("status()", "corvo_status", None),
    ("symbol('ZZZ')", "corvo_symbol_record", corvo.Result.NOT_FOUND),
])
def test_memory_is_freed_and_the_reason_kept_when_another_thread_ends_the_library(
        sim: Dict[str, int], method: str, call: str, code: Optional[int]) -> None:
    run = run_python(_ENDED_DURING_CALL.format(port=sim["api"], call=call, method=method))
    assert run.returncode == 0, run.stderr
    outcome = json.loads(run.stdout)
    assert outcome["freed"] == 1, outcome
    if code is None:
        assert outcome["result"], outcome
    else:
        assert outcome["code"] == code and outcome["reason"], outcome


class _HungApi:
    """A TCP server on loopback that accepts connections and never answers."""

    def __init__(self) -> None:
        self.listener = socket.create_server(("127.0.0.1", 0))
        self.port = self.listener.getsockname()[1]
        self.accepted: List[socket.socket] = []
        threading.Thread(target=self._accept, daemon=True).start()

    def _accept(self) -> None:
        try:
            while True:
                self.accepted.append(self.listener.accept()[0])
        except OSError:
            pass  # closed

    def close(self) -> None:
        try:
            self.listener.shutdown(socket.SHUT_RDWR)  # wakes the accepting thread
        except OSError:
            pass  # closed already
        self.listener.close()
        for connection in self.accepted:
            connection.close()


def _line_within(process: subprocess.Popen, timeout: float) -> Tuple[str, float]:
    """The next line of the process's output and the seconds it took, or "" past timeout."""
    began = time.monotonic()
    ready, _, _ = select.select([process.stdout], [], [], timeout)
    line = process.stdout.readline().strip() if ready else ""
    return line, time.monotonic() - began


def test_ctrl_c_ends_a_hung_start_promptly_and_a_new_session_starts(sim: Dict[str, int]) -> None:
    hung = _HungApi()
    process = subprocess.Popen(
        [sys.executable, "-c",
         "import corvo\n"
         "try:\n"
         f"    corvo.Session(key='demo-key', login=1001, api_port={hung.port})\n"
         "except KeyboardInterrupt:\n"
         "    print('interrupted', flush=True)\n"
         f"with corvo.Session(key='demo-key', login=1001, api_port={sim['api']}) as s:\n"
         "    print(s.status()['state'], flush=True)\n"],
        stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
    try:
        eventually(lambda: hung.accepted, what="the start reaching the API")
        process.send_signal(signal.SIGINT)
        line, took = _line_within(process, 3.0)
        assert line == "interrupted" and took < 1.5, (line, took)
        hung.close()  # the abandoned start fails, so the new session may begin
        out, err = process.communicate(timeout=30)
        assert process.returncode == 0 and out.strip() == "running", err
    finally:
        hung.close()
        process.kill()
        process.wait()
