"""The sheet of the matching-core benchmark: 200,000 streets whose names
repeat as real ones do (a few names in thousands of communes, a long tail
of rare ones), communes whose names share prefixes, a tenth of them
Cyrillic. Written once with the test sheet writer and cached under
$TMPDIR; run as a script it prints the sheet's path.

Names are written already in canonical form (lower case, no accents), as
the writer's placeholder key function keeps them."""

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
COMMUNES = 6_000
CYRILLIC_EVERY = 10  # every tenth commune is Cyrillic

COMMON = ["grande rue", "rue de l eglise", "place de la mairie", "rue du moulin", "rue de la gare",
          "chemin des vignes", "rue principale", "rue des ecoles", "route de paris", "rue du stade",
          "impasse des lilas", "allee des tilleuls", "rue pasteur", "rue victor hugo",
          "avenue jean jaures", "rue de la fontaine", "chemin du bois", "rue du chateau",
          "place de l eglise", "rue des jardins", "rue neuve", "chemin de la croix",
          "rue de la republique", "avenue de la liberte", "rue des pres"]
COMMON_CYR = ["улица ленина", "улица мира", "улица гагарина", "центральная улица",
              "школьная улица", "проспект мира", "садовая улица", "советская улица"]
TYPES = ["rue", "avenue", "chemin", "allee", "impasse", "place", "route", "boulevard"]
PREFIXES = ["saint martin", "saint jean", "saint pierre", "villeneuve", "le mesnil",
            "la chapelle", "fontaine", "mont", "beaumont", "saint germain"]
SYLLABLES = ["ber", "lan", "mo", "ri", "cha", "ton", "vel", "mar", "du", "pon", "ga", "lis",
             "ro", "cour", "bel", "fer", "quin", "sal", "ve", "dor", "na", "tel", "bru", "gil"]
CYR_SYLLABLES = ["ка", "ли", "но", "ров", "ско", "ва", "ми", "ло", "га", "ре", "ту", "зо"]


def word(rng: random.Random, syllables: list[str], parts: int) -> str:
    return "".join(rng.choice(syllables) for _ in range(parts))


def commune_names(rng: random.Random) -> list[str]:
    names: list[str] = []
    seen: set[str] = set()
    while len(names) < COMMUNES:
        i = len(names)
        if i % CYRILLIC_EVERY == 0:
            name = word(rng, CYR_SYLLABLES, rng.randint(2, 4))
        elif rng.random() < 0.4:
            name = f"{rng.choice(PREFIXES)} {rng.choice(['de', 'sur', 'les'])} {word(rng, SYLLABLES, 2)}"
        else:
            name = word(rng, SYLLABLES, rng.randint(2, 4))
        if name not in seen:
            seen.add(name)
            names.append(name)
    return names


def street_name(rng: random.Random, cyrillic: bool) -> str:
    if cyrillic:
        if rng.random() < 0.5:
            return COMMON_CYR[min(int(rng.paretovariate(1.2)) - 1, len(COMMON_CYR) - 1)]
        return "улица " + word(rng, CYR_SYLLABLES, rng.randint(2, 4))
    if rng.random() < 0.45:
        return COMMON[min(int(rng.paretovariate(0.9)) - 1, len(COMMON) - 1)]
    return f"{rng.choice(TYPES)} {word(rng, SYLLABLES, rng.randint(2, 4))}"


def build_sheet(path: Path) -> None:
    rng = random.Random(9)
    communes = []
    for i, name in enumerate(commune_names(rng)):
        communes.append(sw.Commune(name, f"{i:05d}", weight=1_000_000 // (i + 1) + rng.randint(1, 500),
                                   lat=43.0 + rng.random() * 6, lon=-1.0 + rng.random() * 7))
    streets = []
    per_commune = STREETS // COMMUNES
    for c, commune in enumerate(communes):
        cyrillic = c % CYRILLIC_EVERY == 0
        count = per_commune + (STREETS % COMMUNES if c == 0 else 0)
        names: set[str] = set()
        while len(names) < count:
            names.add(street_name(rng, cyrillic))
        for name in sorted(names):
            lat = commune.lat + rng.uniform(-0.02, 0.02)
            lon = commune.lon + rng.uniform(-0.02, 0.02)
            houses = [sw.House(2 * h + 1, lat=lat + h * 1e-5, lon=lon) for h in range(6)]
            streets.append(sw.Street(name, c, houses, postcode=10000 + c, lat=lat, lon=lon))
    words = {w: ids for w, ids in sw.derive_words(streets).items() if len(ids) <= 16384}
    sw.Sheet(communes, streets, words=words,
             meta=[("country", "fr"), ("layer", "addresses")]).write(path)


def core_bench_sheet() -> Path:
    path = Path(tempfile.gettempdir()) / f"vorlane-core-bench-{STREETS}.idx"
    if not path.exists():
        t0 = time.perf_counter()
        tmp = path.with_suffix(".tmp")
        build_sheet(tmp)
        tmp.rename(path)
        print(f"generated {path} in {time.perf_counter() - t0:.1f} s", file=sys.stderr)
    return path


if __name__ == "__main__":
    print(core_bench_sheet())
