#!/usr/bin/env python3
"""The main job, shown under Wine: the bootstrapper installs the demo plug-in.

    python3 demo/run_demo.py --build build/windows [--version 2.0.0]

Builds the demo media folder (the plug-in packages, made with wixl), starts a
fresh Wine prefix and runs the real eldoris-setup.exe from that folder three
times: the help, an installation answered as a user would (Yes, then OK), and
a silent repeat with nothing to do. Prints every box it showed, the exit
codes, the installed version, where the installer's log and the runs' own logs
are, and the installation's own log.
"""

import argparse
import shutil
import sys
from pathlib import Path

ROOT = Path(__file__).resolve().parent.parent
sys.path.insert(0, str(ROOT / "tests" / "e2e"))

from packages import build_package  # noqa: E402
from wine_session import WineSession, check_host, win_path  # noqa: E402

PROGRAM = "eldoris-setup.exe"


def build_media(folder, version):
    shutil.rmtree(folder, ignore_errors=True)
    shutil.copytree(ROOT / "demo" / "media", folder)
    build_package("x64", version, folder / "x64" / "velmarix-x64.msi")
    build_package("x86", version, folder / "win32" / "velmarix-win32.msi")


def show(title, result):
    print("\n== %s" % title)
    for box in result["boxes"]:
        print("  box [%s] (%s), answered %s:" % (box["caption"], "/".join(box["buttons"]),
                                                 box["answer"]))
        for line in box["text"].split("\n"):
            print("    | " + line)
    if not result["boxes"]:
        print("  no box")
    print("  exit code: %d" % result["exit_code"])


def keep_logs(session, pattern, what):
    """The logs in the users' folders that match pattern, copied beside the
    media (the prefix goes away with the session), oldest first."""
    logs = sorted(session.drive_c.glob("users/*/**/" + pattern))
    kept = ROOT / "build" / "demo" / "logs"
    kept.mkdir(parents=True, exist_ok=True)
    for log in logs:
        shutil.copy2(log, kept / log.name)
        windows_path = "C:\\" + str(log.relative_to(session.drive_c)).replace("/", "\\")
        print("  %s: %s (%d bytes; kept as %s)" % (what, windows_path, log.stat().st_size, kept / log.name))
    if not logs:
        print("  %s: none found" % what)
    return [kept / log.name for log in logs]


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--build", type=Path, default=ROOT / "build" / "windows")
    parser.add_argument("--version", default="2.0.0", help="version of the demo plug-in package")
    opts = parser.parse_args()
    build = opts.build.resolve()
    check_host()

    media = ROOT / "build" / "demo" / "media"
    build_media(media, opts.version)
    print("Demo media folder: %s" % media)

    with WineSession(tools=build) as session:
        def run(args, answers):
            job = {"program": win_path(build / PROGRAM), "args": args, "cwd": win_path(media),
                   "answer": answers}
            return session.drive(build / "boxbot.exe", job, timeout=300)

        show("eldoris-setup.exe -help", run(" -help", ["ok"]))
        installed = run("", ["yes", "ok"])
        show("eldoris-setup.exe (a user answers Yes, then OK)", installed)
        state = session.product_state()
        print("  plug-in product state %d (5: installed), version %s" % (state["state"],
                                                                        state["version"] or "-"))
        keep_logs(session, "velmarix-*.log", "installer log")
        again = run(" -silent", [])
        show("eldoris-setup.exe -silent (the same version is installed: nothing to do)", again)
        print("\n== The runs' own logs (the help writes none)")
        own = keep_logs(session, "eldoris-setup_*.log", "the run's own log")
        if own:
            print("\n== The installation's own log, %s" % own[0].name)
            for line in own[0].read_text(encoding="utf-8-sig").splitlines():
                print("  | " + line)
        ok = (installed["exit_code"] == 0 and state["state"] == 5
              and state["version"] == opts.version and again["exit_code"] == 0 and len(own) == 2)
    print("\nDemo %s." % ("succeeded" if ok else "FAILED"))
    return 0 if ok else 1


if __name__ == "__main__":
    sys.exit(main())
