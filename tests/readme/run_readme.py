"""Runs the README's blocks in order, as written, from the repository root, so the README
cannot drift from the code.

    run_readme.py [--readme README.md] [--include DIR ...] [--shared]

sh blocks run through bash with `set -euo pipefail`, and the environment each one leaves
(what it exported, the directory it is in) is the next block's, as in a reader's terminal.
python blocks run with the venv a block activated (VIRTUAL_ENV), else /usr/bin/python3. c
blocks are compiled, not run (the include directories come from --include). A background
block (a server) runs until the end and is ready once every port it names (--...-port N)
accepts a connection. The first failure stops the run and prints the block and its output.

Unless --shared is given, and where the machine allows it, the run has a private loopback
network and /tmp (private_namespace.py).
"""
import argparse
import os
import re
import signal
import socket
import subprocess
import sys
import tempfile
import time
from pathlib import Path
from typing import Dict, List, Optional

from private_namespace import available, enter, inside, prepare
from readme_blocks import Block, ReadmeError, read_blocks

BLOCK_SECONDS = 120
READY_SECONDS = 15
STOP_SECONDS = 5
SYSTEM_PYTHON = "/usr/bin/python3"
# What the reader's shell would not have: settings the README must make itself.
INHERITED_NOT = re.compile(r"^(CORVO_.*|VIRTUAL_ENV|PYTHONPATH|PYTHONHOME|LD_LIBRARY_PATH)$")
PORT_OPTION = re.compile(r"--[a-z-]*port[ =](\d+)")


class BlockFailed(Exception):
    def __init__(self, block: Block, why: str, output: str) -> None:
        self.block = block
        super().__init__(f"{block.where()}: the {block.language} block {why}\n"
                         f"--- the block\n{block.text}--- its output\n{output}")


class Background:
    """A block left running, in a process group of its own so that all of it stops."""

    def __init__(self, block: Block, env: Dict[str, str], work: Path) -> None:
        self.block = block
        self.log = work / f"background-{block.line}.log"
        with open(self.log, "wb") as log:
            self.process = subprocess.Popen(
                ["bash", "-c", "set -euo pipefail\n" + block.text], env=env, cwd=env["PWD"],
                stdin=subprocess.DEVNULL, stdout=log, stderr=subprocess.STDOUT,
                start_new_session=True)

    def output(self) -> str:
        return self.log.read_text(errors="replace")

    def wait_ready(self) -> None:
        ports = [int(port) for port in PORT_OPTION.findall(self.block.text)]
        if not ports:
            raise BlockFailed(self.block, "names no port to wait for", "")
        deadline = time.monotonic() + READY_SECONDS
        while not all(map(_accepts, ports)):
            if self.process.poll() is not None:
                raise BlockFailed(self.block, f"ended with {self.process.returncode}",
                                  self.output())
            if time.monotonic() > deadline:
                raise BlockFailed(self.block, f"left {ports} closed for {READY_SECONDS} s",
                                  self.output())
            time.sleep(0.05)

    def stop(self) -> None:
        for sig, seconds in ((signal.SIGTERM, STOP_SECONDS), (signal.SIGKILL, None)):
            try:
                os.killpg(self.process.pid, sig)
                self.process.wait(seconds)
                return
            except ProcessLookupError:
                return
            except subprocess.TimeoutExpired:
                continue


def _accepts(port: int) -> bool:
    try:
        socket.create_connection(("127.0.0.1", port), timeout=1).close()
        return True
    except OSError:
        return False


def _run(block: Block, command: List[str], env: Dict[str, str], work: Path,
         stdin: Optional[str] = None, keep_fds: tuple = ()) -> None:
    """Runs one block to its end; whatever it left running is stopped with it."""
    log_path = work / f"block-{block.line}.log"
    with open(log_path, "wb") as log:
        process = subprocess.Popen(
            command, env=env, cwd=env["PWD"], stdout=log, stderr=subprocess.STDOUT,
            stdin=subprocess.DEVNULL if stdin is None else subprocess.PIPE,
            pass_fds=keep_fds, start_new_session=True)
        try:
            process.communicate(None if stdin is None else stdin.encode(),
                                timeout=BLOCK_SECONDS)
            why = f"ended with {process.returncode}" if process.returncode else ""
        except subprocess.TimeoutExpired:
            why = f"ran past {BLOCK_SECONDS} s"
        finally:
            try:
                os.killpg(process.pid, signal.SIGKILL)
            except ProcessLookupError:
                pass
            process.wait()
    output = log_path.read_text(errors="replace")
    if why:
        raise BlockFailed(block, why, output)
    sys.stdout.write(output)


