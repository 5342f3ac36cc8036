"""Reads what the stream delivers without losing any of it.

The stream's payloads are arbitrary bytes, and the library passes them on as they came: a
refresh result is "{" + '"topic":payload' + "," + ... + "}", valid JSON only while every payload
is. A payload comes back as parsed JSON when it is JSON, else as its text when it is UTF-8,
else as its bytes.
"""
import json
import re
from typing import Any, Dict, Iterator, Tuple, Union

Key = Union[str, bytes]

_decoder = json.JSONDecoder()
# A JSON payload ends by itself, so any member may follow it.
_ANY_MEMBER = re.compile(r',"[^"]*":')
# A payload that is not JSON ends only where a member of an instrument topic begins: the stream
# files instruments under topics holding "_Corvo", and a comma or quote inside the payload must
# not split it.
_INSTRUMENT_MEMBER = re.compile(r',"[^"]*_Corvo[^"]*":')


def payload(raw: bytes) -> Any:
    """A payload as parsed JSON, else as text (str), else as bytes."""
    try:
        text = raw.decode("utf-8")
    except UnicodeDecodeError:
        return raw
    try:
        return json.loads(text)
    except (ValueError, RecursionError):
        return text


def parse_records(raw: bytes) -> Dict[Key, Any]:
    """A refresh result or a symbol record as {topic: payload}, payloads read by payload().

    When the whole result is not JSON, it is split into its members: a JSON payload ends where
    its value ends, any other where the next ',"..._Corvo":' begins (else at the end). So a
    payload that is not JSON keeps every byte, though a member of a topic without "_Corvo"
    after it stays part of its text. A topic that is not UTF-8 is a bytes key.
    """
    try:
        parsed = json.loads(raw.decode("utf-8"))
    except (ValueError, RecursionError):
        parsed = None
    if isinstance(parsed, dict):
        return parsed
    return dict(_members(raw))


def _members(raw: bytes) -> Iterator[Tuple[Key, Any]]:
    # Undecodable bytes become lone surrogates, so positions in the text map back to the bytes.
    body = raw[1:-1] if raw.startswith(b"{") and raw.endswith(b"}") else raw
    text = body.decode("utf-8", "surrogateescape")
    start = 0
    while start < len(text):
        opened = start + 1 if text.startswith('"', start) else start
        colon = text.find('":', opened)
        colon = len(text) if colon < 0 else colon
        value_at = min(colon + 2, len(text))
        end = _payload_end(text, value_at)
        yield _key(_bytes(text[opened:colon])), payload(_bytes(text[value_at:end]))
        start = end + 1  # past the comma


def _payload_end(text: str, at: int) -> int:
    try:
        end = _decoder.raw_decode(text, at)[1]
    except (ValueError, RecursionError):
        end = -1
    if end == len(text) or (end >= 0 and _ANY_MEMBER.match(text, end)):
        return end
    following = _INSTRUMENT_MEMBER.search(text, at)
    return following.start() if following else len(text)


def _bytes(text: str) -> bytes:
    return text.encode("utf-8", "surrogateescape")


def _key(raw: bytes) -> Key:
    try:
        return raw.decode("utf-8")
    except UnicodeDecodeError:
        return raw
