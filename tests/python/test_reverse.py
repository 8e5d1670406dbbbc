"""`Geocoder.reverse`: from a point to the nearest distinct houses.

Expected distances are computed here from the flat projection the engine
promises (111320 m per degree; east-west scaled by max(cos lat, 0.01)) and
from the house points as stored (1e-7 degree units), never read back from the
engine. Score and confidence are 32-bit floats widened to doubles, so they are
compared through an f32 round-trip rather than as decimal literals.
"""

import decimal
import fractions
import math
import struct
from dataclasses import dataclass

import pytest

import vorlane
import sheetwriter as sw
from sheetwriter import Commune, House, Sheet, Street, box_region

M_PER_DEG = 111320.0
QLAT, QLON = 45.0025, 5.0025  # well inside one 0.01-degree cell
MESSAGE = ("reverse: coordinates out of range or non-finite (lat={}, lon={}); "
           "expected finite lat in [-90,90], lon in [-180,180]")


def f32(x):
    return struct.unpack("f", struct.pack("f", x))[0]


def stored(degrees):
    return sw.to_units(degrees) / 1e7


def distance(lat, lon, h_lat, h_lon):
    c = max(math.cos(math.radians(lat)), 0.01)
    return math.hypot((h_lat - lat) * M_PER_DEG, (h_lon - lon) * M_PER_DEG * c)


def tenth(d):
    return math.floor(d * 10 + 0.5) / 10


def offset(north_m, east_m):
    """The point north_m / east_m metres from the query point."""
    return (QLAT + north_m / M_PER_DEG,
            QLON + east_m / (M_PER_DEG * math.cos(math.radians(QLAT))))


@dataclass
class H:
    label: str  # street letter + number text: "a2bis"
    north: float
    east: float
    postcode: str = None  # per-house postcode written into the sheet
    expect_postcode: str = ""
    region: str = None


# Street a: numeric postcode only; b: per-house postcodes, a duplicated house;
# c: houses around the precision thresholds; d: same name as a, other commune.
STREETS = {
    "a": ("Rue des Tilleuls", 0, dict(postcode=1067)),
    "b": ("Chemin du Moulin", 1, dict(postcode=1500)),
    "c": ("Impasse des Lilas", 0, dict(postcode=123456)),
    "d": ("Rue des Tilleuls", 1, dict(postcode=1800, postcode_text="01850")),
}
HAUT, BAS = "Haut-Val", "Bas-Val"
HOUSES = [
    H("a2", 0, 0, expect_postcode="01067"),
    H("a2bis", 8, 0, expect_postcode="01067"),
    H("a4", 30, 0, expect_postcode="01067", region=HAUT),
    H("b7", 120, 0, postcode="01510", expect_postcode="01510", region=HAUT),  # farther record first
    H("b7", 0, 20, postcode="01500", expect_postcode="01500"),
    H("b7bis", -40, 0, postcode="01500", expect_postcode="01500"),
    H("b9", 0, -60, expect_postcode=""),  # a per-house street: no postcode of its own
    H("c1", 49.98, 0, expect_postcode="123456", region=HAUT),
    H("c3", 50.04, 0, expect_postcode="123456", region=HAUT),
    H("c5", -249.9, 0, expect_postcode="123456", region=BAS),
    H("c7", -250.03, 0, expect_postcode="123456", region=BAS),
    H("c9", 0, 500, expect_postcode="123456"),
    H("d2", -100, 0, expect_postcode="01850", region=BAS),
    H("d6", 30, 0, expect_postcode="01850", region=HAUT),
    H("d8", 30, 0, expect_postcode="01850", region=HAUT),
]
# (label, index into HOUSES, precision) nearest first: the duplicated b7 appears
# once, at its nearer record; equal distances keep street order, then list order.
EXPECTED = [
    ("a2", 0, "house"), ("a2bis", 1, "house"), ("b7", 4, "house"),
    ("a4", 2, "house"), ("d6", 13, "house"), ("d8", 14, "house"),
    ("b7bis", 5, "house"), ("c1", 7, "house"), ("c3", 8, "near"), ("b9", 6, "near"),
    ("d2", 12, "near"), ("c5", 9, "near"), ("c7", 10, "approximate"), ("c9", 11, "approximate"),
]
COMMUNES = ["Bourg-Neuf", "Valmont"]


