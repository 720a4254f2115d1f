"""The media of a provider case and what is checked after it: stand-in
Setup.exe programs in csp and ucsp that record their command lines, a real
plug-in package, and the plug-in product as the Windows Installer sees it."""

import datetime
import re
import shutil

from plugin_run import own_log, wine_now


TMP = "C:\\e2e\\media\\tmp"  # under the media folder, so emptied before each case
RECORD = "C:\\e2e\\media\\record.txt"
ENV = {"TMP": TMP, "ELDORIS_RECORD": RECORD}
PLUGIN_VERSION = "1.2.0.0"
INSTALLED = 5  # INSTALLSTATE_DEFAULT
# The log option's stand-in in an expected Setup.exe command line.
LOG = "{log}"
# The plug-in's msiexec run as a stand-in records it.
MSIEXEC = re.compile(r'"[^"]*\\msiexec\.exe" /i "C:\\e2e\\media\\x64\\velmarix-x64\.msi" .*')
STAMP = r"(\d{4}-\d\d-\d\d-\d\d-\d\d-\d\d)"


def media(folders=("csp", "ucsp"), setup_exe=True, package=True, msiexec_stand_in=False):
    """A setup(run) that fills the media folder: each folder with the recorder
    as Setup.exe (or empty), the plug-in package, TMP; optionally the recorder
    as the system's msiexec.exe."""
    def setup(run):
        (run.media / "tmp").mkdir()
        for folder in folders:
            (run.media / folder).mkdir()
            if setup_exe:
                shutil.copy2(run.helper("recorder.exe"), run.media / folder / "Setup.exe")
        if package:
            (run.media / "x64").mkdir()
            shutil.copy2(run.packages.get("x64", PLUGIN_VERSION), run.media / "x64" / "velmarix-x64.msi")
        if msiexec_stand_in:
            run.session.put_recorder_as_msiexec(run.helper("recorder.exe"))
        run.started = wine_now()
    return setup


def _line_pattern(expected, tmp):
    """An expected command line, LOG standing for three quotes, the log path
    <TMP>\\<folder>_<timestamp>.log and three quotes."""
    if isinstance(expected, re.Pattern):
        return expected
    before, found, after = expected.partition(LOG)
    if not found:
        return re.compile(re.escape(expected))
    folder = expected.split("\\", 1)[0]
    log = '"""' + re.escape(tmp + "\\" + folder + "_") + STAMP + r'\.log"""'
    return re.compile(re.escape(before) + log + re.escape(after))


def recorded_lines(run):
    path = run.media / "record.txt"
    return path.read_text(encoding="utf-8").splitlines() if path.exists() else []


def check_lines(run, expected):
    """The stand-ins' command lines, exactly and in order; the log timestamps
    lie within the run, in Wine's local time."""
    got = recorded_lines(run)
    problems = []
    if len(got) != len(expected):
        problems.append("%d command lines recorded, expected %d:" % (len(got), len(expected)))
        problems.extend("    got %r" % line for line in got)
    second = datetime.timedelta(seconds=1)
    earliest, latest = run.started.replace(microsecond=0) - second, wine_now() + second
    for i, (exp, line) in enumerate(zip(expected, got)):
        match = _line_pattern(exp, run.env.get("TMP", "")).fullmatch(line)
        if not match:
            problems.extend(["command line %d differs:" % (i + 1),
                             "    expected %s" % getattr(exp, "pattern", exp), "    got      %s" % line])
            continue
        for stamp in match.groups():
            when = datetime.datetime.strptime(stamp, "%Y-%m-%d-%H-%M-%S")
            if not earliest <= when <= latest:
                problems.append("command line %d: log time %s is not the time of the run (%s to %s)"
                                % (i + 1, stamp, earliest.strftime("%H:%M:%S"), latest.strftime("%H:%M:%S")))
    return problems


def log_path_of(line):
    """The log path on a recorded Setup.exe command line, or None."""
    match = re.search(r'/Lv! """(.*?)"""', line)
    return match.group(1) if match else None


def check_plugin(run, installed):
    """Whether the plug-in was installed by this run (its real msiexec leaves
    the product and a log in TMP)."""
    problems = []
    state = run.session.product_state()
    logs = sorted(p.name for p in (run.media / "tmp").glob("velmarix-x64.msi_*.log"))
    if installed:
        if state["state"] != INSTALLED or state["version"] != PLUGIN_VERSION:
            problems.append("plug-in not installed: %s" % state)
        if len(logs) != 1:
            problems.append("plug-in msiexec logs in TMP: %s, expected one" % logs)
    else:
        if state["state"] == INSTALLED:
            problems.append("plug-in installed, although the run should have ended before it")
        if logs:
            problems.append("plug-in msiexec ran (its logs: %s)" % logs)
    return problems


def expect(lines=(), installed=None, marker=None, extra=None):
    """A check(run): the recorded command lines; the plug-in installed or not
    (None: not looked at, as when msiexec is a stand-in); the restart marker
    present or not (None: not looked at); extra(run) -> problems."""
    def check(run):
        problems = check_lines(run, list(lines)) + own_log(run, recorded_lines(run))
        if installed is not None:
            problems += check_plugin(run, installed)
        if marker is not None and run.session.restart_marker_present() != marker:
            problems.append("restart marker %s" % ("missing" if marker else "left in the registry"))
        if extra:
            problems += extra(run)
        return problems
    return check
