"""Test-only writer of vorlane index files (address sheets and POI layers).

Tests describe a tiny country -- `Commune`s, `Street`s and their `House`s, in
a `Sheet` -- and this module writes the exact bytes of the index file, plus
the optional admin sidecar.  `Sheet.layout()` hands the file back as a mutable
`Layout`, so a test can damage it on purpose (a wrong version byte, a TOC
entry past the end, a patched record) before serialising.

Ids are positions in `Sheet.communes` / `Sheet.streets`; a street names its
commune by id, code or name.  Houses are written in ascending number order; a
house without coordinates sits on the street point, which is the mean of its
houses' points, else the commune's.  Giving a house a postcode switches its
street to per-house postcodes (version 7).  `words` / `grid` None derive the
word dictionary and reverse grid from the streets; a mapping is written as
given.  Coordinates are degrees, stored as i32 round(x * 1e7).

Dictionary keys must be in the engine's canonical form, so they all go through
`canonical_key`, and the "~" sound-alike words through the phonetic hook; the
test session installs the engine's own functions (`engine_key_function`,
`engine_phonetic_function`, through the test-hooks library named by
VORLANE_TESTHOOKS) -- never re-implement the canonical form here.
"""

from __future__ import annotations

import contextlib
import ctypes
import dataclasses
import functools
import hashlib
import math
import os
import struct
from dataclasses import dataclass, field
from pathlib import Path
from typing import Callable, Iterable, Mapping, Sequence

import ducer

# --------------------------------------------------------------------------
# Format constants

MAGIC = b"VRC0"
ADMIN_MAGIC = b"WOFA"
RANK_MAGIC = b"VRRK"
PARSER_MAGIC = b"VRML"
MAX_SECTIONS = 17
TOC_ENTRY_SIZE = 17
HEADER_SIZE = 6
MIN_FILE_SIZE = HEADER_SIZE + TOC_ENTRY_SIZE * MAX_SECTIONS  # 295
COMMUNE_RECORD_SIZE = 16
STREET_RECORD_SIZE = 36
GRID_CELL_SIZE = 12
RANK_SECTION_SIZE = 49
RANK_FEATURES = 10
PER_HOUSE_POSTCODES = 0xFFFFFFFF
STREET_KEY_SEPARATOR = b"\x1f"

SEC_COMMUNE_NAME_FST = 1
SEC_COMMUNES_META = 2
SEC_COMMUNE_POSTINGS = 3
SEC_STREET_KEY_FST = 4
SEC_STREETS_META = 5
SEC_HOUSE_DATA = 6
SEC_NAMES = 7
SEC_HOUSE_SUFFIXES = 8
SEC_REVERSE_GRID = 9
SEC_PARSER = 10
SEC_RANK = 11
SEC_WORDS_FST = 12
SEC_WORD_POSTINGS = 13
SEC_COMMUNE_COORDS = 14
SEC_RULES = 15
SEC_UNUSED_16 = 16
SEC_META = 17

REQUIRED_SECTIONS = (1, 2, 3, 4, 5, 6, 7, 8, 9, 12, 13, 14)

# Byte offsets of the fields of a street record, for tests that patch one.
STREET_LAT, STREET_LON, STREET_COMMUNE, STREET_POSTCODE = 0, 4, 8, 12
STREET_NAME, STREET_HOUSES_OFFSET, STREET_HOUSE_COUNT = 16, 20, 28
STREET_POSTCODE_TEXT = 32

DEFAULT_META = (("country", "fr"), ("layer", "addresses"))

GRID_LAT_CELLS = 18000
GRID_LON_CELLS = 36000

# --------------------------------------------------------------------------
# The canonical-key hook: the one place where dictionary keys are formed.


def placeholder_key(text: str) -> str:
    """Stand-in for the engine's canonical form: ASCII lower case, and runs of
    white space collapsed to one space with none at either end."""
    lowered = "".join(c.lower() if c.isascii() else c for c in text)
    return " ".join(lowered.split())


_key_function: Callable[[str], str] = placeholder_key


def set_key_function(fn: Callable[[str], str]) -> Callable[[str], str]:
    """Install the function that forms dictionary keys; returns the old one."""
    global _key_function
    previous, _key_function = _key_function, fn
    return previous


def get_key_function() -> Callable[[str], str]:
    return _key_function


@contextlib.contextmanager
def key_function_override(fn: Callable[[str], str]):
    previous = set_key_function(fn)
    try:
        yield
    finally:
        set_key_function(previous)


def canonical_key(text: str) -> str:
    return _key_function(text)


