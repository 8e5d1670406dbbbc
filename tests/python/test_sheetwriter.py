"""Checks of the test sheet writer's own output.

Every other test trusts these files, so the checks read them back with small
independent decoders instead of the writer's own helpers.
"""

import math
import struct
import subprocess
import sys
from pathlib import Path

import ducer
import pytest

import sheetwriter as sw
from sheetwriter import Commune, House, Region, Sheet, Street

# ---------------------------------------------------------------- decoders


def read_toc(image):
    magic, version, n = image[:4], image[4], image[5]
    entries = [struct.unpack_from("<BQQ", image, 6 + 17 * i) for i in range(n)]
    return magic, version, entries


def sections_of(image):
    return {sid: image[off:off + length] for sid, off, length in read_toc(image)[2]}


def read_varint(data, pos):
    value = shift = 0
    while True:
        byte = data[pos]
        pos += 1
        value |= (byte & 0x7F) << shift
        shift += 7
        if not byte & 0x80:
            return value, pos


def unzigzag(v):
    return (v >> 1) ^ -(v & 1)


def name_at(names, offset):
    return names[offset + 1:offset + 1 + names[offset]].decode()


def suffix_texts(section):
    count, pos, texts = struct.unpack_from("<I", section)[0], 4, [""]
    for _ in range(count):
        texts.append(section[pos + 1:pos + 1 + section[pos]].decode())
        pos += 1 + section[pos]
    return texts


def decode_streets(image, version):
    """[(record fields, [(number, suffix, lat units, lon units, postcode)])]."""
    secs = sections_of(image)
    meta, data, names = secs[5], secs[6], secs[7]
    suffixes = suffix_texts(secs[8])
    count = len(meta) // 36
    records = [struct.unpack_from("<iiIIIQII", meta, 36 * i) for i in range(count)]
    streets = []
    for i, (lat, lon, _commune, _pc, _name, start, houses, pc_field) in enumerate(records):
        end = records[i + 1][5] if i + 1 < count else len(data)
        pos, dictionary = start, None
        if version >= 7 and pc_field == 0xFFFFFFFF:
            k, pos = read_varint(data, pos)
            dictionary = [name_at(names, o) for o in struct.unpack_from(f"<{k}I", data, pos)]
            pos += 4 * k
        number, out = 0, []
        for _ in range(houses):
            delta, pos = read_varint(data, pos)
            number += delta
            suffix, pos = read_varint(data, pos)
            dlat, pos = read_varint(data, pos)
            dlon, pos = read_varint(data, pos)
            postcode = None
            if dictionary is not None:
                index, pos = read_varint(data, pos)
                postcode = dictionary[index - 1] if index else None
            out.append((number, suffixes[suffix], lat + unzigzag(dlat), lon + unzigzag(dlon), postcode))
        assert pos == end, f"street {i}: list ends at {pos}, next list starts at {end}"
        streets.append((records[i], out))
    return streets


def fst_items(data):
    return dict(ducer.Map(data).items())


# ---------------------------------------------------------------- container


@pytest.mark.parametrize("version,models", [(7, False), (7, True), (6, False)])
def test_header_and_toc_describe_a_valid_container(version, models):
    image = sw.sample_sheet(version, models).to_bytes()
    magic, got_version, entries = read_toc(image)
    assert (magic, got_version) == (b"VRC0", version)
    assert len(image) >= 295
    ids = [e[0] for e in entries]
    assert ids == sorted(set(ids))
    assert min(e[1] for e in entries) == 295
    assert {10, 11} <= set(ids) if models else not {10, 11} & set(ids)
    spans = sorted((off, off + length) for _, off, length in entries if length)
    assert all(end <= len(image) for _, end in spans)
    assert all(a_end <= b_start for (_, a_end), (b_start, _) in zip(spans, spans[1:]))
    lengths = {sid: length for sid, _, length in entries}
    assert all(lengths[sid] > 0 for sid in sw.REQUIRED_SECTIONS if sid != 13)


