"""Reverse queries through Python on the large shared sheet, beside the cost
of building equivalent result dicts alone (what the binding must do at the
least), so that the binding's own overhead shows."""

from __future__ import annotations

import random
import sys
import time
from pathlib import Path

HERE = Path(__file__).resolve().parent
sys.path.insert(0, str(HERE))

import vorlane  # noqa: E402
from make_sheet import bench_sheet  # noqa: E402

N = 20_000


def per_call_us(fn, args) -> float:
    t0 = time.perf_counter()
    for a in args:
        fn(*a)
    return (time.perf_counter() - t0) / len(args) * 1e6


def main() -> None:
    g = vorlane.Geocoder(str(bench_sheet()))
    rng = random.Random(5)
    points = [(43.0 + rng.random() * 6, -1.0 + rng.random() * 7) for _ in range(N)]
    for k in (1, 3, 10):
        answers = [g.reverse(lat, lon, k) for lat, lon in points[:200]]
        sample = [d for a in answers for d in a]
        per_query = len(sample) / len(answers)
        t = per_call_us(lambda lat, lon: g.reverse(lat, lon, k), points)
        # The same number of dicts with the same keys and value types.
        template = list(sample[0].items())
        count = round(per_query)
        def build(_a, _b):
            return [{key: value for key, value in template} for _ in range(count)]
        d = per_call_us(build, points)
        print(f"reverse k={k}: {t:.2f} us/query ({1e6 / t:,.0f}/s), {per_query:.1f} answers; "
              f"building {count} such dicts alone: {d:.2f} us")


if __name__ == "__main__":
    main()
