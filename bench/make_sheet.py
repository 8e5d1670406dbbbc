"""The large sheets the benchmarks share: 200,000 streets and 2,000,000
houses over 2,000 communes, and a German version-7 variant of 200,000
streets, each written once with the test sheet writer and cached under
$TMPDIR. Run as a script it prints the first sheet's path, with --de the
German one's."""

from __future__ import annotations

import random
import sys
import tempfile
import time
from pathlib import Path

HERE = Path(__file__).resolve().parent
sys.path.insert(0, str(HERE.parent / "tests" / "support"))

import sheetwriter as sw  # noqa: E402

STREETS = 200_000
HOUSES_PER_STREET = 10
COMMUNES = 2_000
WORDS = ["rue", "avenue", "chemin", "place", "allee", "route", "impasse", "boulevard"]
NAMES = ["victor hugo", "jean jaures", "pasteur", "de la gare", "des lilas", "du moulin",
         "de l eglise", "des ecoles", "du stade", "de la mairie", "des roses", "du chateau"]


def build_sheet(path: Path) -> None:
    rng = random.Random(7)
    communes = [
        sw.Commune(f"commune {i}", f"{10000 + i:05d}", weight=rng.randint(1, 100_000),
                   lat=43.0 + rng.random() * 6, lon=-1.0 + rng.random() * 7)
        for i in range(COMMUNES)
    ]
    streets = []
    for s in range(STREETS):
        commune = s * COMMUNES // STREETS  # streets grouped by commune, as built sheets are
        c = communes[commune]
        lat = c.lat + rng.uniform(-0.02, 0.02)
        lon = c.lon + rng.uniform(-0.02, 0.02)
        name = f"{WORDS[s % len(WORDS)]} {NAMES[(s // 8) % len(NAMES)]} {s // 96}"
        houses = [sw.House(2 * h + 1, lat=lat + h * 1e-5, lon=lon) for h in range(HOUSES_PER_STREET)]
        streets.append(sw.Street(name, commune, houses, postcode=10000 + commune, lat=lat, lon=lon))
    # A posting list holds at most 16384 streets: words as common as the
    # street types stay out of the words dictionary.
    words = {w: ids for w, ids in sw.derive_words(streets).items() if len(ids) <= 16384}
    sw.Sheet(communes, streets, words=words,
             meta=[("country", "fr"), ("layer", "addresses")]).write(path)


# The German variant: version 7, the same street count, names with ß,
# umlauts, "str." and "straße"; every tenth street has no postcode and
# repeats its neighbour's name in another spelling, every fiftieth carries
# per-house postcodes.
DE_HOUSES_PER_STREET = 4
DE_STREETS_PER_COMMUNE = STREETS // COMMUNES
DE_BASES = ["Hauptstraße", "Bahnhofstr.", "Schloßallee", "Müllerweg", "Königsplatz",
            "Gartenstraße", "Lindenstr.", "Am Brühl", "Weißdornweg", "Über den Höfen",
            "Goethestraße", "Schillerstr."]
DE_PREFIXES = ["", "Alte ", "Neue ", "Obere ", "Untere ", "Kleine ", "Große ", "Hintere ",
               "Äußere "]
DE_TOWNS = ["Mühlheim", "Görlitz", "Fürstenberg", "Weißenfels", "Lübben", "Großenhain",
            "Bad Tölz", "Neustadt a. d. Saale"]


def respelled(name: str) -> str:
    if "straße" in name:
        return name.replace("straße", "str.")
    if "str." in name:
        return name.replace("str.", "straße")
    if "ß" in name:
        return name.replace("ß", "ss")
    for umlaut, spelled in (("ä", "ae"), ("ö", "oe"), ("ü", "ue"), ("Ü", "Ue")):
        name = name.replace(umlaut, spelled)
    return name


def build_de_sheet(path: Path) -> None:
    rng = random.Random(11)
    communes = [
        sw.Commune(f"{DE_TOWNS[i % len(DE_TOWNS)]} {i}", f"{i:08d}", weight=rng.randint(1, 100_000),
                   lat=47.5 + rng.random() * 7, lon=6.0 + rng.random() * 9)
        for i in range(COMMUNES)
    ]
    streets = []
    for s in range(STREETS):
        commune, j = divmod(s, DE_STREETS_PER_COMMUNE)
        c = communes[commune]
        lat = c.lat + rng.uniform(-0.02, 0.02)
        lon = c.lon + rng.uniform(-0.02, 0.02)
        postcode = 1000 + commune * 40
        blank = j % 10 == 9
        if blank:
            name = respelled(streets[-1].name)
        else:
            name = DE_PREFIXES[j // len(DE_BASES)] + DE_BASES[j % len(DE_BASES)]
        per_house = not blank and j % 50 == 0
        houses = [sw.House(2 * h + 1, lat=lat + h * 1e-5, lon=lon,
                           postcode=f"{postcode + h % 2:05d}" if per_house else None)
                  for h in range(DE_HOUSES_PER_STREET)]
        streets.append(sw.Street(name, commune, houses,
                                 postcode=0 if blank or per_house else postcode, lat=lat, lon=lon))
    words = {w: ids for w, ids in sw.derive_words(streets).items() if len(ids) <= 16384}
    sw.Sheet(communes, streets, words=words,
             meta=[("country", "de"), ("layer", "addresses")]).write(path)


def cached(path: Path, build) -> Path:
    if not path.exists():
        t0 = time.perf_counter()
        tmp = path.with_suffix(".tmp")
        build(tmp)
        tmp.rename(path)
        print(f"generated {path} in {time.perf_counter() - t0:.1f} s", file=sys.stderr)
    return path


def bench_de_sheet() -> Path:
    return cached(Path(tempfile.gettempdir()) /
                  f"vorlane-bench-de-{STREETS}x{DE_HOUSES_PER_STREET}.idx", build_de_sheet)


def bench_sheet() -> Path:
    return cached(Path(tempfile.gettempdir()) / f"vorlane-bench-{STREETS}x{HOUSES_PER_STREET}.idx",
                  build_sheet)


if __name__ == "__main__":
    print(bench_de_sheet() if sys.argv[1:] == ["--de"] else bench_sheet())
