"""`Geocoder.geocode_many`: the answers of `geocode` in input order, its
argument rules, the pool's size, interrupts between runs, forked children,
threads still in a batch at interpreter exit, and batches beside single calls."""

import _thread
import inspect
import os
import subprocess
import sys
import textwrap
import threading
from pathlib import Path

import pytest

import velmont
import vorlane

BUILD = Path(vorlane.__file__).resolve().parent
SUPPORT = Path(__file__).resolve().parents[1] / "support"

QUERIES = [
    "Velmont", "rue x 5 velmont", "12 14 16 18 rue x velmont", "rue x 5 velmont zzz",
    "foo bar rue x 5 velmont", "avenue du lac 10 orlac", "avenue du lac 10, velmont AA",
    "foo bar 12, velmont", "gare centrale, velmont", "musee des ondes orlac", "velmont zzz",
    "x", "", " ", "qqqq zzzz", "rue x " * 700, "é" * 3000,
]


class Announcing(list):
    """A list that sets `event` when a batch starts reading it."""

    def __init__(self, items, event):
        super().__init__(items)
        self.event = event

    def __iter__(self):
        self.event.set()
        return super().__iter__()


@pytest.fixture(scope="module")
def paths(tmp_path_factory):
    return {name: str(p) for name, p in velmont.write_all(tmp_path_factory.mktemp("batch")).items()}


@pytest.fixture(scope="module")
def geocoders(paths):
    return [vorlane.Geocoder(paths["sheet"]), vorlane.Geocoder(paths["sheet"], poi=paths["poi"])]


def test_surface():
    method = vorlane.Geocoder.geocode_many
    assert method.__text_signature__ == "($self, queries, k=1)"
    assert method.__doc__ == (
        "Batch of queries (rayon; defaults to cores minus two to keep the machine\n"
        "responsive; override with the VORLANE_THREADS env var — it is read when the\n"
        "pool for the current process is first built, so set it before the first call).\n"
        "Returns one list of up to `k` hits per query — the same shape as `geocode`,\n"
        "so `k` is honoured (an empty list means no match). Interruptible: Ctrl-C is\n"
        "checked between chunks and raises KeyboardInterrupt.")
    assert [m for m in vorlane.Geocoder.__dict__ if not m.startswith("__")] == ["geocode", "geocode_many",
                                                                                 "reverse"]


def test_each_entry_is_the_single_answer_in_input_order(geocoders):
    for g in geocoders:
        for k in (0, 1, 3):
            assert g.geocode_many(QUERIES, k) == [g.geocode(q, k) for q in QUERIES]
        assert g.geocode_many(QUERIES, 1000) == g.geocode_many(QUERIES, 100)
        assert g.geocode_many(tuple(QUERIES[:3])) == [g.geocode(q, 1) for q in QUERIES[:3]]
        assert g.geocode_many(queries=[], k=5) == []
    many = QUERIES * 130  # more than two runs
    assert geocoders[0].geocode_many(many, 2) == [geocoders[0].geocode(q, 2) for q in many]


class LyingLength(list):
    def __len__(self):
        return 10 ** 15


class FailingLength(list):
    def __len__(self):
        raise RuntimeError("no length")


def test_the_length_sizes_nothing(geocoders):
    g = geocoders[0]
    expected = [g.geocode(q, 1) for q in ("velmont", "x")]
    assert g.geocode_many(LyingLength(["velmont", "x"])) == expected
    assert g.geocode_many(FailingLength(["velmont", "x"])) == expected


@pytest.mark.parametrize("queries, error, text", [
    ("abc", TypeError, "Can't extract `str` to `Vec`"),
    ({"a": 1}, TypeError, None),
    ({"a"}, TypeError, None),
    ((q for q in ["a"]), TypeError, None),
    (["a", 1], TypeError, None),
    (["a", "\ud800"], UnicodeEncodeError, None),
])
def test_refused_queries_note_the_parameter(geocoders, queries, error, text):
    with pytest.raises(error) as caught:
        geocoders[0].geocode_many(queries)
    assert text is None or str(caught.value) == text
    assert caught.value.__notes__ == ["while processing 'queries'"]


@pytest.mark.parametrize("k, error", [(-1, OverflowError), (2.0, TypeError)])
def test_refused_k_notes_the_parameter(geocoders, k, error):
    with pytest.raises(error) as caught:
        geocoders[0].geocode_many(["velmont"], k)
    assert caught.value.__notes__ == ["while processing 'k'"]


