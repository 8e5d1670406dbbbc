"""`geocode` on structured input, on two invented sheets whose rules switch
the structured-field stages on ("br": trailing regions, hyphenated
postcodes; "pe": leading fields, comma-less fields, title words, street-type
pairs), each beside a twin without the kind 23-25 rules, where the same
query must not give the same answer: the stages found it."""

import pytest

from sheetwriter import Commune, House, Sheet, Street
import vorlane

BR_RULES = [(23, "enabled", "1"), (23, "postal_digits", "8"), (23, "postal_split", "5"),
            (23, "regions", "SP RJ"), (23, "forms", "comma hyphen")]
PE_RULES = [(23, "enabled", "1"), (23, "forms", "comma"), (23, "postal_digits", "5"),
            (23, "postal_split", "2"), (23, "regions", "lima"),
            (23, "street_titles", "general coronel doctor"),
            (23, "street_title_aliases", "gral:general dr:doctor"),
            (25, "edificio central"),
            (24, "av", "avenida"), (24, "1ro", "1"), (24, "av", "av de")]
PE_TYPES = [(16, "av"), (16, "avenida"), (16, "jiron"), (16, "calle")]


def houses(lat, lon, numbers, suffix=""):
    return [House(n, suffix, lat=lat + i * 0.0001, lon=lon) for i, n in enumerate(numbers)]


def br_sheet(rules):
    return Sheet(
        communes=[Commune("Sao Paulo", "3550308", weight=9000, lat=-23.55, lon=-46.63),
                  Commune("Rio de Janeiro", "3304557", weight=6000, lat=-22.90, lon=-43.20),
                  Commune("Centro", "3550309", weight=10, lat=-23.54, lon=-46.64)],
        streets=[Street("Rua Augusta", "3550308", postcode_text="01305-000",
                        houses=houses(-23.551, -46.651, [10, 100, 120])),
                 Street("Rua Augusta", "3304557", houses=houses(-22.901, -43.201, [10, 100])),
                 Street("Rua das Flores", "3304557", houses=houses(-22.911, -43.211, [7])),
                 Street("Rua Sao Paulo", "3304557", houses=houses(-22.921, -43.221, [1]))],
        meta=(("country", "br"), ("layer", "addresses")), rules=rules)


def pe_sheet(rules):
    return Sheet(
        communes=[Commune("Miraflores", "150122", weight=500, lat=-12.12, lon=-77.03),
                  Commune("Lima", "150101", weight=5000, lat=-12.05, lon=-77.04),
                  Commune("San Isidro", "150131", weight=400, lat=-12.10, lon=-77.04)],
        streets=[Street("Avenida Arequipa", "150122", houses=houses(-12.121, -77.031, [123, 125])),
                 Street("Avenida Arequipa", "150101", houses=houses(-12.061, -77.036, [121, 123])),
                 Street("Calle Mayor", "150122", houses=houses(-12.122, -77.032, [12])),
                 Street("Av General San Martin", "150122", houses=houses(-12.123, -77.033, [5])),
                 Street("Avenida Larco", "150122",
                        houses=houses(-12.124, -77.034, [5]) + houses(-12.125, -77.034, [12], "b")),
                 Street("Jiron Puno", "150101", houses=houses(-12.051, -77.041, [5])),
                 Street("Avenida 1 de Mayo", "150101",
                        houses=houses(-12.052, -77.042, [5]) + houses(-12.053, -77.042, [12], "b"))],
        suffixes=["b"], meta=(("country", "pe"), ("layer", "addresses")), rules=rules)


@pytest.fixture(scope="module")
def sheets(tmp_path_factory):
    d = tmp_path_factory.mktemp("fields")
    out = {}
    for name, build, rules, types in (("br", br_sheet, BR_RULES, []),
                                      ("pe", pe_sheet, PE_RULES, PE_TYPES)):
        twin_rules = types or [(13, "unused")]
        out[name] = vorlane.Geocoder(str(build(rules + types).write(d / f"{name}.idx")))
        out[name + "_twin"] = vorlane.Geocoder(str(build(twin_rules).write(d / f"{name}_twin.idx")))
    return out


