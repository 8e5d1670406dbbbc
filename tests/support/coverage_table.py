"""Prints line and branch coverage of src/vorlane per module folder.

Usage: coverage_table.py BUILD_DIR   (after the tests ran in that build)
"""
import collections
import json
import pathlib
import subprocess
import sys

ROOT = pathlib.Path(__file__).resolve().parents[2]


def gcovr_files(build_dir):
    out = subprocess.run(
        [sys.executable, "-m", "gcovr", "--root", str(ROOT), "--filter", str(ROOT / "src"),
         "--exclude-unreachable-branches", "--exclude-throw-branches", "-j", "4",
         "--json-summary", "-", str(build_dir)],
        check=True, capture_output=True, text=True).stdout
    return json.loads(out)["files"]


def main():
    totals = collections.defaultdict(lambda: [0, 0, 0, 0])
    for f in gcovr_files(pathlib.Path(sys.argv[1]).resolve()):
        parts = pathlib.PurePath(f["filename"]).parts
        module = parts[2] if len(parts) > 3 else parts[-1]
        t = totals[module]
        t[0] += f["line_covered"]; t[1] += f["line_total"]
        t[2] += f["branch_covered"]; t[3] += f["branch_total"]
    print(f"{'module':<12} {'lines':>16} {'branches':>18}")
    for module, (lc, lt, bc, bt) in sorted(totals.items()):
        print(f"{module:<12} {lc:>6}/{lt:<6} {100 * lc / max(lt, 1):5.1f}%"
              f" {bc:>6}/{bt:<6} {100 * bc / max(bt, 1):5.1f}%")


if __name__ == "__main__":
    main()
