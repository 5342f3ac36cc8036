"""Fixtures: the reference server corvo-sim as a child process on free loopback ports.

CORVO_SIM names the corvo-sim executable; CORVO_LIBRARY the library the package loads.
CORVO_FORBID_MAPPED (file name prefixes separated by spaces, e.g. "libzmq.so") fails the run
when the test process has a file of such a name mapped once every test is done.
"""
import os
import signal
import subprocess
import sys
import time
from pathlib import Path
from typing import Callable, Dict, Iterator, Optional, TypeVar

import pytest

T = TypeVar("T")


def eventually(check: Callable[[], T], timeout: float = 15.0, what: str = "condition") -> T:
    """Polls check until it returns something truthy, failing after timeout seconds."""
    deadline = time.monotonic() + timeout
    while True:
        value = check()
        if value:
            return value
        if time.monotonic() >= deadline:
            pytest.fail(f"{what} not met within {timeout} s")
        time.sleep(0.02)


def _read_ports(path: Path) -> Dict[str, int]:
    try:
        fields = dict(part.split("=") for part in path.read_text().split())
    except (OSError, ValueError):
        return {}
    return {name: int(port) for name, port in fields.items()} if "stream" in fields else {}


@pytest.fixture(scope="session", autouse=True)
def forbidden_not_mapped() -> Iterator[None]:
    """After the last test: no mapped file's base name starts with a forbidden prefix."""
    yield
    prefixes = os.environ.get("CORVO_FORBID_MAPPED", "").split()
    if not prefixes:
        return
    # Each line: address, permissions, offset, device, inode, then the path, if any.
    paths = [line.split(maxsplit=5)[5] for line in Path("/proc/self/maps").read_text().splitlines()
             if line.count(" ") >= 5 and "/" in line]
    forbidden = sorted({path for path in paths if Path(path).name.startswith(tuple(prefixes))})
    assert not forbidden, f"mapped in the test process: {forbidden}"


@pytest.fixture(scope="session")
def sim(tmp_path_factory: pytest.TempPathFactory) -> Iterator[Dict[str, int]]:
    """A running corvo-sim: {"api": port, "stream": port}."""
    executable = os.environ.get("CORVO_SIM")
    if not executable:
        pytest.fail("set CORVO_SIM to the corvo-sim executable")
    ports_file = tmp_path_factory.mktemp("sim") / "ports.txt"
    process = subprocess.Popen(
        [executable, "--ports-file", str(ports_file), "--instruments", "30", "--rate", "300",
         "--top20-interval-ms", "100", "--quiet"],
        stdin=subprocess.DEVNULL)
    try:
        ports = eventually(lambda: process.poll() is None and _read_ports(ports_file),
                           what="corvo-sim listening")
        yield ports
    finally:
        process.send_signal(signal.SIGTERM)
        try:
            process.wait(timeout=15)
        except subprocess.TimeoutExpired:
            process.kill()
            raise


def run_python(code: str, **changes: Optional[str]) -> subprocess.CompletedProcess:
    """Runs code in a fresh interpreter (the library is loaded once per process), with the
    environment changed as given (None removes a variable)."""
    environment = dict(os.environ)
    for name, value in changes.items():
        if value is None:
            environment.pop(name, None)
        else:
            environment[name] = value
    return subprocess.run([sys.executable, "-c", code], capture_output=True, text=True,
                          timeout=60, env=environment)
