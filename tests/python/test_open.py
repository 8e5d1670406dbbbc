"""Opening index files through `Geocoder`: every refusal, word for word.

A refusal reaches Python as OSError whose only argument is the outermost
message. Header and TOC faults carry the container's own message (no file
name); everything found later names the file as a double-quoted, escaped
path. The order of the checks decides which message a file with several
faults gets, so a few cases combine two faults on purpose.
"""

import itertools
import math
import os

import pytest

import vorlane
import sheetwriter as sw
from sheetwriter import Commune, House, RankModel, Sheet, Street, u32, u64, varint

CORRUPT_OR_TRUNCATED = "— file is corrupt or truncated"
POSTINGS = "— corrupt (fuzzy search would silently fail)"


def quoted(path):
    """The quoted form of a path that needs no escapes."""
    text = os.fspath(path)
    assert text.isascii() and text.isprintable() and not set(text) & set('"\\')
    return f'"{text}"'


def base_sheet(**changes):
    communes = [Commune("Paris", "75056", weight=1000, lat=48.85, lon=2.35),
                Commune("Lyon", "69123", weight=500, lat=45.76, lon=4.83)]
    streets = [Street(f"Rue {c}", i % 2, houses=[House(1), House(3)]) for i, c in enumerate("ABCDEF")]
    return Sheet(communes, streets, **changes)


def postcode_sheet(dictionary=("75001",), version=7):
    """One street whose houses carry their own postcodes, with the dictionary
    written verbatim."""
    street = Street("Rue A", 0, houses=[House(1), House(2)], house_postcodes=list(dictionary))
    return Sheet([Commune("Paris", "75056", lat=48.85, lon=2.35)], [street], version=version)


def damaged(edit, sheet=None):
    layout = (sheet if sheet is not None else base_sheet()).layout()
    edit(layout)
    return layout.to_bytes()


def street_field(street, field, value, width=4):
    """An edit that overwrites one field of a streets_meta record; `value`
    may be a function of the layout."""
    def edit(layout):
        v = value(layout) if callable(value) else value
        layout.patch(sw.SEC_STREETS_META, 36 * street + field, u32(v) if width == 4 else u64(v))
    return edit


def names_end(layout):
    return len(layout.section(sw.SEC_NAMES))


def patch_houses(data):
    """Overwrites the start of house_data (the only street's dictionary)."""
    return lambda layout: layout.patch(sw.SEC_HOUSE_DATA, 0, data(layout) if callable(data) else data)


def replace(sid, data):
    return lambda layout: layout.replace_section(sid, data)


def extend(sid, extra):
    return lambda layout: layout.replace_section(sid, layout.section(sid) + extra)


def shorten(sid, by):
    return lambda layout: layout.replace_section(sid, layout.section(sid)[:-by])


def postings_sheet(words, raw=None):
    """The base sheet with this word dictionary, and optionally raw
    word_postings bytes in place of the encoded lists."""
    sheet = base_sheet(words=words)
    return sheet.to_bytes() if raw is None else damaged(replace(sw.SEC_WORD_POSTINGS, raw), sheet)


def names_grow(extra):
    """Appends raw bytes to names and points the dictionary entry at them."""
    def edit(layout):
        end = len(layout.section(sw.SEC_NAMES))
        layout.replace_section(sw.SEC_NAMES, layout.section(sw.SEC_NAMES) + extra)
        layout.patch(sw.SEC_HOUSE_DATA, 1, u32(end))
    return edit


def set_toc(sid, **fields):
    return lambda layout: [setattr(layout.entry(sid), k, v) for k, v in fields.items()]


def both(*edits):
    return lambda layout: [edit(layout) for edit in edits]


