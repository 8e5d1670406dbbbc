"""Every sheet of the geocode fuzzer (fuzz/sheets): the four Velmont sheets
of the plain forward road (velmont.py), and one small sheet per branch that
only a sheet's country or rules switch on, each holding the places real
queries of that country reach:

country_fr.idx  the Paris, Lyon and Marseille arrondissements as communes
                (postcodes 75001-75020, 75116), streets in several of them
country_it.idx  communes behind province codes, one commune name twice far
                apart and one past the 40-commune cap of the place probe
country_es.idx  streets whose names carry particles ("de la", "del", "d'")
country_de.idx  version 7 with rules of kinds 18 to 22: Berlin and its
                districts, the two Frankfurts, Ludwigshafen am Rhein,
                streets written with ß, umlauts and "str.", qualified
                streets ("Dorfstraße (Mitte)"), blank-postcode twins,
                per-house postcodes, one street and house in two districts
                under one postcode
country_de_blank.idx  the same places under street-type words without
                "str", where the blank-postcode override answers
fields_br.idx   structured-field settings (kind 23): eight-digit postcodes
                split 5-3, trailing regions in comma and hyphen form
fields_pe.idx   kind 23 with street titles and their aliases, droppable
                leading fields (kind 25), street-type pairs (kind 24)

None has an admin sidecar or a POI layer of its own.

Command line: `python tests/support/fuzz_sheets.py OUT_DIR` writes them
all, with the engine's keys from the library named by VORLANE_TESTHOOKS;
OUT_DIR is fuzz/sheets for the committed ones.
"""

from __future__ import annotations

import sys
from pathlib import Path

import velmont
from sheetwriter import Commune, House, Sheet, Street


def meta(country: str) -> tuple:
    return (("country", country), ("layer", "addresses"))


def houses(lat: float, lon: float, numbers, step: float = 0.0001) -> list[House]:
    """Houses in a row north of (lat, lon); a number may be (number, suffix)."""
    out = []
    for i, n in enumerate(numbers):
        number, suffix = n if isinstance(n, tuple) else (n, "")
        out.append(House(number, suffix, lat=lat + i * step, lon=lon))
    return out


# --------------------------------------------------------------------------
# France: arrondissements are communes of their own, as the national
# address files hold them.

PARIS = (48.8566, 2.3522)


