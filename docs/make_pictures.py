#!/usr/bin/env python3
"""Regenerates the pictures of the deployment guide from the real program.

    python3 docs/make_pictures.py --build build/windows

Runs the end-to-end cases below under Wine (each still checked as in the
tests), photographs the chosen message box of each and both views of the
configuration dialog, and writes them to docs/images as box-<name>.png and
dialog-<view>.png.
"""

import argparse
import shutil
import sys
import tempfile
from pathlib import Path

ROOT = Path(__file__).resolve().parent.parent
sys.path.insert(0, str(ROOT / "tests" / "e2e"))

import run_e2e  # noqa: E402
from packages import PackageCache  # noqa: E402
from wine_session import WineSession, check_host  # noqa: E402

# picture name -> (case, which box of the case, 1-based)
PICTURES = {
    "help": ("help/csp-then-help", 1),
    "confirm-plugin": ("confirm/plugin-only", 1),
    "confirm-csp": ("confirm/csp", 1),
    "confirm-ucsp": ("confirm/ucsp", 1),
    "confirm-both": ("confirm/csp-and-ucsp", 1),
    "windows-too-old": ("old-windows/nt4", 1),
    "package-not-found": ("confirm/yes-without-package", 2),
    "plugin-failed": ("confirm/yes-without-package", 3),
    "plugin-failed-with-log": ("plugin/failure/not-a-package", 2),
    "tmp-unset": ("plugin/temp/unset", 2),
    "same-version": ("plugin/same-version/yes-reinstalls", 2),
    "newer-installed": ("plugin/older-package/refused", 2),
    "installed": ("plugin/fresh/x64-package-in-subfolder", 2),
    "restart-question": ("restart/declined-after-3010", 2),
    "installed-csp": ("provider/exit-0/csp", 2),
    "installed-ucsp": ("provider/exit-8/ucsp", 2),
    "installed-both": ("provider/exit-1602/both", 2),
    "restart-question-csp": ("provider/restart/csp", 2),
    "restart-question-ucsp": ("provider/restart/ucsp", 2),
    "restart-question-both": ("provider/restart/both", 2),
    "provider-failed": ("provider/fails/csp-3010-log-written", 2),
}
DIALOG_CASE = "dialog/views"


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--build", type=Path, default=ROOT / "build" / "windows")
    parser.add_argument("--out", type=Path, default=ROOT / "docs" / "images")
    opts = parser.parse_args()
    build, out = opts.build.resolve(), opts.out.resolve()
    out.mkdir(parents=True, exist_ok=True)
    names = {case for case, _ in PICTURES.values()} | {DIALOG_CASE}
    cases = [c for c in run_e2e.all_cases() if c.name in names]
    unknown = names - {c.name for c in cases}
    if unknown:
        print("no such cases: %s" % ", ".join(sorted(unknown)))
        return 1

    check_host()
    failed = []
    with tempfile.TemporaryDirectory(prefix="eldoris-pictures-") as shots, \
            WineSession(tools=build) as session:
        packages = PackageCache(Path(shots) / "packages")
        for case in cases:
            problems = run_e2e.run_case(session, build, case, Path(shots), out, packages)
            print("%s %s" % ("FAIL" if problems else "ok  ", case.name))
            for line in problems:
                print("    " + line)
            if problems:
                failed.append(case.name)
        for picture, (case, box) in sorted(PICTURES.items()):
            shot = Path(shots) / ("%s-%d.png" % (case.replace("/", "_"), box))
            if shot.exists():
                shutil.copy2(shot, out / ("box-%s.png" % picture))
            else:
                failed.append("%s (no picture of box %d of %s)" % (picture, box, case))
    for name in failed:
        print("not made: %s" % name)
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