def masked_crc32c(data):
    """The checksum of a version-3 fst map: CRC-32C, masked as Snappy does."""
    crc = 0xFFFFFFFF
    for byte in data:
        crc ^= byte
        for _ in range(8):
            crc = (crc >> 1) ^ (0x82F63B78 & -(crc & 1))
    crc ^= 0xFFFFFFFF
    return ((((crc >> 15) | (crc << 17)) & 0xFFFFFFFF) + 0xA282EAD8) & 0xFFFFFFFF


def damage_fst(sid, at, resum=True):
    """Flips one byte of an fst map; with `resum` the map's checksum is made
    to match again, so that only the structure checks can see the damage."""
    def edit(layout):
        data = bytearray(layout.section(sid))
        data[at] ^= 0xFF
        if resum:
            data[-4:] = u32(masked_crc32c(data[:-4]))
        layout.replace_section(sid, bytes(data))
    return edit


@pytest.fixture(scope="module")
def place(tmp_path_factory):
    """Writes each file under a new name, so no open Geocoder ever sees its
    mapped file rewritten."""
    root = tmp_path_factory.mktemp("open")
    serial = itertools.count()

    def write(name, data):
        path = root / f"{name}-{next(serial)}.idx"
        path.write_bytes(data)
        return path
    return write


def open_error(path, poi=None):
    with pytest.raises(OSError) as info:
        vorlane.Geocoder(path, poi)
    assert type(info.value) is OSError and info.value.errno is None
    assert len(info.value.args) == 1
    return info.value.args[0]


# ------------------------------------------------------------ header and TOC

SIZE_PAST = ("index section {} spans bytes {}..{} but the file is {{size}} bytes"
             " — the download is truncated or the file is corrupt")
UNKNOWN_ID = "index TOC has unknown section id {} (1..=17) — file is corrupt"
HEADER_CASES = [
    ("empty", lambda: b"", "not a VRC0 index file"),
    ("294 bytes", lambda: b"VRC0\x07\x00".ljust(294, b"\0"), "not a VRC0 index file"),
    ("bad magic", lambda: b"VRC1" + base_sheet().to_bytes()[4:], "not a VRC0 index file"),
    ("295 bytes, no TOC", lambda: b"VRC0\x07\x00".ljust(295, b"\0"),
     f"index required section 1 has no TOC entry {CORRUPT_OR_TRUNCATED}"),
    ("version 5", lambda: damaged(lambda l: setattr(l, "version", 5)),
     "index format version 5 not supported (reader accepts v6..=v7) — rebuild the sheet with this engine"),
    ("version 8", lambda: damaged(lambda l: setattr(l, "version", 8)),
     "index format version 8 not supported (reader accepts v6..=v7) — rebuild the sheet with this engine"),
    ("18 sections", lambda: damaged(lambda l: setattr(l, "n", 18)),
     "index header declares 18 sections (max 17) — file is corrupt"),
    ("past the end", lambda: damaged(set_toc(1, length=1 << 40)), SIZE_PAST.format(1, 295, 295 + (1 << 40))),
    ("wraps", lambda: damaged(set_toc(1, offset=(1 << 64) - 1)),
     SIZE_PAST.format(1, (1 << 64) - 1, (1 << 64) - 1)),
    # the bounds pass runs over every entry before ids are judged
    ("bounds before unknown id", lambda: damaged(both(set_toc(1, id=0), set_toc(2, offset=295, length=1 << 40))),
     SIZE_PAST.format(2, 295, 295 + (1 << 40))),
    ("bounds before repeat", lambda: damaged(both(set_toc(2, id=1), set_toc(3, offset=295, length=1 << 40))),
     SIZE_PAST.format(3, 295, 295 + (1 << 40))),
    ("id 0", lambda: damaged(set_toc(17, id=0)), UNKNOWN_ID.format(0)),
    ("id 18", lambda: damaged(set_toc(17, id=18)), UNKNOWN_ID.format(18)),
    ("id twice", lambda: damaged(lambda l: l.duplicate_entry(sw.SEC_META)),
     "index TOC declares section 17 twice — file is corrupt"),
    ("overlap", lambda: damaged(lambda l: setattr(l.entry(sw.SEC_NAMES), "offset", l.offset(sw.SEC_NAMES) - 1)),
     "index sections overlap — file is corrupt"),
    ("no entry 4", lambda: damaged(lambda l: l.drop_entry(sw.SEC_STREET_KEY_FST)),
     f"index required section 4 has no TOC entry {CORRUPT_OR_TRUNCATED}"),
    ("no entry 13", lambda: damaged(lambda l: l.drop_entry(sw.SEC_WORD_POSTINGS)),
     f"index required section 13 has no TOC entry {CORRUPT_OR_TRUNCATED}"),
    ("empty 8", lambda: damaged(set_toc(sw.SEC_HOUSE_SUFFIXES, length=0)),
     f"index required section 8 is missing or empty {CORRUPT_OR_TRUNCATED}"),
]


