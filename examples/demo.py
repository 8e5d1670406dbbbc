"""A short tour of vorlane on a small invented country: a few forward
queries (clean, misspelt, city only, with leading noise, in Cyrillic, one
that only the POI layer knows, one without answer) and two reverse queries.

Usage: python examples/demo.py DIR  (writes its sheets into DIR on first
use, with the engine's keys from the library named by VORLANE_TESTHOOKS;
`make demo` sets everything up).
"""

import json
import sys
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parents[1] / "tests" / "support"))

import velmont  # noqa: E402
import vorlane  # noqa: E402

FORWARD = [
    ("clean", "rue x 5 velmont"),
    ("typo", "rue des tileuls 4 velmont"),
    ("city only", "Brenneval"),
    ("leading noise", "chez dupont rue x 5 velmont"),
    ("Cyrillic spelling", "улица мира 3 касторно"),
    ("place in its own field", "pres de la poste, saint-aubrac"),
    ("POI answer", "musee des ondes orlac"),
    ("no answer", "zzqx 99 wobble"),
]
REVERSE = [("Rue X", 45.1011, 5.1011), ("Avenue du Lac", 45.6012, 5.7009)]


def write_sheets(out: Path) -> tuple[Path, Path]:
    sheet, poi = out / "velmont.idx", out / "poi" / "velmont_poi.idx"
    if not (sheet.exists() and poi.exists()):
        velmont.use_engine_keys()
        poi.parent.mkdir(parents=True, exist_ok=True)
        velmont.sheet().write(sheet, admin=velmont.admin())
        velmont.poi_sheet().write(poi)
    return sheet, poi


def show(answer: list) -> None:
    if not answer:
        print("    (no answer)")
    for d in answer:
        print("    " + json.dumps(d, ensure_ascii=False))


def main() -> int:
    sheet, poi = write_sheets(Path(sys.argv[1]))
    g = vorlane.Geocoder(str(sheet), poi=str(poi))
    for label, q in FORWARD:
        print(f"geocode({q!r}, k=2)  # {label}")
        show(g.geocode(q, k=2))
    for label, lat, lon in REVERSE:
        print(f"reverse({lat}, {lon}, k=2)  # near {label}")
        show(g.reverse(lat, lon, k=2))
    return 0


if __name__ == "__main__":
    sys.exit(main())