def split_label(label):
    number = "".join(ch for ch in label[1:] if ch.isdigit())
    return label[0], int(number), label[1 + len(number):]


def town_sheet():
    houses = {letter: [] for letter in STREETS}
    for h in HOUSES:
        letter, number, suffix = split_label(h.label)
        lat, lon = offset(h.north, h.east)
        houses[letter].append(House(number, suffix, lat=lat, lon=lon, postcode=h.postcode))
    communes = [Commune(name, f"0100{i + 1}", lat=QLAT, lon=QLON) for i, name in enumerate(COMMUNES)]
    streets = [Street(name, commune, houses[letter], **extra)
               for letter, (name, commune, extra) in STREETS.items()]
    return Sheet(communes, streets)


def town_admin():
    north_edge, south_edge = offset(10, 0)[0], offset(-90, 0)[0]
    return [box_region(HAUT, north_edge, QLON - 0.01, QLAT + 0.01, QLON + 0.01),
            box_region(BAS, QLAT - 0.01, QLON - 0.01, south_edge, QLON + 0.01)]


@pytest.fixture(scope="module")
def root(tmp_path_factory):
    return tmp_path_factory.mktemp("reverse")


@pytest.fixture(scope="module")
def town(root):
    return vorlane.Geocoder(str(town_sheet().write(root / "town.idx", admin=town_admin())))


def expected_hit(i, precision):
    h = HOUSES[i]
    letter, number, suffix = split_label(h.label)
    name, commune, _ = STREETS[letter]
    lat, lon = (stored(v) for v in offset(h.north, h.east))
    d = distance(QLAT, QLON, lat, lon)
    hit = {"lat": lat, "lon": lon, "precision": precision, "score": 0.0, "street": name,
           "housenumber": f"{number}{suffix}", "commune": COMMUNES[commune],
           "postcode": h.expect_postcode, "confidence": f32(min(max(0.97 - d / 500, 0.1), 0.95))}
    if h.region is not None:
        hit["region"] = h.region
    hit["distance_m"] = tenth(d)
    return hit, d


def test_nearest_distinct_houses_in_order(town):
    hits = town.reverse(QLAT, QLON, k=100)
    expected = [expected_hit(i, precision) for _, i, precision in EXPECTED]
    assert [h["housenumber"] for h in hits] == [e["housenumber"] for e, _ in expected]
    assert hits == [e for e, _ in expected]
    for hit, (want, d) in zip(hits, expected):
        assert list(hit) == list(want)  # dict equality ignores key order
        assert abs(hit["distance_m"] - d) <= 0.05 + 1e-9
        assert hit["precision"] == ("house" if d <= 50 else "near" if d <= 250 else "approximate")
    assert town.reverse(QLAT, QLON) == hits[:3]
    assert town.reverse(lon=QLON, k=5, lat=QLAT) == hits[:5]


def test_threshold_houses_round_to_the_same_tenth_yet_differ_in_precision(town):
    by_number = {h["housenumber"]: h for h in town.reverse(QLAT, QLON, k=100)
                 if h["street"] == "Impasse des Lilas"}
    seen = [(by_number[n]["distance_m"], by_number[n]["precision"]) for n in ("1", "3", "5", "7")]
    assert seen == [(50.0, "house"), (50.0, "near"), (249.9, "near"), (250.0, "approximate")]


@pytest.fixture(scope="module")
def equator(root):
    """One house near the equator, where latitudes are fine enough to meet
    a distance exactly."""
    street = Street("Grand Rue", 0, [House(1, lat=0.0005, lon=0.5)])
    path = Sheet([Commune("Bourg-Neuf", "01001")], [street]).write(root / "equator.idx")
    return vorlane.Geocoder(str(path))


def exact_query_lat(house_lat, metres, beyond=False):
    """A query latitude due south of the house at which the projection gives
    exactly `metres` (or, with `beyond`, the first one giving more)."""
    q = house_lat - metres / M_PER_DEG
    for _ in range(1000):
        dy = (house_lat - q) * M_PER_DEG
        if (dy > metres) if beyond else (dy == metres):
            return q
        q = math.nextafter(q, -math.inf if dy <= metres else math.inf)
    raise AssertionError(f"no latitude {metres} m from {house_lat}")