@pytest.mark.parametrize("make, message", [c[1:] for c in HEADER_CASES], ids=[c[0] for c in HEADER_CASES])
def test_header_and_toc_refusals_do_not_name_the_file(place, make, message):
    data = make()
    path = place("header", data)
    assert open_error(str(path)) == message.format(size=len(data))


# ------------------------------------------------------------ sections

RECORD = "street record {} violates structural invariants — corrupt (zeroed or misdirected section content)"
DICT = "street record 0 {} — corrupt"
IMPLAUSIBLE = DICT.format("house-postcode dictionary is empty, implausible, duplicated, or unsorted")
RANK = "SEC_RANK is present but malformed — corrupt/tampered sheet"
PARSER = "SEC_PARSER is present but malformed — corrupt/tampered sheet"
SECTION_CASES = [
    ("parser", lambda: base_sheet(parser_model=b"junk").to_bytes(), PARSER),
    ("parser before rank", lambda: base_sheet(parser_model=b"junk", rank_model=b"VRRK").to_bytes(), PARSER),
    ("rank 48 bytes", lambda: base_sheet(rank_model=RankModel().to_bytes()[:48]).to_bytes(), RANK),
    ("rank 50 bytes", lambda: base_sheet(rank_model=RankModel().to_bytes() + b"\0").to_bytes(), RANK),
    ("rank magic", lambda: base_sheet(rank_model=b"VRRX" + RankModel().to_bytes()[4:]).to_bytes(), RANK),
    ("rank 9 features", lambda: base_sheet(rank_model=RankModel(feature_count=9)).to_bytes(), RANK),
    ("rank NaN weight", lambda: base_sheet(rank_model=RankModel(weights=(1.0,) * 9 + (math.nan,))).to_bytes(),
     RANK),
    ("rank infinite bias", lambda: base_sheet(rank_model=RankModel(bias=-math.inf)).to_bytes(), RANK),
    ("rank before record sizes",
     lambda: damaged(extend(sw.SEC_STREETS_META, b"\0"), base_sheet(rank_model=b"VRRK")), RANK),
    ("streets_meta 1 byte over", lambda: damaged(extend(sw.SEC_STREETS_META, b"\0")),
     "streets_meta length is not a whole number of records — corrupt"),
    ("streets_meta before records", lambda: damaged(both(street_field(0, sw.STREET_HOUSE_COUNT, 0),
                                                         extend(sw.SEC_STREETS_META, b"\0"))),
     "streets_meta length is not a whole number of records — corrupt"),
    ("communes_meta 1 byte over", lambda: damaged(extend(sw.SEC_COMMUNES_META, b"\0")),
     "communes_meta length is not a whole number of records — corrupt"),
    ("commune_coords short", lambda: damaged(shorten(sw.SEC_COMMUNE_COORDS, 8)),
     "commune_coords does not match the commune count — corrupt"),
    ("house count 0", lambda: damaged(street_field(0, sw.STREET_HOUSE_COUNT, 0)), RECORD.format(0)),
    ("equal house offsets", lambda: damaged(street_field(1, sw.STREET_HOUSES_OFFSET, 0, width=8)),
     RECORD.format(0)),
    ("name past names", lambda: damaged(street_field(2, sw.STREET_NAME, names_end)), RECORD.format(2)),
    ("name runs past names", lambda: damaged(street_field(3, sw.STREET_NAME, lambda l: names_end(l) - 1)),
     RECORD.format(3)),
    ("commune out of range", lambda: damaged(street_field(1, sw.STREET_COMMUNE, 2)), RECORD.format(1)),
    ("records before fst", lambda: damaged(both(street_field(0, sw.STREET_HOUSE_COUNT, 0),
                                                damage_fst(sw.SEC_WORDS_FST, 16))), RECORD.format(0)),
    # house-postcode dictionaries (format version 7)
    ("dict count unterminated", lambda: damaged(patch_houses(lambda l: b"\x80" * len(l.section(6))),
                                                postcode_sheet()),
     DICT.format("has a malformed house-postcode dictionary count")),
    ("dict K = 0", lambda: damaged(patch_houses(b"\0"), postcode_sheet()),
     DICT.format("has an invalid house-postcode dictionary size")),
    ("dict K = houses + 1", lambda: damaged(patch_houses(b"\x03"), postcode_sheet()),
     DICT.format("has an invalid house-postcode dictionary size")),
    ("dict truncated",
     lambda: damaged(both(street_field(0, sw.STREET_HOUSE_COUNT, 100), patch_houses(varint(100))), postcode_sheet()),
     DICT.format("house-postcode dictionary is truncated")),
    ("dict past names", lambda: damaged(patch_houses(lambda l: b"\x01" + u32(names_end(l))), postcode_sheet()),
     DICT.format("house-postcode dictionary points outside names")),
    ("dict runs past names", lambda: damaged(names_grow(b"\x09123"), postcode_sheet()),
     DICT.format("house-postcode dictionary points outside names")),
    ("dict not UTF-8", lambda: damaged(names_grow(b"\x037\xff5"), postcode_sheet()),
     DICT.format("house-postcode dictionary is not UTF-8")),
    ("dict empty text", lambda: postcode_sheet([""]).to_bytes(), IMPLAUSIBLE),
    ("dict descending", lambda: postcode_sheet(["75002", "75001"]).to_bytes(), IMPLAUSIBLE),
    ("dict twice", lambda: postcode_sheet(["75001", "75001"]).to_bytes(), IMPLAUSIBLE),
    ("dict letter first", lambda: postcode_sheet(["A7500"]).to_bytes(), IMPLAUSIBLE),
    ("dict nine digits", lambda: postcode_sheet(["123456789"]).to_bytes(), IMPLAUSIBLE),
    ("dict hyphen", lambda: postcode_sheet(["75-01"]).to_bytes(), IMPLAUSIBLE),
    # dictionaries and postings
    ("commune_name_fst body", lambda: damaged(damage_fst(sw.SEC_COMMUNE_NAME_FST, 16)), "commune_name_fst"),
    ("commune_name_fst checksum", lambda: damaged(damage_fst(sw.SEC_COMMUNE_NAME_FST, 16, resum=False)),
     "commune_name_fst"),
    ("commune_name_fst before sizes",
     lambda: damaged(both(damage_fst(sw.SEC_COMMUNE_NAME_FST, 16), extend(sw.SEC_STREETS_META, b"\0"))),
     "commune_name_fst"),
    ("street_key_fst body", lambda: damaged(damage_fst(sw.SEC_STREET_KEY_FST, 16)), "street_key_fst"),
    ("words_fst body", lambda: damaged(damage_fst(sw.SEC_WORDS_FST, 16)), "words_fst"),
    ("words_fst truncated", lambda: damaged(shorten(sw.SEC_WORDS_FST, 1)), "words_fst"),
    ("postings empty", lambda: postings_sheet({"a": [0], "b": [1], "c": [2]}, raw=b""),
     f"word_postings is empty but the words FST has 3 keys {POSTINGS}"),
    ("postings past section", lambda: postings_sheet({"a": [0], "b": [1]}, raw=varint(1) + varint(0)),
     f'word_postings entry for "b" points past the section {POSTINGS}'),
    ("postings count unterminated", lambda: postings_sheet({"a": [0]}, raw=b"\x80\x80"),
     f'word_postings entry for "a" has a malformed/unterminated street count varint {POSTINGS}'),
    ("postings count 0", lambda: postings_sheet({"a": [0]}, raw=b"\x00\x00"),
     f'word_postings entry for "a" has a zero/oversized street count {POSTINGS}'),
    ("postings count 16385", lambda: postings_sheet({"a": [0]}, raw=varint(16385) + varint(0)),
     f'word_postings entry for "a" has a zero/oversized street count {POSTINGS}'),
    ("postings first id cut", lambda: postings_sheet({"a": [0]}, raw=b"\x01\x80"),
     f'word_postings entry for "a" is truncated mid-list (unterminated varint) {POSTINGS}'),
    ("postings delta cut", lambda: postings_sheet({"a": [0]}, raw=b"\x02\x00\x80"),
     f'word_postings entry for "a" is truncated mid-list (unterminated varint) {POSTINGS}'),
    ("postings 5, 5", lambda: postings_sheet({"rue": [5, 5]}),
     f'word_postings entry for "rue" repeats a street id (deltas must be positive) {POSTINGS}'),
    ("postings first id past", lambda: postings_sheet({"a": [6]}),
     f'word_postings entry for "a" references a street id past the street table {POSTINGS}'),
    ("postings later id past", lambda: postings_sheet({"a": [0, 6]}),
     f'word_postings entry for "a" references a street id past the street table {POSTINGS}'),
    ("postings overflow", lambda: postings_sheet({"a": [0]}, raw=varint(2) + varint(1) + varint((1 << 64) - 1)),
     f'word_postings entry for "a" overflows the street id accumulator {POSTINGS}'),
    ("postings key quoted", lambda: postings_sheet({b'q"\xff\xc3\xa9': [9]}),
     f'word_postings entry for "q\\"\ufffdé" references a street id past the street table {POSTINGS}'),
]


