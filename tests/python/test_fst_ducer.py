"""The C++ fst reader against maps written by ducer (an independent writer of
the format), through the test tool fst_probe, compared with a brute-force
model over the same entries.

The probe's path comes from the environment variable VORLANE_FST_PROBE
(build target fst_probe); without it these tests fail.
"""

import os
import random
import subprocess

import ducer
import pytest

MAX_U64 = 2**64 - 1


@pytest.fixture(scope="module")
def probe():
    path = os.environ.get("VORLANE_FST_PROBE")
    if not path:
        pytest.fail("VORLANE_FST_PROBE is not set: point it at the built fst_probe tool")
    if not os.access(path, os.X_OK):
        pytest.fail(f"VORLANE_FST_PROBE={path!r} is not an executable file")
    return path


def random_value(rng):
    kind = rng.randrange(4)
    if kind == 0:
        return rng.choice([0, 1, MAX_U64, MAX_U64 - 1, 2**32, 2**56])
    if kind == 1:
        return rng.randrange(256)
    return rng.randrange(2**rng.choice([8, 16, 24, 40, 64]))


def random_entries(rng, alphabet, count, max_len, with_empty):
    keys = set()
    attempts = 0
    while len(keys) < count and attempts < 50 * count + 100:
        attempts += 1
        n = rng.randrange(1, max_len + 1)
        keys.add(bytes(rng.choice(alphabet) for _ in range(n)))
    if with_empty:
        keys.add(b"")
    return {k: random_value(rng) for k in keys}


def wide_entries(rng, fan_outs):
    """Nodes with the given numbers of transitions, at the root and deeper."""
    entries = {}
    for depth_prefix, fan_out in zip([b"", b"k", b"mid\x00", b"zz\xff\x01"], fan_outs):
        for b in rng.sample(range(256), fan_out):
            tail = bytes(rng.randrange(256) for _ in range(rng.randrange(3)))
            entries[depth_prefix + bytes([b]) + tail] = random_value(rng)
    return entries


ALL_BYTES = list(range(256))
CASES = {
    "no_keys": lambda rng: {},
    "only_empty_key_0": lambda rng: {b"": 0},
    "only_empty_key_max": lambda rng: {b"": MAX_U64},
    "one_key": lambda rng: {b"\x00": 7},
    "one_long_key": lambda rng: {bytes(range(1, 13)): MAX_U64},
    "two_letters_short": lambda rng: random_entries(rng, b"ab", 40, 6, True),
    "three_letters": lambda rng: random_entries(rng, b"abc", 300, 12, False),
    "lowercase": lambda rng: random_entries(rng, b"abcdefghijklmnopqrstuvwxyz", 800, 8, True),
    "common_inputs": lambda rng: random_entries(rng, b"te/oasripcnw.hlm-du012gqHG", 500, 10, False),
    "uncommon_inputs": lambda rng: random_entries(rng, b"\x00\x01\x7f\x80\xfe\xffYK", 500, 7, True),
    "all_bytes": lambda rng: random_entries(rng, ALL_BYTES, 2000, 12, True),
    "all_bytes_sparse": lambda rng: random_entries(rng, ALL_BYTES, 60, 12, False),
    "fan_out_33": lambda rng: wide_entries(rng, [33, 33, 33, 33]),
    "fan_out_32": lambda rng: wide_entries(rng, [32, 32, 32, 32]),
    "fan_out_256": lambda rng: wide_entries(rng, [256, 256, 40, 100]),
    "street_like": lambda rng: {
        b"rue %d\x1f%05d" % (rng.randrange(500), rng.randrange(99999)): rng.randrange(10**6)
        for _ in range(600)
    },
}


def bound_candidates(rng, keys):
    out = [None, b"", b"\x00", b"\xff", b"\xff\xff\xff"]
    for k in rng.sample(keys, min(6, len(keys))):
        out += [k, k + b"\x00", k[:-1], k[:1]]
        if k and k[-1] < 255:
            out.append(k[:-1] + bytes([k[-1] + 1]))
    return out


def encode(b):
    return "*" if b is None else "x" + b.hex()


