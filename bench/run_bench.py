#!/usr/bin/env python3
"""Benchmark of eldoris-setup.exe under Wine, against yardsticks run side by side.

    python3 bench/run_bench.py [--build build/windows] [--quick] [--repeat N]
                               [--against OTHER_BUILD]
                               [--results bench/RESULTS.md | --no-results]

In one fresh Wine prefix, with a realistic plug-in package (about 11 MiB in 31
files), bench-timer.exe times each process from inside Wine
(CreateProcessW to the end, QueryPerformanceCounter):

1. a fresh installation by "eldoris-setup.exe -silent" against the same
   msiexec command line run directly (uninstalled in between, untimed);
2. "-silent" with the same version installed (nothing to do) against
   bench-probe.exe, which makes only the same Windows Installer calls;
3. the time until the confirmation box shows, against the run of
   bench-trivial.exe (a program that only exits: one process start) and
   against bench-box.exe (one that only shows the same box, same manifest);
4. the run of item 2 with 10, 1,000 and 10,000 folders listed before the
   package's folder;
5. the program's size and its peak working set.

With --against, the eldoris-setup.exe of another build (an earlier commit's)
runs as one more side in items 1 to 3, so that a change is measured against
its starting point in the same run.

The sides of each comparison alternate, so that a varying load (other jobs on
this machine) hits them alike; figures are medians of 11 runs per side (23 for
items 2 and 3), with --quick of 3 (7). Prints a table and writes
the results file; a "## Findings" section already in that file is kept.
"""

import argparse
import datetime
import glob
import os
import platform
import shlex
import shutil
import statistics
import sys
import threading
import time
from pathlib import Path

sys.dont_write_bytecode = True  # keep the source tree clean
ROOT = Path(__file__).resolve().parent.parent
sys.path.insert(0, str(ROOT / "tests" / "e2e"))
sys.path.insert(0, str(ROOT / "bench"))

from large_package import build_large_package  # noqa: E402
from wine_session import WineError, WineSession, check_host, win_path  # noqa: E402

PROGRAM = "eldoris-setup.exe"
HELPERS = ("bench-timer.exe", "bench-trivial.exe", "bench-probe.exe", "bench-box.exe")
FOLDER_COUNTS = (10, 1000, 10000)
PACKAGE_NAME = "velmarix-x64.msi"  # a 32-bit program on 64-bit Windows takes the x64 build
PACKAGE_FOLDER = "zz-plugin"  # Wine lists a folder sorted, case-insensitively: this one last
MEDIA = "C:\\bench\\media"


