"""The large sheets the benchmarks share: 200,000 streets and 2,000,000
houses over 2,000 communes, and a German version-7 variant of 200,000
streets, each written once with the test sheet writer and cached under
$TMPDIR. Run as a script it prints the first sheet's path, with --de the
German one's, with --country fr|it|es that country's variant's."""

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


# Country variants of the first sheet: the same 200,000 streets and 2,000
# communes, named as a French, Italian or Spanish sheet names them. Street
# names carry letter tags where the first sheet has numbers, so that a
# query's only number is its house number.
# - fr: communes 0..19 are "Paris {n}e Arrondissement" (postcodes 75001 to
#   75020).
# - it: communes i and i + 1000 share one name ("comune ab"), and each
#   commune i has a place "citta ..." of its own 0.05 degrees north.
# - es: "calle", "avenida", ... streets with particles, and those words as
#   street types in the sheet's rules.
COUNTRY_STREET_TYPES = {
    "it": ["via", "viale", "corso", "piazza", "largo", "vicolo", "strada", "salita"],
    "es": ["calle", "avenida", "plaza", "paseo", "camino", "ronda", "travesia", "carrer"],
}
COUNTRY_NAMES = {
    "it": ["roma", "garibaldi", "dante alighieri", "mazzini", "cavour", "verdi", "marconi",
           "matteotti", "della repubblica", "dei mille", "san francesco", "della liberta"],
    "es": ["de la paz", "del sol", "de los reyes", "mayor", "de san juan", "del carmen",
           "de las flores", "de la iglesia", "del rio", "de los olivos", "de la estacion", "real"],
}
PARIS_ARRONDISSEMENTS = 20


def letters(n: int) -> str:
    """A tag of letters for a number: 0 "a", 25 "z", 26 "ba", ..."""
    out = ""
    while True:
        out = chr(ord("a") + n % 26) + out
        n //= 26
        if n == 0:
            return out


def paris_arrondissement(n: int) -> str:
    return f"Paris {'1er' if n == 1 else f'{n}e'} Arrondissement"


def build_country_sheet(path: Path, country: str) -> None:
    rng = random.Random(7)
    positions = [(43.0 + rng.random() * 6, -1.0 + rng.random() * 7) for _ in range(COMMUNES)]
    weights = [rng.randint(1, 100_000) for _ in range(COMMUNES)]

    def commune_name(i: int) -> str:
        if country == "fr":
            return paris_arrondissement(i + 1) if i < PARIS_ARRONDISSEMENTS else f"commune {i}"
        return f"{'comune' if country == 'it' else 'municipio'} {letters(i % (COMMUNES // 2))}"

    def postcode(i: int) -> int:
        return 75001 + i if country == "fr" and i < PARIS_ARRONDISSEMENTS else 10000 + i

    communes = [sw.Commune(commune_name(i), f"{10000 + i:05d}", weight=weights[i], lat=lat, lon=lon)
                for i, (lat, lon) in enumerate(positions)]
    if country == "it":
        communes += [sw.Commune(f"citta {letters(i)}", f"{20000 + i:05d}", weight=1,
                                lat=lat + 0.05, lon=lon) for i, (lat, lon) in enumerate(positions)]
    types = COUNTRY_STREET_TYPES.get(country, WORDS)
    names = COUNTRY_NAMES.get(country, NAMES)
    streets = []
    for s in range(STREETS):
        commune = s * COMMUNES // STREETS
        lat, lon = positions[commune]
        lat += rng.uniform(-0.02, 0.02)
        lon += rng.uniform(-0.02, 0.02)
        name = f"{types[s % len(types)]} {names[(s // 8) % len(names)]} {letters(s // 96)}"
        houses = [sw.House(2 * h + 1, lat=lat + h * 1e-5, lon=lon) for h in range(HOUSES_PER_STREET)]
        streets.append(sw.Street(name, commune, houses, postcode=postcode(commune), lat=lat, lon=lon))
    words = {w: ids for w, ids in sw.derive_words(streets).items() if len(ids) <= 16384}
    rules = [(16, t, "") for t in COUNTRY_STREET_TYPES["es"]] if country == "es" else None
    sw.Sheet(communes, streets, words=words, rules=rules,
             meta=[("country", country), ("layer", "addresses")]).write(path)


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


def bench_country_sheet(country: str) -> Path:
    return cached(Path(tempfile.gettempdir()) /
                  f"vorlane-bench-{country}-{STREETS}x{HOUSES_PER_STREET}.idx",
                  lambda path: build_country_sheet(path, country))


if __name__ == "__main__":
    if sys.argv[1:2] == ["--country"]:
        print(bench_country_sheet(sys.argv[2]))
    else:
        print(bench_de_sheet() if sys.argv[1:] == ["--de"] else bench_sheet())
