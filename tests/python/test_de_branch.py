"""`geocode` on German sheets: the variant rows, the postcode-and-house
rescues and the four narrow overrides, each seen through the top hit and its
flags. One version-7 sheet, a version-6 twin (no blank-postcode answers) and
a twin whose Berlin Hauptstraße 5 exists twice under 10115 (no rescue can
pick one)."""

import pytest

import vorlane
from sheetwriter import Commune, House, Sheet, Street

BERLIN, MITTE, POTSDAM = (52.52, 13.405), (52.53, 13.38), (52.39, 13.06)
FRANKFURT_ODER, FRANKFURT_MAIN, LUDWIGSHAFEN = (52.34, 14.55), (50.11, 8.68), (49.48, 8.44)
ZOSSEN = (52.22, 13.45)

RULES = [(18, "berlin mitte", "mitte"), (19, "hauptstr", "hauptstraße"), (20, "allee"),
         (20, "weg"), (21, "deutschland"), (22, "landkreis")]


def street(name, commune, at, numbers, postcode=0, **kw):
    houses = [House(n, s, lat=at[0] + i * 1e-4, lon=at[1])
              for i, (n, s) in enumerate((n if isinstance(n, tuple) else (n, "")) for n in numbers)]
    return Street(name, commune, houses, postcode=postcode, lat=at[0], lon=at[1], **kw)


def german_sheet(version=7, duplicate=False):
    communes = [Commune("Berlin", "11000000", 900, *BERLIN), Commune("Mitte", "11000001", 300, *MITTE),
                Commune("Potsdam", "12054000", 200, *POTSDAM),
                Commune("Frankfurt (Oder)", "12053000", 100, *FRANKFURT_ODER),
                Commune("Frankfurt am Main", "06412000", 700, *FRANKFURT_MAIN),
                Commune("Ludwigshafen am Rhein", "07314000", 200, *LUDWIGSHAFEN),
                Commune("Zossen", "12072000", 50, *ZOSSEN)]
    streets = [
        street("Hauptstraße", 0, BERLIN, [5, 12, (12, "a"), 14], 10115),
        street("Hauptstraße", 2, POTSDAM, [5], 14467),
        street("Linden Allee", 0, BERLIN, [5], 10115),
        # A postcode street and its postcode-less twin, which the core does
        # not reach from the postcode street's spelling.
        street("Gartenstraße", 0, BERLIN, [1, 3], 10115),
        street("Gartenstr.", 0, BERLIN, [20]),
        # A near miss under 10115 of a street under 10117.
        street("Kirchstraße", 1, MITTE, [7], 10117),
        street("Kirschstraße", 1, MITTE, [7], 10115),
        street("Dorfstraße", 1, MITTE, [5], 10117),
        street("Dorfstraße (Mitte)", 1, MITTE, [5]),
        # Both a qualified street and a near miss: two overrides at once.
        street("Ringstraße", 1, MITTE, [5], 10117),
        street("Ringstraße (Mitte)", 1, MITTE, [5]),
        street("Rinstraße", 1, MITTE, [5], 10115),
        # 12 and 14 exist only in Zossen, under a postcode of the same area.
        street("Bergstraße", 0, BERLIN, [10, 16], 10115),
        street("Bergstraße", 6, ZOSSEN, [12, 14], 10119),
        street("Oderstraße", 3, FRANKFURT_ODER, [9], 15230),
        street("Oderstraße", 4, FRANKFURT_MAIN, [9], 60311),
    ]
    if version >= 7:
        streets.append(Street("Marktstraße", 0, [House(1, lat=52.52, lon=13.4, postcode="10115"),
                                                 House(3, lat=52.52, lon=13.4, postcode="10117")]))
    if duplicate:
        streets.append(street("Hauptstrasse", 0, BERLIN, [5], 10115))
    return Sheet(communes, streets, version=version,
                 meta=(("country", "de"), ("layer", "addresses")), rules=RULES, suffixes=["a"])


@pytest.fixture(scope="module")
def sheets(tmp_path_factory):
    folder = tmp_path_factory.mktemp("de")
    made = {}
    for name, sheet in [("v7", german_sheet()), ("v6", german_sheet(version=6)),
                        ("duplicate", german_sheet(duplicate=True))]:
        made[name] = vorlane.Geocoder(str(sheet.write(folder / f"{name}.idx")))
    return made


