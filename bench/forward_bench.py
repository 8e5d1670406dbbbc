"""Forward queries through Python (`Geocoder.geocode`) on the large shared
sheet: clean addresses rebuilt from bench/make_sheet.py's naming, the same
with one edit in a street word, and texts that match nothing; beside the
engine figures of forward_bench, this shows what the binding adds."""

from __future__ import annotations

import random
import sys
import time
from pathlib import Path

HERE = Path(__file__).resolve().parent
sys.path.insert(0, str(HERE))

import vorlane  # noqa: E402
import make_sheet as ms  # noqa: E402

N = 2_000


def street_name(s: int) -> str:
    return f"{ms.WORDS[s % len(ms.WORDS)]} {ms.NAMES[(s // 8) % len(ms.NAMES)]} {s // 96}"


def typo(name: str, rng: random.Random) -> str:
    words = name.split(" ")
    i = max(range(len(words)), key=lambda j: len(words[j]))
    w = words[i]
    if len(w) >= 4:
        at = 1 + rng.randrange(len(w) - 1)
        words[i] = w[:at] + ("x" if w[at] == "q" else "q") + w[at + 1:]
    return " ".join(words)


def mixes(count: int, rng: random.Random) -> dict[str, list[str]]:
    """`count` clean addresses, the same with a misspelt street, and texts
    that match nothing."""
    picks = [rng.randrange(ms.STREETS) for _ in range(count)]
    addresses = [(1 + 2 * rng.randrange(ms.HOUSES_PER_STREET), street_name(s),
                  f"commune {s * ms.COMMUNES // ms.STREETS}") for s in picks]
    junk = ["zqx", "blorf", "vintup", "krast", "omweb", "pliss"]
    return {
        "clean": [f"{n} {s} {c}" for n, s, c in addresses],
        "typo": [f"{n} {typo(s, rng)} {c}" for n, s, c in addresses],
        "no answer": [f"{rng.choice(junk)} {rng.choice(junk)} {rng.randrange(10, 99)}"
                      for _ in range(count)],
    }


def main() -> None:
    g = vorlane.Geocoder(str(ms.bench_sheet()))
    for name, queries in mixes(N, random.Random(17)).items():
        answers = [g.geocode(q, 5) for q in queries[:200]]
        houses = sum(1 for a in answers if a and a[0]["precision"] == "house") / len(answers)
        t0 = time.perf_counter()
        for q in queries:
            g.geocode(q, 5)
        t = (time.perf_counter() - t0) / len(queries) * 1e6
        print(f"geocode {name}: {t:.1f} us/query ({1e6 / t:,.0f}/s), house {100 * houses:.0f}% of a sample")


if __name__ == "__main__":
    main()
