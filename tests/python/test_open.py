"""Opening index files through `Geocoder`: every refusal, word for word. Header
and TOC faults carry no file name; later faults name the file as a quoted,
escaped path. Cases with two faults pin the order of the checks."""

import math
import os
import subprocess
import sys

import pytest

import vorlane
import sheetwriter as sw
from sheetwriter import Commune, House, RankModel, Sheet, Street, u32, u64, varint


def quoted(path):
    text = os.fspath(path)  # only paths that need no escapes
    assert text.isascii() and text.isprintable() and not set(text) & set('"\\')
    return f'"{text}"'


def base_sheet(**changes):
    communes = [Commune("Paris", "75056", weight=1000, lat=48.85, lon=2.35),
                Commune("Lyon", "69123", weight=500, lat=45.76, lon=4.83)]
    streets = [Street(f"Rue {c}", i % 2, houses=[House(1), House(3)]) for i, c in enumerate("ABCDEF")]
    return Sheet(communes, streets, **changes)


def postcode_sheet(dictionary=("75001",)):
    # one street whose two houses carry postcodes, with this dictionary written verbatim
    street = Street("Rue A", 0, houses=[House(1), House(2)], house_postcodes=list(dictionary))
    return Sheet([Commune("Paris", "75056", lat=48.85, lon=2.35)], [street])


def german_sheet():
    # a "de" sheet whose rosters are built at open: numeric, text, per-house and blank postcodes
    streets = [Street("Hauptstraße", 0, postcode=10115, houses=[House(1)]),
               Street("Hauptstr.", 0, houses=[House(2)]),
               Street("Unter den Linden", 0, postcode_text="10117", houses=[House(5)]),
               Street("Friedrichstraße", 0, houses=[House(1, postcode="10117"), House(3, postcode="10115")])]
    return Sheet([Commune("Berlin", "11000000", lat=52.52, lon=13.40)], streets,
                 meta=[("country", "de"), ("layer", "addresses")])


def image(case):
    """A case's file: raw bytes, a sheet, an edit of the base sheet, or (sheet, edit, ...)."""
    if isinstance(case, bytes):
        return case
    sheet, *edits = case if isinstance(case, tuple) else (base_sheet(), case) if callable(case) else (case,)
    layout = sheet.layout()
    for edit in edits:
        edit(layout)
    return layout.to_bytes()


def street_field(street, field, value, width=4):
    # overwrites one field of a streets_meta record; value may be a function of the layout
    def edit(layout):
        v = value(layout) if callable(value) else value
        layout.patch(sw.SEC_STREETS_META, 36 * street + field, u32(v) if width == 4 else u64(v))
    return edit


def names_end(layout):
    return len(layout.section(sw.SEC_NAMES))


def patch_houses(data):  # the start of house_data: the first street's postcode dictionary
    return lambda layout: layout.patch(sw.SEC_HOUSE_DATA, 0, data(layout) if callable(data) else data)


def resize(sid, new):  # new: the section's new bytes, given its old ones
    return lambda layout: layout.replace_section(sid, new(layout.section(sid)))


def extend(sid):
    return resize(sid, lambda data: data + b"\0")


def postings_sheet(words, raw=None):  # optionally with raw word_postings bytes
    sheet = base_sheet(words=words)
    return sheet if raw is None else (sheet, resize(sw.SEC_WORD_POSTINGS, lambda _: raw))


def names_grow(extra):  # appends raw bytes to names and points the dictionary entry at them
    def edit(layout):
        end = names_end(layout)
        layout.replace_section(sw.SEC_NAMES, layout.section(sw.SEC_NAMES) + extra)
        layout.patch(sw.SEC_HOUSE_DATA, 1, u32(end))
    return edit


def set_toc(sid, **fields):
    return lambda layout: [setattr(layout.entry(sid), k, v) for k, v in fields.items()]


def set_header(**fields):
    return lambda layout: [setattr(layout, k, v) for k, v in fields.items()]


def masked_crc32c(data):  # the checksum of a version-3 fst map
    crc = 0xFFFFFFFF
    for byte in data:
        crc ^= byte
        for _ in range(8):
            crc = (crc >> 1) ^ (0x82F63B78 & -(crc & 1))
    crc ^= 0xFFFFFFFF
    return ((((crc >> 15) | (crc << 17)) & 0xFFFFFFFF) + 0xA282EAD8) & 0xFFFFFFFF