def run_sh(block: Block, env: Dict[str, str], work: Path) -> Dict[str, str]:
    """Runs a sh block; answers the environment it leaves for the next."""
    env_path = work / f"block-{block.line}.env"
    with open(env_path, "wb") as env_file:
        script = f"set -euo pipefail\n{block.text}env -0 >&{env_file.fileno()}\n"
        _run(block, ["bash", "-c", script], env, work, keep_fds=(env_file.fileno(),))
    entries = env_path.read_bytes().decode(errors="surrogateescape").split("\0")
    left = dict(entry.split("=", 1) for entry in entries if "=" in entry)
    return left or env


def run_python(block: Block, env: Dict[str, str], work: Path) -> None:
    venv = env.get("VIRTUAL_ENV")
    python = str(Path(venv) / "bin" / "python") if venv else SYSTEM_PYTHON
    script = work / f"README-line-{block.line}.py"
    script.write_text(block.text)
    _run(block, [python, str(script)], env, work)


def check_c(block: Block, env: Dict[str, str], work: Path, includes: List[str]) -> None:
    flags = ["-std=c90", "-Wall", "-Wextra", "-Werror", "-fsyntax-only", "-x", "c", "-"]
    _run(block, ["cc"] + [f"-I{directory}" for directory in includes] + flags, env, work,
         stdin=block.text)


def run_all(blocks: List[Block], env: Dict[str, str], work: Path, includes: List[str]) -> int:
    """Runs every block not marked skip; answers how many ran."""
    backgrounds: List[Background] = []
    ran = 0
    try:
        for block in blocks:
            started = time.monotonic()
            if block.mark == "skip":
                print(f"== {block.where()} {block.language}: skipped", flush=True)
                continue
            print(f"== {block.where()} {block.language}", flush=True)
            if block.mark == "background":
                backgrounds.append(Background(block, env, work))
                backgrounds[-1].wait_ready()
            elif block.language == "sh":
                env = run_sh(block, env, work)
            elif block.language == "python":
                run_python(block, env, work)
            else:
                check_c(block, env, work, includes)
            ran += 1
            print(f"== {block.where()} passed in {time.monotonic() - started:.1f} s", flush=True)
    except BlockFailed as failure:
        for background in (b for b in backgrounds if b.block is not failure.block):
            print(f"--- the output of the background block at {background.block.where()}\n"
                  f"{background.output()}", file=sys.stderr)
        raise
    finally:
        for background in backgrounds:
            background.stop()
    return ran


def main() -> int:
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--readme", default="README.md")
    parser.add_argument("--include", action="append", default=[])
    parser.add_argument("--shared", action="store_true",
                        help="run in this machine's network and /tmp")
    args = parser.parse_args()
    try:
        # Read before /tmp is replaced, which may hold the README given.
        blocks = read_blocks(Path(args.readme).read_text(), args.readme)
    except (OSError, ReadmeError) as failure:
        print(f"run_readme: {failure}", file=sys.stderr)
        return 1
    if inside():
        prepare()
    elif not args.shared:
        if available():
            enter(sys.argv)
        print("run_readme: no private namespaces here; running in the shared network and /tmp",
              flush=True)
    # A termination (a test time-out) still stops the background servers.
    signal.signal(signal.SIGTERM, lambda *_: sys.exit(128 + signal.SIGTERM))
    env = {name: value for name, value in os.environ.items() if not INHERITED_NOT.match(name)}
    env["PWD"] = os.getcwd()
    try:
        with tempfile.TemporaryDirectory(prefix="run-readme-") as work:
            ran = run_all(blocks, env, Path(work), args.include)
    except BlockFailed as failure:
        print(f"run_readme: {failure}", file=sys.stderr)
        return 1
    if ran == 0:
        print("run_readme: the README has no block to run", file=sys.stderr)
        return 1
    print(f"run_readme: {ran} blocks of {args.readme} ran as written")
    return 0


if __name__ == "__main__":
    sys.exit(main())