@pytest.mark.parametrize("metres, beyond, precision", [
    (50.0, False, "house"), (50.0, True, "near"), (250.0, False, "near"), (250.0, True, "approximate")])
def test_precision_at_the_exact_thresholds(equator, metres, beyond, precision):
    [hit] = equator.reverse(exact_query_lat(0.0005, metres, beyond), 0.5)
    assert (hit["precision"], hit["distance_m"]) == (precision, metres)
    assert hit["confidence"] == f32(0.97 - metres / 500)


def test_confidence_caps(town):
    hits = {(h["street"], h["housenumber"], h["commune"]): h for h in town.reverse(QLAT, QLON, k=100)}
    assert hits["Rue des Tilleuls", "2", "Bourg-Neuf"]["confidence"] == f32(0.95)
    assert hits["Rue des Tilleuls", "2bis", "Bourg-Neuf"]["confidence"] == f32(0.95)  # 8 m
    assert hits["Impasse des Lilas", "9", "Bourg-Neuf"]["confidence"] == f32(0.1)  # 500 m
    assert hits["Impasse des Lilas", "9", "Bourg-Neuf"]["confidence"] != 0.1
    # the same number on another street is another house
    assert hits["Rue des Tilleuls", "2", "Valmont"]["distance_m"] == 100.0


def test_house_at_the_point_itself(town):
    [hit] = town.reverse(QLAT, QLON, k=1)
    assert list(hit) == ["lat", "lon", "precision", "score", "street", "housenumber", "commune",
                         "postcode", "confidence", "distance_m"]
    assert (hit["distance_m"], hit["precision"], hit["postcode"]) == (0.0, "house", "01067")


@pytest.mark.parametrize("k, count", [(0, 0), (1, 1), (True, 1), (False, 0), (3, 3), (14, 14),
                                      (15, 14), (500, 14), (2**64 - 1, 14)])
def test_k_limits_the_answers(town, k, count):
    hits = town.reverse(QLAT, QLON, k)
    assert len(hits) == count
    assert hits == town.reverse(QLAT, QLON, 100)[:count]


def test_at_most_one_hundred_answers_and_ties_keep_street_then_list_order(root):
    # 120 houses at one point 30 m north: a sort that is not stable would mix them
    lat, lon = offset(30, 0)
    streets = [Street(f"Rue {letter}", 0, [House(n, lat=lat, lon=lon) for n in range(20, 0, -1)])
               for letter in "FEDCBA"]
    path = Sheet([Commune("Bourg-Neuf", "01001")], streets).write(root / "ties.idx")
    geocoder = vorlane.Geocoder(str(path))
    hits = geocoder.reverse(QLAT, QLON, k=500)
    assert [(h["street"], h["housenumber"]) for h in hits] == [
        (f"Rue {letter}", str(n)) for letter in "FEDCB" for n in range(1, 21)]
    assert {h["distance_m"] for h in hits} == {tenth(distance(QLAT, QLON, stored(lat), stored(lon)))}
    assert geocoder.reverse(QLAT, QLON, k=100) == hits


def test_the_poi_layer_is_never_consulted(root, town):
    poi_meta = (("country", "fr"), ("layer", "poi"))
    shops = Street("Boulangerie", 0, [House(1, lat=QLAT, lon=QLON), House(2, lat=QLAT, lon=QLON + 1e-5)])
    poi_sheet = Sheet([Commune("Bourg-Neuf", "01001")], [shops], meta=poi_meta)
    poi = str(poi_sheet.write(root / "poi.idx"))
    address = str(root / "town.idx")
    with_poi = vorlane.Geocoder(address, poi=poi)
    for lat, lon in [(QLAT, QLON), (QLAT + 0.001, QLON - 0.002)]:
        assert with_poi.reverse(lat, lon, k=100) == town.reverse(lat, lon, k=100)


# --- widening of the search radius ----------------------------------------
# Six streets, street i with one house 10 * (i + 1) m north of the point. The
# grid is written by hand, listing streets in cells (dy, dx) away from the
# point's cell, independent of where the houses are: only the grid decides.

RING_LAT, RING_LON = 45.005, 5.005