def top(answer):
    return (answer[0]["street"], answer[0].get("housenumber"), answer[0]["commune"]) if answer else None


# Answered through the structured-field stages only: the twin gives another
# answer (mostly none).
CASES = [
    ("br", "Rua Augusta, 120, Centro, Sao Paulo, SP", ("Rua Augusta", "120", "Sao Paulo")),
    ("br", "Rua Augusta 120 01305000 Sao Paulo", ("Rua Augusta", "120", "Sao Paulo")),
    ("br", "Rua das Flores, Campinas, SP", None),  # a weak answer in Rio under the tail
    ("br", "Rua das Flores, Centro, Sao Paulo, SP", None),
    ("pe", "Edificio Central Torre Norte Piso Once Oficina Doce Ala Este, Av. Arequipa 123, Lima",
     ("Avenida Arequipa", "123", "Lima")),
    ("pe", "Calle Mayor n\u00ba 12 Miraflores Lima", ("Calle Mayor", "12", "Miraflores")),
    ("pe", "Av. Arequipa, 123 Zona Miraflores, Lima", ("Avenida Arequipa", "123", "Miraflores")),
    ("pe", "Av San Martin 5, Miraflores", ("Av General San Martin", "5", "Miraflores")),
    ("pe", "Av 1ro de Mayo 5, Lima", ("Avenida 1 de Mayo", "5", "Lima")),
    ("pe", "Av 1ro de Mayo 12, Lima", ("Avenida 1 de Mayo", "12b", "Lima")),
]

# The matching core's own retries (dropped words, street types) answer these
# on both sheets; the stages must leave that answer as it is.
ALIKE = [
    ("br", "Rua Augusta 100, Sao Paulo, SP", ("Rua Augusta", "100", "Sao Paulo")),
    ("pe", "Edificio Central, Av. Arequipa 123, Lima", ("Avenida Arequipa", "123", "Lima")),
    ("pe", "Calle Mayor 12 Miraflores Lima", ("Calle Mayor", "12", "Miraflores")),
    ("pe", "Av. Arequipa, 123 Miraflores, Lima", ("Avenida Arequipa", "123", "Miraflores")),
    ("pe", "Av Larco 12, Miraflores", ("Avenida Larco", "12b", "Miraflores")),
]


@pytest.fixture(autouse=True)
def no_subset(monkeypatch):
    monkeypatch.setenv("VORLANE_NO_SUBSET", "1")


@pytest.mark.parametrize("sheet,q,answer", CASES)
def test_answered_by_the_stages(sheets, sheet, q, answer):
    assert top(sheets[sheet].geocode(q)) == answer
    assert top(sheets[sheet + "_twin"].geocode(q)) != answer


@pytest.mark.parametrize("sheet,q,answer", ALIKE)
def test_answered_by_the_core(sheets, sheet, q, answer):
    got = sheets[sheet].geocode(q)
    assert top(got) == answer
    assert got == sheets[sheet + "_twin"].geocode(q)


def test_no_postcode_digits_make_no_word_a_postcode(tmp_path):
    # With "postal_digits" = "0" every digitless word has exactly 0 digits;
    # were it a postcode token, the two communes named here would be a
    # conflict beside a postcode, and the geographic retry would give up.
    rules = [(23, rule[1], "0") if rule[1] in ("postal_digits", "postal_split") else rule
             for rule in PE_RULES] + PE_TYPES
    g = vorlane.Geocoder(str(pe_sheet(rules).write(tmp_path / "pe0.idx")))
    assert top(g.geocode("Av. Arequipa, 123 San Isidro - Miraflores")) == (
        "Avenida Arequipa", "123", "Miraflores")