def test_commune_records_and_name_runs():
    secs = sections_of(sw.sample_sheet().to_bytes())
    postings = struct.unpack(f"<{len(secs[3]) // 4}I", secs[3])
    runs = {k.decode(): list(postings[v >> 16:(v >> 16) + (v & 0xFFFF)]) for k, v in fst_items(secs[1]).items()}
    assert runs == {"paris": [0], "lyon": [1], "saint denis": [2, 3], "st denis": [2]}
    codes = [secs[2][16 * i:16 * i + 8] for i in range(4)]
    assert codes[0] == b"75056\0\0\0"
    _, name, weight = struct.unpack_from("<8sII", secs[2], 16 * 2)
    assert (name_at(secs[7], name), weight) == ("Saint-Denis", 110_000)
    assert struct.unpack_from("<ii", secs[14], 8 * 3) == (-208789000, 554481000)


def test_street_keys_join_key_separator_and_unpadded_code():
    keys = fst_items(sections_of(sw.sample_sheet().to_bytes())[4])
    assert keys[b"rue de la paix\x1f75056"] == 0
    assert keys[b"rue de la republique\x1f69123"] == 2
    assert keys[b"rue de la republique\x1f93066"] == 3
    assert len(keys) == 5
    twice = Sheet([Commune("A", "1")], [Street("X", "1", [House(1)]), Street(" x ", 0, [House(2)])])
    with pytest.raises(ValueError, match="share the street key"):
        twice.to_bytes()


# ---------------------------------------------------------------- house lists


def test_house_lists_decode_back_to_the_description():
    sheet = Sheet(
        [Commune("C", "1", lat=10.0, lon=-20.0)],
        [Street("One", "C", [House(9, lat=-45.5, lon=170.25), House(2, "b"), House(2, "a", lat=10.01, lon=-20.0)],
                lat=10.0, lon=-20.0, postcode=12345, postcode_text="12345"),
         Street("Two", "C", [House(4, postcode="75011"), House(6, postcode="09999"), House(8)]),
         Street("Three", "C", [House(1, postcode="2")], house_postcodes=["3", "2", "2"])])
    layout = sheet.layout()
    (rec1, houses1), (rec2, houses2), (_, houses3) = decode_streets(layout.to_bytes(), 7)
    assert houses1 == [(2, "b", 100_000_000, -200_000_000, None), (2, "a", 100_100_000, -200_000_000, None),
                       (9, "", -455_000_000, 1_702_500_000, None)]
    assert rec1[3] == 12345 and rec1[7] == layout.info.name_offset("12345") and rec1[6] == 3
    assert rec2[7] == 0xFFFFFFFF
    assert [(h[0], h[4]) for h in houses2] == [(4, "75011"), (6, "09999"), (8, None)]
    assert [h[4] for h in houses3] == ["2"]  # first equal entry of a verbatim dictionary
    assert layout.section(7)[0] == 0  # offset 0 is the empty string, never a real name


def test_per_house_postcodes_need_version_7():
    streets = [Street("S", 0, [House(1, postcode="75001")])]
    with pytest.raises(ValueError, match="version 7"):
        Sheet([Commune("C", "1")], streets, version=6).to_bytes()
    six = sw.sample_sheet(version=6).to_bytes()
    assert all(rec[7] != 0xFFFFFFFF for rec, _ in decode_streets(six, 6))


# ---------------------------------------------------------------- words and grid


def test_word_postings_decode_to_the_streets_of_each_word():
    secs = sections_of(sw.sample_sheet().to_bytes())
    decoded = {}
    for word, offset in fst_items(secs[12]).items():
        count, pos = read_varint(secs[13], offset)
        ids, current = [], 0
        for i in range(count):
            gap, pos = read_varint(secs[13], pos)
            current = gap if i == 0 else current + gap
            ids.append(current)
        decoded[word.decode()] = ids
    assert decoded["rue"] == [0, 2, 3, 4]
    assert decoded["paix"] == [0]
    assert decoded == sw.derive_words(sw.sample_sheet().streets)


