"""The module's face to Python: its namespace, the Geocoder class, the
constructor's argument rules and how it pairs a sheet with a POI layer."""

import importlib.machinery
import os
import pathlib
import weakref

import pytest

import vorlane
from sheetwriter import Commune, House, Sheet, Street

NOT_VERIFIED = "warning: sheet without country identity (pre-v6 or no --meta) — pair not verified\n"


def test_module_is_a_stable_abi_extension():
    assert vorlane.__name__ == "vorlane"
    assert vorlane.__file__.endswith(".abi3.so")
    assert any(vorlane.__file__.endswith(s) for s in importlib.machinery.EXTENSION_SUFFIXES)


def test_module_namespace_holds_only_the_class():
    assert vorlane.__all__ == ["Geocoder"]
    assert vorlane.__doc__ == ""
    assert [name for name in dir(vorlane) if not name.startswith("__")] == ["Geocoder"]


def test_class_surface():
    cls = vorlane.Geocoder
    assert (cls.__module__, cls.__name__, cls.__qualname__) == ("builtins", "Geocoder", "Geocoder")
    assert cls.__bases__ == (object,)
    assert cls.__text_signature__ == "(index_path, poi=None)"
    assert cls.__doc__ == "Single-country geocoder: opens an index file (mmap, effectively instant)."
    with pytest.raises(TypeError):
        class Sub(vorlane.Geocoder):
            pass


def sheet(meta):
    streets = [Street("Rue A", 0, houses=[House(1)]), Street("Rue B", 0, houses=[House(2)])]
    return Sheet([Commune("Paris", "75056", lat=48.85, lon=2.35)], streets, meta=meta)


@pytest.fixture(scope="module")
def files(tmp_path_factory):
    """Paths of small sheets and POI layers by name."""
    root = tmp_path_factory.mktemp("module")
    metas = {
        "fr": (("country", "fr"), ("layer", "addresses")),
        "de": (("country", "de"), ("layer", "addresses")),
        "bare": None,
        "fr_poi": (("country", "fr"), ("layer", "poi")),
        "de_poi": (("country", "de"), ("layer", "poi")),
        "poi_without_country": (("layer", "poi"),),
        "addresses_without_country": (("layer", "addresses"),),
        "fr_quoted_layer": (("country", "fr"), ("layer", 'p"o')),
    }
    paths = {}
    for name, meta in metas.items():
        paths[name] = str(root / f"{name}.idx")
        sheet(meta).write(paths[name])
    paths["missing"] = str(root / "missing.idx")
    return paths


def test_instances_have_no_dict_and_no_weak_references(files):
    geocoder = vorlane.Geocoder(files["fr"])
    assert not hasattr(geocoder, "__dict__")
    with pytest.raises(TypeError):
        weakref.ref(geocoder)


class PathLike:
    def __init__(self, path):
        self.path = path

    def __fspath__(self):
        return self.path


@pytest.mark.parametrize("call", [
    lambda f: vorlane.Geocoder(f["fr"]),
    lambda f: vorlane.Geocoder(f["fr"], None),
    lambda f: vorlane.Geocoder(f["fr"], poi=None),
    lambda f: vorlane.Geocoder(index_path=f["fr"], poi=None),
    lambda f: vorlane.Geocoder(pathlib.Path(f["fr"])),
    lambda f: vorlane.Geocoder(PathLike(f["fr"]), poi=PathLike(f["fr_poi"])),
    lambda f: vorlane.Geocoder(poi=pathlib.Path(f["fr_poi"]), index_path=f["fr"]),
], ids=["positional", "poi None", "poi=None", "keywords", "pathlib", "path-likes", "keywords reversed"])
def test_accepted_constructor_calls(files, capfd, call):
    assert type(call(files)) is vorlane.Geocoder
    assert capfd.readouterr() == ("", "")


