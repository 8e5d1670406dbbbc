"""Calls from 1, 2, 4 and 8 Python threads sharing one Geocoder (reverse,
and geocode on clean addresses), on the large shared sheet: total calls per
second and the gain over one thread. The lock is released only around each
engine call, so short calls gain little: a waiting thread wakes too late to
take the lock while another thread is in the engine. Hashing 3 KB and 12 KB
with hashlib, which releases the lock the same way, is measured beside them
as the yardstick for that hand-off."""

from __future__ import annotations

import hashlib
import random
import sys
import threading
import time
from pathlib import Path

HERE = Path(__file__).resolve().parent
sys.path.insert(0, str(HERE))

import vorlane  # noqa: E402
import make_sheet as ms  # noqa: E402
from forward_bench import street_name  # noqa: E402

CALLS = 40_000
THREADS = (1, 2, 4, 8)


def rate(call, args, threads: int) -> float:
    """Calls per second with `args` spread over `threads` threads (best of 3)."""
    best = 0.0
    for _ in range(3):
        parts = [args[t::threads] for t in range(threads)]
        start = threading.Barrier(threads + 1)

        def work(part):
            start.wait()
            for a in part:
                call(*a)

        workers = [threading.Thread(target=work, args=(p,)) for p in parts]
        for w in workers:
            w.start()
        start.wait()
        t0 = time.perf_counter()
        for w in workers:
            w.join()
        best = max(best, len(args) / (time.perf_counter() - t0))
    return best


def report(name: str, call, args) -> None:
    call(*args[0])
    rates = [rate(call, args, n) for n in THREADS]
    cells = "  ".join(f"{n}: {r:>9,.0f}/s {r / rates[0]:.2f}x" for n, r in zip(THREADS, rates))
    print(f"{name:<22} {cells}", flush=True)


def main() -> None:
    g = vorlane.Geocoder(str(ms.bench_sheet()))
    rng = random.Random(5)
    streets = [(43.0 + rng.random() * 6, -1.0 + rng.random() * 7) for _ in range(CALLS)]
    for k in (1, 3):
        report(f"reverse k={k}", g.reverse, [(lat, lon, k) for lat, lon in streets])
    addresses = [f"{1 + 2 * rng.randrange(ms.HOUSES_PER_STREET)} {street_name(s)} "
                 f"commune {s * ms.COMMUNES // ms.STREETS}"
                 for s in (rng.randrange(ms.STREETS) for _ in range(CALLS // 4))]
    report("geocode k=1", g.geocode, [(q, 1) for q in addresses])
    for size in (3_000, 12_000):
        data = b"x" * size
        report(f"sha256 {size // 1000} KB", lambda: hashlib.sha256(data).digest(), [()] * CALLS)


if __name__ == "__main__":
    main()
