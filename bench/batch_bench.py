"""Batches on the worker pool (`Geocoder.geocode_many`) against single calls
(`geocode`) on the forward benchmark's sheet and mixes (clean, typo, no
answer, and a blend of about 70/25/5): single-thread `geocode` throughput,
then `geocode_many` with n = 1, 2, 4, ... workers up to the core count, each
n in a process of its own (the pool's size is fixed when it is built), and
the per-query cost of a batch that answers nothing (k = 0) beside the cost
of building one answer dict."""

from __future__ import annotations

import json
import os
import random
import subprocess
import sys
import time
from pathlib import Path

HERE = Path(__file__).resolve().parent
sys.path.insert(0, str(HERE))

import vorlane  # noqa: E402
import make_sheet as ms  # noqa: E402
from forward_bench import mixes as forward_mixes  # noqa: E402

N = 20_000
K = 5
REPEATS = 3


def mixes() -> dict[str, list[str]]:
    """The forward benchmark's mixes and their blend."""
    rng = random.Random(17)
    out = forward_mixes(N, rng)
    kinds = rng.choices(list(out), weights=(70, 25, 5), k=N)
    out["blend"] = [out[kind][i] for i, kind in enumerate(kinds)]
    return out


def timed(fn, count: int) -> tuple[float, float]:
    """Items per second and process CPU microseconds per item, of the
    fastest of REPEATS calls of `fn` after one to warm up."""
    fn()
    best = (float("inf"), 0.0)
    for _ in range(REPEATS):
        t0, c0 = time.perf_counter(), time.process_time()
        fn()
        best = min(best, (time.perf_counter() - t0, time.process_time() - c0))
    return count / best[0], 1e6 * best[1] / count


def per_second(fn, count: int) -> float:
    return timed(fn, count)[0]


def batch_rates() -> None:
    """In a child whose VORLANE_THREADS fixes the pool: geocode_many per mix,
    with the CPU time per query of all its threads (which, unlike the rate,
    other load on the machine hardly changes)."""
    g = vorlane.Geocoder(str(ms.bench_sheet()))
    rates = {}
    for name, qs in mixes().items():
        rates[name] = timed(lambda: g.geocode_many(qs, K), len(qs))
    print(json.dumps(rates))


def per_item_overhead(g: vorlane.Geocoder, hit: dict) -> None:
    queries = ["1 rue pasteur 0 commune 0"] * 200_000
    batch = 1e6 / per_second(lambda: g.geocode_many(queries, 0), len(queries))
    items = list(hit.items())
    one_dict = 1e6 / per_second(lambda: [dict(items) for _ in range(200_000)], 200_000)
    print(f"geocode_many k=0: {batch:.2f} us/query; building one answer dict: {one_dict:.2f} us")


def main() -> None:
    if sys.argv[1:] == ["--batch"]:
        batch_rates()
        return
    g = vorlane.Geocoder(str(ms.bench_sheet()))
    qs = mixes()
    single = {name: timed(lambda: [g.geocode(q, K) for q in queries], len(queries))
              for name, queries in qs.items()}
    print("geocode, one thread: " + ", ".join(f"{m} {r:,.0f}/s {c:.1f} us CPU"
                                               for m, (r, c) in single.items()), flush=True)
    print("geocode_many: rate, its ratio to n x single, CPU per query", flush=True)
    n = 1
    while n <= (os.cpu_count() or 1):
        env = dict(os.environ, VORLANE_THREADS=str(n))
        rates = json.loads(subprocess.run([sys.executable, __file__, "--batch"], env=env, check=True,
                                          capture_output=True, text=True).stdout)
        cells = ", ".join(f"{m} {r:,.0f}/s {r / (n * single[m][0]):.2f} {c:.1f} us"
                          for m, (r, c) in rates.items())
        print(f"  {n} workers: {cells}", flush=True)
        n *= 2
    per_item_overhead(g, g.geocode(qs["clean"][0], 1)[0])


if __name__ == "__main__":
    main()