class Bench:
    def __init__(self, session, build, repeat, log, against=None):
        self.session = session
        self.build = build
        self.against = against  # another build's folder, or None
        self.repeat = repeat
        self.log = log
        self.samples = {}  # label -> [(ms, status, exit code, peak bytes)]
        self.bench_dir = session.drive_c / "bench"

    def exe(self, name):
        return win_path(self.build / name) if name == PROGRAM else win_path(self.build / "bench" / name)

    def against_sides(self, *sides):
        """The sides again, run by the other build's program, as "before ..."."""
        if not self.against:
            return []
        ours, theirs = '"%s"' % self.exe(PROGRAM), '"%s"' % win_path(self.against / PROGRAM)
        return [("before " + label.split(" ", 1)[1], mode, cwd, line.replace(ours, theirs))
                for label, mode, cwd, line in sides]

    # --- the timer ------------------------------------------------------

    def timed(self, sides, repeat, warmup, timeout=900):
        """Runs one bench-timer job: sides are (label, mode, cwd, command line).
        Returns its rows and adds them to the samples."""
        job = self.session.work / "timer-job.txt"
        result = self.session.work / "timer-result.txt"
        if result.exists():
            result.unlink()
        lines = ["repeat=%d" % repeat, "warmup=%d" % warmup, "timeout=%d" % timeout]
        lines += ["side=" + "\t".join(side) for side in sides]
        job.write_text("\n".join(lines) + "\n", encoding="utf-8")
        limit = (repeat + warmup) * len(sides) * timeout + 120
        self.session.wine(self.build / "bench" / "bench-timer.exe", win_path(job), win_path(result),
                          timeout=limit)
        rows = []
        for line in result.read_text(encoding="utf-8").splitlines():
            label, _, ms, status, code, peak = line.split("\t")
            row = (float(ms), status, int(code), int(peak))
            rows.append((label, row))
            self.samples.setdefault(label, []).append(row)
        return rows

    def expect(self, rows, label, status, code=None):
        for name, (ms, got_status, got_code, _) in rows:
            if name == label and (got_status != status or (code is not None and got_code != code)):
                raise WineError("%s: %s with exit code %d after %.0f ms, expected %s%s"
                                % (label, got_status, got_code, ms, status,
                                   "" if code is None else " with exit code %d" % code))

    # --- media ----------------------------------------------------------

    def make_media(self, package):
        media = self.session.file(MEDIA)
        (media / "x64").mkdir(parents=True)
        shutil.copy2(package, media / "x64" / PACKAGE_NAME)
        for count in FOLDER_COUNTS:
            folder = self.bench_dir / ("folders-%d" % count)
            for number in range(count):
                (folder / ("folder-%05d" % number)).mkdir(parents=True)
            (folder / PACKAGE_FOLDER).mkdir()
            os.link(media / "x64" / PACKAGE_NAME, folder / PACKAGE_FOLDER / PACKAGE_NAME)

    def temp_dir(self):
        """The Windows TMP of the prefix's user (where the bootstrapper logs)."""
        out = self.session.wine_tool("cmd", "/c", "echo %TMP%").stdout.decode().strip()
        return out.splitlines()[-1].strip()

    # --- 1: installation ------------------------------------------------

    def installation(self):
        temp = self.temp_dir()
        temp_unix = self.session.file(temp)
        package = MEDIA + "\\x64\\" + PACKAGE_NAME
        setup = ("setup install", "exit", MEDIA, '"%s" -silent' % self.exe(PROGRAM))
        # The command line the bootstrapper gives msiexec for a fresh installation.
        direct = ("msiexec install", "exit", MEDIA,
                  '"C:\\windows\\system32\\msiexec.exe" /i "%s" /Lv! "%s\\%s_direct.log" REBOOT=R  /qb'
                  % (package, temp, PACKAGE_NAME))
        # Beside each installation, under the load of this phase: the floor, and
        # what the bootstrapper does before it starts msiexec (msi.dll loaded,
        # the product's state asked).
        extras = [("trivial, installation phase", "exit", MEDIA,
                   '"%s"' % self.exe("bench-trivial.exe")),
                  ("probe -state", "exit", MEDIA, '"%s" -state' % self.exe("bench-probe.exe"))]
        order = [setup, direct] + self.against_sides(setup)
        for rnd in range(-1, self.repeat):  # round -1 warms files and caches up
            for side in order[rnd % len(order):] + order[:rnd % len(order)]:
                for log in temp_unix.glob("velmarix-*.log"):
                    log.unlink()
                sides = [side] + extras
                rows = self.timed(sides if rnd % 2 == 0 else sides[::-1], repeat=1, warmup=0)
                for label, *_ in sides:
                    self.expect(rows, label, "exited", 0)
                    if rnd < 0:
                        self.samples[label].pop()
                if self.session.uninstall_product() != 0:
                    raise WineError("the product could not be uninstalled after %s" % side[0])
            self.log("  installation round %d of %d" % (rnd + 1, self.repeat))

    # --- 2, 3: nothing to do, the first question, the floor -------------

    def quick_runs(self):
        if self.session.install_package(self.session.file(MEDIA) / "x64" / PACKAGE_NAME) != 0:
            raise WineError("the package could not be installed for the no-op runs")
        package = MEDIA + "\\x64\\" + PACKAGE_NAME
        sides = [
            ("trivial", "exit", MEDIA, '"%s"' % self.exe("bench-trivial.exe")),
            ("probe", "exit", MEDIA, '"%s" "%s"' % (self.exe("bench-probe.exe"), package)),
            ("setup no-op", "exit", MEDIA, '"%s" -silent' % self.exe(PROGRAM)),
            ("setup question", "box", MEDIA, '"%s"' % self.exe(PROGRAM)),
            ("box question", "box", MEDIA, '"%s"' % self.exe("bench-box.exe")),
        ]
        sides += self.against_sides(sides[2], sides[3])
        # Twice the runs: these differences are small, and a round is short.
        rows = self.timed(sides, repeat=2 * self.repeat + 1, warmup=1)
        self.expect(rows, "trivial", "exited", 0)
        self.expect(rows, "probe", "exited", 0)
        self.expect(rows, "setup no-op", "exited", 0)
        self.expect(rows, "setup question", "box")
        self.expect(rows, "box question", "box")
        self.expect(rows, "before no-op", "exited", 0)
        self.expect(rows, "before question", "box")

    # --- 4: package discovery -------------------------------------------

    def discovery(self):
        sides = [("folders %d" % count, "exit", "C:\\bench\\folders-%d" % count,
                  '"%s" -silent' % self.exe(PROGRAM)) for count in FOLDER_COUNTS]
        rows = self.timed(sides, repeat=self.repeat, warmup=1)
        for side in sides:
            self.expect(rows, side[0], "exited", 0)

    # --- 5: is Wine's peak working set the process's real one? ----------

    def memory_check(self):
        """Runs the no-op once from a copy with a path of its own and watches
        Linux's VmHWM of that process (under emulation: the emulator's process)."""
        copy = self.bench_dir / "check" / PROGRAM
        copy.parent.mkdir()
        shutil.copy2(self.build / PROGRAM, copy)
        marker = b"bench\\check\\" + PROGRAM.encode()
        seen = []
        done = threading.Event()

        def watch():
            while not done.is_set():
                for proc in glob.glob("/proc/[0-9]*"):
                    try:
                        with open(proc + "/cmdline", "rb") as f:
                            if marker not in f.read():
                                continue
                        with open(proc + "/status") as f:
                            for line in f:
                                if line.startswith("VmHWM:"):
                                    seen.append(int(line.split()[1]) * 1024)
                    except OSError:
                        pass
                time.sleep(0.02)

        watcher = threading.Thread(target=watch)
        watcher.start()
        try:
            side = ("memory check", "exit", MEDIA, '"C:\\bench\\check\\%s" -silent' % PROGRAM)
            rows = self.timed([side], repeat=1, warmup=0)
        finally:
            done.set()
            watcher.join()
        self.samples.pop("memory check")
        return rows[0][1][3], max(seen) if seen else 0


