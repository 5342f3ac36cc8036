"""Marks the wheel as Linux x86-64 only when a build put the shared library in corvo/lib/.

CORVO_WHEEL_PLATFORM, when set, is the platform tag (scripts/package sets the manylinux tag of
the glibc the library needs); otherwise the tag is this machine's.
"""
import os
from pathlib import Path

from setuptools import setup

commands = {}
if any(Path(__file__).parent.joinpath("corvo", "lib").glob("libCorvoStreaming_DLL.so*")):
    from wheel.bdist_wheel import bdist_wheel

    class PlatformWheel(bdist_wheel):
        """Any Python 3 (ctypes needs no ABI), on one platform only."""

        def finalize_options(self) -> None:
            super().finalize_options()
            self.root_is_pure = False

        def get_tag(self):
            return "py3", "none", os.environ.get("CORVO_WHEEL_PLATFORM") or super().get_tag()[2]

    commands["bdist_wheel"] = PlatformWheel

setup(cmdclass=commands)
