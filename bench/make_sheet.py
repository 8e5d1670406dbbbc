"""The large sheet the benchmarks share: 200,000 streets and 2,000,000
houses over 2,000 communes, written once with the test sheet writer and
cached under $TMPDIR. Run as a script it prints the sheet's path."""

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


def bench_sheet() -> Path:
    path = Path(tempfile.gettempdir()) / f"vorlane-bench-{STREETS}x{HOUSES_PER_STREET}.idx"
    if not path.exists():
        t0 = time.perf_counter()
        tmp = path.with_suffix(".tmp")
        build_sheet(tmp)
        tmp.rename(path)
        print(f"generated {path} in {time.perf_counter() - t0:.1f} s", file=sys.stderr)
    return path


if __name__ == "__main__":
    print(bench_sheet())
