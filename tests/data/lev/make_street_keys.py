#!/usr/bin/env python3
"""Writes street_keys.fst and street_keys.tsv, a street-key dictionary for the
fuzzy prefix search tests.

Keys have the street-key form: street text, byte 0x1F, commune code; a few
keys lack the separator, which the search must skip. Besides hand-picked
keys around "hauptstr" there are pseudo-random keys from a fixed linear
congruential generator, so the output is the same on every run.

The .tsv lists the map's entries in key order, one a line: the key as
lower-case hex bytes, a tab, the value in decimal.

Usage: python3 make_street_keys.py [OUTPUT_DIR]   (needs ducer==1.2.0)
"""
import os
import sys

import ducer

SEP = b"\x1f"

HAND_PICKED = [
    "hauptstr", "hauptstrasse", "hauptstraße", "haupstrasse", "hauptst",
    "hautpstrasse", "hauptweg", "hauptplatz", "hauptstadtring", "haupt",
    "haubtstr", "auptstr", "xhauptstr", "hauptsr", "hauptstrasse nord",
    "bahnhofstr", "bahnhofstrasse", "am markt", "marktplatz", "kirchweg",
    "rue de la paix", "rue de rivoli", "grande rue", "avenue des champs elysees",
    "улица ленина", "ulica lenina", "über der mühle", "ü", "h", "ha",
]
COMMUNES = ["2a004", "69123", "75056", "10115", "80331"]
NO_SEPARATOR = [b"hauptstr", b"hauptstr 1", b"orphan key", b"zz"]

SYLLABLES = ["ha", "up", "st", "ra", "ss", "e", "ba", "hn", "ho", "f", "we", "g",
             "ma", "rk", "t", "ki", "rc", "h", "li", "nd", "en", "a", "u", "ü",
             "ß", "é", " "]


def lcg(seed):
    state = seed
    while True:
        state = (state * 6364136223846793005 + 1442695040888963407) % (1 << 64)
        yield state >> 33


def random_streets(count):
    rng = lcg(20240611)
    out = []
    for _ in range(count):
        n = 1 + next(rng) % 6
        text = "".join(SYLLABLES[next(rng) % len(SYLLABLES)] for _ in range(n)).strip()
        if text:
            out.append(text)
    return out


def keys():
    out = set()
    for street in HAND_PICKED:
        for code in COMMUNES[:3]:
            out.add(street.encode() + SEP + code.encode())
    rng = lcg(7)
    for street in random_streets(3000):
        code = COMMUNES[next(rng) % len(COMMUNES)]
        out.add(street.encode() + SEP + code.encode())
    out.update(NO_SEPARATOR)
    out.add(b"hauptstr" + SEP + b"1" + SEP + b"2")  # only the first 0x1F splits
    return sorted(out)


def main():
    out_dir = sys.argv[1] if len(sys.argv) > 1 else os.path.dirname(os.path.abspath(__file__))
    entries = [(key, value) for value, key in enumerate(keys())]
    data = bytes(ducer.Map.build(":memory:", entries))
    with open(os.path.join(out_dir, "street_keys.fst"), "wb") as f:
        f.write(data)
    with open(os.path.join(out_dir, "street_keys.tsv"), "w") as f:
        for key, value in entries:
            f.write(f"{key.hex()}\t{value}\n")


if __name__ == "__main__":
    main()