def damage_fst(sid, at, resum=True):
    # flips one byte of an fst map; with resum the checksum matches again, so only structure checks see it
    def edit(layout):
        data = bytearray(layout.section(sid))
        data[at] ^= 0xFF
        if resum:
            data[-4:] = u32(masked_crc32c(data[:-4]))
        layout.replace_section(sid, bytes(data))
    return edit


def open_error(path, data=None):
    if data is not None:
        path.write_bytes(data)
    with pytest.raises(OSError) as info:
        vorlane.Geocoder(str(path))
    assert type(info.value) is OSError and info.value.errno is None and len(info.value.args) == 1
    return info.value.args[0]


# ------------------------------------------------------------ header and TOC

NOT_VRC0 = "not a VRC0 index file"
VERSION = "index format version {} not supported (reader accepts v6..=v7) — rebuild the sheet with this engine"
SIZE_PAST = ("index section {} spans bytes {}..{} but the file is {{size}} bytes"
             " — the download is truncated or the file is corrupt")
UNKNOWN_ID = "index TOC has unknown section id {} (1..=17) — file is corrupt"
NO_ENTRY = "index required section {} has no TOC entry — file is corrupt or truncated"
HEADER_CASES = {
    "empty": (b"", NOT_VRC0),
    "294 bytes": (b"VRC0\x07\x00".ljust(294, b"\0"), NOT_VRC0),
    "bad magic": (set_header(magic=b"VRC1"), NOT_VRC0),
    "295 bytes, no TOC": (b"VRC0\x07\x00".ljust(295, b"\0"), NO_ENTRY.format(1)),
    "version 5": (set_header(version=5), VERSION.format(5)),
    "version 8": (set_header(version=8), VERSION.format(8)),
    "18 sections": (set_header(n=18), "index header declares 18 sections (max 17) — file is corrupt"),
    "past the end": (set_toc(1, length=1 << 40), SIZE_PAST.format(1, 295, 295 + (1 << 40))),
    "wraps": (set_toc(1, offset=(1 << 64) - 1), SIZE_PAST.format(1, (1 << 64) - 1, (1 << 64) - 1)),
    # the bounds pass runs over every entry before ids are judged
    "bounds before unknown id": ((base_sheet(), set_toc(1, id=0), set_toc(2, offset=295, length=1 << 40)),
                                 SIZE_PAST.format(2, 295, 295 + (1 << 40))),
    "bounds before repeat": ((base_sheet(), set_toc(2, id=1), set_toc(3, offset=295, length=1 << 40)),
                             SIZE_PAST.format(3, 295, 295 + (1 << 40))),
    "id 0": (set_toc(17, id=0), UNKNOWN_ID.format(0)),
    "id 18": (set_toc(17, id=18), UNKNOWN_ID.format(18)),
    "id twice": (lambda l: l.duplicate_entry(sw.SEC_META), "index TOC declares section 17 twice — file is corrupt"),
    "overlap": (lambda l: setattr(l.entry(sw.SEC_NAMES), "offset", l.offset(sw.SEC_NAMES) - 1),
                "index sections overlap — file is corrupt"),
    "no entry 4": (lambda l: l.drop_entry(sw.SEC_STREET_KEY_FST), NO_ENTRY.format(4)),
    "no entry 13": (lambda l: l.drop_entry(sw.SEC_WORD_POSTINGS), NO_ENTRY.format(13)),
    "empty 8": (set_toc(sw.SEC_HOUSE_SUFFIXES, length=0),
                "index required section 8 is missing or empty — file is corrupt or truncated"),
}


@pytest.mark.parametrize("case, message", HEADER_CASES.values(), ids=HEADER_CASES)
def test_header_and_toc_refusals_do_not_name_the_file(tmp_path, case, message):
    data = image(case)
    assert open_error(tmp_path / "sheet.idx", data) == message.format(size=len(data))


# ------------------------------------------------------------ sections