# --- figures and report -------------------------------------------------

def median(values):
    return statistics.median(values) if values else float("nan")


def times(samples, label):
    return [row[0] for row in samples.get(label, [])]


def peaks(samples, label):
    return [row[3] for row in samples.get(label, []) if row[3] > 0]


def paired(samples, a, b):
    """Median of the differences of runs made in the same round (alternated,
    so under the same load)."""
    return median([x - y for x, y in zip(times(samples, a), times(samples, b))])


def figures(samples, size, memory_check):
    m = {label: median(times(samples, label)) for label in samples}
    floor = m["trivial"]
    f = {"floor": floor, "install_floor": m["trivial, installation phase"], "size": size,
         "memory_check": memory_check, "medians": m}
    f["install_ratio"] = m["setup install"] / m["msiexec install"]
    f["install_extra"] = m["setup install"] - m["msiexec install"]
    f["install_paired"] = paired(samples, "setup install", "msiexec install")
    f["install_floors"] = f["install_extra"] / f["install_floor"]
    f["noop_ratio"] = m["setup no-op"] / m["probe"]
    f["noop_extra"] = m["setup no-op"] - m["probe"]
    f["noop_paired"] = paired(samples, "setup no-op", "probe")
    f["question_ratio"] = m["setup question"] / floor
    f["question_extra"] = m["setup question"] - floor
    f["question_paired"] = paired(samples, "setup question", "trivial")
    f["question_box_ratio"] = m["setup question"] / m["box question"]
    f["question_box_paired"] = paired(samples, "setup question", "box question")
    d = [m["folders %d" % c] for c in FOLDER_COUNTS]
    f["discovery"] = d
    steps = list(zip(FOLDER_COUNTS, d))
    f["against"] = [(what, m["setup " + what] / m["before " + what],
                      paired(samples, "setup " + what, "before " + what))
                     for what in ("install", "no-op", "question") if "before " + what in m]
    f["per_folder_us"] = [(t2 - t1) / (n2 - n1) * 1000 for (n1, t1), (n2, t2) in zip(steps, steps[1:])]
    f["peak_mb"] = {label: median(peaks(samples, label)) / 2**20
                    for label in samples if peaks(samples, label)}
    return f


