import importlib.machinery

import vorlane


def test_module_is_a_stable_abi_extension():
    assert vorlane.__name__ == "vorlane"
    assert vorlane.__file__.endswith(".abi3.so")
    assert any(vorlane.__file__.endswith(s) for s in importlib.machinery.EXTENSION_SUFFIXES)