def test_explicit_words_are_written_verbatim():
    sheet = sw.sample_sheet()
    sheet.words = {"~prs": [0, 4], "dup": [5, 5]}
    secs = sections_of(sheet.to_bytes())
    offsets = fst_items(secs[12])
    assert secs[13][offsets[b"dup"]:offsets[b"dup"] + 3] == bytes([2, 5, 0])
    assert secs[13][offsets[b"~prs"]:offsets[b"~prs"] + 3] == bytes([2, 0, 4])


@pytest.mark.parametrize("lat,lon,key", [
    (0.0, 0.0, 9000 * 36000 + 18000),
    (-90.0, -180.0, 0),
    (90.0, 180.0, 17999 * 36000 + 35999),
    (95.0, -200.0, 17999 * 36000),
    (48.8566, 2.3522, 13885 * 36000 + 18235),
    (-0.001, -0.001, 8999 * 36000 + 17999),
])
def test_cell_key(lat, lon, key):
    assert sw.cell_key(lat, lon) == key


def test_grid_lists_each_street_in_the_cells_of_its_houses():
    sheet = sw.sample_sheet()
    grid = sections_of(sheet.to_bytes())[9]
    count = struct.unpack_from("<I", grid)[0]
    records = [struct.unpack_from("<III", grid, 4 + 12 * i) for i in range(count)]
    ids = struct.unpack_from(f"<{(len(grid) - 4 - 12 * count) // 4}I", grid, 4 + 12 * count)
    cells = {key: ids[first:first + n] for key, first, n in records}
    assert [r[0] for r in records] == sorted(cells)
    for street_id, street in enumerate(sheet.streets):
        for house in street.houses:
            assert street_id in cells[sw.cell_key(house.lat, house.lon)]


# ---------------------------------------------------------------- damage


def test_header_and_toc_overrides_reach_the_bytes():
    layout = sw.sample_sheet().layout()
    layout.version = 8
    layout.n = 18
    layout.entry(sw.SEC_NAMES).offset = 2**64 - 1
    layout.drop_entry(sw.SEC_META)
    layout.duplicate_entry(sw.SEC_STREETS_META)
    image = layout.to_bytes()
    _, version, _ = read_toc(image)
    assert (version, image[5]) == (8, 18)
    ids = [struct.unpack_from("<B", image, 6 + 17 * i)[0] for i in range(len(layout.toc))]
    assert sw.SEC_META not in ids and ids.count(sw.SEC_STREETS_META) == 2
    names_at = 6 + 17 * ids.index(sw.SEC_NAMES)
    assert struct.unpack_from("<Q", image, names_at + 1)[0] == 2**64 - 1
    with pytest.raises(RuntimeError, match="before TOC edits"):
        layout.replace_section(sw.SEC_NAMES, b"x")


def test_content_edits_repack_and_raw_edits_do_not_move():
    layout = sw.sample_sheet().layout()
    before = layout.offset(sw.SEC_WORDS_FST)
    layout.replace_section(sw.SEC_NAMES, layout.section(sw.SEC_NAMES) + b"\x00" * 3)
    assert layout.offset(sw.SEC_WORDS_FST) == before + 3
    layout.remove_section(sw.SEC_RULES).add_section(16, b"anything")
    layout.patch(sw.SEC_STREETS_META, sw.STREET_HOUSE_COUNT, sw.u32(0))
    layout.append(b"\xff\xff").patch_file(0, b"XRC0")
    image = layout.to_bytes()
    assert image[:4] == b"XRC0" and image.endswith(b"\xff\xff")
    assert sections_of(image)[16] == b"anything"
    assert struct.unpack_from("<I", sections_of(image)[5], 28)[0] == 0
    assert len(layout.truncate(294).to_bytes()) == 294
    with pytest.raises(IndexError):
        layout.patch(sw.SEC_RANK if sw.SEC_RANK in layout.sections else sw.SEC_META, 10**6, b"x")


