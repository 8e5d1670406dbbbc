"""Writes the data of the fst lookup benchmark into a directory:

  keys.fst   an fst map (written by ducer) of about a million street-like keys
             ("<words> <number>" or "<words>", byte 0x1F, a 5-digit code)
  keys.tsv   the same entries in key order: key, tab, value (keys hold no tab
             or newline)

Usage: python bench/make_fst_keys.py DIR [COUNT]
"""

import pathlib
import random
import sys

import ducer

SYLLABLES = ["ba", "be", "bo", "ca", "ch", "de", "di", "du", "el", "en", "er", "es", "fa", "ge",
             "la", "le", "li", "lo", "ma", "me", "mo", "na", "ne", "ou", "pa", "pe", "ra", "re",
             "ri", "ro", "sa", "se", "st", "ta", "te", "ti", "tr", "va", "ve", "vi"]
TYPES = ["rue", "avenue", "boulevard", "chemin", "impasse", "place", "allee", "route",
         "strasse", "weg", "gasse", "platz"]


def word(rng):
    return "".join(rng.choice(SYLLABLES) for _ in range(rng.randint(2, 5)))


def street_key(rng):
    parts = [rng.choice(TYPES)] + [word(rng) for _ in range(rng.randint(1, 3))]
    if rng.random() < 0.2:
        parts.append(str(rng.randint(1, 200)))
    return " ".join(parts).encode() + b"\x1f" + b"%05d" % rng.randrange(100000)


def main():
    out = pathlib.Path(sys.argv[1])
    count = int(sys.argv[2]) if len(sys.argv) > 2 else 1_000_000
    out.mkdir(parents=True, exist_ok=True)
    rng = random.Random(20240601)
    keys = set()
    while len(keys) < count:
        keys.add(street_key(rng))
    items = [(k, rng.randrange(2**32)) for k in sorted(keys)]
    # Written under temporary names and renamed, so an interrupted run never
    # leaves a half-written pair that looks complete.
    ducer.Map.build(str(out / "keys.fst.tmp"), items)
    with open(out / "keys.tsv.tmp", "wb") as f:
        for k, v in items:
            f.write(k + b"\t" + str(v).encode() + b"\n")
    (out / "keys.tsv.tmp").replace(out / "keys.tsv")
    (out / "keys.fst.tmp").replace(out / "keys.fst")


if __name__ == "__main__":
    main()