def table(samples, f):
    def row(label, text):
        t = times(samples, label)
        return "| %s | %.0f | %.0f–%.0f | %d |" % (text, median(t), min(t), max(t), len(t))

    lines = ["| Run | Median ms | Range ms | Runs |", "|---|---:|---:|---:|",
             row("trivial, installation phase", "1. floor: bench-trivial.exe (one process start)"),
             row("setup install", "1. `eldoris-setup.exe -silent`, fresh installation"),
             row("msiexec install", "1. `msiexec /i … /Lv! … REBOOT=R /qb` directly"),
             row("probe -state", "1. `bench-probe.exe -state`: msi.dll loaded, product state asked"),
             row("trivial", "2, 3. floor: bench-trivial.exe"),
             row("setup no-op", "2. `eldoris-setup.exe -silent`, same version installed"),
             row("probe", "2. bench-probe.exe (the same Windows Installer calls)"),
             row("setup question", "3. `eldoris-setup.exe` until the question is visible"),
             row("box question", "3. bench-box.exe (only that question, same manifest) until visible")]
    for what in f["against"]:
        lines.append(row("before " + what[0], "1–3. the other build's `eldoris-setup.exe`, " + what[0]))
    for count in FOLDER_COUNTS:
        lines.append(row("folders %d" % count,
                         "4. as 2, %s folders before the package's" % format(count, ",")))
    floor = f["floor"]
    lines += [
        "",
        "| Figure | Value |", "|---|---|",
        "| 1. installation: bootstrapper / msiexec directly | %.2f× (%+.0f ms = %.1f× its floor of "
        "%.0f ms; paired difference %+.0f ms) |"
        % (f["install_ratio"], f["install_extra"], f["install_floors"], f["install_floor"],
           f["install_paired"]),
        "| 1. that difference / a run of `bench-probe.exe -state` | %.2f× |"
        % (f["install_extra"] / f["medians"]["probe -state"]),
        "| 2. nothing to do: bootstrapper / probe | %.2f× (%+.0f ms = %+.1f× the floor of %.0f ms; "
        "paired difference %+.0f ms) |"
        % (f["noop_ratio"], f["noop_extra"], f["noop_extra"] / floor, floor, f["noop_paired"]),
        "| 3. time to the question / floor | %.2f× (%+.0f ms; paired difference %+.0f ms) |"
        % (f["question_ratio"], f["question_extra"], f["question_paired"]),
        "| 3. time to the question / bench-box.exe | %.2f× (paired difference %+.0f ms) |"
        % (f["question_box_ratio"], f["question_box_paired"]),
        "| 4. discovery at %s folders | %s ms |" % (
            " / ".join(format(c, ",") for c in FOLDER_COUNTS),
            " / ".join("%.0f" % v for v in f["discovery"])),
        "| 4. cost per folder, %s | %s µs |" % (
            ", ".join("%s→%s" % (format(a, ","), format(b, ","))
                      for a, b in zip(FOLDER_COUNTS, FOLDER_COUNTS[1:])),
            " / ".join("%.0f" % v for v in f["per_folder_us"])),
        "| 5. size of eldoris-setup.exe | %s bytes |" % format(f["size"], ","),
    ]
    lines += ["| 1–3. %s: this build / the other build | %.3f× (paired difference %+.0f ms) |" % what
              for what in f["against"]]
    names = [("trivial", "floor (bench-trivial.exe)"), ("probe", "probe"),
             ("setup no-op", "bootstrapper, nothing to do"),
             ("setup install", "bootstrapper, installation (without msiexec)"),
             ("msiexec install", "msiexec directly"), ("setup question", "bootstrapper at the question")]
    for label, text in names:
        if label in f["peak_mb"]:
            lines.append("| 5. peak working set, %s | %.1f MiB |" % (text, f["peak_mb"][label]))
    wine_peak, linux_peak = f["memory_check"]
    lines.append("| 5. check: Wine's peak / Linux's VmHWM of the same process | %.1f / %.1f MiB |"
                 % (wine_peak / 2**20, linux_peak / 2**20))
    return "\n".join(lines)


def machine():
    model = "unknown"
    with open("/proc/cpuinfo") as f:
        for line in f:
            if line.startswith("model name"):
                model = line.split(":", 1)[1].strip()
                break
    try:
        wine = os.popen("wine --version 2>/dev/null").read().strip()
    except OSError:
        wine = "wine"
    load = os.getloadavg()
    # scripts/setup.sh registers qemu only where 32-bit code cannot run natively.
    try:
        emulated = Path("/proc/sys/fs/binfmt_misc/qemu-i386").read_text().startswith("enabled")
    except OSError:
        emulated = False
    how = ("runs under qemu user-mode emulation here (this machine cannot run it natively), so every "
           "32-bit process start costs half a second or more" if emulated else "runs natively here")
    return ("%d CPUs (nproc), %s; %s %s; %s. 32-bit Windows code %s; load average at the start %.1f."
            % (len(os.sched_getaffinity(0)), model, platform.system(), platform.release(), wine, how,
               load[0]))


