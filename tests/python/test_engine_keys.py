"""The sheet writer's keys come from the engine's own text functions.

Fixture sheets are only meaningful when their dictionary keys are the keys the
engine forms from the same texts; these checks make sure the session runs with
the engine's functions and that the derived dictionaries use them.
"""

import ducer

import sheetwriter as sw


def fst_keys(data):
    return [bytes(k) for k, _ in ducer.Map(bytes(data)).items()]


def test_session_uses_the_engine_functions():
    assert sw.get_key_function().__name__ == "vorlane_test_normalize"
    assert sw.get_phonetic_function().__name__ == "vorlane_test_phonetic_key"


def test_engine_functions_round_trip_text():
    key = sw.engine_key_function()
    phonetic = sw.engine_phonetic_function()
    assert key("12-14 Rue de l'Église") == "12 rue de l eglise"
    assert key("") == ""
    assert key("ĐURĐEVAC\u00a0Ⱥ") == "durdevac ⱥ"      # grows from 2 to 3 bytes
    assert key("Ⱥ" * 5000) == "ⱥ" * 5000
    assert phonetic("Москва") == "мoskvo"
    assert phonetic("Boulevard Haussmann") == "bolivord hosmon"


def test_derived_dictionaries_hold_canonical_keys_and_phonetic_entries():
    sheet = sw.sample_sheet()
    layout = sheet.layout()
    words = layout.info.words
    key = sw.get_key_function()
    for word in words:
        text = word.decode()
        if not text.startswith("~"):
            assert key(text) == text
    assert words[b"champs"] == [1]
    assert words[b"elysees"] == [1]
    assert words[b"~roi"] == words[b"rue"] == [0, 2, 3, 4]
    assert words[b"~poih"] == [0]
    # "de" and "la" have keys of two characters, which are never looked up
    assert b"~di" not in words and b"~lo" not in words
    for street_key in layout.info.street_keys:
        street_part = street_key.split(b"\x1f")[0].decode()
        assert key(street_part) == street_part


def test_without_a_phonetic_function_no_phonetic_entries_are_derived():
    previous = sw.set_phonetic_function(None)
    try:
        words = sw.derive_words(sw.sample_sheet().streets)
    finally:
        sw.set_phonetic_function(previous)
    assert words and not any(w.startswith("~") for w in words)