def ring_sheet(cells):
    base = sw.cell_key(RING_LAT, RING_LON)
    grid = {}
    for (dy, dx), ids in cells.items():
        grid.setdefault(base + dy * sw.GRID_LON_CELLS + dx, []).extend(ids)
    streets = [Street(f"Rue {letter}", 0, [House(1, lat=RING_LAT + 10 * i / M_PER_DEG, lon=RING_LON)])
               for i, letter in enumerate("ABCDEF", start=1)]
    return Sheet([Commune("Bourg-Neuf", "01001")], streets, grid=grid)


@pytest.mark.parametrize("cells, streets", [
    ({(0, 0): [0, 1], (1, 1): [2], (2, 0): [3], (0, -2): [4]}, "ABC"),
    ({(0, 0): [0], (-1, 1): [1], (2, 2): [2], (-2, 0): [3, 4], (3, 0): [5]}, "ABCDE"),
    ({(0, 0): [0, 1], (1, 0): [1, 0], (0, 1): [1], (2, -2): [2], (3, 0): [3]}, "ABC"),
    ({(0, 0): [0], (2, 2): [1], (4, -4): [2], (-4, 3): [3], (5, 0): [4]}, "ABCD"),
    ({(3, 0): [0], (-4, 4): [1], (5, 0): [2], (0, -5): [3]}, "AB"),
    ({(5, 0): [0], (0, -5): [1], (-5, 5): [2]}, ""),
    ({(0, 0): [], (1, 1): [0], (0, 1): [5]}, "AF"),
], ids=["radius 1 holds three", "radius 2 square", "ids counted once", "radius 4 whatever size",
        "radius 4 with two", "nothing within 4 cells", "empty cell"])
def test_search_radius_widens_over_1_2_4_cells(root, request, cells, streets):
    path = ring_sheet(cells).write(root / f"ring-{request.node.callspec.id}.idx")
    hits = vorlane.Geocoder(str(path)).reverse(RING_LAT, RING_LON, k=100)
    assert "".join(h["street"][-1] for h in hits) == streets


def test_cell_whose_range_runs_past_the_ids_adds_nothing(root):
    layout = ring_sheet({(0, 0): [0], (0, 1): [1, 2]}).layout()
    second_count = 4 + 12 + 8  # count field of the second cell record
    layout.patch_u32(sw.SEC_REVERSE_GRID, second_count, 1000)
    path = layout.write(root / "ring-bad-cell.idx")
    hits = vorlane.Geocoder(str(path)).reverse(RING_LAT, RING_LON, k=100)
    assert [h["street"] for h in hits] == ["Rue A"]


# --- the grid's edges and the poles ---------------------------------------


@pytest.fixture(scope="module")
def corner(root):
    corner_cell = 17999 * sw.GRID_LON_CELLS + 35999
    row = sw.cell_key(45.005, 0) // sw.GRID_LON_CELLS
    # Cells that only a missing clamp would reach: the -180 column of the next
    # row (an east edge that wraps), and a key past the last row.
    grid = {corner_cell: [0], 17999 * sw.GRID_LON_CELLS: [1], 0: [2],
            row * sw.GRID_LON_CELLS + 35999: [3], (row + 1) * sw.GRID_LON_CELLS: [4],
            18000 * sw.GRID_LON_CELLS + 35999: [4]}
    streets = [Street("Rue Nord-Est", 0, [House(1, lat=89.999, lon=179.9)]),
               Street("Rue Nord-Ouest", 0, [House(1, lat=89.999, lon=-179.9)]),
               Street("Rue Sud", 0, [House(1, lat=-89.9995, lon=-179.99)]),
               Street("Rue Est", 0, [House(1, lat=45.005, lon=179.995)]),
               Street("Rue Hors-Grille", 0, [House(1, lat=45.0051, lon=179.995)])]
    path = Sheet([Commune("Bourg-Neuf", "01001")], streets, grid=grid).write(root / "corner.idx")
    return vorlane.Geocoder(str(path))


