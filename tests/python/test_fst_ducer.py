"""The C++ fst reader (through the test tool fst_probe, path in VORLANE_FST_PROBE)
against maps written by ducer, an independent writer of the format, compared
with a brute-force model over the same entries."""

import os
import random
import subprocess

import ducer
import pytest

MAX_U64 = 2**64 - 1


@pytest.fixture(scope="module")
def probe():
    path = os.environ.get("VORLANE_FST_PROBE")
    if not path or not os.access(path, os.X_OK):
        pytest.fail(f"VORLANE_FST_PROBE={path!r}: point it at the built fst_probe tool")
    return path


def random_value(rng):
    kind = rng.randrange(4)
    if kind == 0:
        return rng.choice([0, 1, MAX_U64, MAX_U64 - 1, 2**32, 2**56])
    return rng.randrange(256) if kind == 1 else rng.randrange(2**rng.choice([8, 16, 24, 40, 64]))


def random_entries(rng, alphabet, count, max_len, with_empty):
    keys = set()
    for _ in range(50 * count + 100):
        if len(keys) == count:
            break
        keys.add(bytes(rng.choice(alphabet) for _ in range(rng.randrange(1, max_len + 1))))
    return {k: random_value(rng) for k in sorted(keys | ({b""} if with_empty else set()))}


def wide_entries(rng, fan_outs):
    """Nodes with the given numbers of transitions, at the root and deeper."""
    entries = {}
    for prefix, fan_out in zip([b"", b"k", b"mid\x00", b"zz\xff\x01"], fan_outs):
        for b in rng.sample(range(256), fan_out):
            tail = bytes(rng.randrange(256) for _ in range(rng.randrange(3)))
            entries[prefix + bytes([b]) + tail] = random_value(rng)
    return entries


ALL_BYTES = list(range(256))
CASES = {
    "no_keys": lambda rng: {},
    "only_empty_key_0": lambda rng: {b"": 0},  # the map without node bytes
    "only_empty_key_max": lambda rng: {b"": MAX_U64},
    "one_key": lambda rng: {b"\x00": 7},
    "one_long_key": lambda rng: {bytes(range(1, 13)): MAX_U64},
    "two_letters_short": lambda rng: random_entries(rng, b"ab", 40, 6, True),
    "three_letters": lambda rng: random_entries(rng, b"abc", 300, 12, False),
    "common_inputs": lambda rng: random_entries(rng, b"te/oasripcnw.hlm-du012gqHG", 500, 10, False),
    "uncommon_inputs": lambda rng: random_entries(rng, b"\x00\x01\x7f\x80\xfe\xffYK", 500, 7, True),
    "all_bytes": lambda rng: random_entries(rng, ALL_BYTES, 2000, 12, True),
    "all_bytes_sparse": lambda rng: random_entries(rng, ALL_BYTES, 60, 12, False),
    "fan_out_32": lambda rng: wide_entries(rng, [32, 32, 32, 32]),  # the largest node without a transition index
    "fan_out_33": lambda rng: wide_entries(rng, [33, 33, 33, 33]),
    "fan_out_256": lambda rng: wide_entries(rng, [256, 256, 40, 100]),
    "street_like": lambda rng: {b"rue %d\x1f%05d" % (rng.randrange(500), rng.randrange(99999)): rng.randrange(10**6)
                                for _ in range(600)},
}


def enc(b):
    return "*" if b is None else "x" + b.hex()


def within(k, ge, lt):
    return (ge is None or k >= ge) and (lt is None or k < lt)


def make_queries(rng, keys):
    """(probe command line, predicate on keys) pairs."""
    queries = [("all", lambda k: True)]
    probes = set(keys) | {b"", b"\xff" * 13, b"q"}
    for k in rng.sample(keys, min(100, len(keys))):
        probes |= {k + b"\x00", k[:-1], k + bytes([rng.randrange(256)])}
    queries += [(f"get {enc(p)}", lambda k, p=p: k == p) for p in sorted(probes)]
    bounds = [None, b"", b"\x00", b"\xff", b"\xff\xff\xff"]
    for k in rng.sample(keys, min(6, len(keys))):
        bounds += [k, k + b"\x00", k[:-1], k[:1]] + ([k[:-1] + bytes([k[-1] + 1])] if k and k[-1] < 255 else [])
    for _ in range(80):
        ge, lt = rng.choice(bounds), rng.choice(bounds)
        queries.append((f"range {enc(ge)} {enc(lt)}", lambda k, ge=ge, lt=lt: within(k, ge, lt)))
    prefixes = {b"", b"\x00", b"\xff", b"zz"}
    for k in rng.sample(keys, min(15, len(keys))):
        prefixes.update(k[:n] for n in range(len(k) + 1))
    prefixes = sorted(prefixes)
    queries += [(f"prefix {enc(p)}", lambda k, p=p: k.startswith(p)) for p in prefixes]
    for _ in range(30):
        p, ge, lt = rng.choice(prefixes)[:2], rng.choice(bounds), rng.choice(bounds)
        queries.append((f"prefix {enc(p)} {enc(ge)} {enc(lt)}",
                        lambda k, p=p, ge=ge, lt=lt: k.startswith(p) and within(k, ge, lt)))
    return queries


def run_probe(probe, tmp_path, map_bytes, lines):
    (tmp_path / "map.fst").write_bytes(map_bytes)
    (tmp_path / "queries.txt").write_text("".join(line + "\n" for line in lines))
    return subprocess.run([probe, str(tmp_path / "map.fst"), str(tmp_path / "queries.txt")],
                          capture_output=True, text=True)


def parse_answers(stdout):
    """The probe prints "size\tN", then per query its (hex key, value) lines and "end"."""
    head, _, body = stdout.partition("\n")
    assert head.startswith("size\t"), head
    answers = body.split("end\n")
    assert answers.pop() == "", "output ends inside an answer"
    return int(head[5:]), [[(bytes.fromhex(k), int(v)) for k, v in (line.split("\t") for line in answer.splitlines())]
                           for answer in answers]


@pytest.mark.parametrize("case", sorted(CASES))
@pytest.mark.parametrize("seed", [1, 2])
def test_reader_matches_model(probe, tmp_path, case, seed):
    rng = random.Random(f"{case}/{seed}")
    items = sorted(CASES[case](rng).items())
    map_bytes = bytes(ducer.Map.build(":memory:", items))
    assert int.from_bytes(map_bytes[:8], "little") == 3, "ducer wrote another format version"
    queries = make_queries(rng, [k for k, _ in items])
    result = run_probe(probe, tmp_path, map_bytes, [line for line, _ in queries])
    assert result.returncode == 0, result.stdout + result.stderr
    size, answers = parse_answers(result.stdout)
    assert (size, len(answers)) == (len(items), len(queries))
    for (line, matches), got in zip(queries, answers):
        assert got == [(k, v) for k, v in items if matches(k)], line


def test_damaged_map_is_refused(probe, tmp_path):
    items = sorted(random_entries(random.Random(7), b"abcdef", 200, 6, False).items())
    good = bytes(ducer.Map.build(":memory:", items))
    for damaged in (good[:-1], good[:40], good[:20] + bytes([good[20] ^ 1]) + good[21:], good + b"\x00"):
        result = run_probe(probe, tmp_path, damaged, ["all"])
        assert result.returncode == 2
        assert result.stdout.startswith("error\tfst map "), result.stdout