def test_toc_room_guards_against_an_overrunning_toc():
    sections = {sid: b"s" for sid in range(1, 18)}
    layout = sw.Layout.from_sections(sections)
    assert layout.offset(1) == 295
    layout.duplicate_entry(1)
    with pytest.raises(ValueError, match="toc_room"):
        layout.to_bytes()
    roomy = sw.Layout.from_sections(sections, toc_room=18).duplicate_entry(1)
    assert roomy.to_bytes()[5] == 18


def test_key_hook_switches_every_dictionary():
    session_key = sw.get_key_function()
    with sw.key_function_override(lambda text: "k:" + text):
        secs = sections_of(sw.sample_sheet().to_bytes())
    assert b"k:Paris" in fst_items(secs[1])
    assert b"k:Rue de la Paix\x1f75056" in fst_items(secs[4])
    assert b"k:Rue" in fst_items(secs[12])
    assert sw.get_key_function() is session_key


# ---------------------------------------------------------------- side files


def test_admin_sidecar_layout():
    square = Region("Sq", [[(0, 0), (0, 10), (10, 10), (10, 0)], [(2, 2), (2, 8), (8, 8), (8, 2)]], raw_units=True)
    data = sw.encode_admin([square, sw.box_region("Ré", 1.0, 2.0, 3.0, 4.0)])
    assert data[:8] == b"WOFA" + struct.pack("<I", 2)
    assert data[8:11] == b"\x02Sq"
    assert struct.unpack_from("<iiiiH", data, 11) == (0, 0, 10, 10, 2)
    assert struct.unpack_from("<H8i", data, 29) == (4, 0, 0, 0, 10, 10, 10, 10, 0)
    second = 8 + len(square.to_bytes())
    assert data[second:second + 4] == b"\x03R\xc3\xa9"
    assert struct.unpack_from("<4i", data, second + 4) == (10_000_000, 20_000_000, 30_000_000, 40_000_000)
    assert sw.encode_admin([], magic=b"WOFB", count=3) == b"WOFB\x03\x00\x00\x00"
    assert len(sw.encode_admin([square], truncate=20)) == 20
    assert sw.admin_path_for("/d/fr.idx") == Path("/d/fr_admin.bin")


def test_model_rules_and_meta_sections():
    assert len(sw.RankModel().to_bytes()) == 49
    parser = sw.ParserModel([0.5, -1.0], [[0.0] * 5, [float("nan")] * 5]).to_bytes()
    assert len(parser) == 9 + 4 * 2 + 4 * 2 * 5
    assert parser[:9] == b"VRML" + struct.pack("<IB", 5, 2)
    assert math.isnan(struct.unpack_from("<f", parser, 9 + 8 + 20)[0])
    assert sw.encode_rules([(1, "den haag", "x"), (14, b"\xff")]) == (
        struct.pack("<I", 2) + b"\x01\x08\x00den haag\x01\x00x" + b"\x0e\x01\x00\xff\x00\x00")
    assert sw.encode_meta([("country", "fr")]) == struct.pack("<IH", 1, 7) + b"country" + struct.pack("<I", 2) + b"fr"
    assert 0 <= sw.feature_bucket("w=rue", 7) < 7


def test_command_line_writes_the_sample(tmp_path):
    out = tmp_path / "fr.idx"
    script = Path(sw.__file__)
    subprocess.run([sys.executable, str(script), "sample", str(out), "--admin"], check=True)
    assert out.read_bytes() == sw.sample_sheet().to_bytes()
    assert (tmp_path / "fr_admin.bin").read_bytes() == sw.encode_admin(sw.sample_admin())