def fr_sheet() -> Sheet:
    communes = []
    for n in range(1, 21):
        ordinal = "1er" if n == 1 else f"{n}e"
        communes.append(Commune(f"Paris {ordinal} Arrondissement", f"751{n:02d}", weight=20 + n,
                                lat=PARIS[0] + (n % 5) * 0.01, lon=PARIS[1] + (n // 5) * 0.01))
    communes += [
        Commune("Lyon 1er Arrondissement", "69381", weight=30, lat=45.767, lon=4.834),
        Commune("Lyon 2e Arrondissement", "69382", weight=30, lat=45.750, lon=4.827),
        Commune("Marseille 1er Arrondissement", "13201", weight=40, lat=43.300, lon=5.382),
        Commune("Saint-Denis", "93066", weight=110, lat=48.936, lon=2.357, aliases=("St Denis",)),
        Commune("Boulogne-Billancourt", "92012", weight=120, lat=48.835, lon=2.241),
        Commune("Villeneuve-d'Ascq", "59009", weight=60, lat=50.623, lon=3.145),
    ]
    streets = [
        Street("Rue de Rivoli", "75101", postcode=75001, postcode_text="75001",
               houses=houses(48.8606, 2.3376, [1, 2, 3, (3, "bis"), 10, 12, 14])),
        Street("Rue de Rivoli", "75104", postcode=75004, postcode_text="75004",
               houses=houses(48.8556, 2.3600, [2, 4, 6])),
        Street("Rue de la Paix", "75102", postcode=75002, postcode_text="75002",
               houses=houses(48.8690, 2.3310, [1, (1, "bis"), 2, 5])),
        Street("Avenue des Champs-Élysées", "75108", postcode=75008,
               houses=[House(10, lat=48.8700, lon=2.3060, postcode="75008"),
                       House(12, "ter", lat=48.8702, lon=2.3056, postcode="75008"),
                       House(101, lat=48.8725, lon=2.2995, postcode="75116")]),
        Street("Boulevard Voltaire", "75111", postcode=75011, postcode_text="75011",
               houses=houses(48.8590, 2.3790, [5, 7, 9, 11, 50])),
        Street("Rue X", "75111", postcode=75011, houses=houses(48.8591, 2.3791, [5])),
        Street("Rue X", "75112", postcode=75012, houses=houses(48.8351, 2.4211, [5])),
        Street("Avenue Victor Hugo", "75116", postcode=75116, postcode_text="75116",
               houses=houses(48.8700, 2.2870, [1, 2, 120])),
        Street("Rue du 14 Juillet", "75120", postcode=75020, postcode_text="75020",
               houses=houses(48.8650, 2.3980, [3, 4])),
        Street("Place de la République", "75103", postcode=75003, postcode_text="75003",
               houses=houses(48.8675, 2.3638, [1])),
        Street("Rue de la République", "69382", postcode=69002, postcode_text="69002",
               houses=houses(45.7630, 4.8360, [3, 7, 21])),
        Street("Place Bellecour", "69382", postcode=69002, postcode_text="69002",
               houses=houses(45.7578, 4.8320, [1, 2])),
        Street("Rue Mercière", "69382", postcode=69002, postcode_text="69002",
               houses=houses(45.7625, 4.8330, [8])),
        Street("La Canebière", "13201", postcode=13001, postcode_text="13001",
               houses=houses(43.2970, 5.3790, [1, 42])),
        Street("Rue de la République", "93066", postcode=93200, postcode_text="93200",
               houses=houses(48.9359, 2.3581, [4, 6])),
        Street("Allée de l'Orme", "93066", postcode=93200, postcode_text="93200",
               houses=houses(48.9370, 2.3590, [2])),
        Street("Boulevard Jean Jaurès", "92012", postcode=92100, postcode_text="92100",
               houses=houses(48.8400, 2.2400, [11, 13, (13, "a")])),
        Street("Rue de Paris", "59009", postcode=59650, postcode_text="59650",
               houses=houses(50.6230, 3.1450, [8])),
    ]
    return Sheet(communes, streets, meta=meta("fr"), suffixes=["a", "bis", "ter"],
                 rules=[(1, "paname", "paris"), (16, "boulevard")])


# --------------------------------------------------------------------------
# Italy: province codes after communes, a commune name shared far apart
# (Castello) and one shared by more communes than the place probe weighs.

def it_sheet() -> Sheet:
    communes = [
        Commune("Milano", "015146", weight=1400, lat=45.4642, lon=9.1900),
        Commune("Torino", "001272", weight=870, lat=45.0703, lon=7.6869),
        Commune("Roma", "058091", weight=2800, lat=41.9028, lon=12.4964),
        Commune("Reggio nell'Emilia", "035033", weight=170, lat=44.6983, lon=10.6312),
        Commune("Castello", "001900", weight=5, lat=45.1000, lon=7.7000),
        Commune("Castello", "054900", weight=5, lat=43.1000, lon=12.4000),
        Commune("San Giovanni in Persiceto", "037053", weight=28, lat=44.6390, lon=11.1860),
    ]
    communes += [Commune("Colle", f"0990{i:02d}", weight=1, lat=40.0 + i * 0.2, lon=9.0)
                 for i in range(41)]
    streets = [
        Street("Via Roma", "015146", postcode=20121, postcode_text="20121",
               houses=houses(45.4641, 9.1901, [1, 2, 3, 15])),
        Street("Via Roma", "001272", postcode=10121, postcode_text="10121",
               houses=houses(45.0680, 7.6830, [1, 101])),
        Street("Corso Vittorio Emanuele II", "015146", postcode=20122, postcode_text="20122",
               houses=houses(45.4650, 9.1930, [4, 24])),
        Street("Piazza del Duomo", "015146", postcode=20122, postcode_text="20122",
               houses=houses(45.4641, 9.1919, [1])),
        Street("Viale Monza", "015146", postcode=20127, postcode_text="20127",
               houses=houses(45.4960, 9.2230, [12, (12, "a")])),
        Street("Via XX Settembre", "058091", postcode=187, postcode_text="00187",
               houses=houses(41.9060, 12.4950, [8, 97])),
        Street("Via dei Fori Imperiali", "058091", postcode=186, postcode_text="00186",
               houses=houses(41.8930, 12.4880, [1])),
        Street("Largo Augusto", "015146", postcode=20122, postcode_text="20122",
               houses=houses(45.4630, 9.1970, [3])),
        Street("Via Emilia", "035033", postcode=42121, postcode_text="42121",
               houses=houses(44.6980, 10.6310, [10])),
        Street("Via Garibaldi", "001900", houses=houses(45.1001, 7.7001, [3])),
        Street("Via Garibaldi", "054900", houses=houses(43.1001, 12.4001, [3])),
        Street("Via Castello", 7, houses=houses(40.0001, 9.0001, [2])),
        Street("Corso Italia", "037053", postcode=40017, postcode_text="40017",
               houses=houses(44.6391, 11.1861, [5])),
    ]
    return Sheet(communes, streets, meta=meta("it"), suffixes=["a"])


# --------------------------------------------------------------------------
# Spain: street particles, and a phrase replacement whose target carries a
# digit, so that the particle rewrite is tried on any query.

def es_sheet() -> Sheet:
    communes = [
        Commune("Madrid", "28079", weight=3200, lat=40.4168, lon=-3.7038),
        Commune("Barcelona", "08019", weight=1600, lat=41.3874, lon=2.1686),
        Commune("Sevilla", "41091", weight=680, lat=37.3891, lon=-5.9845),
        Commune("L'Hospitalet de Llobregat", "08101", weight=260, lat=41.3596, lon=2.0997),
        Commune("San Sebastián de los Reyes", "28134", weight=90, lat=40.5474, lon=-3.6261),
    ]
    streets = [
        Street("Calle del Paz", "28079", postcode=28012, postcode_text="28012",
               houses=houses(40.4150, -3.7000, [5, 7])),
        Street("Calle de la Paz", "41091", postcode=41004, postcode_text="41004",
               houses=houses(37.3890, -5.9900, [5])),
        Street("Calle Mayor", "28079", postcode=28013, postcode_text="28013",
               houses=houses(40.4153, -3.7074, [1, 12, (12, "b")])),
        Street("Paseo de la Castellana", "28079", postcode=28046, postcode_text="28046",
               houses=houses(40.4400, -3.6900, [100, 259])),
        Street("Calle de los Reyes Católicos", "41091", postcode=41001, postcode_text="41001",
               houses=houses(37.3880, -5.9990, [3])),
        Street("Plaza de España", "28079", postcode=28008, postcode_text="28008",
               houses=houses(40.4233, -3.7122, [1])),
        Street("Carrer de Mallorca", "08019", postcode=8036, postcode_text="08036",
               houses=houses(41.3920, 2.1560, [401, 403])),
        Street("Carrer d'Aragó", "08019", postcode=8007, postcode_text="08007",
               houses=houses(41.3900, 2.1630, [255])),
        Street("Avinguda Diagonal", "08019", postcode=8008, postcode_text="08008",
               houses=houses(41.3950, 2.1500, [1, 640])),
        Street("Carrer dels Angels", "08019", postcode=8001, postcode_text="08001",
               houses=houses(41.3830, 2.1670, [2])),
        Street("Rambla de Just Oliveras", "08101", postcode=8901, postcode_text="08901",
               houses=houses(41.3590, 2.1000, [56])),
        Street("Calle Real", "28134", postcode=28700, postcode_text="28700",
               houses=houses(40.5470, -3.6260, [10])),
    ]
    rules = [(16, "calle"), (16, "carrer"), (16, "avinguda"), (16, "paseo"), (16, "plaza"),
             (16, "rambla"), (11, "espana"), (2, "bcn", "barcelona"), (3, "c mayor", "calle mayor 1")]
    return Sheet(communes, streets, meta=meta("es"), rules=rules, suffixes=["b"])


# --------------------------------------------------------------------------
# Germany: a version-7 sheet with the German rules, so that the open builds
# the postcode rosters and queries take the variant rows, rescues and
# overrides.

BERLIN, MITTE, KREUZBERG = (52.5200, 13.4050), (52.5300, 13.3800), (52.4990, 13.4030)
CHARLOTTENBURG, ADLERSHOF, POTSDAM = (52.5160, 13.3040), (52.4300, 13.5300), (52.3900, 13.0600)
FRANKFURT_ODER, FRANKFURT_MAIN = (52.3400, 14.5500), (50.1100, 8.6800)
LUDWIGSHAFEN, FREIBURG, ZOSSEN = (49.4800, 8.4400), (47.9990, 7.8420), (52.2200, 13.4500)
KOELN, MUENCHEN = (50.9375, 6.9603), (48.1351, 11.5820)
BLANKENBURG, BUCHHOLZ = (52.5900, 13.4400), (52.5950, 13.4300)

DE_RULES = [
    (18, "berlin mitte", "mitte"), (18, "berlin kreuzberg", "kreuzberg"),
    (18, "frankfurt a m", "frankfurt am main"), (18, "muenchen", "munchen"),
    (19, "hauptstr", "hauptstraße"), (19, "str", "straße"), (19, "pl", "platz"),
    (20, "allee"), (20, "platz"), (20, "str"), (20, "strasse"), (20, "straße"), (20, "weg"),
    (21, "deutschland"), (21, "germany"), (21, "brd"),
    (22, "landkreis"), (22, "kreis"), (22, "ot"),
]


# Without "str" among the street-type words, "Gartenstraße" no longer
# reaches its blank-postcode twin "Gartenstr.", which the override then
# answers.
DE_BLANK_RULES = [r for r in DE_RULES if r[0] != 20 or r[1] in ("allee", "weg")]


def de_street(name, commune, at, numbers, postcode=0, **kw) -> Street:
    return Street(name, commune, houses(at[0], at[1], numbers), postcode=postcode,
                  lat=at[0], lon=at[1], **kw)


def de_sheet(rules=DE_RULES) -> Sheet:
    communes = [
        Commune("Berlin", "11000000", 900, *BERLIN), Commune("Mitte", "11000001", 300, *MITTE),
        Commune("Kreuzberg", "11000002", 250, *KREUZBERG),
        Commune("Charlottenburg", "11000004", 250, *CHARLOTTENBURG),
        Commune("Potsdam", "12054000", 200, *POTSDAM),
        Commune("Frankfurt (Oder)", "12053000", 100, *FRANKFURT_ODER),
        Commune("Frankfurt am Main", "06412000", 700, *FRANKFURT_MAIN),
        Commune("Ludwigshafen am Rhein", "07314000", 200, *LUDWIGSHAFEN),
        Commune("Freiburg im Breisgau", "08311000", 230, *FREIBURG),
        Commune("Zossen", "12072000", 50, *ZOSSEN),
        Commune("Köln", "05315000", 1000, *KOELN),
        Commune("München", "09162000", 1400, *MUENCHEN),
        Commune("Berlin-Blankenburg", "11000013", 40, *BLANKENBURG),
        Commune("Berlin-Französisch Buchholz", "11000014", 40, *BUCHHOLZ),
    ]
    streets = [
        de_street("Hauptstraße", 0, BERLIN, [5, 12, (12, "a"), 14], 10115),
        de_street("Hauptstraße", 4, POTSDAM, [5], 14467),
        de_street("Linden Allee", 0, BERLIN, [5], 10115),
        de_street("Gartenstraße", 0, BERLIN, [1, 3], 10115),
        de_street("Gartenstr.", 0, BERLIN, [20]),
        de_street("Kirchstraße", 1, MITTE, [7], 10117),
        de_street("Kirschstraße", 1, MITTE, [7], 10115),
        de_street("Dorfstraße", 1, MITTE, [5], 10117),
        de_street("Dorfstraße (Mitte)", 1, MITTE, [5]),
        de_street("Ringstraße", 1, MITTE, [5], 10117),
        de_street("Ringstraße (Mitte)", 1, MITTE, [5]),
        de_street("Rinstraße", 1, MITTE, [5], 10115),
        de_street("Bergstraße", 0, BERLIN, [10, 16], 10115),
        de_street("Bergstraße", 9, ZOSSEN, [12, 14], 10119),
        de_street("Oderstraße", 5, FRANKFURT_ODER, [9], 15230),
        de_street("Oderstraße", 6, FRANKFURT_MAIN, [9], 60311),
        de_street("Zeil", 6, FRANKFURT_MAIN, [1, 106], 60313),
        de_street("Bismarckstraße", 7, LUDWIGSHAFEN, [5, 7], 67059),
        de_street("Kaiser-Joseph-Straße", 8, FREIBURG, [200], 79098),
        de_street("Müllerstraße", 0, BERLIN, [3, (3, "b")], 13353),
        de_street("Große Straße", 4, POTSDAM, [1, 2], 14469),
        de_street("Straße des 17. Juni", 4, CHARLOTTENBURG, [135], 10623),
        de_street("Oranienstraße", 2, KREUZBERG, [25, 185], 10999),
        de_street("Unter den Linden", 1, MITTE, [1, 77], 10117),
        de_street("Platz der Republik", 1, MITTE, [1], 11011),
        de_street("Karl-Marx-Allee", 0, BERLIN, [34], 10178),
        de_street("Campus Adlershof", 0, ADLERSHOF, [12], 12489),
        de_street("Haus der Kunst", 0, ADLERSHOF, [3], 12489),
        de_street("Am Markt", 9, ZOSSEN, [1, 2, 3]),
        de_street("Hohe Straße", 10, KOELN, [52], 50667),
        de_street("Marienplatz", 11, MUENCHEN, [1, 8], 80331),
        # The same street and house in two districts under one postcode, and
        # a street whose postcode is stored as text.
        de_street("Dorfstraße", 12, BLANKENBURG, [5], 13129),
        de_street("Dorfstraße", 13, BUCHHOLZ, [5], 13129),
        de_street("Lindenstraße", 2, KREUZBERG, [5], 10969),
        de_street("Lindenstraße", 4, POTSDAM, [5], 14467),
        de_street("Bahnhofstraße", 9, ZOSSEN, [1, 3, (3, "a")], postcode_text="15806"),
        Street("Marktstraße", 0, [House(1, lat=52.5200, lon=13.4000, postcode="10115"),
                                   House(3, lat=52.5201, lon=13.4000, postcode="10117"),
                                   House(5, lat=52.5202, lon=13.4000)]),
    ]
    return Sheet(communes, streets, version=7, meta=meta("de"), rules=rules,
                 suffixes=["a", "b"])


# --------------------------------------------------------------------------
# Structured fields: the two rule sets of the field-stage tests, on sheets
# of the countries whose addresses they describe.

BR_RULES = [(23, "enabled", "1"), (23, "postal_digits", "8"), (23, "postal_split", "5"),
            (23, "regions", "SP RJ"), (23, "forms", "comma hyphen")]
PE_RULES = [(23, "enabled", "1"), (23, "forms", "comma"), (23, "postal_digits", "5"),
            (23, "postal_split", "2"), (23, "regions", "lima"),
            (23, "street_titles", "general coronel doctor"),
            (23, "street_title_aliases", "gral:general dr:doctor"),
            (25, "edificio central"), (25, "oficina"),
            (24, "av", "avenida"), (24, "1ro", "1"), (24, "av", "av de"), (24, "jr", "jiron"),
            (16, "av"), (16, "avenida"), (16, "jiron"), (16, "calle")]


def br_sheet() -> Sheet:
    return Sheet(
        communes=[Commune("Sao Paulo", "3550308", weight=9000, lat=-23.55, lon=-46.63),
                  Commune("Rio de Janeiro", "3304557", weight=6000, lat=-22.90, lon=-43.20),
                  Commune("Centro", "3550309", weight=10, lat=-23.54, lon=-46.64),
                  Commune("Campinas", "3509502", weight=1100, lat=-22.91, lon=-47.06)],
        streets=[Street("Rua Augusta", "3550308", postcode_text="01305-000",
                        houses=houses(-23.551, -46.651, [10, 100, 120])),
                 Street("Rua Augusta", "3304557", houses=houses(-22.901, -43.201, [10, 100])),
                 Street("Rua das Flores", "3304557", houses=houses(-22.911, -43.211, [7])),
                 Street("Rua Sao Paulo", "3304557", houses=houses(-22.921, -43.221, [1])),
                 Street("Avenida Paulista", "3550308", postcode_text="01310-100",
                        houses=houses(-23.561, -46.656, [1000, 1578])),
                 Street("Rua Barão de Jaguara", "3509502", postcode_text="13015-001",
                        houses=houses(-22.905, -47.060, [1481]))],
        meta=meta("br"), rules=BR_RULES)


def pe_sheet() -> Sheet:
    return Sheet(
        communes=[Commune("Miraflores", "150122", weight=500, lat=-12.12, lon=-77.03),
                  Commune("Lima", "150101", weight=5000, lat=-12.05, lon=-77.04),
                  Commune("San Isidro", "150131", weight=400, lat=-12.10, lon=-77.04)],
        streets=[Street("Avenida Arequipa", "150122", houses=houses(-12.121, -77.031, [123, 125])),
                 Street("Avenida Arequipa", "150101", houses=houses(-12.061, -77.036, [121, 123])),
                 Street("Calle Mayor", "150122", houses=houses(-12.122, -77.032, [12])),
                 Street("Av General San Martin", "150122", houses=houses(-12.123, -77.033, [5])),
                 Street("Avenida Larco", "150122", houses=houses(-12.124, -77.034, [5, (12, "b")])),
                 Street("Jiron Puno", "150101", houses=houses(-12.051, -77.041, [5])),
                 Street("Avenida 1 de Mayo", "150101", houses=houses(-12.052, -77.042, [5, (12, "b")])),
                 Street("Calle Coronel Inclan", "150122", postcode_text="15074",
                        houses=houses(-12.126, -77.035, [235])),
                 Street("Avenida Javier Prado Este", "150131", houses=houses(-12.091, -77.021, [492]))],
        suffixes=["b"], meta=meta("pe"), rules=PE_RULES)


BRANCH_SHEETS = {
    "country_fr.idx": fr_sheet,
    "country_it.idx": it_sheet,
    "country_es.idx": es_sheet,
    "country_de.idx": de_sheet,
    "country_de_blank.idx": lambda: de_sheet(DE_BLANK_RULES),
    "fields_br.idx": br_sheet,
    "fields_pe.idx": pe_sheet,
}


def write_all(out_dir: str | Path) -> dict[str, Path]:
    """Writes every fuzz sheet into `out_dir`; returns their paths by file
    name."""
    out = Path(out_dir)
    paths = {p.name: p for p in velmont.write_all(out).values()}
    for name, build in BRANCH_SHEETS.items():
        paths[name] = build().write(out / name)
    return paths


if __name__ == "__main__":
    velmont.use_engine_keys()
    for path in write_all(sys.argv[1]).values():
        print(path)
