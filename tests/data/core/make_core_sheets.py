#!/usr/bin/env python3
"""Writes the sheets of the matching-core tests (tests/cpp/query/core_*).

fr.idx      a French sheet: street spellings, communes by name and prefix,
            postcodes, suffixes, rules of kinds 5 and 16, misspellable and
            reorderable streets; fr_admin.bin, one region around Velmont
ml.idx      fr.idx with a token-labelling model
de.idx      a German version-7 sheet: one street name in 35 villages for
            the postcode-and-house rescue, kind-20 street-type words
many.idx    one street name in 410 communes (the 300, 50 and 400 caps) and
            two communes with 9 and 8 streets sharing a word
faults.idx  street-key values past the street table and a commune-name
            entry naming a commune past the table

Dictionary keys must be the engine's own: run with VORLANE_TESTHOOKS naming
libvorlane_testhooks.so of a build (tests/python/test_core_fixtures.py
regenerates the files that way and compares bytes).

Usage: python3 make_core_sheets.py [OUTPUT_DIR]
"""
import os
import sys
from pathlib import Path

HERE = Path(__file__).resolve().parent
sys.path.insert(0, str(HERE.parents[1] / "support"))

import sheetwriter as sw  # noqa: E402
from sheetwriter import Commune, House, Street, Sheet  # noqa: E402

# Token-labelling model: every token is dropped (label 4) unless its "w="
# feature carries a label of its own.
PARSER_BUCKETS = 1024
PARSER_LABELS = 5
PARSER_WORDS = {"lilas": 0, "velmont": 1, "7b": 2, "99999999999b": 2}


def parser_model():
    weights = [[0.0] * PARSER_BUCKETS for _ in range(PARSER_LABELS)]
    used = set()
    for word, label in PARSER_WORDS.items():
        bucket = sw.feature_bucket("w=" + word, PARSER_BUCKETS)
        assert bucket not in used, f"bucket collision for {word!r}"
        used.add(bucket)
        weights[label][bucket] = 10.0
    biases = [0.0, 0.0, 0.0, 0.0, 1.0]
    return sw.ParserModel(biases, weights)


def fr_sheet(parser=None):
    communes = [
        Commune("Velmont", "10001", weight=5000, lat=48.0, lon=2.0),
        Commune("Orsange", "10002", weight=300, lat=48.1, lon=2.1),
        Commune("Verbois", "10003", weight=100, lat=49.0, lon=2.0),
        Commune("Химки", "50001", weight=800, lat=55.89, lon=37.44),
    ]
    one = [House(1)]
    streets = [
        Street("Rue de la Paix", "10001", postcode=75002,
               houses=[House(1), House(2), House(5), House(12), House(12, "bis")]),  # 0
        Street("Rue de la Paix", "10002", postcode=75011, houses=[House(3)]),  # 1
        Street("Rue de la Paix", "10003", postcode=92100, houses=[House(4)]),  # 2
        Street("Rue 17", "10001", postcode=75003, houses=one),  # 3
        Street("Champs Elisees", "10001", postcode=75008, houses=one),  # 4
        Street("Ulica Puskina", "10001", houses=one),  # 5
        Street("улица Ленина", "50001", postcode=141400, houses=[House(10)]),  # 6
        Street("Rue de Lattre", "10002", houses=one),  # 7
        Street("Boulevard Saint-Jean", "10001", houses=one),  # 8
        Street("Allée de l'Orme", "10001", houses=one),  # 9
        Street("Rue Victor Hugo", "10001", houses=one),  # 10
        Street("Pont", "10001", houses=one),  # 11
        Street("Rue du Parc", "10001", houses=one),  # 12
        Street("Rue des Arcs", "10001", houses=one),  # 13
        Street("Sentier Lilas", "10001", houses=[House(7, "b"), House(9)]),  # 14
    ]
    return Sheet(communes, streets, suffixes=["a", "b", "bc", "bis"],
                 rules=[(16, "sentier"), (5, "линия")], parser_model=parser)


DE_VILLAGES = 35