RECORD = "street record {} violates structural invariants — corrupt (zeroed or misdirected section content)"
DICT = "street record 0 {} — corrupt"
DICT_SIZE = DICT.format("has an invalid house-postcode dictionary size")
DICT_TRUNCATED = DICT.format("house-postcode dictionary is truncated")
IMPLAUSIBLE = DICT.format("house-postcode dictionary is empty, implausible, duplicated, or unsorted")
RANK = "SEC_RANK is present but malformed — corrupt/tampered sheet"
PARSER = "SEC_PARSER is present but malformed — corrupt/tampered sheet"
STREETS_META = "streets_meta length is not a whole number of records — corrupt"
FST_SUM = "{}: fst map checksum mismatch — file is corrupt"
PAST_TABLE = "references a street id past the street table"
FUZZY = "— corrupt (fuzzy search would silently fail)"


def posting(reason, key="a"):
    return f'word_postings entry for "{key}" {reason} {FUZZY}'


def ranked(model):
    return base_sheet(rank_model=model)


SECTION_CASES = {
    "parser": (base_sheet(parser_model=b"junk"), PARSER),
    "parser before rank": (base_sheet(parser_model=b"junk", rank_model=b"VRRK"), PARSER),
    "rank 48 bytes": (ranked(RankModel().to_bytes()[:48]), RANK),
    "rank 50 bytes": (ranked(RankModel().to_bytes() + b"\0"), RANK),
    "rank magic": (ranked(b"VRRX" + RankModel().to_bytes()[4:]), RANK),
    "rank 9 features": (ranked(RankModel(feature_count=9)), RANK),
    "rank NaN weight": (ranked(RankModel(weights=(1.0,) * 9 + (math.nan,))), RANK),
    "rank infinite bias": (ranked(RankModel(bias=-math.inf)), RANK),
    "rank before record sizes": ((ranked(b"VRRK"), extend(sw.SEC_STREETS_META)), RANK),
    "streets_meta 1 byte over": (extend(sw.SEC_STREETS_META), STREETS_META),
    "streets_meta before records": ((base_sheet(), street_field(0, sw.STREET_HOUSE_COUNT, 0),
                                     extend(sw.SEC_STREETS_META)), STREETS_META),
    "communes_meta 1 byte over": (extend(sw.SEC_COMMUNES_META),
                                  "communes_meta length is not a whole number of records — corrupt"),
    "commune_coords short": (resize(sw.SEC_COMMUNE_COORDS, lambda d: d[:-8]),
                             "commune_coords does not match the commune count — corrupt"),
    "house count 0": (street_field(0, sw.STREET_HOUSE_COUNT, 0), RECORD.format(0)),
    "equal house offsets": (street_field(1, sw.STREET_HOUSES_OFFSET, 0, width=8), RECORD.format(0)),
    "name past names": (street_field(2, sw.STREET_NAME, names_end), RECORD.format(2)),
    "name runs past names": (street_field(3, sw.STREET_NAME, lambda l: names_end(l) - 1), RECORD.format(3)),
    "commune out of range": (street_field(1, sw.STREET_COMMUNE, 2), RECORD.format(1)),
    "records before fst": ((base_sheet(), street_field(0, sw.STREET_HOUSE_COUNT, 0), damage_fst(sw.SEC_WORDS_FST, 16)),
                           RECORD.format(0)),
    # house-postcode dictionaries (format version 7)
    "dict count unterminated": ((postcode_sheet(), patch_houses(lambda l: b"\x80" * len(l.section(6)))),
                                DICT.format("has a malformed house-postcode dictionary count")),
    "dict K = 0": ((postcode_sheet(), patch_houses(b"\0")), DICT_SIZE),
    "dict K = houses + 1": ((postcode_sheet(), patch_houses(b"\x03")), DICT_SIZE),
    "dict truncated": ((postcode_sheet(), street_field(0, sw.STREET_HOUSE_COUNT, 100), patch_houses(varint(100))),
                       DICT_TRUNCATED),
    "dict past names": ((postcode_sheet(), patch_houses(lambda l: b"\x01" + u32(names_end(l)))),
                        DICT.format("house-postcode dictionary points outside names")),
    "dict runs past names": ((postcode_sheet(), names_grow(b"\x09123")),
                             DICT.format("house-postcode dictionary points outside names")),
    "dict not UTF-8": ((postcode_sheet(), names_grow(b"\x037\xff5")),
                       DICT.format("house-postcode dictionary is not UTF-8")),
    "dict empty text": (postcode_sheet([""]), IMPLAUSIBLE),
    "dict descending": (postcode_sheet(["75002", "75001"]), IMPLAUSIBLE),
    "dict twice": (postcode_sheet(["75001", "75001"]), IMPLAUSIBLE),
    "dict letter first": (postcode_sheet(["A7500"]), IMPLAUSIBLE),
    "dict nine digits": (postcode_sheet(["123456789"]), IMPLAUSIBLE),
    "dict hyphen": (postcode_sheet(["75-01"]), IMPLAUSIBLE),
    # dictionaries and postings
    "commune_name_fst body": (damage_fst(sw.SEC_COMMUNE_NAME_FST, 16), "commune_name_fst"),
    "commune_name_fst checksum": (damage_fst(sw.SEC_COMMUNE_NAME_FST, 16, resum=False),
                                  FST_SUM.format("commune_name_fst")),
    "commune_name_fst before sizes": ((base_sheet(), damage_fst(sw.SEC_COMMUNE_NAME_FST, 16),
                                       extend(sw.SEC_STREETS_META)), "commune_name_fst"),
    "street_key_fst body": (damage_fst(sw.SEC_STREET_KEY_FST, 16), "street_key_fst"),
    "words_fst body": (damage_fst(sw.SEC_WORDS_FST, 16), "words_fst"),
    "words_fst truncated": (resize(sw.SEC_WORDS_FST, lambda d: d[:-1]), FST_SUM.format("words_fst")),
    "postings empty": (postings_sheet({"a": [0], "b": [1], "c": [2]}, raw=b""),
                       f"word_postings is empty but the words FST has 3 keys {FUZZY}"),
    "postings past section": (postings_sheet({"a": [0], "b": [1]}, raw=varint(1) + varint(0)),
                              posting("points past the section", key="b")),
    "postings count unterminated": (postings_sheet({"a": [0]}, raw=b"\x80\x80"),
                                    posting("has a malformed/unterminated street count varint")),
    "postings count 0": (postings_sheet({"a": [0]}, raw=b"\x00\x00"), posting("has a zero/oversized street count")),
    "postings count 16385": (postings_sheet({"a": [0]}, raw=varint(16385) + varint(0)),
                             posting("has a zero/oversized street count")),
    "postings first id cut": (postings_sheet({"a": [0]}, raw=b"\x01\x80"),
                              posting("is truncated mid-list (unterminated varint)")),
    "postings delta cut": (postings_sheet({"a": [0]}, raw=b"\x02\x00\x80"),
                           posting("is truncated mid-list (unterminated varint)")),
    "postings 5, 5": (postings_sheet({"rue": [5, 5]}), posting("repeats a street id (deltas must be positive)", "rue")),
    "postings first id past": (postings_sheet({"a": [6]}), posting(PAST_TABLE)),
    "postings later id past": (postings_sheet({"a": [0, 6]}), posting(PAST_TABLE)),
    "postings overflow": (postings_sheet({"a": [0]}, raw=varint(2) + varint(1) + varint((1 << 64) - 1)),
                          posting("overflows the street id accumulator")),
    "postings key quoted": (postings_sheet({b'q"\xff\xc3\xa9': [9]}), posting(PAST_TABLE, key='q\\"\ufffdé')),
}


