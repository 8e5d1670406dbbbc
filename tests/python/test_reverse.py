"""`Geocoder.reverse`. Expected distances come from the flat projection (111320 m
per degree, east-west scaled by max(cos lat, 0.01)) over the stored house points;
score and confidence are 32-bit floats, compared through an f32 round-trip."""

import decimal
import fractions
import math
import struct

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


# Street a: numeric postcode only; b: per-house postcodes, a duplicated house;
# c: houses around the precision thresholds; d: same name as a, other commune.
# name, commune, street fields, postcode of the houses without their own
STREETS = {
    "a": ("Rue des Tilleuls", 0, dict(postcode=1067), "01067"),
    "b": ("Chemin du Moulin", 1, dict(postcode=1500), ""),  # a per-house street has none of its own
    "c": ("Impasse des Lilas", 0, dict(postcode=123456), "123456"),
    "d": ("Rue des Tilleuls", 1, dict(postcode=1800, postcode_text="01850"), "01850"),
}
HAUT, BAS = "Haut-Val", "Bas-Val"
# street letter and number text, metres north and east of the query point, own postcode, region
HOUSES = [
    ("a2", 0, 0, None, None), ("a2bis", 8, 0, None, None), ("a4", 30, 0, None, HAUT),
    ("b7", 120, 0, "01510", HAUT),  # the farther record of b7 comes first
    ("b7", 0, 20, "01500", None), ("b7bis", -40, 0, "01500", None), ("b9", 0, -60, None, None),
    ("c1", 49.98, 0, None, HAUT), ("c3", 50.04, 0, None, HAUT), ("c5", -249.9, 0, None, BAS),
    ("c7", -250.03, 0, None, BAS), ("c9", 0, 500, None, None),
    ("d2", -100, 0, None, BAS), ("d6", 30, 0, None, HAUT), ("d8", 30, 0, None, HAUT),
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
    for label, north, east, postcode, _ in HOUSES:
        letter, number, suffix = split_label(label)
        lat, lon = offset(north, east)
        houses[letter].append(House(number, suffix, lat=lat, lon=lon, postcode=postcode))
    communes = [Commune(name, f"0100{i + 1}", lat=QLAT, lon=QLON) for i, name in enumerate(COMMUNES)]
    return Sheet(communes, [Street(name, commune, houses[letter], **extra)
                            for letter, (name, commune, extra, _) in STREETS.items()])


def town_admin():
    north_edge, south_edge = offset(10, 0)[0], offset(-90, 0)[0]
    return [box_region(HAUT, north_edge, QLON - 0.01, QLAT + 0.01, QLON + 0.01),
            box_region(BAS, QLAT - 0.01, QLON - 0.01, south_edge, QLON + 0.01)]


@pytest.fixture(scope="module")
def root(tmp_path_factory):
    return tmp_path_factory.mktemp("reverse")


def one_commune(path, streets, **changes):
    return vorlane.Geocoder(str(Sheet([Commune("Bourg-Neuf", "01001")], streets, **changes).write(path)))


@pytest.fixture(scope="module")
def town(root):
    return vorlane.Geocoder(str(town_sheet().write(root / "town.idx", admin=town_admin())))


def expected_hit(i, precision):
    label, north, east, postcode, region = HOUSES[i]
    letter, number, suffix = split_label(label)
    name, commune, _, street_postcode = STREETS[letter]
    lat, lon = (stored(v) for v in offset(north, east))
    d = distance(QLAT, QLON, lat, lon)
    hit = {"lat": lat, "lon": lon, "precision": precision, "score": 0.0, "street": name,
           "housenumber": f"{number}{suffix}", "commune": COMMUNES[commune], "postcode": postcode or street_postcode,
           "confidence": f32(min(max(0.97 - d / 500, 0.1), 0.95))}
    if region is not None:
        hit["region"] = region
    hit["distance_m"] = tenth(d)  # always the last key
    return hit


def test_nearest_distinct_houses_in_order(town):
    hits = town.reverse(QLAT, QLON, k=100)
    expected = [expected_hit(i, precision) for _, i, precision in EXPECTED]
    assert [list(hit.items()) for hit in hits] == [list(want.items()) for want in expected]  # key order counts
    # c1 and c3 (49.98 m, 50.04 m) and c5 and c7 both round to the threshold yet differ in precision
    assert [(h["distance_m"], h["precision"]) for h in hits[7:9] + hits[11:13]] == [
        (50.0, "house"), (50.0, "near"), (249.9, "near"), (250.0, "approximate")]
    assert town.reverse(QLAT, QLON) == hits[:3]
    assert town.reverse(lon=QLON, k=5, lat=QLAT) == hits[:5]


@pytest.fixture(scope="module")
def equator(root):  # near the equator latitudes are fine enough to meet a distance exactly
    return one_commune(root / "equator.idx", [Street("Grand Rue", 0, [House(1, lat=0.0005, lon=0.5)])])


def exact_query_lat(house_lat, metres, beyond=False):
    # a query latitude due south of the house giving exactly `metres` (with beyond: the first giving more)
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


@pytest.mark.parametrize("k, count", [(0, 0), (1, 1), (True, 1), (False, 0), (14, 14), (15, 14), (2**64 - 1, 14)])
def test_k_limits_the_answers(town, k, count):
    hits = town.reverse(QLAT, QLON, k)
    assert len(hits) == count
    assert hits == town.reverse(QLAT, QLON, 100)[:count]


def test_at_most_one_hundred_answers_and_ties_keep_street_then_list_order(root):
    # 120 houses at one point 30 m north: a sort that is not stable would mix them
    lat, lon = offset(30, 0)
    streets = [Street(f"Rue {letter}", 0, [House(n, lat=lat, lon=lon) for n in range(20, 0, -1)])
               for letter in "FEDCBA"]
    geocoder = one_commune(root / "ties.idx", streets)
    hits = geocoder.reverse(QLAT, QLON, k=500)
    assert [(h["street"], h["housenumber"]) for h in hits] == [
        (f"Rue {letter}", str(n)) for letter in "FEDCB" for n in range(1, 21)]
    assert {h["distance_m"] for h in hits} == {tenth(distance(QLAT, QLON, stored(lat), stored(lon)))}
    assert geocoder.reverse(QLAT, QLON, k=100) == hits


def test_the_poi_layer_is_never_consulted(root, town):
    shops = Street("Boulangerie", 0, [House(1, lat=QLAT, lon=QLON), House(2, lat=QLAT, lon=QLON + 1e-5)])
    poi = Sheet([Commune("Bourg-Neuf", "01001")], [shops], meta=(("country", "fr"), ("layer", "poi")))
    with_poi = vorlane.Geocoder(str(root / "town.idx"), poi=str(poi.write(root / "poi.idx")))
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
    ({(0, 0): [0, 1], (1, 1): [2], (2, 0): [3], (0, -2): [4]}, "ABC"),  # radius 1 holds three
    ({(0, 0): [0], (-1, 1): [1], (2, 2): [2], (-2, 0): [3, 4], (3, 0): [5]}, "ABCDE"),  # radius 2 is a square
    ({(0, 0): [0, 1], (1, 0): [1, 0], (0, 1): [1], (2, -2): [2], (3, 0): [3]}, "ABC"),  # ids counted once
    ({(0, 0): [0], (2, 2): [1], (4, -4): [2], (-4, 3): [3], (5, 0): [4]}, "ABCD"),  # radius 4, whatever it holds
    ({(3, 0): [0], (-4, 4): [1], (5, 0): [2], (0, -5): [3]}, "AB"),
    ({(5, 0): [0], (0, -5): [1], (-5, 5): [2]}, ""),  # nothing within 4 cells
    ({(0, 0): [], (1, 1): [0], (0, 1): [5]}, "AF"),  # an empty cell
])
def test_search_radius_widens_over_1_2_4_cells(tmp_path, cells, streets):
    hits = vorlane.Geocoder(str(ring_sheet(cells).write(tmp_path / "ring.idx"))).reverse(RING_LAT, RING_LON, k=100)
    assert "".join(h["street"][-1] for h in hits) == streets


