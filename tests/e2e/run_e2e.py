#!/usr/bin/env python3
"""End-to-end run of eldoris-setup.exe under Wine.

    python3 tests/e2e/run_e2e.py --build build/windows [--only PATTERN] [--keep] [--shots DIR]
                                 [--dialog-shots DIR]

Expects eldoris-setup.exe, boxbot.exe, recorder.exe and msistate.exe in
--build. Each case runs the program through boxbot in one fresh 64-bit prefix
on its own Xvfb display; the closing line is "N passed, N failed".
"""

import argparse
import importlib
import fnmatch
import shutil
import subprocess
import sys
import time
from pathlib import Path

sys.dont_write_bytecode = True  # keep the source tree clean
sys.path.insert(0, str(Path(__file__).resolve().parent))

from case_model import compare  # noqa: E402
from wine_session import WineError, WineSession, check_host, win_path  # noqa: E402

PROGRAM = "eldoris-setup.exe"
HELPERS = ("boxbot.exe", "recorder.exe", "msistate.exe", "naive_loader.exe", "planted_msi.dll")


class CaseRun:
    """What a case's setup and check work with."""

    def __init__(self, session, build, case):
        self.session = session
        self.build = build
        self.case = case
        # The program's current directory: where it looks for its packages.
        self.media_win = case.media or "C:\\e2e\\media"
        self.media = session.file(self.media_win)
        self.program_win = win_path(build / PROGRAM)
        self.env = dict(case.env)
        self.unset = list(case.unset)
        self.result = None  # boxbot's result, for case.check

    def helper(self, name):
        return self.build / name

    def job(self, case):
        """boxbot's job for running the program as case says, in this run's
        folders and environment."""
        return {"program": self.program_win, "args": case.tail(), "cwd": self.media_win,
                "set": ["%s=%s" % kv for kv in self.env.items()], "unset": self.unset,
                "answer": [box.reply() for box in case.boxes]}


def all_cases():
    """Every CASES table of the cases_*.py modules beside this file, by module name."""
    cases = []
    for path in sorted(Path(__file__).resolve().parent.glob("cases_*.py")):
        cases.extend(importlib.import_module(path.stem).CASES)
    return cases


def selected(cases, pattern):
    if not pattern:
        return cases
    if any(c in pattern for c in "*?["):
        return [c for c in cases if fnmatch.fnmatchcase(c.name, pattern)]
    return [c for c in cases if pattern in c.name]


def run_case(session, build, case, shots, dialog_shots=None):
    run = CaseRun(session, build, case)
    session.reset()
    if case.windows_version:
        session.set_windows_version(case.windows_version)
    shutil.rmtree(run.media, ignore_errors=True)
    run.media.mkdir(parents=True)
    if case.program_dir:
        folder = session.file(case.program_dir)
        shutil.rmtree(folder, ignore_errors=True)
        folder.mkdir(parents=True)
        shutil.copy2(build / PROGRAM, folder / PROGRAM)
        run.program_win = case.program_dir + "\\" + PROGRAM
    if case.setup:
        case.setup(run)
    job = run.job(case)
    shot_name = case.name.replace("/", "_")
    if shots:
        job.update(_shot_dir=shots, _shot_name=shot_name, shot=list(range(1, len(case.boxes) + 1)))
    if case.dialog:
        job["dialog"] = case.dialog.actions()
        if dialog_shots and not shots:
            job.update(_shot_dir=session.work, _shot_name=shot_name)
    result = session.drive(build / "boxbot.exe", job, case.timeout)
    run.result = result
    if case.dialog and dialog_shots:
        # The dialog's views as "dialog-NAME.png", e.g. for the deployment guide.
        for name in case.dialog.shot_names():
            shot = Path(job["_shot_dir"]) / ("%s-%s.png" % (shot_name, name))
            if shot.exists():
                shutil.copy2(shot, dialog_shots / ("dialog-%s.png" % name))
    problems = compare(case, result)
    if case.check:
        problems += case.check(run)
    return problems


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--build", required=True, type=Path, help="folder with the program and helpers")
    parser.add_argument("--only", help="substring or glob of the case names to run")
    parser.add_argument("--keep", action="store_true", help="keep the prefix and work files")
    parser.add_argument("--shots", type=Path, help="save a screenshot of every expected box here")
    parser.add_argument("--dialog-shots", type=Path,
                        help="save the configuration dialog's views here as dialog-NAME.png")
    parser.add_argument("--list", action="store_true", help="list the case names and stop")
    opts = parser.parse_args()

    cases = selected(all_cases(), opts.only)
    if opts.list:
        print("\n".join(c.name for c in cases))
        return 0
    build = opts.build.resolve()
    missing = [n for n in (PROGRAM,) + HELPERS if not (build / n).is_file()]
    if missing:
        print("missing in %s: %s" % (build, ", ".join(missing)))
        print("0 passed, 1 failed")
        return 1
    if opts.shots:
        opts.shots.mkdir(parents=True, exist_ok=True)
        opts.shots = opts.shots.resolve()
    if opts.dialog_shots:
        opts.dialog_shots.mkdir(parents=True, exist_ok=True)
        opts.dialog_shots = opts.dialog_shots.resolve()

    passed = failed = 0
    started = time.monotonic()
    try:
        check_host()
        with WineSession(keep=opts.keep) as session:
            print("prefix ready in %.1f s" % (time.monotonic() - started), flush=True)
            for case in cases:
                t0 = time.monotonic()
                try:
                    problems = run_case(session, build, case, opts.shots, opts.dialog_shots)
                except (WineError, OSError, ValueError, subprocess.SubprocessError) as e:
                    problems = ["harness error: %s" % e]
                elapsed = time.monotonic() - t0
                if problems:
                    failed += 1
                    print("FAIL %s (%.1f s)" % (case.name, elapsed))
                    for line in problems:
                        print("    " + line)
                else:
                    passed += 1
                    print("PASS %s (%.1f s)" % (case.name, elapsed))
                sys.stdout.flush()
    except (WineError, OSError, subprocess.SubprocessError) as e:
        print("setup failed: %s" % e)
        failed += 1
    print("total %.1f s" % (time.monotonic() - started))
    print("%d passed, %d failed" % (passed, failed))
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
