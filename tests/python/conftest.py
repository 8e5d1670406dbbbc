# Makes the test-only helpers in tests/support (the sheet writer) importable.
import sys
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parents[1] / "support"))
