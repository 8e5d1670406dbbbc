"""An invented little country for the forward-geocoding tests, the demo and
the geocode fuzzer's sheets: a few communes around Velmont, their streets,
a POI layer over the same communes, an admin sidecar and a variant of the
sheet whose rules carry a city gazetteer for the foreign-city guard.

No country code is one that a country branch of the engine handles, so what
these sheets answer stays the plain forward road.

Command line: `python tests/support/velmont.py OUT_DIR` writes velmont.idx,
velmont_poi.idx, velmont_guard.idx and velmont_bare.idx (no metadata at
all) into OUT_DIR, with the engine's keys from the library named by
VORLANE_TESTHOOKS. None has an admin sidecar: a sidecar beside one sheet
would be reported as misnamed for the others. The fuzzer's sheets, these
and the country ones, are written by fuzz_sheets.py.
"""

from __future__ import annotations

import os
import sys
from pathlib import Path

import sheetwriter as sw
from sheetwriter import Commune, House, Sheet, Street

COUNTRY = "zq"
META = (("country", COUNTRY), ("layer", "addresses"))
POI_META = (("country", COUNTRY), ("layer", "poi"))


def communes() -> list[Commune]:
    return [
        Commune("Velmont", "10001", weight=5000, lat=45.100, lon=5.100),
        Commune("Orlac", "10002", weight=3000, lat=45.600, lon=5.700),
        Commune("Brenneval", "10003", weight=800, lat=45.120, lon=5.140),
        Commune("Kastorno", "10004", weight=1200, lat=46.200, lon=6.100),
        Commune("Saint-Aubrac", "10005", weight=400, lat=44.800, lon=4.900),
    ]


def _row(lat: float, lon: float, numbers, step=0.0001) -> list[House]:
    return [House(n, lat=lat + i * step, lon=lon) for i, n in enumerate(numbers)]


def streets() -> list[Street]:
    return [
        Street("Rue X", "10001", postcode=10100, postcode_text="10100",
               houses=_row(45.1010, 5.1010, [1, 3, 5, 7])),
        Street("Rue des Tilleuls", "10001", postcode=10100, postcode_text="10100",
               houses=_row(45.1030, 5.0990, [2, 4, 6, 8])),
        Street("Avenue du Lac", "10002", postcode=10200, postcode_text="10200",
               houses=_row(45.6010, 5.7010, [10, 12, 14])),
        Street("Chemin des Vignes", "10003", postcode=10300, postcode_text="10300",
               houses=_row(45.1210, 5.1410, [1, 2, 3])),
        Street("Ulica Mira", "10004", postcode=10400, postcode_text="10400",
               houses=_row(46.2010, 6.1010, [1, 3, 5])),
        Street("Place du Marche", "10005", postcode=10500, postcode_text="10500",
               houses=_row(44.8010, 4.9010, [1])),
    ]


def sheet(rules=None, meta=META) -> Sheet:
    return Sheet(communes(), streets(), meta=meta, rules=rules)


def poi_sheet() -> Sheet:
    pois = [
        Street("Gare Centrale", "10001", postcode=10100, postcode_text="10100",
               houses=[House(1, lat=45.0990, lon=5.1050)]),
        Street("Musee des Ondes", "10002", postcode=10200, postcode_text="10200",
               houses=[House(1, lat=45.6050, lon=5.6950)]),
    ]
    return Sheet(communes(), pois, meta=POI_META)


# The gazetteer of the guard sheet: Velmont lies in state AA, Orlac in AA
# and BB, and "Vlm" is another name of Velmont.
GUARD_RULES = [
    (26, "street_markers", "rue avenue chemin"),
    (26, "regions", "AA BB"),
    (26, "city:velmont", "AA"),
    (26, "city:orlac", "AA BB"),
    (26, "alias:vlm", "velmont"),
    (26, "state:bordeland", "BB"),
]


def admin() -> list[sw.Region]:
    return [sw.box_region("Haut-Velmontois", 44.5, 4.5, 45.5, 5.5)]


def write_all(out_dir: str | Path) -> dict[str, Path]:
    """Writes every sheet of this country into `out_dir`; returns their paths
    by name."""
    out = Path(out_dir)
    out.mkdir(parents=True, exist_ok=True)
    paths = {
        "sheet": sheet().write(out / "velmont.idx"),
        "poi": poi_sheet().write(out / "velmont_poi.idx"),
        "guard": sheet(rules=GUARD_RULES).write(out / "velmont_guard.idx"),
        "bare": sheet(meta=None).write(out / "velmont_bare.idx"),
    }
    return paths


def use_engine_keys() -> None:
    """Forms dictionary keys with the engine's own text functions, from the
    test-hooks library named by VORLANE_TESTHOOKS."""
    if not os.environ.get(sw.TESTHOOKS_ENV):
        raise SystemExit(f"{sw.TESTHOOKS_ENV} must name libvorlane_testhooks.so of the build")
    sw.set_key_function(sw.engine_key_function())
    sw.set_phonetic_function(sw.engine_phonetic_function())


if __name__ == "__main__":
    use_engine_keys()
    for path in write_all(sys.argv[1]).values():
        print(path)
