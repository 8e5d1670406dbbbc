"""The module's face to Python: namespace, the Geocoder class, the constructor's
argument rules and how it pairs a sheet with a POI layer."""

import importlib.machinery
import os
import pathlib
import weakref

import pytest

import vorlane
from sheetwriter import Commune, House, Sheet, Street

NOT_VERIFIED = "warning: sheet without country identity (pre-v6 or no --meta) — pair not verified\n"


def test_module_and_class_surface():
    assert vorlane.__name__ == "vorlane"
    assert vorlane.__file__.endswith(".abi3.so")
    assert any(vorlane.__file__.endswith(s) for s in importlib.machinery.EXTENSION_SUFFIXES)
    assert vorlane.__all__ == ["Geocoder"]
    assert vorlane.__doc__ == ""
    assert [name for name in dir(vorlane) if not name.startswith("__")] == ["Geocoder"]
    cls = vorlane.Geocoder
    assert (cls.__module__, cls.__name__, cls.__qualname__, cls.__bases__) == ("builtins", "Geocoder", "Geocoder",
                                                                               (object,))
    assert cls.__text_signature__ == "(index_path, poi=None)"
    assert cls.__doc__ == "Single-country geocoder: opens an index file (mmap, effectively instant)."
    with pytest.raises(TypeError):
        class Sub(vorlane.Geocoder):
            pass


@pytest.fixture(scope="module")
def files(tmp_path_factory):
    """Paths of small sheets and POI layers by name."""
    root = tmp_path_factory.mktemp("module")
    metas = {"fr": ("fr", "addresses"), "de": ("de", "addresses"), "bare": None, "fr_poi": ("fr", "poi"),
             "de_poi": ("de", "poi"), "poi_without_country": (None, "poi"),
             "addresses_without_country": (None, "addresses"), "fr_quoted_layer": ("fr", 'p"o')}
    streets = [Street("Rue A", 0, houses=[House(1)]), Street("Rue B", 0, houses=[House(2)])]
    paths = {"missing": str(root / "missing.idx")}
    for name, meta in metas.items():
        pairs = meta and tuple((k, v) for k, v in zip(("country", "layer"), meta) if v is not None)
        paths[name] = str(Sheet([Commune("Paris", "75056", lat=48.85, lon=2.35)], streets, meta=pairs)
                          .write(root / f"{name}.idx"))
    return paths


def test_instances_have_no_dict_and_no_weak_references(files):
    geocoder = vorlane.Geocoder(files["fr"])
    assert not hasattr(geocoder, "__dict__")
    with pytest.raises(TypeError):
        weakref.ref(geocoder)


def PathLike(path):
    return type("PathLike", (), {"__fspath__": lambda self: path})()


@pytest.mark.parametrize("call", [
    lambda f: vorlane.Geocoder(f["fr"]),
    lambda f: vorlane.Geocoder(f["fr"], None),  # a None poi pairs with nothing: no warning
    lambda f: vorlane.Geocoder(index_path=f["fr"], poi=None),
    lambda f: vorlane.Geocoder(pathlib.Path(f["fr"])),
    lambda f: vorlane.Geocoder(PathLike(f["fr"]), poi=PathLike(f["fr_poi"])),
    lambda f: vorlane.Geocoder(poi=pathlib.Path(f["fr_poi"]), index_path=f["fr"]),
])
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
])
def test_argument_conversion_errors_name_the_parameter(files, call, error, parameter):
    with pytest.raises(error) as info:
        call(files)
    assert type(info.value) is error
    assert info.value.__notes__ == [f"while processing '{parameter}'"]


@pytest.mark.parametrize("args, kwargs", [  # refused before any file is opened
    ((), {}), ((), {"poi": "p.idx"}), (("a.idx", None, None), {}), (("a.idx",), {"pio": None}),
    (("a.idx",), {"index_path": "a.idx"})])
def test_argument_list_errors_name_the_class(args, kwargs):
    with pytest.raises(TypeError, match="Geocoder"):
        vorlane.Geocoder(*args, **kwargs)


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
    ("fr", "addresses_without_country", NOT_POI.format('"addresses"'), NOT_VERIFIED),  # warning, then refusal
])
def test_file_pair_check(files, capfd, address, poi, message, warning):
    if message is None:
        vorlane.Geocoder(files[address], poi=files[poi])
    else:
        with pytest.raises(ValueError) as info:
            vorlane.Geocoder(files[address], poi=files[poi])
        assert type(info.value) is ValueError and info.value.args == (message,)
    assert capfd.readouterr() == ("", warning)  # on file descriptor 2, not through sys.stderr


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