@pytest.mark.parametrize("make, message", [c[1:] for c in SECTION_CASES], ids=[c[0] for c in SECTION_CASES])
def test_section_refusals_name_the_file(place, make, message):
    path = place("section", make())
    got = open_error(str(path))
    if message.endswith("_fst"):  # the map reader's own reason sits in the middle
        assert got.startswith(f"{quoted(path)}: {message}: ") and got.endswith(" — file is corrupt")
    else:
        assert got == f"{quoted(path)}: {message}"


ACCEPTED = [
    ("empty SEC_RANK", lambda: damaged(lambda l: l.add_section(sw.SEC_RANK, b""))),
    ("SEC_RANK", lambda: base_sheet(rank_model=RankModel(bias=1.0, weights=(0.5,) * 10)).to_bytes()),
    ("section 16 with content", lambda: damaged(lambda l: l.add_section(sw.SEC_UNUSED_16, b"anything"))),
    ("empty section inside another",
     lambda: damaged(lambda l: [l.add_section(sw.SEC_UNUSED_16, b""),
                                setattr(l.entry(sw.SEC_UNUSED_16), "offset", l.offset(sw.SEC_NAMES) + 1)])),
    ("no words, no postings", lambda: postings_sheet({}, raw=b"")),
    ("postings over-long varints", lambda: postings_sheet({"a": [0]}, raw=b"\x81\x00\x80\x00")),
    ("dict ascending", lambda: postcode_sheet(["75001", "75002"]).to_bytes()),
    ("dict letters and space", lambda: postcode_sheet(["1010 AB", "1010 AC"]).to_bytes()),
    ("malformed meta", lambda: base_sheet(meta=()).to_bytes()[:-4] + u32(1025)),
    ("malformed rules", lambda: damaged(lambda l: l.add_section(sw.SEC_RULES, b"\xff\xff"))),
    ("short suffixes", lambda: damaged(replace(sw.SEC_HOUSE_SUFFIXES, u32(3) + b"\x02bi"))),
    ("short grid", lambda: damaged(replace(sw.SEC_REVERSE_GRID, b"\x05"))),
]