PHONETIC_PREFIX = "~"
PHONETIC_MIN_CHARS = 3  # shorter keys are never looked up

_phonetic_function: Callable[[str], str] | None = None


def set_phonetic_function(fn: Callable[[str], str] | None) -> Callable[[str], str] | None:
    """Install the phonetic key behind the derived "~" word entries (None: derive
    none); returns the old one."""
    global _phonetic_function
    previous, _phonetic_function = _phonetic_function, fn
    return previous


def get_phonetic_function() -> Callable[[str], str] | None:
    return _phonetic_function


# --------------------------------------------------------------------------
# The engine's own text functions, from the test-hooks shared library
# (tests/tools/testhooks.cc): each C function takes (in, len, out, cap),
# writes its UTF-8 result only when it fits and returns its length.

TESTHOOKS_ENV = "VORLANE_TESTHOOKS"


@functools.lru_cache(maxsize=None)
def _testhooks(path: str) -> ctypes.CDLL:
    library = ctypes.CDLL(path)
    for symbol in ("vorlane_test_normalize", "vorlane_test_phonetic_key"):
        fn = getattr(library, symbol)
        fn.argtypes = [ctypes.c_char_p, ctypes.c_size_t, ctypes.c_char_p, ctypes.c_size_t]
        fn.restype = ctypes.c_size_t
    return library


def _testhooks_path(path: str | os.PathLike | None) -> str:
    if path is None:
        path = os.environ.get(TESTHOOKS_ENV)
        if not path:
            raise RuntimeError(f"{TESTHOOKS_ENV} is not set: it must name libvorlane_testhooks.so "
                               "of the build under test")
    path = Path(path).resolve()
    if not path.is_file():
        raise RuntimeError(f"test-hooks library {str(path)!r} does not exist; build the "
                           "vorlane_testhooks target first")
    return str(path)


def _engine_text_function(symbol: str, path: str | os.PathLike | None) -> Callable[[str], str]:
    c_function = getattr(_testhooks(_testhooks_path(path)), symbol)

    def call(text: str) -> str:
        data = text.encode("utf-8")
        cap = 3 * len(data) + 64
        while True:
            out = ctypes.create_string_buffer(cap)
            needed = c_function(data, len(data), out, cap)
            if needed == ctypes.c_size_t(-1).value:
                raise MemoryError(f"{symbol} ran out of memory")
            if needed <= cap:
                return out.raw[:needed].decode("utf-8")
            cap = needed

    call.__name__ = symbol
    return call


def engine_key_function(path: str | os.PathLike | None = None) -> Callable[[str], str]:
    """The engine's canonical form (`norm::normalize`) as a Python callable,
    from the library at `path`, else at $VORLANE_TESTHOOKS."""
    return _engine_text_function("vorlane_test_normalize", path)


def engine_phonetic_function(path: str | os.PathLike | None = None) -> Callable[[str], str]:
    """The engine's phonetic key (`norm::phonetic_key`) as a Python callable."""
    return _engine_text_function("vorlane_test_phonetic_key", path)


# --------------------------------------------------------------------------
# Small encoders, public so that tests can craft raw section bytes.


def as_bytes(text: str | bytes) -> bytes:
    return text if isinstance(text, (bytes, bytearray)) else text.encode("utf-8")


def u8(v: int) -> bytes:
    return struct.pack("<B", v)


def u16(v: int) -> bytes:
    return struct.pack("<H", v)


def u32(v: int) -> bytes:
    return struct.pack("<I", v)


def i32(v: int) -> bytes:
    return struct.pack("<i", v)


def u64(v: int) -> bytes:
    return struct.pack("<Q", v)


def f32(v: float) -> bytes:
    return struct.pack("<f", v)


def varint(value: int) -> bytes:
    """Unsigned LEB128, shortest form."""
    if value < 0 or value >= 1 << 64:
        raise ValueError(f"varint out of range: {value}")
    out = bytearray()
    while True:
        byte = value & 0x7F
        value >>= 7
        if value:
            out.append(byte | 0x80)
        else:
            out.append(byte)
            return bytes(out)


def zigzag(value: int) -> int:
    """Signed 64-bit value to its zigzag form (0, -1, 1, -2 -> 0, 1, 2, 3)."""
    if not -(1 << 63) <= value < 1 << 63:
        raise ValueError(f"zigzag out of range: {value}")
    return value << 1 if value >= 0 else ((-value) << 1) - 1


