"""What the other tests trust the sheet writer for: its dictionaries hold the
engine's own keys, its grid cells are the engine's cells, and hand edits of a
layout reach the written bytes. Read back with independent decoding."""

import struct

import ducer
import pytest

import sheetwriter as sw


def toc_of(image, count):
    return [struct.unpack_from("<BQQ", image, 6 + 17 * i) for i in range(count)]


def fst_keys(data):
    return {bytes(k) for k, _ in ducer.Map(bytes(data)).items()}


def test_session_writes_the_engines_own_keys():
    key, phonetic = sw.get_key_function(), sw.get_phonetic_function()
    assert (key.__name__, phonetic.__name__) == ("vorlane_test_normalize", "vorlane_test_phonetic_key")
    assert key("12-14 Rue de l'Église") == "12 rue de l eglise"
    assert key("") == ""
    assert key("ĐURĐEVAC\u00a0Ⱥ") == "durdevac ⱥ"  # grows from 2 to 3 bytes
    assert key("Ⱥ" * 5000) == "ⱥ" * 5000
    assert phonetic("Москва") == "мoskvo"
    assert phonetic("Boulevard Haussmann") == "bolivord hosmon"
    words = sw.sample_sheet().layout().info.words
    assert words[b"champs"] == words[b"elysees"] == [1]
    assert words[b"~roi"] == words[b"rue"] == [0, 2, 3, 4]
    assert words[b"~poih"] == [0]
    assert b"~di" not in words and b"~lo" not in words  # keys under three characters are never looked up


def test_key_hook_reaches_every_dictionary():
    session_key = sw.get_key_function()
    with sw.key_function_override(lambda text: "k:" + text):
        image = sw.sample_sheet().to_bytes()
    assert sw.get_key_function() is session_key
    sections = {sid: image[off:off + length] for sid, off, length in toc_of(image, image[5])}
    assert b"k:Paris" in fst_keys(sections[sw.SEC_COMMUNE_NAME_FST])
    assert b"k:Rue de la Paix\x1f75056" in fst_keys(sections[sw.SEC_STREET_KEY_FST])
    assert b"k:Rue" in fst_keys(sections[sw.SEC_WORDS_FST])


def test_layout_edits_reach_the_bytes():
    # the cases that must open quietly rely on these edits, and would pass just as well without them
    layout = sw.sample_sheet().layout()
    words_at = layout.offset(sw.SEC_WORDS_FST)
    layout.replace_section(sw.SEC_NAMES, layout.section(sw.SEC_NAMES) + b"\0" * 3)
    assert layout.offset(sw.SEC_WORDS_FST) == words_at + 3
    layout.add_section(sw.SEC_UNUSED_16, b"anything").patch(sw.SEC_STREETS_META, sw.STREET_HOUSE_COUNT, sw.u32(0))
    layout.entry(sw.SEC_NAMES).offset = 2**64 - 1
    with pytest.raises(RuntimeError, match="before TOC edits"):  # repacking would undo the TOC edit
        layout.replace_section(sw.SEC_NAMES, b"x")
    image = layout.to_bytes()
    entries = {sid: (off, length) for sid, off, length in toc_of(image, image[5])}
    assert entries[sw.SEC_NAMES][0] == 2**64 - 1
    off, length = entries[sw.SEC_UNUSED_16]
    assert image[off:off + length] == b"anything"
    off, _ = entries[sw.SEC_STREETS_META]
    assert struct.unpack_from("<I", image, off + sw.STREET_HOUSE_COUNT)[0] == 0
