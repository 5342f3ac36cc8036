"""A private loopback network and /tmp for the README's commands.

The README pins its ports (8080, 8081) and writes below /tmp, as a reader would. Run as they
stand on a shared machine, they would meet another build's run of the same README or a server
the user keeps on 8080. In a user namespace of its own, with a network and mounts of its own,
every run gets a fresh loopback interface and an empty /tmp, and nothing it starts can be
reached from outside.
"""
import fcntl
import os
import socket
import struct
import subprocess
import sys
from typing import List

_INSIDE = "CORVO_README_PRIVATE"
_UNSHARE = ["unshare", "--user", "--map-root-user", "--net", "--mount"]

# From <linux/sockios.h> and <net/if.h>: the interface flags, read and written by name.
_SIOCGIFFLAGS = 0x8913
_SIOCSIFFLAGS = 0x8914
_IFF_UP = 0x1
_IFREQ = "16sh22x"


def inside() -> bool:
    return os.environ.get(_INSIDE) == "1"


def available() -> bool:
    """True when this machine lets an unprivileged process make the namespaces."""
    try:
        probe = subprocess.run(_UNSHARE + ["true"], stdout=subprocess.DEVNULL,
                               stderr=subprocess.DEVNULL, timeout=10)
    except (OSError, subprocess.TimeoutExpired):
        return False
    return probe.returncode == 0


def enter(argv: List[str]) -> None:
    """Runs this program again inside fresh namespaces, in place of this process."""
    os.environ[_INSIDE] = "1"
    os.execvp(_UNSHARE[0], _UNSHARE + ["--", sys.executable, "-B"] + argv)


def prepare() -> None:
    """Mounts an empty /tmp and brings the new network's loopback interface up (it starts
    down, and 127.0.0.1 answers nothing until it is up)."""
    subprocess.run(["mount", "-t", "tmpfs", "corvo-readme", "/tmp"], check=True)
    with socket.socket(socket.AF_INET, socket.SOCK_DGRAM) as control:
        request = struct.pack(_IFREQ, b"lo", 0)
        _, flags = struct.unpack(_IFREQ, fcntl.ioctl(control, _SIOCGIFFLAGS, request))
        fcntl.ioctl(control, _SIOCSIFFLAGS, struct.pack(_IFREQ, b"lo", flags | _IFF_UP))