def write_results(path, text_table, f, command, started, elapsed, repeat, package_note):
    findings = ""
    if path.exists():
        old = path.read_text(encoding="utf-8")
        at = old.find("\n## Findings")
        if at >= 0:
            findings = old[at:]
    body = ["# Benchmark results", "",
            "Written by `bench/run_bench.py` (do not edit above \"Findings\").", "",
            "- Date: %s" % started.strftime("%Y-%m-%d %H:%M %Z").strip(),
            "- Command: `%s`" % command,
            "- Machine: %s" % machine(),
            "- Package: %s" % package_note,
            "- %d measured runs per side (%d for items 2 and 3) after one warm-up, sides alternating; "
            "the whole run took %.1f min." % (repeat, 2 * repeat + 1, elapsed / 60),
            "- Times are taken inside Wine by bench-timer.exe, from CreateProcessW until the process "
            "has ended (or its question box is visible). Peak memory is PeakWorkingSetSize from "
            "GetProcessMemoryInfo; Wine reads it from Linux's VmHWM of the process, which under "
            "emulation is the emulator's process: about %.0f MiB of it is already there for a "
            "program that only exits." % f["peak_mb"].get("trivial", 0),
            "", text_table, ""]
    path.write_text("\n".join(body) + (findings if findings else "\n"), encoding="utf-8")


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--build", type=Path, default=ROOT / "build" / "windows")
    parser.add_argument("--quick", action="store_true",
                        help="3 runs per side instead of 11 (7 instead of 23 for items 2 and 3)")
    parser.add_argument("--repeat", type=int, help="measured runs per side")
    parser.add_argument("--results", type=Path, default=ROOT / "bench" / "RESULTS.md")
    parser.add_argument("--no-results", action="store_true", help="print only, write no results file")
    parser.add_argument("--keep", action="store_true", help="keep the Wine prefix")
    parser.add_argument("--against", type=Path, help="another build folder whose program runs beside")
    opts = parser.parse_args()
    repeat = opts.repeat or (3 if opts.quick else 11)
    build = opts.build.resolve()
    for name in (PROGRAM,) + tuple("bench/" + h for h in HELPERS):
        if not (build / name).exists():
            sys.exit("missing %s: build the windows preset first" % (build / name))
    check_host()
    started = datetime.datetime.now().astimezone()
    clock = time.monotonic()

    def log(text):
        print("[%5.0f s] %s" % (time.monotonic() - clock, text), flush=True)

    out = ROOT / "build" / "bench"
    out.mkdir(parents=True, exist_ok=True)
    package, payload, files = build_large_package("x64", "2.0.0", out / PACKAGE_NAME)
    package_note = ("%s from bench/packages/plugin-large.wxs, %.1f MiB of payload in %d files, "
                    "%.1f MiB as built" % (package.name, payload / 2**20, files,
                                           package.stat().st_size / 2**20))
    log("package " + package_note)

    with WineSession(keep=opts.keep, log=log) as session:
        bench = Bench(session, build, repeat, log, opts.against.resolve() if opts.against else None)
        bench.make_media(package)
        log("Wine prefix ready; 1: installation (%d rounds + 1 warm-up)" % repeat)
        bench.installation()
        log("2, 3: nothing to do, the question, the floor")
        bench.quick_runs()
        log("4: package discovery behind %s folders" % " / ".join(map(str, FOLDER_COUNTS)))
        bench.discovery()
        log("5: memory check")
        memory_check = bench.memory_check()
        samples = bench.samples

    with open(out / "samples.tsv", "w") as raw:
        for label, rows in samples.items():
            for ms, status, code, peak in rows:
                raw.write("%s\t%.3f\t%s\t%d\t%d\n" % (label, ms, status, code, peak))
    f = figures(samples, (build / PROGRAM).stat().st_size, memory_check)
    text = table(samples, f)
    elapsed = time.monotonic() - clock
    print()
    print(text)
    print("\nThe benchmark took %.1f min; raw samples in %s." % (elapsed / 60, out / "samples.tsv"))
    if not opts.no_results:
        command = " ".join(shlex.quote(a) for a in [sys.argv[0]] + sys.argv[1:])
        command = os.environ.get("ELDORIS_BENCH_COMMAND", "python3 " + command)
        write_results(opts.results, text, f, command, started, elapsed, repeat, package_note)
        print("Wrote %s" % opts.results)
    return 0


if __name__ == "__main__":
    sys.exit(main())
