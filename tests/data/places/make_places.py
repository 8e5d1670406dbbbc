#!/usr/bin/env python3
"""Writes the commune fixture of the place and commune lookup tests.

communes.fst   the commune-name dictionary: canonical name -> postings run
               (start << 16) | count, in u32 entries of commune_postings
communes.tsv   the same map's entries in key order, one a line: the key as
               lower-case hex bytes, a tab, the value in decimal
sheet.tsv      the commune table and the postings the test sheet is built
               from: "commune<TAB>name<TAB>weight<TAB>lat<TAB>lon" per
               commune id, in id order, then one "postings<TAB>id id ..."
               line

Every commune is filed under its own name; a few extra keys carry faulty
runs (past the end of the postings, or naming an id past the table).

Usage: python3 make_places.py [OUTPUT_DIR]   (needs ducer==1.2.0)
"""
import os
import sys

import ducer

# (name, weight, lat, lon); the id is the position. (0, 0) = no coordinates.
COMMUNES = [
    ("s gravenhage", 50, 52.08, 4.31),
    ("les mureaux", 5, 48.99, 1.91),
    ("l hay les roses", 3, 48.78, 2.34),
    ("la garde", 4, 43.12, 6.01),
    ("le garde", 2, 45.0, 1.0),
    ("солнечный", 2, 55.0, 37.0),
    ("brive", 5, 45.15, 1.53),
    ("brive", 3, 46.05, 1.53),             # 100 km north of the heavier one
    ("auray", 4, 47.67, -2.98),
    ("auray", 0, 47.76, -2.98),            # 10 km north, weight 0
    ("paris 1er arrondissement", 10, 48.86, 2.34),
    ("paris 2e arrondissement", 20, 48.87, 2.34),
    ("paris 15e arrondissement", 30, 48.84, 2.30),
    ("paris plage", 1, 50.52, 1.59),       # 200 km away
    ("moskva", 100, 55.75, 37.62),
    ("shchukino", 7, 55.80, 37.47),
    ("сочи", 9, 43.60, 39.73),
    ("санкт петербург", 80, 59.94, 30.31),
    ("borgo", 2, 44.0, 11.0),
    ("via", 1, 44.1, 11.1),
    ("via roma", 1, 44.2, 11.2),
    ("nowhere", 5, 0.0, 0.0),
    ("nowhere east", 3, 10.0, 10.0),
    ("null island", 1, 0.0000001, 0.0),
    ("null island", 1, -0.0000001, 0.0),
    ("ghost town", 0, 30.0, 30.0),
]
COMMUNES += [("zzz a", 1, 1.0, 1.0)] * 30 + [("zzz b", 1, 1.0, 1.0)] * 20
COMMUNES += [("l 2 rivieres", 1, 46.0, 4.0)]  # never reached from "l2 rivieres"

# Keys with faulty runs, by the ids they list (appended to the postings) or
# by a run that does not fit.
EXTRA_IDS = {"ghost town": [9999]}          # an id past the commune table
PAST_END = ["broken run", "broken tail"]    # runs reaching past the postings


def main():
    out_dir = sys.argv[1] if len(sys.argv) > 1 else os.path.dirname(os.path.abspath(__file__))
    ids_by_key = {}
    for cid, (name, _, _, _) in enumerate(COMMUNES):
        ids_by_key.setdefault(name.encode(), []).append(cid)
    for name, ids in EXTRA_IDS.items():
        ids_by_key[name.encode()] += ids

    postings = []
    entries = {}
    for key in sorted(ids_by_key):
        ids = ids_by_key[key]
        entries[key] = (len(postings) << 16) | len(ids)
        postings += ids
    entries[PAST_END[0].encode()] = ((len(postings) + 10) << 16) | 3
    entries[PAST_END[1].encode()] = ((len(postings) - 1) << 16) | 2

    items = sorted(entries.items())
    data = bytes(ducer.Map.build(":memory:", items))
    with open(os.path.join(out_dir, "communes.fst"), "wb") as f:
        f.write(data)
    with open(os.path.join(out_dir, "communes.tsv"), "w") as f:
        for key, value in items:
            f.write(f"{key.hex()}\t{value}\n")
    with open(os.path.join(out_dir, "sheet.tsv"), "w", encoding="utf-8") as f:
        for name, weight, lat, lon in COMMUNES:
            f.write(f"commune\t{name}\t{weight}\t{lat!r}\t{lon!r}\n")
        f.write("postings\t" + " ".join(str(i) for i in postings) + "\n")


if __name__ == "__main__":
    main()