@pytest.mark.parametrize("make", [c[1] for c in ACCEPTED], ids=[c[0] for c in ACCEPTED])
def test_tolerated_content_opens_quietly(place, capfd, make):
    vorlane.Geocoder(str(place("accepted", make())))
    assert capfd.readouterr() == ("", "")


def test_version_6_skips_house_postcode_dictionaries(place):
    # A one-house street whose postcode field claims per-house postcodes: the
    # list is too short for a dictionary, which only version 7 reads.
    sheet = Sheet([Commune("Paris", "75056")], [Street("Rue A", 0, houses=[House(1)])], version=6)
    layout = sheet.layout()
    street_field(0, sw.STREET_POSTCODE_TEXT, sw.PER_HOUSE_POSTCODES)(layout)
    vorlane.Geocoder(str(place("v6", layout.to_bytes())))
    layout.version = 7
    path = place("v7", layout.to_bytes())
    assert open_error(str(path)) == f"{quoted(path)}: {DICT.format('house-postcode dictionary is truncated')}"


def test_postings_of_16384_streets_pass(place):
    streets = [Street(f"s{i}", 0, houses=[House(1)], lat=1.0, lon=1.0) for i in range(16384)]
    sheet = Sheet([Commune("A", "1", lat=1.0, lon=1.0)], streets, words={"w": range(16384)}, grid={})
    vorlane.Geocoder(str(place("big", sheet.to_bytes())))


