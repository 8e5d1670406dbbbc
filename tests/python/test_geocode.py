"""`Geocoder.geocode` through the whole forward road, on the invented Velmont
sheets (tests/support/velmont.py): place answers, dropped words, the POI
layer, the foreign-city guard, the text cut and the argument rules. Every
answer is checked for its length and for internal flags. The fuzz sheets
(tests/support/fuzz_sheets.py) must be what their writer writes today, and
each branch sheet must still take its branch."""

import struct
from pathlib import Path

import pytest

import fuzz_sheets
import velmont
import vorlane


@pytest.fixture(scope="module")
def paths(tmp_path_factory):
    return {name: str(p) for name, p in velmont.write_all(tmp_path_factory.mktemp("velmont")).items()}

F32_0_6 = struct.unpack("f", struct.pack("f", 0.6))[0]  # confidences are 32-bit floats


class Checked:
    """A Geocoder whose every answer is at most k long and carries no
    internal flag."""

    def __init__(self, *args, **kwargs):
        self.g = vorlane.Geocoder(*args, **kwargs)

    def geocode(self, q, k=10):
        answer = self.g.geocode(q, k)
        assert len(answer) <= min(k, 100)
        assert not [f for d in answer for f in d.get("flags", []) if f.startswith("__")]
        return answer


@pytest.fixture(scope="module")
def sheet(paths):
    return Checked(paths["sheet"])


@pytest.fixture(scope="module")
def with_poi(paths):
    return Checked(paths["sheet"], poi=paths["poi"])


def top(answer):
    assert answer, "no answer"
    return answer[0]


def test_a_bare_commune_is_one_city_answer(sheet):
    (city,) = sheet.geocode("Velmont")
    assert (city["precision"], city["commune"], city["flags"]) == ("city", "Velmont", ["place_exact"])
    assert city["confidence"] == pytest.approx(0.05)
    assert list(city) == ["lat", "lon", "precision", "score", "street", "commune", "postcode", "confidence",
                          "flags"]


def test_number_runs_and_dropped_words(sheet):
    assert sheet.geocode("12 14 16 18 rue x velmont") == sheet.geocode("rue x velmont")
    house = top(sheet.geocode("rue x 5 velmont"))
    assert (house["precision"], house["street"], house["housenumber"]) == ("house", "Rue X", "5")

    dropped = top(sheet.geocode("foo bar rue x 5 velmont"))
    assert "dropped_prefix" in dropped["flags"] and dropped["confidence"] <= F32_0_6
    assert "dropped_suffix" in top(sheet.geocode("rue x 5 velmont zzz"))["flags"]


def test_place_mentions(sheet):
    (city,) = sheet.geocode("foo bar, velmont")
    assert (city["precision"], city["commune"]) == ("city", "Velmont")
    assert sheet.geocode("foo bar 12, velmont") == []


def test_poi_layer(paths, sheet, with_poi):
    # An exact house stands; the POI layer is not asked.
    assert with_poi.geocode("rue x 5 velmont") == sheet.geocode("rue x 5 velmont")
    # Nothing in the sheet: the POI layer answers, every hit flagged.
    assert sheet.geocode("musee des ondes orlac") == []
    poi = with_poi.geocode("musee des ondes orlac")
    assert poi and all(d["flags"][-1] == "poi_layer" for d in poi)
    assert top(poi)["street"] == "Musee des Ondes"
    # A weak city answer yields to a better POI answer.
    assert top(sheet.geocode("gare centrale, velmont"))["precision"] == "city"
    assert top(with_poi.geocode("gare centrale, velmont"))["street"] == "Gare Centrale"
    # A city answer that the POI layer cannot beat stays.
    assert with_poi.geocode("velmont") == sheet.geocode("velmont")


def test_foreign_city_guard(paths):
    guarded = Checked(paths["guard"])
    assert top(guarded.geocode("avenue du lac 10 orlac"))["commune"] == "Orlac"
    # Velmont and its state named, the answer in Orlac: withdrawn.
    assert guarded.geocode("avenue du lac 10, velmont AA") == []
    assert top(Checked(paths["sheet"]).geocode("avenue du lac 10, velmont AA"))["commune"] == "Orlac"