def to_units(degrees: float) -> int:
    """Degrees to the stored i32 in units of 1e-7 degree."""
    units = int(round(degrees * 1e7))
    if not -(1 << 31) <= units < 1 << 31:
        raise ValueError(f"coordinate {degrees} does not fit an i32 of 1e-7 degrees")
    return units


def length_prefixed(text: str | bytes) -> bytes:
    """A u8 length and the bytes, as strings are stored in names and suffixes."""
    data = as_bytes(text)
    if len(data) > 255:
        raise ValueError(f"string of {len(data)} bytes does not fit a u8 length: {data[:40]!r}")
    return u8(len(data)) + data


def build_fst(items: Iterable[tuple[bytes, int]]) -> bytes:
    """An fst map of the given (key, value) pairs; keys are sorted here and
    must be unique."""
    ordered = sorted(items)
    for (a, _), (b, _) in zip(ordered, ordered[1:]):
        if a == b:
            raise ValueError(f"duplicate dictionary key {a!r}")
    return bytes(ducer.Map.build(":memory:", ordered))


def encode_postings(ids: Sequence[int]) -> bytes:
    """One word_postings list: count, first id, then deltas -- in the order
    given, unchecked (a repeated id gives a zero delta)."""
    out = bytearray(varint(len(ids)))
    if not ids:
        return bytes(out)
    out += varint(ids[0])
    for prev, cur in zip(ids, ids[1:]):
        out += varint(cur - prev)
    return bytes(out)


def encode_house_list(
    entries: Sequence[tuple[int, int, int, int] | tuple[int, int, int, int, int]],
    dictionary: Sequence[int] | None = None,
) -> bytes:
    """One street's house list.  `entries` are (number, suffix id, dlat, dlon)
    with offsets in 1e-7 degree from the street point, plus a fifth item, the
    postcode index (0 = none, i = dictionary entry i - 1), when `dictionary`
    (names offsets of postcode texts) is given.  Numbers must not decrease."""
    out = bytearray()
    if dictionary is not None:
        out += varint(len(dictionary))
        for offset in dictionary:
            out += u32(offset)
    previous = 0
    for i, entry in enumerate(entries):
        number, suffix_id, dlat, dlon = entry[:4]
        if number < previous:
            raise ValueError(f"house numbers must not decrease ({previous} then {number})")
        out += varint(number if i == 0 else number - previous)
        previous = number
        out += varint(suffix_id)
        out += varint(zigzag(dlat))
        out += varint(zigzag(dlon))
        if dictionary is not None:
            out += varint(entry[4] if len(entry) > 4 else 0)
    return bytes(out)


def cell_key(lat: float, lon: float) -> int:
    """Reverse-grid cell of a point: floor((x + offset) / 0.01), clamped."""
    lat_index = min(max(math.floor((lat + 90.0) / 0.01), 0), GRID_LAT_CELLS - 1)
    lon_index = min(max(math.floor((lon + 180.0) / 0.01), 0), GRID_LON_CELLS - 1)
    return lat_index * GRID_LON_CELLS + lon_index


def encode_grid(cells: Mapping[int, Sequence[int]]) -> bytes:
    """reverse_grid: cell records sorted by key, then the street-id array."""
    records = bytearray()
    ids = bytearray()
    first = 0
    for key in sorted(cells):
        streets = list(cells[key])
        records += u32(key) + u32(first) + u32(len(streets))
        for street_id in streets:
            ids += u32(street_id)
        first += len(streets)
    return u32(len(cells)) + bytes(records) + bytes(ids)


def encode_suffixes(texts: Sequence[str | bytes]) -> bytes:
    out = bytearray(u32(len(texts)))
    for text in texts:
        out += length_prefixed(text)
    return bytes(out)


def encode_meta(pairs: Sequence[tuple[str | bytes, str | bytes]]) -> bytes:
    out = bytearray(u32(len(pairs)))
    for key, value in pairs:
        k, v = as_bytes(key), as_bytes(value)
        out += u16(len(k)) + k + u32(len(v)) + v
    return bytes(out)


def encode_rules(entries: Sequence[tuple]) -> bytes:
    """Rules section: entries (kind, a) or (kind, a, b), texts str or bytes."""
    out = bytearray(u32(len(entries)))
    for entry in entries:
        kind, a = entry[0], as_bytes(entry[1])
        b = as_bytes(entry[2]) if len(entry) > 2 else b""
        out += u8(kind) + u16(len(a)) + a + u16(len(b)) + b
    return bytes(out)


