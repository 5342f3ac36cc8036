#!/usr/bin/env bash
# Regenerates the known-answer files of this folder from tools outside the project: the openssl
# command line for AES-128-CBC with PKCS#7 padding, and Python's time and bytes for the day key,
# the XOR and the credential block. The tests only read the files; rerun this to change a case.
set -euo pipefail
cd "$(dirname "$0")"

aes_case() {  # key iv plaintext-hex
    local cipher
    cipher=$(printf '%s' "$3" | xxd -r -p | openssl enc -aes-128-cbc -K "$1" -iv "$2" | xxd -p -c 0)
    echo "key=$1 iv=$2 plain=$3 cipher=$cipher"
}
deployment_key=a410028159a24f67523374eaeacb5068
deployment_iv=289cee6ed6180d9541c1e9366469c565
bars_and_zeros=$(/usr/bin/python3 -c 'print((b"ab|\x00cd||\x00\x00" * 100).hex())')
{
    echo "# AES-128-CBC, PKCS#7 padding: openssl enc -aes-128-cbc -K key -iv iv (generate.sh)"
    for plain in "" "$(printf '%s' 'abcdefghijklmno' | xxd -p)" \
        "$(printf '%s' 'abcdefghijklmnop' | xxd -p)" "$(printf '%s' 'abcdefghijklmnopq' | xxd -p)" \
        "$bars_and_zeros"; do
        aes_case "$deployment_key" "$deployment_iv" "$plain"
    done
    aes_case 000102030405060708090a0b0c0d0e0f 0f0e0d0c0b0a09080706050403020100 \
        "$(printf '%s' 'user|secret|PTT' | xxd -p)"
} > aes_128_cbc.txt

/usr/bin/python3 - <<'PY'
import calendar, os, time

def xor(data, key):
    return bytes(b ^ key[i % len(key)] for i, b in enumerate(data))

with open("xor.txt", "w") as out:
    out.write("# data XOR key repeated over its length: Python bytes (generate.sh)\n")
    for data, key in [(b"", b"2019"), (b"ABCDE", b"1234"), (b"1", b"1"), (b"LMNO", b"0000"),
                      (b"\x00\xff|\x7f\x80abc\x00", b"1653")]:
        out.write(f"data={data.hex()} key={key.hex()} out={xor(data, key).hex()}\n")

with open("credential_block.txt", "w") as out:
    out.write("# user XOR day, '|', secret XOR day: Python bytes (generate.sh)\n")
    for user, secret, day in [(b"user-key-0042", b"corvoclient", "1930"),
                              (b"demo-key", b"corvoclient", "2019"),
                              (b"1E9x\x00", b"secretvalue", "1930"), (b"", b"corvoclient", "1653")]:
        block = xor(user, day.encode()) + b"|" + xor(secret, day.encode())
        out.write(f"user={user.hex()} secret={secret.hex()} day={day} block={block.hex()}\n")

with open("day_key.txt", "w") as out:
    out.write("# Y - M * d of the local date at time + offset: Python time.localtime under TZ"
              " (generate.sh)\n")
    for tz, utc, offset in [("UTC", "2026-12-08 12:00", 0), ("UTC", "2026-01-01 00:00", 0),
                            ("UTC", "2025-12-31 23:59", 0), ("UTC", "2027-03-04 09:00", 0),
                            ("UTC", "2027-02-06 09:00", 0), ("UTC", "2026-06-30 23:50", 0),
                            ("UTC", "2026-06-30 23:50", 900), ("UTC", "2026-06-30 23:40", 900),
                            ("UTC", "2026-03-01 00:10", -900), ("UTC-10", "2026-06-30 20:00", 0),
                            ("EST5EDT,M3.2.0,M11.1.0", "2026-07-15 04:30", 0),
                            ("EST5EDT,M3.2.0,M11.1.0", "2026-01-15 04:30", 0)]:
        os.environ["TZ"] = tz
        time.tzset()
        now = calendar.timegm(time.strptime(utc, "%Y-%m-%d %H:%M"))
        local = time.localtime(now + offset)
        key = local.tm_year - local.tm_mon * local.tm_mday
        out.write(f"tz={tz} time={now} offset={offset} key={key}  # {utc} UTC\n")
PY