def run_script(body, path, env=None):
    script = textwrap.dedent(f"""
        import os, sys, threading, warnings
        warnings.simplefilter("ignore", DeprecationWarning)  # fork with threads, 3.12+
        sys.path[:0] = [{str(BUILD)!r}, {str(SUPPORT)!r}]
        import vorlane
        g = vorlane.Geocoder({str(path)!r})
        def threads():
            return len(os.listdir("/proc/self/task"))
    """) + inspect.getsource(Announcing) + textwrap.dedent(body)
    return subprocess.run([sys.executable, "-c", script], capture_output=True, text=True, timeout=300,
                          env=env)


def test_long_texts_are_copied_only_as_far_as_a_query_reads(paths):
    # 2,000 references to one 1 MB text once cost 2 GB of copies. Byte 1024
    # of this text falls inside "é", so the copy must end where geocode's
    # own cut does.
    done = run_script("""
        import resource
        text = "rue x 5 velmont" + " " * 1008 + "é" * 500_000
        single = g.geocode(text, 1)  # also leaves the str's own UTF-8 behind
        before = resource.getrusage(resource.RUSAGE_SELF).ru_maxrss
        answers = g.geocode_many([text] * 2000)
        grown_kb = resource.getrusage(resource.RUSAGE_SELF).ru_maxrss - before
        print(single != [], answers == [single] * 2000, grown_kb < 200 * 1024)
    """, paths["sheet"])
    assert done.stdout == "True True True\n", done.stderr


@pytest.mark.parametrize("value, expected", [
    ("0", 1), ("+4", 4), (" 4", None), ("4 ", None), ("-1", None), ("four", None),
    ("18446744073709551616", None), (None, None),
])
def test_pool_size_from_the_environment(paths, value, expected):
    online = os.sysconf("SC_NPROCESSORS_ONLN")
    expected = expected or (max(online - 2, 1) if online > 0 else 2)
    env = {k: v for k, v in os.environ.items() if k != "VORLANE_THREADS"}
    if value is not None:
        env["VORLANE_THREADS"] = value
    done = run_script("""
        before = threads()
        try:
            g.geocode_many(["a", 1])
        except TypeError:
            pass
        refused = threads()
        g.geocode_many(["velmont"])
        print(refused - before, threads() - before)
    """, paths["sheet"], env)
    assert done.returncode == 0, done.stderr
    assert done.stdout.split() == ["0", str(expected)]


def test_an_interrupt_stops_the_batch_between_runs(geocoders):
    started = threading.Event()
    interrupter = threading.Thread(target=lambda: (started.wait(), _thread.interrupt_main()))
    interrupter.start()
    result = None
    with pytest.raises(KeyboardInterrupt):
        result = geocoders[0].geocode_many(Announcing(["rue x 5 velmont"] * 200_000, started))
    interrupter.join()
    assert result is None


def test_a_forked_child_gets_a_pool_of_its_own(paths):
    done = run_script("""
        qs = ["rue x 5 velmont", "velmont", "x"] * 500
        expected = g.geocode_many(qs)

        def fork_and_check():
            pid = os.fork()
            if pid == 0:
                os._exit(0 if g.geocode_many(qs) == expected and threads() == 1 + 3 else 1)
            assert os.waitpid(pid, 0)[1] == 0
            assert g.geocode_many(qs) == expected

        fork_and_check()
        inside, stop = threading.Event(), threading.Event()

        def batches():
            while not stop.is_set():
                g.geocode_many(Announcing(qs * 20, inside))

        busy = threading.Thread(target=batches)
        busy.start()
        inside.wait()
        fork_and_check()
        stop.set()
        busy.join()
        print("done")
    """, paths["sheet"], dict(os.environ, VORLANE_THREADS="3"))
    assert done.returncode == 0, done.stderr
    assert done.stdout.split() == ["done"]


# The thread is ended only when it comes back from a run while the
# interpreter finalises, which one attempt catches about half the time.
@pytest.mark.parametrize("attempt", range(5))
def test_exit_while_a_daemon_thread_is_in_a_batch(paths, attempt):
    done = run_script("""
        started = threading.Event()

        def loop():
            while True:
                g.geocode_many(Announcing(["rue x 5 velmont", "avenue du lac 10 orlac"] * 100, started))

        threading.Thread(target=loop, daemon=True).start()
        started.wait()
    """, paths["sheet"])
    assert done.returncode == 0, done.stderr
    assert "terminate called" not in done.stderr


def test_threads_mixing_batches_and_single_calls_get_the_serial_answers(geocoders):
    g = geocoders[1]
    qs = QUERIES[:-2] * 40
    serial = [g.geocode(q, 3) for q in qs]
    results = [None] * 4

    def work(t):
        results[t] = g.geocode_many(qs, 3) if t % 2 == 0 else [g.geocode(q, 3) for q in qs]

    workers = [threading.Thread(target=work, args=(t,)) for t in range(4)]
    for w in workers:
        w.start()
    for w in workers:
        w.join()
    assert results == [serial] * 4
