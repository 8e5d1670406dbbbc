"""`geocode` on one small sheet per country: French arrondissements, Italian
province codes and ambiguous communes, Spanish street particles, and the
sheets that take the plain road."""

import pytest

import vorlane
from sheetwriter import Commune, House, Sheet, Street


def meta(country):
    return (("country", country), ("layer", "addresses"))


def write(tmp_path_factory, name, sheet):
    return vorlane.Geocoder(str(sheet.write(tmp_path_factory.mktemp("country") / f"{name}.idx")))


@pytest.fixture(scope="module")
def fr(tmp_path_factory):
    communes = [Commune("Paris 11e Arrondissement", "75111", 30, 48.859, 2.379),
                Commune("Paris 12e Arrondissement", "75112", 30, 48.835, 2.421),
                Commune("Paris 16e Arrondissement", "75116", 30, 48.860, 2.262)]
    streets = [Street("Rue X", "75111", [House(5, lat=48.8591, lon=2.3791)], postcode=75011),
               Street("Rue X", "75112", [House(5, lat=48.8351, lon=2.4211)], postcode=75012)]
    return write(tmp_path_factory, "fr", Sheet(communes, streets, meta=meta("fr")))


def communes_of(answer):
    return {d["commune"] for d in answer}


def test_french_arrondissements(fr):
    for q in ["rue x 5 paris xie arrondissement", "rue x 5 75011 paris", "rue x 5 paris 11e"]:
        assert communes_of(fr.geocode(q)) == {"Paris 11e Arrondissement"}, q
    for q, commune in [("75011 paris", "Paris 11e Arrondissement"), ("75011", "Paris 11e Arrondissement"),
                       ("75116", "Paris 16e Arrondissement")]:
        (city,) = fr.geocode(q)
        assert (city["precision"], city["commune"]) == ("city", commune), q
    for q in ["75011 paris 12e", "rue x 5 75011 paris 3e"]:
        assert fr.geocode(q) == [], q


@pytest.fixture(scope="module")
def it(tmp_path_factory):
    communes = [Commune("Milano", "015146", 100, 45.464, 9.190),
                Commune("Torino", "001272", 100, 45.070, 7.686),
                Commune("Castello", "001900", 5, 45.100, 7.700),
                Commune("Castello", "054900", 5, 43.100, 12.400)]
    communes += [Commune("Colle", f"0990{i:02d}", 1, 40.0 + i * 0.2, 9.0) for i in range(41)]
    streets = [Street("Via Roma", "015146", [House(1, lat=45.4641, lon=9.1901)]),
               Street("Via Garibaldi", "001900", [House(3, lat=45.1001, lon=7.7001)]),
               Street("Via Garibaldi", "054900", [House(3, lat=43.1001, lon=12.4001)])]
    return write(tmp_path_factory, "it", Sheet(communes, streets, meta=meta("it")))


def test_italian_province_codes_and_communes(it):
    plain = it.geocode("via roma 1 milano")
    assert plain and plain[0]["street"] == "Via Roma"
    assert it.geocode("via roma 1 milano MI") == plain
    assert it.geocode("via roma 1 milano (MI)") == plain

    near = it.geocode("via garibaldy 3 castello torino")
    assert near and all(d["lat"] > 45 and d["flags"][-1] == "geo_qualifier" for d in near)
    assert it.geocode("via romaa 1 colle milano") == []

    assert it.geocode("piazza zzzz 7 milano") == []
    (city,) = it.geocode("piazza zzzz milano")
    assert (city["precision"], city["commune"]) == ("city", "Milano")


SPANISH = ([Commune("Madrid", "28079", 100, 40.4168, -3.7038)],
           [Street("Calle del Paz", "28079", [House(5, lat=40.4150, lon=-3.7000)])])


@pytest.fixture(scope="module")
def es_paths(tmp_path_factory):
    out = tmp_path_factory.mktemp("es")
    metas = {"es": meta("es"), "none": None, "upper": meta("ES"), "empty": meta(""),
             "twice": (("country", "xx"), ("country", "es"))}
    return {name: str(Sheet(*SPANISH, meta=m, rules=[(16, "calle", "")]).write(out / f"{name}.idx"))
            for name, m in metas.items()}


def test_spanish_particles(es_paths):
    es = vorlane.Geocoder(es_paths["es"])
    (top, *_) = es.geocode("calle de la paz 5, madrid")
    assert (top["street"], top["housenumber"]) == ("Calle del Paz", "5")
    assert "street_exact" in top["flags"]
    direct = es.geocode("calle del paz 5, madrid")
    for name in ["none", "upper", "empty", "twice"]:
        other = vorlane.Geocoder(es_paths[name])
        assert other.geocode("calle del paz 5, madrid") == direct, name
        assert not [d for d in other.geocode("calle de la paz 5, madrid") if "street_exact" in d["flags"]], name