@pytest.mark.parametrize("call, error, parameter", [
    (lambda f: vorlane.Geocoder(os.fsencode(f["fr"])), TypeError, "index_path"),
    (lambda f: vorlane.Geocoder(PathLike(os.fsencode(f["fr"]))), TypeError, "index_path"),
    (lambda f: vorlane.Geocoder(7), TypeError, "index_path"),
    (lambda f: vorlane.Geocoder("\ud800"), UnicodeEncodeError, "index_path"),
    # the POI path is converted before the (missing) sheet is opened
    (lambda f: vorlane.Geocoder(f["missing"], os.fsencode(f["fr_poi"])), TypeError, "poi"),
    (lambda f: vorlane.Geocoder(f["missing"], poi=7), TypeError, "poi"),
    (lambda f: vorlane.Geocoder(f["missing"], poi=PathLike(b"poi.idx")), TypeError, "poi"),
], ids=["bytes", "path-like bytes", "int", "lone surrogate", "bytes poi", "int poi", "path-like bytes poi"])
def test_argument_conversion_errors_name_the_parameter(files, call, error, parameter):
    with pytest.raises(error) as info:
        call(files)
    assert type(info.value) is error
    assert info.value.__notes__ == [f"while processing '{parameter}'"]


@pytest.mark.parametrize("call", [
    lambda f: vorlane.Geocoder(),
    lambda f: vorlane.Geocoder(poi=f["fr_poi"]),
    lambda f: vorlane.Geocoder(f["fr"], None, None),
    lambda f: vorlane.Geocoder(f["fr"], pio=None),
    lambda f: vorlane.Geocoder(f["fr"], index_path=f["fr"]),
], ids=["none", "poi only", "three", "unknown keyword", "twice"])
def test_argument_list_errors_name_the_class(files, call):
    with pytest.raises(TypeError, match="Geocoder"):
        call(files)


WRONG_PAIR = "POI layer is for country {} but the address sheet is for {} — wrong file pair"
NOT_POI = "expected a POI layer as --poi, got layer {}"


@pytest.mark.parametrize("address, poi, message, warning", [
    ("fr", "fr_poi", None, ""),
    ("fr", "de_poi", WRONG_PAIR.format('"de"', '"fr"'), ""),
    ("de", "fr_poi", WRONG_PAIR.format('"fr"', '"de"'), ""),
    ("fr", "fr", NOT_POI.format('"addresses"'), ""),
    ("fr", "de", WRONG_PAIR.format('"de"', '"fr"'), ""),  # countries are compared first
    ("fr", "fr_quoted_layer", NOT_POI.format('"p\\"o"'), ""),
    ("fr", "poi_without_country", None, NOT_VERIFIED),
    ("bare", "fr_poi", None, NOT_VERIFIED),
    ("fr", "bare", None, NOT_VERIFIED),
    ("fr", "addresses_without_country", NOT_POI.format('"addresses"'), NOT_VERIFIED),
], ids=["match", "wrong country", "wrong country reversed", "sheet as poi", "countries first", "quoted layer",
        "poi without country", "sheet without meta", "poi without meta", "warning then layer"])
def test_file_pair_check(files, capfd, address, poi, message, warning):
    if message is None:
        vorlane.Geocoder(files[address], poi=files[poi])
    else:
        with pytest.raises(ValueError) as info:
            vorlane.Geocoder(files[address], poi=files[poi])
        assert type(info.value) is ValueError and info.value.args == (message,)
    # the warning goes to file descriptor 2, not through sys.stderr
    assert capfd.readouterr() == ("", warning)


@pytest.mark.parametrize("address, poi", [("missing", "fr_poi"), ("fr", "missing")])
def test_unopenable_files_raise_os_error(files, capfd, address, poi):
    with pytest.raises(OSError) as info:
        vorlane.Geocoder(files[address], files[poi])
    assert info.value.args == (f'cannot open "{files["missing"]}"',)
    assert capfd.readouterr() == ("", "")


def test_poi_layer_as_index_path_is_refused(files):
    with pytest.raises(OSError) as info:
        vorlane.Geocoder(files["fr_poi"], files["fr_poi"])
    assert str(info.value).startswith(f'"{files["fr_poi"]}" has layer "poi", not an address sheet')

