"""The sheet of the German branch benchmark: version 7, 200,000 streets in
2,000 communes whose names carry umlauts and ß, one postcode for every 20
communes (2,000 streets and more per postcode, one postcode per thousand), postcode-less respellings
of every tenth street, per-house postcodes on every fiftieth, and German
rules of kinds 18 to 22. Written once with the test sheet writer and cached
under $TMPDIR; run as a script it prints the sheet's path.

With --small it prints instead the path of a four-street German sheet
under the same rules, where a junk query's cost is the branch's own search
and not the dictionary's size.

Dictionary keys are formed by a stand-in for the canonical form that holds
for these names (lower case, accents dropped, ß kept, '.' a separator)."""

from __future__ import annotations

import random
import sys
import tempfile
import unicodedata
from pathlib import Path

HERE = Path(__file__).resolve().parent
sys.path.insert(0, str(HERE.parent / "tests" / "support"))

import sheetwriter as sw  # noqa: E402
from make_sheet import cached, respelled  # noqa: E402

STREETS = 200_000
COMMUNES = 2_000
STREETS_PER_COMMUNE = STREETS // COMMUNES
COMMUNES_PER_POSTCODE = 20
HOUSES_PER_STREET = 6

TOWN_HEADS = ["Ober", "Unter", "Neu", "Alt", "Groß", "Klein", "Hohen", "Nieder", "Wester", "Oster"]
TOWN_MIDDLES = ["mühl", "lör", "wald", "stein", "kirch", "brück", "sonn", "eich", "lind", "höh",
                "sül", "weiß", "roß", "tann", "fels", "wies", "bären", "hirsch", "kreuz", "schön"]
TOWN_TAILS = ["dorf", "bach", "feld", "hausen", "heim", "au", "berg", "stedt", "ingen", "rode"]
STREET_BASES = ["Hauptstraße", "Bahnhofstr.", "Schloßallee", "Müllerweg", "Königsplatz",
                "Gartenstraße", "Lindenstr.", "Am Brühl", "Weißdornweg", "Über den Höfen",
                "Goethestraße", "Schillerstr."]
STREET_PREFIXES = ["", "Alte ", "Neue ", "Obere ", "Untere ", "Kleine ", "Große ", "Hintere ",
                   "Äußere "]


def stand_in_key(text: str) -> str:
    decomposed = unicodedata.normalize("NFD", text.lower())
    kept = "".join(c for c in decomposed if not unicodedata.combining(c))
    kept = unicodedata.normalize("NFC", kept)
    for separator in ".,;/()-":
        kept = kept.replace(separator, " ")
    return " ".join(kept.split())


def town(i: int) -> str:
    head, rest = divmod(i, len(TOWN_MIDDLES) * len(TOWN_TAILS))
    middle, tail = divmod(rest, len(TOWN_TAILS))
    name = TOWN_MIDDLES[middle] + TOWN_TAILS[tail]
    return TOWN_HEADS[head % len(TOWN_HEADS)] + name


def postcode_of(commune: int) -> int:
    # One postcode in each thousand, as real postcode areas spread.
    return 1067 + 980 * (commune // COMMUNES_PER_POSTCODE)


def rules() -> list[tuple]:
    out = [(20, w) for w in ("str", "straße", "strasse", "weg", "allee", "platz")]
    out += [(19, "bhf", "bahnhof"), (19, "hptstr", "hauptstraße"), (19, "schl", "schloß")]
    out += [(21, "deutschland"), (21, "germany"), (22, "landkreis"), (22, "kreis")]
    # Short spellings of the first fifty towns: "neu mühldorf" for "Neumühldorf".
    for i in range(50):
        name = town(i)
        for head in TOWN_HEADS:
            if name.startswith(head):
                out.append((18, stand_in_key(head + " " + name[len(head):]), stand_in_key(name)))
                break
    return out


def build(path: Path) -> None:
    rng = random.Random(13)
    communes = [sw.Commune(town(i), f"{i:08d}", weight=rng.randint(1, 100_000),
                           lat=47.5 + rng.random() * 7, lon=6.0 + rng.random() * 9)
                for i in range(COMMUNES)]
    streets = []
    for s in range(STREETS):
        commune, j = divmod(s, STREETS_PER_COMMUNE)
        c = communes[commune]
        lat = c.lat + rng.uniform(-0.02, 0.02)
        lon = c.lon + rng.uniform(-0.02, 0.02)
        postcode = postcode_of(commune)
        blank = j % 10 == 9
        if blank:
            name = respelled(streets[-1].name)
        else:
            name = STREET_PREFIXES[j // len(STREET_BASES) % len(STREET_PREFIXES)] + \
                STREET_BASES[j % len(STREET_BASES)]
        per_house = not blank and j % 50 == 0
        houses = [sw.House(2 * h + 1, lat=lat + h * 1e-5, lon=lon,
                           postcode=f"{postcode + h % 2:05d}" if per_house else None)
                  for h in range(HOUSES_PER_STREET)]
        streets.append(sw.Street(name, commune, houses,
                                 postcode=0 if blank or per_house else postcode, lat=lat, lon=lon))
    with sw.key_function_override(stand_in_key):
        words = {w: ids for w, ids in sw.derive_words(streets).items() if len(ids) <= 16384}
        sw.Sheet(communes, streets, words=words, rules=rules(),
                 meta=[("country", "de"), ("layer", "addresses")]).write(path)


def build_small(path: Path) -> None:
    communes = [sw.Commune(town(i), f"{i:08d}", weight=100 - i, lat=52.0 + i * 0.1, lon=13.0)
                for i in range(2)]
    streets = [sw.Street(name, commune, [sw.House(n, lat=52.0, lon=13.0) for n in (1, 3, 5)],
                         postcode=postcode_of(commune), lat=52.0, lon=13.0)
               for name, commune in (("Hauptstraße", 0), ("Bahnhofstr.", 0), ("Am Brühl", 1),
                                     ("Schloßallee", 1))]
    with sw.key_function_override(stand_in_key):
        sw.Sheet(communes, streets, words=sw.derive_words(streets), rules=rules(),
                 meta=[("country", "de"), ("layer", "addresses")]).write(path)


def bench_de_branch_sheet() -> Path:
    return cached(Path(tempfile.gettempdir()) /
                  f"vorlane-bench-de-branch-{STREETS}x{HOUSES_PER_STREET}.idx", build)


def bench_de_small_sheet() -> Path:
    return cached(Path(tempfile.gettempdir()) / "vorlane-bench-de-small-4.idx", build_small)


if __name__ == "__main__":
    print(bench_de_small_sheet() if "--small" in sys.argv[1:] else bench_de_branch_sheet())