@dataclass
class RankModel:
    """Linear ranking model: a bias and one weight per feature."""

    bias: float = 0.0
    weights: Sequence[float] = (0.0,) * RANK_FEATURES
    feature_count: int | None = None  # None: len(weights)

    def to_bytes(self) -> bytes:
        count = len(self.weights) if self.feature_count is None else self.feature_count
        out = bytearray(RANK_MAGIC + u8(count) + f32(self.bias))
        for w in self.weights:
            out += f32(w)
        return bytes(out)


@dataclass
class ParserModel:
    """Token-labelling model: `weights[j][b]` is label j's weight of bucket b."""

    biases: Sequence[float]
    weights: Sequence[Sequence[float]]

    def to_bytes(self) -> bytes:
        rows = [list(r) for r in self.weights]
        buckets = len(rows[0]) if rows else 0
        if any(len(r) != len(rows[0]) for r in rows):
            raise ValueError("every label needs the same number of bucket weights")
        out = bytearray(PARSER_MAGIC + u32(buckets) + u8(len(self.biases)))
        for b in self.biases:
            out += f32(b)
        for row in rows:
            for w in row:
                out += f32(w)
        return bytes(out)

    @staticmethod
    def zeros(buckets: int, labels: int) -> "ParserModel":
        return ParserModel([0.0] * labels, [[0.0] * buckets for _ in range(labels)])


def feature_bucket(feature: str, buckets: int) -> int:
    """Bucket of a feature text: 4-byte BLAKE2b read little-endian, mod D.
    Lets tests place weights on the buckets of the features they expect."""
    digest = hashlib.blake2b(feature.encode("utf-8"), digest_size=4).digest()
    return int.from_bytes(digest, "little") % buckets


def section_bytes(value: bytes | RankModel | ParserModel | None) -> bytes | None:
    if value is None or isinstance(value, (bytes, bytearray)):
        return value
    return value.to_bytes()


# --------------------------------------------------------------------------
# Description


@dataclass
class Commune:
    name: str
    code: str | bytes
    weight: int = 1
    lat: float = 0.0
    lon: float = 0.0
    aliases: Sequence[str] = ()


@dataclass
class House:
    number: int
    suffix: str = ""
    lat: float | None = None
    lon: float | None = None
    postcode: str | None = None


@dataclass
class Street:
    name: str
    commune: int | str
    houses: Sequence[House] = ()
    postcode: int = 0
    postcode_text: str | None = None
    lat: float | None = None
    lon: float | None = None
    house_postcodes: Sequence[str] | None = None  # explicit per-house dictionary, written verbatim


@dataclass
class Sheet:
    communes: Sequence[Commune]
    streets: Sequence[Street]
    version: int = 7
    words: Mapping[str | bytes, Sequence[int]] | None = None
    meta: Sequence[tuple[str | bytes, str | bytes]] | None = DEFAULT_META
    rules: Sequence[tuple] | None = None
    rank_model: RankModel | bytes | None = None
    parser_model: ParserModel | bytes | None = None
    grid: Mapping[int, Sequence[int]] | None = None
    suffixes: Sequence[str] | None = None  # suffix id i+1 = suffixes[i]

    def layout(self) -> "Layout":
        built = _SheetBuilder(self).build()
        return Layout(built.sections, self.version, built.info)

    def to_bytes(self) -> bytes:
        return self.layout().to_bytes()

    def write(self, path: str | Path, admin: Sequence["Region"] | None = None) -> Path:
        """Write the sheet, and its sidecar beside it when `admin` is given."""
        path = Path(path)
        path.write_bytes(self.to_bytes())
        if admin is not None:
            admin_path_for(path).write_bytes(encode_admin(admin))
        return path


def derive_words(streets: Sequence[Street]) -> dict[str, list[int]]:
    """Every word of every street key, with the ascending ids of its streets;
    and, when a phonetic function is installed, "~" + the phonetic key of each
    such word (keys of at least 3 characters), with the streets of all words
    that share it."""
    phonetic = _phonetic_function
    words: dict[str, list[int]] = {}

    def add(word: str, street_id: int) -> None:
        ids = words.setdefault(word, [])
        if not ids or ids[-1] != street_id:
            ids.append(street_id)

    for street_id, street in enumerate(streets):
        for word in _street_key_text(street).split(" "):
            if not word:
                continue
            add(word, street_id)
            if phonetic is not None:
                key = phonetic(word)
                if len(key) >= PHONETIC_MIN_CHARS:
                    add(PHONETIC_PREFIX + key, street_id)
    return words


def _street_key_text(street: Street) -> str:
    return canonical_key(street.name)


# --------------------------------------------------------------------------
# Building the sections of a described sheet


