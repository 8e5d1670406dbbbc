"""Open time and memory of a large generated sheet.

Writes (once, cached under $TMPDIR) a sheet of 200,000 streets and
2,000,000 houses with the test sheet writer, then opens it through the
Python module several times and reports the open time (which includes the
full validation walk over every record, posting list and dictionary node)
and the anonymous memory the open adds: the file itself is mapped, not
copied, so only small decoded parts should appear there.
"""

from __future__ import annotations

import statistics
import sys
import time
from pathlib import Path

HERE = Path(__file__).resolve().parent
sys.path.insert(0, str(HERE))

import vorlane  # noqa: E402
from make_sheet import HOUSES_PER_STREET, STREETS, bench_sheet  # noqa: E402

def anon_kib() -> int:
    for line in Path("/proc/self/status").read_text().splitlines():
        if line.startswith("RssAnon:"):
            return int(line.split()[1])
    return 0


def main() -> None:
    path = bench_sheet()
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