def test_text_is_cut_at_1024_bytes(sheet):
    exact = "velmont" + " " * 1014 + "zzz"
    assert len(exact.encode()) == 1024
    assert sheet.geocode(exact) == sheet.geocode("velmont zzz")
    straddling = "velmont" + " " * 1015 + "€abcde"  # "€" covers bytes 1022 to 1024
    assert len(straddling.encode()) == 1030
    assert sheet.geocode(straddling) == sheet.geocode("velmont")


def test_arguments(sheet):
    g = sheet.g
    assert g.geocode(q="velmont", k=True) == g.geocode("velmont", 1)
    assert g.geocode("velmont", k=0) == []
    assert g.geocode("rue x velmont", k=1000) == g.geocode("rue x velmont", k=100)
    for bad, error, parameter in [((b"velmont",), TypeError, "q"), ((1,), TypeError, "q"),
                                  (("x", -1), OverflowError, "k"), (("x", 2.0), TypeError, "k"),
                                  (("x", "3"), TypeError, "k")]:
        with pytest.raises(error) as raised:
            g.geocode(*bad)
        assert raised.value.__notes__ == [f"while processing '{parameter}'"]
    with pytest.raises(TypeError):
        g.geocode()
    with pytest.raises(TypeError):
        g.geocode("x", k=1, z=2)
    assert vorlane.Geocoder.geocode.__text_signature__ == "($self, q, k=10)"
    assert vorlane.Geocoder.geocode.__doc__ == (
        "Single query: returns a list of dicts (lat, lon, precision, score, street,\n"
        "optional housenumber, commune, postcode).")


def test_fuzz_sheets_match_the_writer(tmp_path):
    committed = Path(__file__).resolve().parents[2] / "fuzz" / "sheets"
    written = fuzz_sheets.write_all(tmp_path)
    assert sorted(written) == sorted(p.name for p in committed.iterdir()), (
        "fuzz/sheets holds other files than tests/support/fuzz_sheets.py writes")
    for name, path in written.items():
        assert path.read_bytes() == (committed / name).read_bytes(), (
            f"fuzz/sheets/{name} is stale: rewrite it with tests/support/fuzz_sheets.py")


# One query per branch sheet that only its branch answers this way: a sheet
# that drifted off its branch would leave the fuzzer fuzzing the plain road.
BRANCH_QUERIES = [
    ("country_fr.idx", "75011", ("", None, "Paris 11e Arrondissement"), "place_exact"),
    ("country_it.idx", "via garibaldy 3 castello torino", ("Via Garibaldi", "3", "Castello"),
     "geo_qualifier"),
    ("country_es.idx", "calle de la paz 5, madrid", ("Calle del Paz", "5", "Madrid"), "street_exact"),
    ("country_de.idx", "Bismarckstr. 5, 67059 Ludwigshafen Rhein",
     ("Bismarckstraße", "5", "Ludwigshafen am Rhein"), "de_official_commune_alias"),
    ("country_de.idx", "Dorfstraße 5, 10115 Mitte", ("Dorfstraße (Mitte)", "5", "Mitte"),
     "de_street_locality_qualifier"),
    ("country_de_blank.idx", "Gartenstraße 20, 10115 Berlin", ("Gartenstr.", "20", "Berlin"),
     "de_blank_postcode_house_override"),
    ("fields_br.idx", "Rua Augusta 120 01305000 Sao Paulo", ("Rua Augusta", "120", "Sao Paulo"), None),
    ("fields_pe.idx", "Av 1ro de Mayo 12, Lima", ("Avenida 1 de Mayo", "12b", "Lima"), None),
]


@pytest.mark.parametrize("name,q,expected,flag", BRANCH_QUERIES, ids=[c[1] for c in BRANCH_QUERIES])
def test_fuzz_sheets_reach_their_branches(name, q, expected, flag):
    committed = Path(__file__).resolve().parents[2] / "fuzz" / "sheets"
    hit = top(Checked(str(committed / name)).geocode(q))
    assert (hit["street"], hit.get("housenumber"), hit["commune"]) == expected
    assert flag is None or flag in hit["flags"], hit["flags"]
