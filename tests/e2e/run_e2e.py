#!/usr/bin/env python3
"""End-to-end run of eldoris-setup.exe under Wine.

    python3 tests/e2e/run_e2e.py --build build/windows [--only PATTERN] [--smoke] [--worlds N]
                                 [--repeat N] [--keep] [--shots DIR] [--dialog-shots DIR]

Expects eldoris-setup.exe and the helpers in --build. The cases run in N Wine
worlds at once (default 2, one per core): each world is a fresh 64-bit prefix
on its own Xvfb display and takes the next case when it is done with one; a
case runs whole in one world. The closing line is "N passed, N failed".
"""

import argparse
import fnmatch
import importlib
import queue
import shutil
import subprocess
import sys
import tempfile
import threading
import time
from pathlib import Path

sys.dont_write_bytecode = True  # keep the source tree clean
sys.path.insert(0, str(Path(__file__).resolve().parent))

from case_model import compare  # noqa: E402
from packages import PackageCache  # noqa: E402
from wine_session import PrefixTemplate, WineError, WineSession, check_host, win_path  # noqa: E402

PROGRAM = "eldoris-setup.exe"
HELPERS = ("boxbot.exe", "recorder.exe", "worldstate.exe", "naive_loader.exe", "planted_msi.dll", "oom_probe.exe")


class CaseRun:
    """What a case's setup and check work with."""

    def __init__(self, session, build, case, packages):
        self.session = session
        self.build = build
        self.packages = packages  # PackageCache of the run
        self.case = case
        # The program's current directory: where it looks for its packages.
        self.media_win = case.media or "C:\\e2e\\media"
        self.media = session.file(self.media_win)
        self.program_win = win_path(build / PROGRAM)
        self.env = dict(case.env)
        self.unset = list(case.unset)
        self.result = None  # boxbot's result, for case.check
        self.planted = set()  # run logs of the case's own making, not the run's
        self.run_log = None  # where -log puts the run's own log, if the case gives one

    def helper(self, name):
        return self.build / name

    def job(self, case):
        """boxbot's job for running the program as case says, in this run's
        folders and environment."""
        return {"program": self.program_win, "args": case.tail(), "cwd": self.media_win,
                "set": ["%s=%s" % kv for kv in self.env.items()], "unset": self.unset,
                "answer": [box.reply() for box in case.boxes],
                "desktop": ["hidden"] if case.unseen else []}


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


def smoke(cases):
    """The first case of each group (a name up to its last "/")."""
    seen = set()
    first = []
    for case in cases:
        group = case.name.rpartition("/")[0]
        if group not in seen:
            seen.add(group)
            first.append(case)
    return first


def run_case(session, build, case, shots, dialog_shots=None, packages=None):
    run = CaseRun(session, build, case, packages)
    session.reset(case.windows_version)
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


class Report:
    """Counts and prints the outcomes of the worlds' cases, one at a time."""

    def __init__(self):
        self.passed = self.failed = 0
        self._lock = threading.Lock()

    def case(self, name, world, elapsed, problems):
        with self._lock:
            verdict = "FAIL" if problems else "PASS"
            print("%s %s (%.1f s, world %d)" % (verdict, name, elapsed, world))
            for line in problems:
                print("    " + line)
            sys.stdout.flush()
            if problems:
                self.failed += 1
            else:
                self.passed += 1

    def failure(self, text):
        with self._lock:
            print(text, flush=True)
            self.failed += 1

    def note(self, text):
        with self._lock:
            print(text, flush=True)


def run_world(number, cases, report, build, opts, packages, template):
    """One Wine world: takes cases from the queue until it is empty."""
    started = time.monotonic()
    try:
        with WineSession(keep=opts.keep, tools=build, template=template) as session:
            report.note("world %d: prefix ready in %.1f s" % (number, time.monotonic() - started))
            while True:
                try:
                    case = cases.get_nowait()
                except queue.Empty:
                    return
                t0 = time.monotonic()
                try:
                    problems = run_case(session, build, case, opts.shots, opts.dialog_shots, packages)
                except Exception as e:  # noqa: BLE001 - a broken case must not end its world
                    problems = ["harness error: %s: %s" % (type(e).__name__, e)]
                report.case(case.name, number, time.monotonic() - t0, problems)
    except (WineError, OSError, subprocess.SubprocessError) as e:
        report.failure("world %d: setup failed: %s" % (number, e))


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--build", required=True, type=Path, help="folder with the program and helpers")
    parser.add_argument("--only", help="substring or glob of the case names to run")
    parser.add_argument("--smoke", action="store_true", help="only the first case of each group")
    parser.add_argument("--worlds", type=int, default=2, help="Wine worlds running cases at once")
    parser.add_argument("--repeat", type=int, default=1, help="run each case this many times")
    parser.add_argument("--keep", action="store_true", help="keep the prefixes and work files")
    parser.add_argument("--shots", type=Path, help="save a screenshot of every expected box here")
    parser.add_argument("--dialog-shots", type=Path,
                        help="save the configuration dialog's views here as dialog-NAME.png")
    parser.add_argument("--list", action="store_true", help="list the case names and stop")
    opts = parser.parse_args()

    cases = selected(all_cases(), opts.only)
    if opts.smoke:
        cases = smoke(cases)
    if opts.list:
        print("\n".join(c.name for c in cases))
        return 0
    build = opts.build.resolve()
    missing = [n for n in (PROGRAM,) + HELPERS if not (build / n).is_file()]
    if missing:
        print("missing in %s: %s" % (build, ", ".join(missing)))
        print("0 passed, 1 failed")
        return 1
    for folder in ("shots", "dialog_shots"):
        if getattr(opts, folder):
            getattr(opts, folder).mkdir(parents=True, exist_ok=True)
            setattr(opts, folder, getattr(opts, folder).resolve())

    report = Report()
    started = time.monotonic()
    try:
        check_host()
    except WineError as e:
        report.failure("setup failed: %s" % e)
    else:
        pending = queue.Queue()
        for _ in range(opts.repeat):
            for case in cases:
                pending.put(case)
        # What the worlds share: the packages, each built once, and a fresh prefix.
        with tempfile.TemporaryDirectory(prefix="eldoris-e2e-run-") as folder:
            packages = PackageCache(Path(folder) / "packages")
            template = PrefixTemplate(folder)
            worlds = [threading.Thread(target=run_world,
                                       args=(n, pending, report, build, opts, packages, template))
                      for n in range(1, max(1, min(opts.worlds, len(cases))) + 1)]
            for world in worlds:
                world.start()
            for world in worlds:
                world.join()
        left = pending.qsize()
        if left:
            report.failure("%d cases not run: no world could take them" % left)
    print("total %.1f s" % (time.monotonic() - started))
    print("%d passed, %d failed" % (report.passed, report.failed))
    return 1 if report.failed else 0


if __name__ == "__main__":
    sys.exit(main())