@dataclass
class BuildInfo:
    """What the builder decided, for tests that need ids or offsets."""

    commune_keys: dict[bytes, list[int]] = field(default_factory=dict)
    street_keys: dict[bytes, int] = field(default_factory=dict)
    words: dict[bytes, list[int]] = field(default_factory=dict)


class _NamesPool:
    """Interned length-prefixed strings.  Offset 0 holds the empty string so
    that a meaningful text never sits at 0, which readers take as 'none'."""

    def __init__(self) -> None:
        self.data = bytearray(length_prefixed(b""))
        self.offsets: dict[bytes, int] = {b"": 0}

    def add(self, text: str | bytes) -> int:
        data = as_bytes(text)
        if data not in self.offsets:
            self.offsets[data] = len(self.data)
            self.data += length_prefixed(data)
        return self.offsets[data]


@dataclass
class _Built:
    sections: dict[int, bytes]
    info: BuildInfo


class _SheetBuilder:
    def __init__(self, sheet: Sheet) -> None:
        self.sheet = sheet
        self.names = _NamesPool()
        self.info = BuildInfo()

    def build(self) -> _Built:
        sheet = self.sheet
        for commune in sheet.communes:
            self.names.add(commune.name)
        for street in sheet.streets:
            self.names.add(street.name)
        sections: dict[int, bytes] = {}
        sections[SEC_COMMUNE_NAME_FST], sections[SEC_COMMUNE_POSTINGS] = self._commune_dictionary()
        sections[SEC_COMMUNES_META] = self._communes_meta()
        sections[SEC_COMMUNE_COORDS] = b"".join(
            i32(to_units(c.lat)) + i32(to_units(c.lon)) for c in sheet.communes)
        sections[SEC_STREET_KEY_FST] = self._street_dictionary()
        suffix_ids = self._suffix_ids()
        sections[SEC_HOUSE_SUFFIXES] = encode_suffixes(
            sorted(suffix_ids, key=suffix_ids.__getitem__))
        points = [self._street_point(s) for s in sheet.streets]
        sections[SEC_STREETS_META], sections[SEC_HOUSE_DATA] = self._streets(points, suffix_ids)
        sections[SEC_WORDS_FST], sections[SEC_WORD_POSTINGS] = self._words()
        sections[SEC_REVERSE_GRID] = self._grid(points)
        sections[SEC_NAMES] = bytes(self.names.data)
        optional = {
            SEC_PARSER: section_bytes(sheet.parser_model),
            SEC_RANK: section_bytes(sheet.rank_model),
            SEC_RULES: None if sheet.rules is None else encode_rules(sheet.rules),
            SEC_META: None if sheet.meta is None else encode_meta(sheet.meta),
        }
        sections.update({k: v for k, v in optional.items() if v is not None})
        return _Built(dict(sorted(sections.items())), self.info)

    def _commune_dictionary(self) -> tuple[bytes, bytes]:
        by_key: dict[bytes, list[int]] = {}
        for commune_id, commune in enumerate(self.sheet.communes):
            keys = [canonical_key(commune.name)] + [canonical_key(a) for a in commune.aliases]
            for key in dict.fromkeys(as_bytes(k) for k in keys):
                by_key.setdefault(key, []).append(commune_id)
        postings = bytearray()
        items = []
        first = 0
        for key in sorted(by_key):
            ids = by_key[key]
            if len(ids) > 0xFFFF or first > 0xFFFF_FFFF_FFFF:
                raise ValueError(f"commune key {key!r}: run does not fit (first << 16) | count")
            items.append((key, (first << 16) | len(ids)))
            postings += b"".join(u32(i) for i in ids)
            first += len(ids)
        self.info.commune_keys = by_key
        return build_fst(items), bytes(postings)

    def _communes_meta(self) -> bytes:
        out = bytearray()
        for commune in self.sheet.communes:
            out += _padded_code(commune.code) + u32(self.names.add(commune.name)) + u32(commune.weight)
        return bytes(out)

    def _commune_id(self, street: Street) -> int:
        ref = street.commune
        communes = self.sheet.communes
        if isinstance(ref, int):
            if not 0 <= ref < len(communes):
                raise ValueError(f"street {street.name!r}: no commune id {ref}")
            return ref
        for attribute in ("code", "name"):
            hits = [i for i, c in enumerate(communes) if as_bytes(getattr(c, attribute)) == as_bytes(ref)]
            if len(hits) > 1:
                raise ValueError(f"street {street.name!r}: commune {ref!r} is ambiguous; use its id")
            if hits:
                return hits[0]
        raise ValueError(f"street {street.name!r}: no commune with code or name {ref!r}")

    def _street_dictionary(self) -> bytes:
        keys: dict[bytes, int] = {}
        for street_id, street in enumerate(self.sheet.streets):
            code = _padded_code(self.sheet.communes[self._commune_id(street)].code)
            key = as_bytes(_street_key_text(street)) + STREET_KEY_SEPARATOR + code.split(b"\0", 1)[0]
            if key in keys:
                raise ValueError(f"streets {keys[key]} and {street_id} share the street key {key!r}")
            keys[key] = street_id
        self.info.street_keys = keys
        return build_fst(keys.items())

    def _suffix_ids(self) -> dict[str, int]:
        used = {h.suffix for s in self.sheet.streets for h in s.houses if h.suffix}
        texts = list(self.sheet.suffixes) if self.sheet.suffixes is not None else \
            sorted(used, key=lambda t: t.encode("utf-8"))
        ids: dict[str, int] = {}
        for i, text in enumerate(texts, start=1):
            ids[text] = i  # a text listed twice keeps its later id, as readers do
        missing = used - ids.keys()
        if missing:
            raise ValueError(f"house suffixes missing from Sheet.suffixes: {sorted(missing)}")
        return ids

    def _street_point(self, street: Street) -> tuple[int, int]:
        if street.lat is not None and street.lon is not None:
            return to_units(street.lat), to_units(street.lon)
        placed = [h for h in street.houses if h.lat is not None and h.lon is not None]
        if placed:
            return (to_units(sum(h.lat for h in placed) / len(placed)),
                    to_units(sum(h.lon for h in placed) / len(placed)))
        commune = self.sheet.communes[self._commune_id(street)]
        return to_units(commune.lat), to_units(commune.lon)

    def _streets(self, points: list[tuple[int, int]], suffix_ids: dict[str, int]) -> tuple[bytes, bytes]:
        records = bytearray()
        house_data = bytearray()
        for street, (lat, lon) in zip(self.sheet.streets, points):
            if not street.houses:
                raise ValueError(f"street {street.name!r} has no houses; the format needs at least one")
            dictionary = self._house_postcode_dictionary(street)
            if dictionary is not None and street.postcode_text is not None:
                raise ValueError(f"street {street.name!r}: postcode_text and per-house postcodes exclude each other")
            entries = []
            for house in sorted(street.houses, key=lambda h: h.number):
                h_lat = lat if house.lat is None else to_units(house.lat)
                h_lon = lon if house.lon is None else to_units(house.lon)
                entry = [house.number, suffix_ids[house.suffix] if house.suffix else 0, h_lat - lat, h_lon - lon]
                if dictionary is not None:
                    # the first equal entry, so duplicated dictionaries still resolve
                    entry.append(0 if house.postcode is None else dictionary.index(house.postcode) + 1)
                entries.append(tuple(entry))
            offsets = None if dictionary is None else [self.names.add(t) for t in dictionary]
            if dictionary is not None:
                postcode_field = PER_HOUSE_POSTCODES
            else:
                postcode_field = 0 if street.postcode_text is None else self.names.add(street.postcode_text)
            records += (i32(lat) + i32(lon) + u32(self._commune_id(street)) + u32(street.postcode)
                        + u32(self.names.add(street.name)) + u64(len(house_data))
                        + u32(len(street.houses)) + u32(postcode_field))
            house_data += encode_house_list(entries, offsets)
        return bytes(records), bytes(house_data)

    def _house_postcode_dictionary(self, street: Street) -> list[str] | None:
        given = {h.postcode for h in street.houses if h.postcode is not None}
        if street.house_postcodes is None and not given:
            return None
        if self.sheet.version < 7:
            raise ValueError(f"street {street.name!r}: per-house postcodes need format version 7")
        if street.house_postcodes is not None:
            missing = given - set(street.house_postcodes)
            if missing:
                raise ValueError(f"street {street.name!r}: postcodes {sorted(missing)} not in house_postcodes")
            return list(street.house_postcodes)
        return sorted(given, key=lambda t: t.encode("utf-8"))

    def _words(self) -> tuple[bytes, bytes]:
        words = self.sheet.words if self.sheet.words is not None else derive_words(self.sheet.streets)
        postings = bytearray()
        items = []
        lists: dict[bytes, list[int]] = {}
        for word in sorted(words, key=as_bytes):
            items.append((as_bytes(word), len(postings)))
            lists[as_bytes(word)] = list(words[word])
            postings += encode_postings(list(words[word]))
        self.info.words = lists
        return build_fst(items), bytes(postings)

    def _grid(self, points: list[tuple[int, int]]) -> bytes:
        if self.sheet.grid is not None:
            cells = {k: list(v) for k, v in self.sheet.grid.items()}
        else:
            cells = {}
            for street_id, (street, (lat, lon)) in enumerate(zip(self.sheet.streets, points)):
                spots = [(lat, lon)] + [
                    (lat if h.lat is None else to_units(h.lat), lon if h.lon is None else to_units(h.lon))
                    for h in street.houses]
                for s_lat, s_lon in spots:
                    ids = cells.setdefault(cell_key(s_lat / 1e7, s_lon / 1e7), [])
                    if street_id not in ids:
                        ids.append(street_id)
        return encode_grid(cells)


