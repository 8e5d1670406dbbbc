# Makes the test-only helpers in tests/support (the sheet writer) importable,
# and makes the sheet writer form every dictionary key with the engine's own
# canonical form and phonetic key for the whole session. Without them the
# fixture sheets would hold keys the engine never forms, so the session
# refuses to start when the test-hooks library is not given.
import os
import sys
from pathlib import Path

import pytest

sys.path.insert(0, str(Path(__file__).resolve().parents[1] / "support"))

import sheetwriter  # noqa: E402


def pytest_configure(config):
    if not os.environ.get(sheetwriter.TESTHOOKS_ENV):
        raise pytest.UsageError(
            f"{sheetwriter.TESTHOOKS_ENV} is not set: point it at libvorlane_testhooks.so of the "
            "build under test (e.g. build/tests/tools/libvorlane_testhooks.so), so that fixture "
            "sheets carry the engine's own dictionary keys")
    try:
        key = sheetwriter.engine_key_function()
        phonetic = sheetwriter.engine_phonetic_function()
    except (OSError, RuntimeError) as e:
        raise pytest.UsageError(f"cannot load the engine's text functions: {e}") from e
    sheetwriter.set_key_function(key)
    sheetwriter.set_phonetic_function(phonetic)