@pytest.mark.parametrize("lat, lon, street, house", [
    (90, 180, "Rue Nord-Est", (89.999, 179.9)),  # no wrap-around to the -180 column
    (90.0, 179.999, "Rue Nord-Est", (89.999, 179.9)),
    (-90, -180, "Rue Sud", (-89.9995, -179.99)),
    (45.005, 180, "Rue Est", (45.005, 179.995)),
])
def test_edges_clamp_and_east_west_is_scaled_at_least_by_001(corner, lat, lon, street, house):
    hits = corner.reverse(lat, lon, k=10)
    assert [h["street"] for h in hits] == [street]
    d = distance(lat, lon, stored(house[0]), stored(house[1]))
    assert hits[0]["distance_m"] == tenth(d)
    if abs(lat) == 90:  # without the cosine floor the east-west term would vanish
        assert tenth(d) != tenth(abs(stored(house[0]) - lat) * M_PER_DEG)


# --- arguments -------------------------------------------------------------

INF, NAN = math.inf, math.nan


@pytest.mark.parametrize("lat, lon, k, lat_text, lon_text", [
    (90.5, 0.0, 3, "90.5", "0"),
    (91, 0, 3, "91", "0"),
    (-90.5, 180.5, 3, "-90.5", "180.5"),
    (NAN, 0.0, 3, "NaN", "0"),
    (-NAN, 1.5, 3, "NaN", "1.5"),
    (0.0, INF, 3, "0", "inf"),
    (-INF, -INF, 3, "-inf", "-inf"),
    (45.0, -180.00000000000003, 3, "45", "-180.00000000000003"),
    (1e300, 0.0, 3, "1" + "0" * 300, "0"),
    (NAN, 0.0, 0, "NaN", "0"),  # checked before k = 0 answers
], ids=["lat 90.5", "int 91", "both", "nan", "negative nan", "inf", "-inf", "just past -180",
        "no exponent", "k 0"])
def test_invalid_coordinates_raise_value_error(town, lat, lon, k, lat_text, lon_text):
    with pytest.raises(ValueError) as raised:
        town.reverse(lat, lon, k)
    assert raised.value.args == (MESSAGE.format(lat_text, lon_text),)


@pytest.mark.parametrize("lat, lon", [(90, 180), (-90, -180), (-0.0, 0), (90.0, -180.0)])
def test_boundary_coordinates_are_accepted(town, lat, lon):
    assert town.reverse(lat, lon) == []


class AsFloat:
    def __float__(self):
        return QLAT


class AsIndex:
    def __index__(self):
        return 45


@pytest.mark.parametrize("lat, as_float", [
    (decimal.Decimal("45.0025"), QLAT), (fractions.Fraction(450025, 10000), QLAT),
    (AsFloat(), QLAT), (AsIndex(), 45.0), (45, 45.0)])
def test_coordinates_take_any_float_conversion(town, lat, as_float):
    hits = town.reverse(lat, QLON, k=100)
    assert hits and hits == town.reverse(as_float, QLON, k=100)


@pytest.mark.parametrize("args, kwargs, error, note", [
    (("45.0", QLON), {}, TypeError, "lat"),
    ((QLAT, "5"), {}, TypeError, "lon"),
    (("a", "b"), {}, TypeError, "lat"),
    ((91, "x"), {}, TypeError, "lon"),  # conversions come before the range check
    ((None, QLON), {}, TypeError, "lat"),
    ((QLAT, QLON), {"k": 2.0}, TypeError, "k"),
    ((QLAT, QLON), {"k": "3"}, TypeError, "k"),
    ((QLAT, QLON), {"k": -1}, OverflowError, "k"),
    ((91, 0), {"k": -1}, OverflowError, "k"),
    ((QLAT, QLON), {"k": 2**64}, OverflowError, "k"),
], ids=["str lat", "str lon", "both str", "str lon after bad lat", "None lat", "float k", "str k",
        "negative k", "negative k, bad lat", "k past u64"])
def test_argument_conversion_errors_name_the_parameter(town, args, kwargs, error, note):
    with pytest.raises(error) as raised:
        town.reverse(*args, **kwargs)
    assert type(raised.value) is error
    assert raised.value.__notes__ == [f"while processing '{note}'"]


@pytest.mark.parametrize("args, kwargs", [
    ((), {}), ((QLAT,), {}), ((QLAT, QLON, 3, 4), {}), ((QLAT, QLON), {"q": 1}),
    ((QLAT, QLON), {"lat": QLAT}),
])
def test_argument_list_errors(town, args, kwargs):
    with pytest.raises(TypeError, match="reverse"):
        town.reverse(*args, **kwargs)
