"""Open time and memory of a large generated sheet.

Writes (once, cached under $TMPDIR) a sheet of 200,000 streets and
2,000,000 houses with the test sheet writer, then opens it through the
Python module several times and reports the open time (which includes the
full validation walk over every record, posting list and dictionary node)
and the anonymous memory the open adds: the file itself is mapped, not
copied, so only small decoded parts should appear there.
"""

from __future__ import annotations

import os
import random
import statistics
import sys
import tempfile
import time
from pathlib import Path

HERE = Path(__file__).resolve().parent
sys.path.insert(0, str(HERE.parent / "tests" / "support"))

import sheetwriter as sw  # noqa: E402
import vorlane  # noqa: E402

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
        commune = s % COMMUNES
        c = communes[commune]
        lat = c.lat + rng.uniform(-0.02, 0.02)
        lon = c.lon + rng.uniform(-0.02, 0.02)
        name = f"{WORDS[s % len(WORDS)]} {NAMES[(s // 8) % len(NAMES)]} {s // 96}"
        houses = [sw.House(2 * h + 1, lat=lat + h * 1e-5, lon=lon) for h in range(HOUSES_PER_STREET)]
        streets.append(sw.Street(name, commune, houses, postcode=10000 + commune, lat=lat, lon=lon))
    sw.Sheet(communes, streets, meta=[("country", "fr"), ("layer", "addresses")]).write(path)


def anon_kib() -> int:
    for line in Path("/proc/self/status").read_text().splitlines():
        if line.startswith("RssAnon:"):
            return int(line.split()[1])
    return 0


def main() -> None:
    path = Path(tempfile.gettempdir()) / f"vorlane-bench-{STREETS}x{HOUSES_PER_STREET}.idx"
    if not path.exists():
        t0 = time.perf_counter()
        build_sheet(path)
        print(f"generated {path} in {time.perf_counter() - t0:.1f} s")
    size_mib = path.stat().st_size / 2**20
    times = []
    for _ in range(5):
        before = anon_kib()
        t0 = time.perf_counter()
        g = vorlane.Geocoder(str(path))
        times.append(time.perf_counter() - t0)
        added = anon_kib() - before
        del g
    print(f"open: sheet {size_mib:.1f} MiB, {STREETS} streets, {STREETS * HOUSES_PER_STREET} houses")
    print(f"open: median {statistics.median(times) * 1000:.1f} ms, best {min(times) * 1000:.1f} ms")
    print(f"open: anonymous memory added by the last open {added} KiB")


if __name__ == "__main__":
    main()