def test_cell_whose_range_runs_past_the_ids_adds_nothing(root):
    layout = ring_sheet({(0, 0): [0], (0, 1): [1, 2]}).layout()
    second_count = 4 + 12 + 8  # count field of the second cell record
    layout.patch_u32(sw.SEC_REVERSE_GRID, second_count, 1000)
    hits = vorlane.Geocoder(str(layout.write(root / "ring-bad-cell.idx"))).reverse(RING_LAT, RING_LON, k=100)
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
    houses = [("Rue Nord-Est", 89.999, 179.9), ("Rue Nord-Ouest", 89.999, -179.9), ("Rue Sud", -89.9995, -179.99),
              ("Rue Est", 45.005, 179.995), ("Rue Hors-Grille", 45.0051, 179.995)]
    streets = [Street(name, 0, [House(1, lat=lat, lon=lon)]) for name, lat, lon in houses]
    return one_commune(root / "corner.idx", streets, grid=grid)


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
    (90.5, 0.0, 3, "90.5", "0"), (91, 0, 3, "91", "0"), (-90.5, 180.5, 3, "-90.5", "180.5"),
    (NAN, 0.0, 3, "NaN", "0"), (-NAN, 1.5, 3, "NaN", "1.5"), (0.0, INF, 3, "0", "inf"), (-INF, -INF, 3, "-inf", "-inf"),
    (45.0, -180.00000000000003, 3, "45", "-180.00000000000003"),
    (1e300, 0.0, 3, "1" + "0" * 300, "0"),  # never an exponent
    (NAN, 0.0, 0, "NaN", "0"),  # checked before k = 0 answers
])
def test_invalid_coordinates_raise_value_error(town, lat, lon, k, lat_text, lon_text):
    with pytest.raises(ValueError) as raised:
        town.reverse(lat, lon, k)
    assert raised.value.args == (MESSAGE.format(lat_text, lon_text),)


