"""Reading refresh results whose payloads are not all JSON: every member comes back whole."""
from typing import Any, Dict

import pytest
from corvo.records import parse_records


@pytest.mark.parametrize("raw, expected", [
    (b"{}", {}),
    (b'{"AAA_Corvo":{"p":1.5},"AAB_Corvo":[2,"x"]}', {"AAA_Corvo": {"p": 1.5},
                                                      "AAB_Corvo": [2, "x"]}),
    (b'{"AAA_Corvo":not json,"AAB_Corvo":{"p":2}}', {"AAA_Corvo": "not json",
                                                     "AAB_Corvo": {"p": 2}}),
    (b'{"AAA_Corvo":{"p":2},"AAB_Corvo":\xff\xfe\x01}', {"AAA_Corvo": {"p": 2},
                                                         "AAB_Corvo": b"\xff\xfe\x01"}),
    (b'{"AAA_Corvo":{"p":"\xe9"},"AAB_Corvo":1}', {"AAA_Corvo": b'{"p":"\xe9"}',
                                                   "AAB_Corvo": 1}),
    # Commas and quotes inside a payload that is not JSON, and inside one that is.
    (b'{"AAA_Corvo":a,"b":c,"AAB_Corvo":{"q":"x,\\"AAC_Corvo\\":"},"AAC_Corvo":"d}',
     {"AAA_Corvo": 'a,"b":c', "AAB_Corvo": {"q": 'x,"AAC_Corvo":'}, "AAC_Corvo": '"d'}),
    (b'{"AAA_Corvo":{"p":1} trailing,"AAB_Corvo":,"AAC_Corvo":3}',
     {"AAA_Corvo": '{"p":1} trailing', "AAB_Corvo": "", "AAC_Corvo": 3}),
    (b'{"AAA_Corvo":[1,"Top":,"Other":x}', {"AAA_Corvo": '[1,"Top":,"Other":x'}),
    (b'{"AAA_Corvo":[1],"Other":x\xff}', {"AAA_Corvo": [1], "Other": b"x\xff"}),
    (b'{"\xffA_Corvo":1,"AAB_Corvo":x}', {b"\xffA_Corvo": 1, "AAB_Corvo": "x"}),
    (b'{"AAA_Corvo":' + b"[" * 100000 + b"}", {"AAA_Corvo": "[" * 100000}),
], ids=lambda value: repr(value)[:60])
def test_every_member_comes_back(raw: bytes, expected: Dict[Any, Any]) -> None:
    assert parse_records(raw) == expected