def make_queries(rng, entries):
    keys = sorted(entries)
    queries = [("all",)]
    probes = set(keys)
    for k in rng.sample(keys, min(100, len(keys))):
        probes.update({k + b"\x00", k[:-1], k + bytes([rng.randrange(256)])})
    probes.update({b"", b"\xff" * 13, b"q"})
    queries += [("get", k) for k in sorted(probes)]
    bounds = bound_candidates(rng, keys)
    for _ in range(80):
        queries.append(("range", rng.choice(bounds), rng.choice(bounds)))
    prefixes = {b"", b"\x00", b"\xff", b"zz"}
    for k in rng.sample(keys, min(15, len(keys))):
        prefixes.update(k[:n] for n in range(len(k) + 1))
    for p in sorted(prefixes):
        queries.append(("prefix", p, None, None))
    for _ in range(30):
        queries.append(("prefix", rng.choice(sorted(prefixes))[:2], rng.choice(bounds), rng.choice(bounds)))
    return queries


def query_line(q):
    if q[0] == "all":
        return "all"
    if q[0] == "get":
        return "get " + encode(q[1])
    if q[0] == "range":
        return f"range {encode(q[1])} {encode(q[2])}"
    if q[2] is None and q[3] is None:
        return "prefix " + encode(q[1])
    return f"prefix {encode(q[1])} {encode(q[2])} {encode(q[3])}"


def in_range(k, ge, lt):
    return (ge is None or k >= ge) and (lt is None or k < lt)


def expected(q, items):
    if q[0] == "all":
        return items
    if q[0] == "get":
        return [(k, v) for k, v in items if k == q[1]]
    if q[0] == "range":
        return [(k, v) for k, v in items if in_range(k, q[1], q[2])]
    return [(k, v) for k, v in items if k.startswith(q[1]) and in_range(k, q[2], q[3])]


def run_probe(probe, tmp_path, map_bytes, queries):
    map_path = tmp_path / "map.fst"
    query_path = tmp_path / "queries.txt"
    map_path.write_bytes(map_bytes)
    query_path.write_text("".join(query_line(q) + "\n" for q in queries))
    return subprocess.run([probe, str(map_path), str(query_path)], capture_output=True, text=True)


def parse_answers(stdout):
    lines = stdout.split("\n")
    assert lines[0].startswith("size\t"), lines[0]
    size = int(lines[0].split("\t")[1])
    answers, current = [], []
    for line in lines[1:]:
        if line == "end":
            answers.append(current)
            current = []
        elif line:
            key, value = line.split("\t")
            current.append((bytes.fromhex(key), int(value)))
    assert not current, "output ends inside an answer"
    return size, answers


@pytest.mark.parametrize("case", sorted(CASES))
@pytest.mark.parametrize("seed", [1, 2])
def test_reader_matches_model(probe, tmp_path, case, seed):
    rng = random.Random(f"{case}/{seed}")
    entries = CASES[case](rng)
    items = sorted(entries.items())
    map_bytes = bytes(ducer.Map.build(":memory:", items))
    assert int.from_bytes(map_bytes[:8], "little") == 3, "ducer wrote another format version"
    queries = make_queries(rng, entries) if entries else [("all",), ("get", b""), ("range", None, b"a"),
                                                          ("prefix", b"", None, None)]
    result = run_probe(probe, tmp_path, map_bytes, queries)
    assert result.returncode == 0, result.stdout + result.stderr
    size, answers = parse_answers(result.stdout)
    assert size == len(items)
    assert len(answers) == len(queries)
    for q, got in zip(queries, answers):
        assert got == expected(q, items), query_line(q)


def test_damaged_map_is_refused(probe, tmp_path):
    items = sorted(random_entries(random.Random(7), b"abcdef", 200, 6, False).items())
    good = bytes(ducer.Map.build(":memory:", items))
    for damaged in (good[:-1], good[:40], good[:20] + bytes([good[20] ^ 1]) + good[21:], good + b"\x00"):
        result = run_probe(probe, tmp_path, damaged, [("all",)])
        assert result.returncode == 2
        assert result.stdout.startswith("error\tfst map "), result.stdout
