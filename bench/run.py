"""Runs every benchmark: the C++ binaries of the bench build, then the
Python ones. Started by `make bench`."""

from __future__ import annotations

import os
import subprocess
import sys
from pathlib import Path

HERE = Path(__file__).resolve().parent


def main() -> int:
    build = Path(os.environ["VORLANE_BENCH_BUILD"])
    sheet = subprocess.run([sys.executable, str(HERE / "make_sheet.py")], check=True,
                           capture_output=True, text=True).stdout.strip()
    os.environ["VORLANE_BENCH_SHEET"] = sheet
    for country in ("fr", "it", "es"):
        os.environ[f"VORLANE_BENCH_{country.upper()}_SHEET"] = subprocess.run(
            [sys.executable, str(HERE / "make_sheet.py"), "--country", country], check=True,
            capture_output=True, text=True).stdout.strip()
    os.environ["VORLANE_BENCH_DE_SHEET"] = subprocess.run(
        [sys.executable, str(HERE / "make_sheet.py"), "--de"], check=True, capture_output=True,
        text=True).stdout.strip()
    os.environ["VORLANE_BENCH_CORE_SHEET"] = subprocess.run(
        [sys.executable, str(HERE / "make_core_sheet.py")], check=True, capture_output=True,
        text=True).stdout.strip()
    os.environ["VORLANE_BENCH_DE_BRANCH_SHEET"] = subprocess.run(
        [sys.executable, str(HERE / "make_de_branch_sheet.py")], check=True, capture_output=True,
        text=True).stdout.strip()
    os.environ["VORLANE_BENCH_DE_SMALL_SHEET"] = subprocess.run(
        [sys.executable, str(HERE / "make_de_branch_sheet.py"), "--small"], check=True,
        capture_output=True, text=True).stdout.strip()
    failures = 0
    for exe in sorted((build / "bench").glob("*_bench")):
        print(f"== {exe.name}", flush=True)
        failures += subprocess.call([str(exe)]) != 0
    for script in sorted(HERE.glob("*_bench.py")):
        print(f"== {script.name}", flush=True)
        failures += subprocess.call([sys.executable, str(script)]) != 0
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
