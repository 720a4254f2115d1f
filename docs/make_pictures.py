#!/usr/bin/env python3
"""Regenerates the pictures and sample logs of the deployment guide from the real program.

    python3 docs/make_pictures.py --build build/windows [--logs-only]

Runs the end-to-end cases below under Wine (each still checked as in the
tests), photographs the chosen message box of each and both views of the
configuration dialog, and writes them to docs/images as box-<name>.png and
dialog-<view>.png. Then puts the run's own log of each case of LOGS into
docs/deployment.md, between its "<!-- run log: NAME -->" and "<!-- end -->".
"""

import argparse
import dataclasses
import re
import shutil
import sys
import tempfile
from pathlib import Path

ROOT = Path(__file__).resolve().parent.parent
sys.path.insert(0, str(ROOT / "tests" / "e2e"))

import provider_run  # noqa: E402
import run_e2e  # noqa: E402
from case_model import Case  # noqa: E402
from packages import PackageCache  # noqa: E402
from plugin_run import (INSTALLED, installed, own_log, package, prepare, product, run_log_events,  # noqa: E402
                        run_logs, verify)
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

GUIDE = ROOT / "docs" / "deployment.md"
MEDIA = "C:\\Deploy\\Eldoris"
logs = {}  # name -> the run's own log, as the case left it


def keep_log(name):
    def check(run):
        found = run_logs(run)
        if len(found) != 1:
            return ["%d logs of the run's own" % len(found)]
        logs[name] = found[0].read_bytes()[3:].decode("utf-8").replace("\r\n", "\n")
        return run_log_events(found[0])[1]
    return check


def csp_setup(run):
    """csp\\Setup.exe: the recorder, which ends with 0."""
    provider_run.media(folders=("csp",), package=False)(run)
    run.env["ELDORIS_RECORD"] = run.media_win + "\\record.txt"  # where recorded_lines reads


# The guide's sample logs: a case of the tests, or one made here from the
# tests' builders and checked the same way.
LOGS = {
    "no-package": "plugin/no-package/installed-silent",
    "unseen-no-package": "unseen/silent-installed-no-package",
    "unseen-no-options": "unseen/no-options",
    "upgrade-with-csp": Case(
        "guide/upgrade-with-csp", args="-silent -csp", exit_code=0, timeout=300,
        setup=prepare(installed("2.0.9", forget_cache=True), package("2.0.10"), csp_setup),
        check=verify(product(INSTALLED, "2.0.10"),
                     lambda run: own_log(run, provider_run.recorded_lines(run)))),
}


def log_cases():
    named = {c.name: c for c in run_e2e.all_cases()}
    cases = []
    for name, case in LOGS.items():
        case = named[case] if isinstance(case, str) else case
        checks = (case.check, keep_log(name))
        # Started from its media folder, as a deployment starts it.
        cases.append((name, dataclasses.replace(case, media=MEDIA, program_dir=MEDIA,
                                                check=lambda run, c=checks: c[0](run) + c[1](run))))
    return cases


def put_logs_in_guide():
    text = GUIDE.read_text(encoding="utf-8")
    for name, log in logs.items():
        block = re.compile(r"(<!-- run log: %s -->\n```\n).*?(```\n<!-- end -->)" % re.escape(name), re.S)
        if not block.search(text):
            return ["%s has no place for the log %s" % (GUIDE.name, name)]
        text = block.sub(lambda m: m.group(1) + log + m.group(2), text)
    GUIDE.write_text(text, encoding="utf-8")
    return []


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--build", type=Path, default=ROOT / "build" / "windows")
    parser.add_argument("--out", type=Path, default=ROOT / "docs" / "images")
    parser.add_argument("--logs-only", action="store_true", help="only the guide's sample logs")
    opts = parser.parse_args()
    build, out = opts.build.resolve(), opts.out.resolve()
    out.mkdir(parents=True, exist_ok=True)
    names = set() if opts.logs_only else {case for case, _ in PICTURES.values()} | {DIALOG_CASE}
    cases = [c for c in run_e2e.all_cases() if c.name in names]
    unknown = names - {c.name for c in cases}
    if unknown:
        print("no such cases: %s" % ", ".join(sorted(unknown)))
        return 1
    pictures = {} if opts.logs_only else PICTURES

    check_host()
    failed = []
    with tempfile.TemporaryDirectory(prefix="eldoris-pictures-") as shots, \
            WineSession(tools=build) as session:
        packages = PackageCache(Path(shots) / "packages")
        for case in cases + [case for _, case in log_cases()]:
            problems = run_e2e.run_case(session, build, case, Path(shots), out, packages)
            print("%s %s" % ("FAIL" if problems else "ok  ", case.name))
            for line in problems:
                print("    " + line)
            if problems:
                failed.append(case.name)
        for picture, (case, box) in sorted(pictures.items()):
            shot = Path(shots) / ("%s-%d.png" % (case.replace("/", "_"), box))
            if shot.exists():
                shutil.copy2(shot, out / ("box-%s.png" % picture))
            else:
                failed.append("%s (no picture of box %d of %s)" % (picture, box, case))
    failed += put_logs_in_guide() if not failed else []
    for name in failed:
        print("not made: %s" % name)
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
