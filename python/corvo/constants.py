"""The C interface's numbered values (corvo.h), as enumerations."""
from enum import IntEnum


class Result(IntEnum):
    """What every corvo_ function returns; new codes may appear in later versions."""

    OK = 0
    NOT_RUNNING = 1
    BAD_ARGUMENT = 2
    BUFFER_TOO_SMALL = 3
    EXCHANGE_FAILED = 4
    NOTHING_PENDING = 5
    TORN_DOWN = 6
    START_FAILED = 7
    REFUSED = 8
    NOT_FOUND = 9
    NO_MEMORY = 10
    INTERNAL = 11
    ALREADY_RUNNING = 12
    BUSY = 13


class Query(IntEnum):
    """The query services of corvo_query."""

    FUNDAMENTAL = 1
    FUNDAMENTAL_ALL_LAST_YEAR = 2
    IAA = 3
    IAA_ALL_SYMBOLS = 4
    KEY_MARKET_STATISTICS = 5
    VOLUME = 6


class Files(IntEnum):
    """The kinds of corvo_export_files, each written to a sub-directory of its own."""

    FUNDAMENTAL = 1
    IAA = 2
    VOLUME = 3


# A refresh result never exceeds this many bytes, terminating zero included.
REFRESH_CAPACITY = 10001