# ------------------------------------------------------------ files and paths

def test_file_system_refusals(tmp_path):
    missing = tmp_path / "missing.idx"
    assert open_error(str(missing)) == f"cannot open {quoted(missing)}"
    assert open_error("") == 'cannot open ""'
    # a directory opens but cannot be mapped: the system's own error text
    message = open_error(str(tmp_path))
    text, _, number = message.rpartition(" (os error ")
    assert number.endswith(")") and text == os.strerror(int(number[:-1]))


def test_path_with_nul_is_refused_not_cut(tmp_path):
    (tmp_path / "a").write_bytes(base_sheet().to_bytes())
    path = str(tmp_path / "a") + "\0b"
    assert os.fspath(path) == path  # Python hands the NUL on; the engine must refuse it
    assert open_error(path) == f'cannot open "{tmp_path}/a\\0b"'


def test_paths_are_quoted_with_escapes(place, tmp_path):
    name = os.fsdecode(b'we"ird\\name\'s\xff.idx')
    expected = f'"{tmp_path}/we\\"ird\\\\name\'s\\xFF.idx"'
    assert open_error(str(tmp_path / name)) == f"cannot open {expected}"
    (tmp_path / name).write_bytes(base_sheet(rank_model=b"VRRK").to_bytes())
    assert open_error(str(tmp_path / name)) == f"{expected}: {RANK}"


LAYER_REFUSED = ("{} has layer {}, not an address sheet — load an `addresses` layer as the main index"
                 " (a POI layer goes via --poi / vorlane_load_poi)")