def _padded_code(code: str | bytes) -> bytes:
    data = as_bytes(code)
    if len(data) > 8:
        raise ValueError(f"commune code {data!r} is longer than 8 bytes")
    return data.ljust(8, b"\0")


# --------------------------------------------------------------------------
# Layout: the file as placed sections plus a TOC that tests may falsify


@dataclass
class TocEntry:
    id: int
    offset: int
    length: int


@dataclass
class PlacedSection:
    offset: int
    data: bytearray

    @property
    def length(self) -> int:
        return len(self.data)


class Layout:
    """An index file before serialisation: `sections` maps section id ->
    PlacedSection(offset, data), `toc` lists the TOC entries written, in order;
    `magic`, `version` and `n` (None: len(toc)) are the header fields.
    Content edits (`replace_section`, `add_section`) re-place the sections and
    rebuild the TOC, so they must come before any edit of `toc`; doing them
    later raises rather than silently undoing the TOC edit.  `patch` moves
    nothing."""

    def __init__(self, sections: Mapping[int, bytes], version: int, info: BuildInfo) -> None:
        self.magic = MAGIC
        self.version = version
        self.n: int | None = None
        self.info = info
        self.sections = {sid: PlacedSection(0, bytearray(data)) for sid, data in sections.items()}
        self.toc: list[TocEntry] = []
        self._packed_toc: list[TocEntry] = []
        self._pack()

    def _pack(self) -> None:
        if self.toc != self._packed_toc:
            raise RuntimeError("the TOC was edited; make content edits before TOC edits")
        position = MIN_FILE_SIZE
        for sid in sorted(self.sections):
            self.sections[sid].offset = position
            position += self.sections[sid].length
        self.toc = [TocEntry(sid, s.offset, s.length) for sid, s in sorted(self.sections.items())]
        self._packed_toc = [dataclasses.replace(e) for e in self.toc]

    # Content edits

    def replace_section(self, sid: int, data: bytes) -> "Layout":
        if sid not in self.sections:
            raise KeyError(f"no section {sid}")
        self.sections[sid].data = bytearray(data)
        self._pack()
        return self

    def add_section(self, sid: int, data: bytes) -> "Layout":
        if sid in self.sections:
            raise KeyError(f"section {sid} exists; use replace_section")
        self.sections[sid] = PlacedSection(0, bytearray(data))
        self._pack()
        return self

    def patch(self, sid: int, offset: int, data: bytes) -> "Layout":
        """Overwrite bytes inside a section, without changing its length."""
        section = self.sections[sid]
        if offset < 0 or offset + len(data) > section.length:
            raise IndexError(f"patch {offset}..{offset + len(data)} outside section {sid} of {section.length} bytes")
        section.data[offset:offset + len(data)] = data
        return self

    def patch_u32(self, sid: int, offset: int, value: int) -> "Layout":
        return self.patch(sid, offset, u32(value))

    # TOC edits

    def entry(self, sid: int) -> TocEntry:
        """The first TOC entry with this id (mutable)."""
        for e in self.toc:
            if e.id == sid:
                return e
        raise KeyError(f"no TOC entry for section {sid}")

    def drop_entry(self, sid: int) -> "Layout":
        self.toc.remove(self.entry(sid))
        return self

    def duplicate_entry(self, sid: int) -> "Layout":
        self.toc.append(dataclasses.replace(self.entry(sid)))
        return self

    # Reading back

    def offset(self, sid: int) -> int:
        return self.sections[sid].offset

    def section(self, sid: int) -> bytes:
        return bytes(self.sections[sid].data)

    def to_bytes(self) -> bytes:
        if len(self.toc) > MAX_SECTIONS:
            raise ValueError(f"{len(self.toc)} TOC entries overrun the first section")
        image = bytearray(max([MIN_FILE_SIZE] + [s.offset + s.length for s in self.sections.values()]))
        image[0:4] = self.magic
        image[4] = self.version
        image[5] = len(self.toc) if self.n is None else self.n
        for i, e in enumerate(self.toc):
            at = HEADER_SIZE + TOC_ENTRY_SIZE * i
            image[at:at + TOC_ENTRY_SIZE] = struct.pack("<BQQ", e.id, e.offset, e.length)
        for s in self.sections.values():
            image[s.offset:s.offset + s.length] = s.data
        return bytes(image)

    def write(self, path: str | Path) -> Path:
        path = Path(path)
        path.write_bytes(self.to_bytes())
        return path


