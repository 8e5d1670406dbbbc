"""Calls from several Python threads, and threads still inside a call when the
interpreter exits."""

import os
import random
import subprocess
import sys
import textwrap
import threading
from pathlib import Path

import pytest

import vorlane
from sheetwriter import Commune, House, Sheet, Street

BUILD = Path(vorlane.__file__).resolve().parent
SUPPORT = Path(__file__).resolve().parents[1] / "support"


def grid_town():
    """Forty streets of ten houses over a few grid cells around (45.0, 5.0)."""
    rng = random.Random(3)
    streets = []
    for s in range(40):
        lat, lon = 45.0 + rng.uniform(-0.02, 0.02), 5.0 + rng.uniform(-0.02, 0.02)
        houses = [House(2 * h + 1, lat=lat + rng.uniform(-3e-4, 3e-4), lon=lon + rng.uniform(-3e-4, 3e-4))
                  for h in range(10)]
        streets.append(Street(f"rue {s}", 0, houses, postcode=1000 + s, lat=lat, lon=lon))
    return Sheet([Commune("Bourg", "01001", lat=45.0, lon=5.0)], streets)


@pytest.fixture(scope="module")
def town_path(tmp_path_factory):
    return grid_town().write(tmp_path_factory.mktemp("threads") / "town.idx")


def run_in_threads(calls, threads):
    results = [None] * len(calls)
    start = threading.Barrier(threads)

    def work(t):
        start.wait()
        for i in range(t, len(calls), threads):
            results[i] = calls[i]()

    workers = [threading.Thread(target=work, args=(t,)) for t in range(threads)]
    for w in workers:
        w.start()
    for w in workers:
        w.join()
    return results


def test_concurrent_reverse_calls_give_the_serial_answers(town_path):
    g = vorlane.Geocoder(str(town_path))
    rng = random.Random(9)
    points = [(45.0 + rng.uniform(-0.03, 0.03), 5.0 + rng.uniform(-0.03, 0.03), rng.choice((1, 3, 10)))
              for _ in range(4000)]
    calls = [lambda p=p: g.reverse(*p) for p in points]
    serial = [call() for call in calls]
    assert any(serial)
    assert run_in_threads(calls, 4) == serial


def run_exit_script(body, path):
    """Runs `body` in a fresh interpreter that exits while a daemon thread is
    still calling into the engine."""
    script = textwrap.dedent(f"""
        import sys, threading
        sys.path[:0] = [{str(BUILD)!r}, {str(SUPPORT)!r}]
        import vorlane
        g = vorlane.Geocoder({str(path)!r})
        started = threading.Event()
    """) + textwrap.dedent(body)
    return subprocess.run([sys.executable, "-c", script], capture_output=True, text=True,
                          timeout=120, env=os.environ)


@pytest.mark.parametrize("attempt", range(3))
def test_exit_while_a_daemon_thread_is_in_reverse(town_path, attempt):
    done = run_exit_script("""
        def loop():
            while True:
                g.reverse(45.0, 5.0, 10)
                started.set()
        threading.Thread(target=loop, daemon=True).start()
        started.wait()
    """, town_path)
    assert done.returncode == 0, done.stderr
    assert "terminate called" not in done.stderr