@pytest.mark.parametrize("case, message", SECTION_CASES.values(), ids=SECTION_CASES)
def test_section_refusals_name_the_file(tmp_path, case, message):
    path = tmp_path / "sheet.idx"
    got = open_error(path, image(case))
    if message.endswith("_fst"):  # damage behind a matching checksum: the reader's structural reason
        assert got.startswith(f"{quoted(path)}: {message}: ") and got.endswith(" — file is corrupt")
        assert "checksum" not in got
    else:
        assert got == f"{quoted(path)}: {message}"


ACCEPTED = {
    "empty SEC_RANK": lambda l: l.add_section(sw.SEC_RANK, b""),
    "SEC_RANK": ranked(RankModel(bias=1.0, weights=(0.5,) * 10)),
    "section 16 with content": lambda l: l.add_section(sw.SEC_UNUSED_16, b"anything"),
    "empty section inside another": (
        base_sheet(), lambda l: l.add_section(sw.SEC_UNUSED_16, b""),
        lambda l: setattr(l.entry(sw.SEC_UNUSED_16), "offset", l.offset(sw.SEC_NAMES) + 1)),
    "no words, no postings": postings_sheet({}, raw=b""),
    "postings over-long varints": postings_sheet({"a": [0]}, raw=b"\x81\x00\x80\x00"),
    "dict ascending": postcode_sheet(["75001", "75002"]),
    "dict letters and space": postcode_sheet(["1010 AB", "1010 AC"]),
    "malformed meta": (base_sheet(meta=()), lambda l: l.patch(sw.SEC_META, 0, u32(1025))),
    "malformed rules": lambda l: l.add_section(sw.SEC_RULES, b"\xff\xff"),
    "short suffixes": resize(sw.SEC_HOUSE_SUFFIXES, lambda _: u32(3) + b"\x02bi"),
    "short grid": resize(sw.SEC_REVERSE_GRID, lambda _: b"\x05"),
    "German sheet with house postcodes": german_sheet(),
    "postings of 16384 streets": Sheet([Commune("A", "1", lat=1.0, lon=1.0)],
                                       [Street(f"s{i}", 0, houses=[House(1)], lat=1.0, lon=1.0) for i in range(16384)],
                                       words={"w": range(16384)}, grid={}),
}