# --------------------------------------------------------------------------
# Admin sidecar


@dataclass
class Region:
    """One admin region: rings of (lat, lon) points in degrees; its bounding
    box is computed from them."""

    name: str | bytes
    rings: Sequence[Sequence[tuple[float, float]]]

    def to_bytes(self) -> bytes:
        name = as_bytes(self.name)
        rings = [[(to_units(a), to_units(b)) for a, b in ring] for ring in self.rings]
        points = [p for ring in rings for p in ring]
        if not points:
            raise ValueError(f"region {self.name!r} has no points")
        box = [min(p[0] for p in points), min(p[1] for p in points),
               max(p[0] for p in points), max(p[1] for p in points)]
        out = bytearray(length_prefixed(name))
        out += b"".join(i32(v) for v in box)
        out += u16(len(rings))
        for ring in rings:
            out += u16(len(ring))
            out += b"".join(i32(a) + i32(b) for a, b in ring)
        return bytes(out)


def encode_admin(regions: Sequence[Region], *, truncate: int | None = None) -> bytes:
    """The sidecar bytes; `truncate` cuts the file to that many bytes."""
    data = ADMIN_MAGIC + u32(len(regions)) + b"".join(r.to_bytes() for r in regions)
    return data if truncate is None else data[:truncate]


