"""The README's code blocks in order, each with its language, its mark and its line.

A block is marked by an HTML comment on the line before its fence, invisible when the README
is rendered:
    <!-- readme: skip -->        not run (it builds, installs, or runs the whole suite)
    <!-- readme: background -->  started and left running until the end (a server)
Every other sh, python and c block is checked.
"""
import re
import textwrap
from dataclasses import dataclass
from typing import List, Optional

LANGUAGES = ("sh", "python", "c")
# Other names of a shell block, run like sh.
SHELL_NAMES = ("bash", "shell")
MARKS = ("skip", "background")

_FENCE = re.compile(r"^\s*```\s*(\S*)\s*$")
_MARK = re.compile(r"^\s*<!--\s*readme:\s*(\S+)\s*-->\s*$")


@dataclass
class Block:
    language: str
    mark: Optional[str]
    text: str
    line: int  # of the opening fence, counted from 1
    source: str

    def where(self) -> str:
        return f"{self.source}:{self.line}"


class ReadmeError(Exception):
    """The README breaks the block convention."""


def read_blocks(text: str, source: str) -> List[Block]:
    """The sh, python and c blocks of text, in order; source names the file in messages."""
    blocks: List[Block] = []
    lines = text.splitlines()
    mark: Optional[str] = None
    mark_line = 0
    index = 0
    while index < len(lines):
        line = lines[index]
        marked = _MARK.match(line)
        fence = _FENCE.match(line)
        if marked:
            if marked.group(1) not in MARKS:
                raise ReadmeError(f"{source}:{index + 1}: unknown mark {marked.group(1)!r}; "
                                  f"use one of {', '.join(MARKS)}")
            mark = marked.group(1)
            mark_line = index + 1
        elif fence:
            start = index
            index += 1
            while index < len(lines) and not _FENCE.match(lines[index]):
                index += 1
            if index == len(lines):
                raise ReadmeError(f"{source}:{start + 1}: the block is never closed")
            language = "sh" if fence.group(1) in SHELL_NAMES else fence.group(1)
            if language in LANGUAGES:
                body = textwrap.dedent("\n".join(lines[start + 1:index]) + "\n")
                blocks.append(Block(language, mark, body, start + 1, source))
            elif mark is not None:
                raise ReadmeError(f"{source}:{start + 1}: a {language or 'plain'} block is "
                                  "never run, so it takes no mark")
            mark = None
        elif line.strip() and mark is not None:
            raise ReadmeError(f"{source}:{mark_line}: a mark stands on the line before a fence")
        index += 1
    return blocks