@pytest.mark.parametrize("case", ACCEPTED.values(), ids=ACCEPTED)
def test_tolerated_content_opens_quietly(tmp_path, capfd, case):
    (tmp_path / "sheet.idx").write_bytes(image(case))
    vorlane.Geocoder(str(tmp_path / "sheet.idx"))
    assert capfd.readouterr() == ("", "")


def test_version_6_skips_house_postcode_dictionaries(tmp_path):
    # A one-house street whose postcode field claims per-house postcodes: the
    # list is too short for a dictionary, which only version 7 reads.
    layout = Sheet([Commune("Paris", "75056")], [Street("Rue A", 0, houses=[House(1)])], version=6).layout()
    street_field(0, sw.STREET_POSTCODE_TEXT, sw.PER_HOUSE_POSTCODES)(layout)
    vorlane.Geocoder(str(layout.write(tmp_path / "v6.idx")))
    layout.version = 7
    path = tmp_path / "v7.idx"
    assert open_error(path, layout.to_bytes()) == f"{quoted(path)}: {DICT_TRUNCATED}"


# ------------------------------------------------------------ files and paths

def test_file_system_refusals(tmp_path):
    missing = tmp_path / "missing.idx"
    assert open_error(missing) == f"cannot open {quoted(missing)}"
    assert open_error("") == 'cannot open ""'
    # a directory opens but cannot be mapped: the system's own error text
    message = open_error(tmp_path)
    text, _, number = message.rpartition(" (os error ")
    assert number.endswith(")") and text == os.strerror(int(number[:-1]))
    (tmp_path / "a").write_bytes(base_sheet().to_bytes())  # a NUL must be refused, not cut the path short
    assert open_error(str(tmp_path / "a") + "\0b") == f'cannot open "{tmp_path}/a\\0b"'


def open_in_subprocess(sheet):
    """What opening the sheet prints, run where a hang cannot stall the suite
    (a blocked open holds the interpreter lock, so no thread could stop it)."""
    code = ("import vorlane, sys\ntry:\n    vorlane.Geocoder(sys.argv[1])\n    print('opened')\n"
            "except OSError as e:\n    print(e)\n")
    done = subprocess.run([sys.executable, "-c", code, str(sheet)], capture_output=True, text=True,
                          timeout=60)
    return done.stdout, done.stderr


def test_files_that_are_not_regular_files(tmp_path):
    os.mkfifo(tmp_path / "fifo.idx")
    assert open_in_subprocess(tmp_path / "fifo.idx") == ("No such device (os error 19)\n", "")

    # A sidecar that is no regular file is never read; the search for a
    # misnamed one then runs as for a missing sidecar.
    base_sheet().write(tmp_path / "fr.idx")
    os.mkfifo(tmp_path / "fr_admin.bin")
    (tmp_path / "FR_admin.bin").write_bytes(WOFA_OK)
    assert open_in_subprocess(tmp_path / "fr.idx") == (
        "opened\n", MISNAMED.format(quoted(tmp_path / "fr.idx"), "fr_admin.bin", "FR_admin.bin"))

    base_sheet().write(tmp_path / "de.idx")
    os.symlink("/dev/zero", tmp_path / "de_admin.bin")
    os.mkfifo(tmp_path / "DE_admin.bin")  # a misnamed candidate is not read either
    assert open_in_subprocess(tmp_path / "de.idx") == ("opened\n", "")