def de_sheet():
    communes = [Commune("Berlin", "11000", weight=900, lat=52.52, lon=13.405)]
    streets = []
    for i in range(1, DE_VILLAGES + 1):
        last = i == DE_VILLAGES
        # The last village lies at the default centre but weighs least.
        lat, lon = (52.52, 13.405) if last else (50.0 + 0.1 * i, 8.0)
        communes.append(Commune(f"Dorf {i:02d}", f"D{i:02d}", weight=1 if last else 100 - i,
                                lat=lat, lon=lon))
        numbers = [5, 7, 9] if last else [5, 7]
        streets.append(Street("Hauptstrasse", i, postcode=10115, lat=lat, lon=lon,
                              houses=[House(n, lat=lat, lon=lon) for n in numbers]))
    return Sheet(communes, streets, version=7, meta=(("country", "de"), ("layer", "addresses")),
                 rules=[(20, "str"), (20, "strasse"), (20, "straße")])


MANY_COMMUNES = 410
MIRABEL = ["Nord", "Sud", "Est", "Ouest", "Haut", "Bas", "Vieux", "Neuf", "Centre"]


def many_sheet():
    communes = [Commune(f"Ort {i:03d}", f"M{i:03d}", lat=45.0, lon=3.0)
                for i in range(MANY_COMMUNES)]
    streets = [Street("Grande Rue", i, houses=[House(1)]) for i in range(MANY_COMMUNES)]
    amont, aval = len(communes), len(communes) + 1
    communes += [Commune("Amont", "AMONT", lat=45.0, lon=3.0),
                 Commune("Aval", "AVAL", lat=45.0, lon=3.0)]
    streets += [Street(f"Mirabel {s}", amont, houses=[House(1)]) for s in MIRABEL]
    streets += [Street(f"Mirabel {s}", aval, houses=[House(1)]) for s in MIRABEL[:-1]]
    return Sheet(communes, streets)


# A street-key value that narrowed to 32 bits would be street 0.
PHANTOM_STREET = 1 << 32
PHANTOM_COMMUNE = 9999


def faults_layout():
    communes = [Commune("Velmont", "", weight=10, lat=48.0, lon=2.0),
                Commune("Ghostly", "G1", weight=5, lat=48.5, lon=2.5)]
    streets = [Street("Rue X", 0, houses=[House(1)]), Street("Rue Y", 1, houses=[House(1)])]
    layout = Sheet(communes, streets).layout()
    keys = dict(layout.info.street_keys)
    for text in ("rue fantome", "rue y"):
        for code in (b"", b"G1"):
            keys.setdefault(text.encode() + sw.STREET_KEY_SEPARATOR + code, PHANTOM_STREET)
    layout.replace_section(sw.SEC_STREET_KEY_FST, sw.build_fst(keys.items()))
    # "ghost" names one commune past the table; its postings run follows the
    # stored ones.
    entries, first = {}, 0
    for key in sorted(layout.info.commune_keys):
        ids = layout.info.commune_keys[key]
        entries[key] = (first << 16) | len(ids)
        first += len(ids)
    entries[b"ghost"] = (first << 16) | 1
    postings = layout.section(sw.SEC_COMMUNE_POSTINGS) + sw.u32(PHANTOM_COMMUNE)
    layout.replace_section(sw.SEC_COMMUNE_POSTINGS, postings)
    layout.replace_section(sw.SEC_COMMUNE_NAME_FST, sw.build_fst(entries.items()))
    return layout


def write_all(out_dir):
    out_dir = Path(out_dir)
    fr_sheet().write(out_dir / "fr.idx", admin=[sw.box_region("Val", 47.9, 1.9, 48.05, 2.05)])
    fr_sheet(parser_model()).write(out_dir / "ml.idx")
    de_sheet().write(out_dir / "de.idx")
    many_sheet().write(out_dir / "many.idx")
    faults_layout().write(out_dir / "faults.idx")


def main():
    if not os.environ.get(sw.TESTHOOKS_ENV):
        sys.exit(f"{sw.TESTHOOKS_ENV} must name libvorlane_testhooks.so: the sheets need the "
                 "engine's own dictionary keys")
    sw.set_key_function(sw.engine_key_function())
    sw.set_phonetic_function(sw.engine_phonetic_function())
    write_all(sys.argv[1] if len(sys.argv) > 1 else HERE)


if __name__ == "__main__":
    main()