# sheet, query, (street, housenumber, commune) of the top hit, flags it must
# carry, flags it must not carry.
CASES = [
    # Variant rows.
    ("v7", "Hauptstrasse 5a", ("Hauptstraße", "5", "Berlin"), {"de_umlaut"}, set()),
    ("v7", "Hauptstr 5, 10115 Berlin", ("Hauptstraße", "5", "Berlin"), {"de_abbrev", "pc_exact"},
     set()),
    ("v7", "Dorfstraße 5, 10117 Berlin Mitte", ("Dorfstraße", "5", "Mitte"), {"de_city_alias"},
     set()),
    ("v7", "Oderstraße 9, Frankfurt (Oder)", ("Oderstraße", "9", "Frankfurt (Oder)"),
     {"de_frankfurt"}, set()),
    # Rescues.
    ("v7", "Hauptstraße 5   10115 Berlin", ("Hauptstraße", "5", "Berlin"),
     {"de_missing_postcode_comma", "de_postcode_house"}, set()),
    ("v7", "Hauptstraße 12–14 10115 Berlin", ("Hauptstraße", "12", "Berlin"),
     {"de_house_range", "de_postcode_house", "de_house_left_endpoint"},
     {"de_exact_postcode_override"}),
    ("v7", "Bergstraße 12-14 10119 Berlin", ("Bergstraße", "12", "Zossen"),
     {"de_house_set_exact", "de_exact_postcode_override", "de_house_left_endpoint"}, set()),
    ("v7", "Bergstraße 12, 10119 Berlin", ("Bergstraße", "12", "Zossen"),
     {"de_postcode_house", "de_exact_postcode_override"}, set()),
    ("duplicate", "Hauptstraße 5   10115 Berlin", None, set(), {"de_postcode_house"}),
    # Overrides.
    ("v7", "Kirchstraße 7, 10115 Mitte", ("Kirschstraße", "7", "Mitte"),
     {"de_strict_source_street_typo"}, set()),
    ("v7", "Dorfstraße 5, 10115 Mitte", ("Dorfstraße (Mitte)", "5", "Mitte"),
     {"de_street_locality_qualifier"}, set()),
    ("v7", "Hauptstr. 12/14 (Aufgang B), 10115 Berlin", ("Hauptstraße", "12", "Berlin"),
     {"de_audited_compound", "de_house_set_exact"}, set()),
    ("v7", "c/o Meier Lindenallee 5 Berlin, 10115 Berlin", ("Linden Allee", "5", "Berlin"),
     {"de_audited_compound"}, set()),
    ("v7", "Gartenstraße 20, 10115 Berlin", ("Gartenstr.", "20", "Berlin"),
     {"de_blank_postcode_house_override"}, set()),
    ("v6", "Gartenstraße 20, 10115 Berlin", ("Gartenstraße", "3", "Berlin"), set(),
     {"de_blank_postcode_house_override"}),
    ("v7", "Ringstraße 5, 10115 Mitte", ("Ringstraße", "5", "Mitte"), set(),
     {"de_street_locality_qualifier", "de_strict_source_street_typo"}),
]


@pytest.mark.parametrize("name,q,top,flags,absent", CASES, ids=[c[1] for c in CASES])
def test_german_branch(sheets, name, q, top, flags, absent):
    answer = sheets[name].geocode(q)
    assert answer, q
    hit = answer[0]
    if top is not None:
        assert (hit["street"], hit.get("housenumber"), hit["commune"]) == top
    got = set(hit.get("flags", []))
    assert flags <= got, got
    assert not absent & got, got


def test_no_list_longer_than_k(sheets):
    for q in ["Dorfstraße 5, 10115 Mitte", "Hauptstraße 5   10115 Berlin", "Hauptstrasse 5a"]:
        assert len(sheets["v7"].geocode(q, 1)) == 1, q


@pytest.fixture(scope="module")
def building_sheet(tmp_path_factory):
    """Streets whose names begin with a building word, for the three-field
    clean-up that must not pick a building's name as the address."""
    adlershof = (52.43, 13.53)
    sheet = Sheet([Commune("Berlin", "11000000", 900, *adlershof)],
                  [street("Campus Adlershof", 0, adlershof, [12], 12489),
                   street("Haus der Kunst", 0, adlershof, [3], 12489),
                   street("Haus", 0, adlershof, [5], 12489)],
                  version=7, meta=(("country", "de"), ("layer", "addresses")),
                  rules=[(20, "str"), (20, "strasse"), (20, "straße"), (20, "weg")])
    path = sheet.write(tmp_path_factory.mktemp("de_building") / "de.idx")
    return vorlane.Geocoder(str(path))


@pytest.mark.parametrize("q", [
    "Campus Adlershof 12, Musterfirma GmbH, 12489 Berlin",
    "Musterfirma GmbH, Campus Adlershof 12, 12489 Berlin",
    "Haus der Kunst 3, Musterfirma GmbH, 12489 Berlin",
    "Haus 5, Musterfirma GmbH, 12489 Berlin",
    "Hinterhof, Haus Sonnenschein 5, 10115 Berlin",
    "g,10A,10115 e",
])
def test_address_field_cleanup_refuses_building_words(building_sheet, q):
    # The canonical address words must outlive the test on their first word:
    # a long field once lived in a freed buffer and slipped past it.
    for hit in building_sheet.geocode(q, 5):
        assert "de_address_field" not in hit.get("flags", []), (q, hit)