def admin_path_for(sheet_path: str | Path) -> Path:
    """Where the engine looks for a sheet's sidecar: stem + "_admin.bin"."""
    path = Path(sheet_path)
    return path.with_name(path.stem + "_admin.bin")


def box_region(name: str, min_lat: float, min_lon: float, max_lat: float, max_lon: float) -> Region:
    """A rectangular region, one ring."""
    return Region(name, [[(min_lat, min_lon), (min_lat, max_lon), (max_lat, max_lon), (max_lat, min_lon)]])


# --------------------------------------------------------------------------
# Sample sheet, for tests that just need a valid file


def sample_sheet() -> Sheet:
    communes = [
        Commune("Paris", "75056", weight=2_100_000, lat=48.8566, lon=2.3522),
        Commune("Lyon", "69123", weight=520_000, lat=45.7640, lon=4.8357),
        Commune("Saint-Denis", "93066", weight=110_000, lat=48.9362, lon=2.3574, aliases=("St Denis",)),
        Commune("Saint-Denis", "97411", weight=150_000, lat=-20.8789, lon=55.4481),
    ]
    streets = [
        Street("Rue de la Paix", "75056", postcode=75002, postcode_text="75002", houses=[
            House(1, lat=48.86905, lon=2.33095), House(1, "bis", lat=48.86910, lon=2.33090),
            House(2, lat=48.86895, lon=2.33105), House(5, lat=48.86930, lon=2.33060)]),
        Street("Avenue des Champs-Élysées", "75056", postcode=75008, houses=[
            House(10, lat=48.87000, lon=2.30600, postcode="75008"),
            House(12, "ter", lat=48.87020, lon=2.30560, postcode="75008"),
            House(101, lat=48.87250, lon=2.29950, postcode="75116")]),
        Street("Rue de la République", "69123", postcode=69002, postcode_text="69002", houses=[
            House(3, lat=45.76300, lon=4.83600), House(7, lat=45.76330, lon=4.83590)]),
        Street("Rue de la République", "93066", postcode=93200, postcode_text="93200", houses=[
            House(4, lat=48.93590, lon=2.35810)]),
        Street("Rue de Paris", "97411", postcode=97400, postcode_text="97400", houses=[
            House(8, lat=-20.87900, lon=55.44900)]),
    ]
    return Sheet(communes, streets, rules=[(1, "paname", "paris")])


def sample_admin() -> list[Region]:
    return [box_region("Île-de-France", 48.12, 1.44, 49.24, 3.56),
            box_region("Auvergne-Rhône-Alpes", 44.11, 2.06, 46.81, 7.19)]