@pytest.mark.parametrize("meta, layer", [
    ((("country", "fr"), ("layer", "poi")), '"poi"'),
    ((("layer", "poi"), ("layer", "addresses")), '"poi"'),
    ((("layer", 'a"\\b'),), '"a\\"\\\\b"'),
    ((("layer", ""),), '""'),
    ((("layer", "addresses"), ("layer", "poi")), None),
    ((("country", "fr"),), None),
    (None, None),
], ids=["poi", "first of two", "escaped", "empty", "second ignored", "no layer", "no meta"])
def test_address_sheet_layer(place, meta, layer):
    path = place("layer", base_sheet(meta=meta).to_bytes())
    if layer is None:
        vorlane.Geocoder(str(path))
    else:
        assert open_error(str(path)) == LAYER_REFUSED.format(quoted(path), layer)


# ------------------------------------------------------------ admin sidecar

NOT_WOFA = "warning: {} next to {} is not a WOFA admin sidecar — regions disabled\n"
MISNAMED = ("warning: {} expected admin sidecar {} but it is missing; found {} next to it — regions disabled. "
            "Rename the sidecar to match the sheet (release rename?).\n")
WOFA_EMPTY = b"WOFA" + u32(0)


@pytest.mark.parametrize("sheet, sidecars, warning", [
    ("fr.idx", {"fr_admin.bin": b"WOFX" + u32(0) + b"\0"}, NOT_WOFA.format("fr_admin.bin", "{sheet}")),
    ("fr.idx", {"fr_admin.bin": WOFA_EMPTY}, NOT_WOFA.format("fr_admin.bin", "{sheet}")),
    ("fr.idx", {"fr_admin.bin": b""}, NOT_WOFA.format("fr_admin.bin", "{sheet}")),
    ("fr.idx", {"fr_admin.bin": WOFA_EMPTY + b"\0"}, ""),
    ("fr.idx", {"fr_admin.bin": sw.encode_admin(sw.sample_admin(), truncate=60)}, ""),
    ("fr.v2.idx", {"fr.v2_admin.bin": b"WOFA"}, NOT_WOFA.format("fr.v2_admin.bin", "{sheet}")),
    (".idx", {".idx_admin.bin": b"nope"}, NOT_WOFA.format(".idx_admin.bin", "{sheet}")),
    ("de-2024.idx", {"DE_admin.bin": WOFA_EMPTY + b"\0"},
     MISNAMED.format("{sheet}", "de-2024_admin.bin", "DE_admin.bin")),
    ("de-2024.idx", {"fr_admin.bin": WOFA_EMPTY + b"\0"}, ""),
    ("de-2024.idx", {"de_admin.bin": b"WOFX" + u32(0) + b"\0"}, ""),
    ("de-2024.idx", {"de-2024_admin.bin": WOFA_EMPTY + b"\0", "DE_admin.bin": WOFA_EMPTY + b"\0"}, ""),
], ids=["wrong magic", "8 bytes", "empty", "9 bytes", "cut region", "stem keeps inner dot", "dot file",
        "misnamed", "other country", "misnamed not WOFA", "expected present"])
def test_admin_sidecar_warnings(tmp_path, capfd, sheet, sidecars, warning):
    path = tmp_path / sheet
    path.write_bytes(base_sheet().to_bytes())
    for name, data in sidecars.items():
        (tmp_path / name).write_bytes(data)
    vorlane.Geocoder(str(path))
    assert capfd.readouterr() == ("", warning.format(sheet=quoted(path)))


def test_bare_sheet_name_never_searches_for_a_misnamed_sidecar(tmp_path, capfd, monkeypatch):
    (tmp_path / "de-2024.idx").write_bytes(base_sheet().to_bytes())
    (tmp_path / "DE_admin.bin").write_bytes(WOFA_EMPTY + b"\0")
    monkeypatch.chdir(tmp_path)
    vorlane.Geocoder("de-2024.idx")
    assert capfd.readouterr() == ("", "")
    vorlane.Geocoder("./de-2024.idx")
    assert capfd.readouterr().err == MISNAMED.format('"./de-2024.idx"', "de-2024_admin.bin", "DE_admin.bin")
