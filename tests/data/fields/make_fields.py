#!/usr/bin/env python3
"""Writes the dictionaries of the structured-field stage tests.

communes.fst     commune-name dictionary: canonical name -> postings run
                 (start << 16) | count; commune i sits at postings entry i
street_keys.fst  street-key dictionary: street key, 0x1F, commune code
                 ("C" + commune id, as the in-memory test sheets write it)
                 -> street id

The tests build the commune and street tables to match COMMUNES and
STREETS. One key carries a value past the street table that would wrap
onto a real street if narrowed to 32 bits.

Usage: python3 make_fields.py [OUTPUT_DIR]   (needs ducer==1.2.0)
"""
import os
import sys

import ducer

COMMUNES = ["miraflores", "lima", "san isidro"]
# (street key, commune id) by street id.
STREETS = [
    ("avenida larco", 0),
    ("av general san martin", 0),
    ("calle mayor", 0),
    ("jiron puno", 1),
    ("avenida larco", 2),
]
WRAPPING = [("av larco", 1, (1 << 32) + 3)]  # street 3 once narrowed


def main():
    out_dir = sys.argv[1] if len(sys.argv) > 1 else os.path.dirname(os.path.abspath(__file__))
    communes = sorted((name.encode(), (i << 16) | 1) for i, name in enumerate(COMMUNES))
    streets = [(key, commune, sid) for sid, (key, commune) in enumerate(STREETS)] + WRAPPING
    keys = sorted((f"{key}\x1fC{commune}".encode(), value) for key, commune, value in streets)
    for name, items in (("communes.fst", communes), ("street_keys.fst", keys)):
        with open(os.path.join(out_dir, name), "wb") as f:
            f.write(bytes(ducer.Map.build(":memory:", items)))


if __name__ == "__main__":
    main()