@pytest.mark.parametrize("lat, lon", [(90, 180), (-90, -180), (-0.0, 0), (90.0, -180.0)])
def test_boundary_coordinates_are_accepted(town, lat, lon):
    assert town.reverse(lat, lon) == []


@pytest.mark.parametrize("lat, as_float", [
    (decimal.Decimal("45.0025"), QLAT), (fractions.Fraction(450025, 10000), QLAT), (45, 45.0),
    (type("AsIndex", (), {"__index__": lambda self: 45})(), 45.0)])
def test_coordinates_take_any_float_conversion(town, lat, as_float):
    hits = town.reverse(lat, QLON, k=100)
    assert hits and hits == town.reverse(as_float, QLON, k=100)


@pytest.mark.parametrize("args, kwargs, error, note", [
    (("45.0", QLON), {}, TypeError, "lat"), ((QLAT, "5"), {}, TypeError, "lon"), (("a", "b"), {}, TypeError, "lat"),
    ((91, "x"), {}, TypeError, "lon"),  # conversions come before the range check
    ((None, QLON), {}, TypeError, "lat"),
    ((QLAT, QLON), {"k": 2.0}, TypeError, "k"), ((QLAT, QLON), {"k": "3"}, TypeError, "k"),
    ((QLAT, QLON), {"k": -1}, OverflowError, "k"), ((91, 0), {"k": -1}, OverflowError, "k"),
    ((QLAT, QLON), {"k": 2**64}, OverflowError, "k"),
])
def test_argument_conversion_errors_name_the_parameter(town, args, kwargs, error, note):
    with pytest.raises(error) as raised:
        town.reverse(*args, **kwargs)
    assert type(raised.value) is error
    assert raised.value.__notes__ == [f"while processing '{note}'"]


@pytest.mark.parametrize("args, kwargs", [
    ((), {}), ((QLAT,), {}), ((QLAT, QLON, 3, 4), {}), ((QLAT, QLON), {"q": 1}), ((QLAT, QLON), {"lat": QLAT})])
def test_argument_list_errors(town, args, kwargs):
    with pytest.raises(TypeError, match="reverse"):
        town.reverse(*args, **kwargs)