def test_paths_are_quoted_with_escapes(tmp_path):
    path = tmp_path / os.fsdecode(b'we"ird\\name\'s\xff.idx')
    expected = f'"{tmp_path}/we\\"ird\\\\name\'s\\xFF.idx"'
    assert open_error(path) == f"cannot open {expected}"
    assert open_error(path, base_sheet(rank_model=b"VRRK").to_bytes()) == f"{expected}: {RANK}"


LAYER_REFUSED = ("{} has layer {}, not an address sheet — load an `addresses` layer as the main index"
                 " (a POI layer goes via --poi / vorlane_load_poi)")


@pytest.mark.parametrize("meta, layer", [
    ((("country", "fr"), ("layer", "poi")), '"poi"'),
    ((("layer", "poi"), ("layer", "addresses")), '"poi"'),  # only the first layer entry counts
    ((("layer", 'a"\\b'),), '"a\\"\\\\b"'),
    ((("layer", ""),), '""'),
    ((("layer", "addresses"), ("layer", "poi")), None),
    ((("country", "fr"),), None),
    (None, None),
])
def test_address_sheet_layer(tmp_path, meta, layer):
    path = base_sheet(meta=meta).write(tmp_path / "sheet.idx")
    if layer is None:
        vorlane.Geocoder(str(path))
    else:
        assert open_error(path) == LAYER_REFUSED.format(quoted(path), layer)


# ------------------------------------------------------------ admin sidecar

MISNAMED = ("warning: {} expected admin sidecar {} but it is missing; found {} next to it — regions disabled. "
            "Rename the sidecar to match the sheet (release rename?).\n")
WOFA_EMPTY = b"WOFA" + u32(0)  # a region count without the rest is no sidecar
WOFA_OK = WOFA_EMPTY + b"\0"


def not_wofa(sidecar):
    return f"warning: {sidecar} next to {{sheet}} is not a WOFA admin sidecar — regions disabled\n"


@pytest.mark.parametrize("sheet, sidecars, warning", [
    ("fr.idx", {"fr_admin.bin": b"WOFX" + u32(0) + b"\0"}, not_wofa("fr_admin.bin")),
    ("fr.idx", {"fr_admin.bin": WOFA_EMPTY}, not_wofa("fr_admin.bin")),
    ("fr.idx", {"fr_admin.bin": b""}, not_wofa("fr_admin.bin")),
    ("fr.idx", {"fr_admin.bin": WOFA_OK}, ""),
    ("fr.idx", {"fr_admin.bin": sw.encode_admin(sw.sample_admin(), truncate=60)}, ""),  # a region cut short
    ("fr.v2.idx", {"fr.v2_admin.bin": b"WOFA"}, not_wofa("fr.v2_admin.bin")),  # the stem keeps its inner dot
    (".idx", {".idx_admin.bin": b"nope"}, not_wofa(".idx_admin.bin")),
    ("de-2024.idx", {"DE_admin.bin": WOFA_OK}, MISNAMED.format("{sheet}", "de-2024_admin.bin", "DE_admin.bin")),
    ("de-2024.idx", {"fr_admin.bin": WOFA_OK}, ""),  # another country's sidecar
    ("de-2024.idx", {"de_admin.bin": b"WOFX" + u32(0) + b"\0"}, ""),
    ("de-2024.idx", {"de-2024_admin.bin": WOFA_OK, "DE_admin.bin": WOFA_OK}, ""),
])
def test_admin_sidecar_warnings(tmp_path, capfd, sheet, sidecars, warning):
    path = tmp_path / sheet
    path.write_bytes(base_sheet().to_bytes())
    for name, data in sidecars.items():
        (tmp_path / name).write_bytes(data)
    vorlane.Geocoder(str(path))
    assert capfd.readouterr() == ("", warning.format(sheet=quoted(path)))


def test_bare_sheet_name_never_searches_for_a_misnamed_sidecar(tmp_path, capfd, monkeypatch):
    (tmp_path / "de-2024.idx").write_bytes(base_sheet().to_bytes())
    (tmp_path / "DE_admin.bin").write_bytes(WOFA_OK)
    monkeypatch.chdir(tmp_path)
    vorlane.Geocoder("de-2024.idx")
    assert capfd.readouterr() == ("", "")
    vorlane.Geocoder("./de-2024.idx")
    assert capfd.readouterr().err == MISNAMED.format('"./de-2024.idx"', "de-2024_admin.bin", "DE_admin.bin")
