"""What the plug-in installation cases share: the media folder's packages, an
msiexec.exe that records its command line (and hands it on to the real one,
or ends with a chosen code), a product installed before the run, and the
checks afterwards: msiexec's command lines, the Windows Installer's records,
the log files, the restart marker and whether a restart ended the programs.

A case is  setup=prepare(step, ...)  and  check=verify(check, ...)."""

import datetime
import re
import shutil
from zoneinfo import ZoneInfo

import packages
from case_model import OK, YES_NO, Box, Case, compare
from expected_texts import CAPTION, ERROR_CAPTION, MSG, UPDATE_CAPTION, failure_text
from wine_session import PLUGIN_PRODUCT_CODE, WineError

MEDIA = "C:\\e2e\\media"  # the program's current directory (run.media_win)
# GetSystemDirectoryW of a 32-bit process, as Wine spells it.
MSIEXEC = "C:\\windows\\system32\\msiexec.exe"
TEMP = "C:\\e2e\\temp"  # TMP of every case that does not set or unset it
RECORD = "C:\\e2e\\msiexec-calls.txt"
X64 = "x64\\velmarix-x64.msi"  # where a case puts the 64-bit package, under MEDIA
USER_LOG = "C:\\e2e\\user.log"
# The cached source hash that the program deletes on Windows 5.2.
SOURCE_HASH = "C:\\windows\\Installer\\SourceHash" + PLUGIN_PRODUCT_CODE

# MsiQueryProductStateW / MsiQueryFeatureStateW answers
UNKNOWN, ABSENT, LOCAL, INSTALLED = -1, 2, 3, 5
ERROR_NO_DATA = 232  # no package found
ERROR_ENVVAR_NOT_FOUND = 203
# Wine's msiexec ends with this for any package it cannot open (Windows'
# msiexec with 1619 or 1620, or 1622 when it cannot open its log).
WINE_PACKAGE_NOT_OPENED = 1627
REINSTALL = "REINSTALL=ALL REINSTALLMODE=vomus"

STAMP = r"(\d{4}-\d\d-\d\d-\d\d-\d\d-\d\d)"
READABLE_STAMP = "<YYYY-MM-DD-HH-MM-SS>"


# --- boxes ---------------------------------------------------------------

def install_question(answer="yes"):
    return Box(CAPTION, MSG[103], YES_NO, "none", answer)


SUCCESS = Box(CAPTION, MSG[110], OK, "none")
NEWER_INSTALLED = Box(UPDATE_CAPTION, MSG[150], OK, "error")


def reinstall_question(answer):
    return Box(UPDATE_CAPTION, MSG[147], YES_NO, "none", answer)


def restart_question(answer):
    return Box(CAPTION, MSG[108], YES_NO, "warning", answer)


def step_error(message_id):
    return Box(ERROR_CAPTION, MSG[message_id], OK, "error")


def failure(code):
    """The driver's failure box without a log line."""
    return Box(CAPTION, failure_text(106, code), OK, "error")


def failure_with_log(code, where=X64, temp=TEMP):
    """The driver's failure box naming the log that the program made up for msiexec."""
    base = where.rsplit("\\", 1)[-1]
    head = failure_text(106, code, "%s\\%s_" % (temp, base))
    return Box(CAPTION, re.compile(re.escape(head) + STAMP + re.escape(".log")), OK, "error")


# --- expected msiexec command lines -------------------------------------

# A log name of a run that may start in the same second as an earlier run of
# the case, which took the name without a suffix.
AFTER_AN_EARLIER_RUN = re.compile("(?:-2)?")


class Call:
    """One expected msiexec command line: the package at media\\where, our
    verbose log in temp unless log is False (its name ending in suffix, such
    as "-3" beside taken names, or a pattern of them), " REBOOT=R ", then tail."""

    def __init__(self, tail, where=X64, log=True, temp=TEMP, media=MEDIA, log_made=True, suffix="",
                 log_file=None):
        self.log_made = log_made  # False where TMP names no folder to make it in
        self.log_file = log_file  # the log's exact path, as -log names it
        head = '"%s" /i "%s\\%s" ' % (MSIEXEC, media, where)
        base = where.rsplit("\\", 1)[-1]
        self.log_prefix = "%s\\%s_" % (temp, base) if log else None
        ending = suffix.pattern if isinstance(suffix, re.Pattern) else re.escape(suffix)
        parts = [re.escape(head)]
        if log_file:
            parts.append(re.escape('/Lv! "%s"' % log_file))
        elif log:
            parts += [re.escape('/Lv! "' + self.log_prefix), STAMP, "(%s)" % ending, re.escape('.log"')]
        parts.append(re.escape(" REBOOT=R " + tail))
        self.pattern = re.compile("".join(parts))
        shown = suffix.pattern if isinstance(suffix, re.Pattern) else suffix
        log_text = '/Lv! "%s%s%s.log"' % (self.log_prefix, READABLE_STAMP, shown) if log else ""
        log_text = '/Lv! "%s"' % log_file if log_file else log_text
        self.readable = head + log_text + " REBOOT=R " + tail

    def log_path(self, line):
        """The log path in a matching line, or None without our log option."""
        if self.log_file or self.log_prefix is None:
            return self.log_file
        match = self.pattern.fullmatch(line)
        return self.log_prefix + match.group(1) + match.group(2) + ".log"


def wine_now():
    """Wine's local time: the zone of /etc/localtime (the harness drops TZ)."""
    try:
        with open("/etc/localtime", "rb") as f:
            zone = ZoneInfo.from_file(f)
    except OSError:
        zone = datetime.timezone.utc
    return datetime.datetime.now(zone).replace(tzinfo=None, microsecond=0)


def recorded_calls(run):
    path = run.session.file(RECORD)
    return path.read_text(encoding="utf-8").splitlines() if path.exists() else []


# --- setup steps ---------------------------------------------------------

def _built(run, arch, version, template):
    return run.packages.get(arch, version, template)


def package(version, where=X64, arch="x64", template=packages.TEMPLATE):
    def step(run):
        target = run.media.joinpath(*where.split("\\"))
        target.parent.mkdir(parents=True, exist_ok=True)
        shutil.copy2(_built(run, arch, version, template), target)
    return step


def not_a_package(where=X64):
    def step(run):
        target = run.media.joinpath(*where.split("\\"))
        target.parent.mkdir(parents=True, exist_ok=True)
        target.write_text("this is no installer package\n")
    return step


def installed(version, *properties, template=packages.TEMPLATE, forget_cache=False):
    """The product installed before the run by the real 64-bit msiexec. Where
    the media package has another version, forget_cache works around Wine's
    MsiOpenPackageExW (see WineSession.forget_cached_packages)."""
    def step(run):
        code = run.session.install_package(_built(run, "x64", version, template), *properties)
        if code != 0:
            raise WineError("installing %s first failed with %d (low 8 bits)" % (version, code))
        if forget_cache:
            run.session.forget_cached_packages()
    return step


# Where the recorder (a 64-bit program) hands a command line on to: the 64-bit
# msiexec.exe. It installs as the 32-bit one would, with the same Windows
# Installer, and is not emulated where 32-bit code is.
REAL_MSIEXEC = "C:\\windows\\system32\\msiexec.exe"


def msiexec_recorded(exit_code=None):
    """msiexec.exe records its command line, then runs the real msiexec with
    it, or ends with exit_code when one is given."""
    def step(run):
        run.session.put_recorder_as_msiexec(run.helper("recorder.exe"))
        run.env["ELDORIS_RECORD"] = RECORD
        run.env.pop("ELDORIS_CHAIN", None)
        run.env.pop("ELDORIS_EXIT_CODE", None)
        if exit_code is None:
            run.env["ELDORIS_CHAIN"] = REAL_MSIEXEC
        else:
            run.env["ELDORIS_EXIT_CODE"] = str(exit_code)
    return step


def msiexec_unstartable(run):
    run.session.put_unstartable_msiexec(run.helper("recorder.exe"))


def source_hash_file(run):
    run.session.file(SOURCE_HASH).write_text("cached source hash\n")


def marker_set(run):
    run.session.create_restart_marker()


def bystander(run):
    run.bystander = run.session.start_bystander()


def installer_busy(milliseconds):
    """Another installation holds the Windows Installer for that long from
    just before the run, or until the case's check ends. Program starts take
    seconds where 32-bit code is emulated: a hold meant to outlast the run's
    start is that much longer."""
    def step(run):
        run.busy = run.session.hold_installer(milliseconds)
    return step


def log_at(windows_path):
    """-log puts the run's own log there: the checks read it there."""
    def step(run):
        run.run_log = windows_path
    return step


def earlier_run(args, boxes, exit_code, *expected_calls):
    """The program run once before the case's own run, with the same media and
    environment, and its msiexec command lines; verify() reports the differences."""
    def step(run):
        case = Case("earlier run", args=args, boxes=boxes, exit_code=exit_code)
        result = run.session.drive(run.helper("boxbot.exe"), run.job(case), case.timeout)
        saved, run.case = run.case, case  # own_log reads the exit code of run.case
        try:
            problems = compare(case, result) + calls(*expected_calls)(run)
        finally:
            run.case = saved
        run.notes += ["earlier run (%s): %s" % (args, p) for p in problems]
        run.session.file(RECORD).unlink(missing_ok=True)
        run.planted = set(run_logs(run))  # the case's own run logs anew
    return step


def prepare(*steps):
    """setup(run): no recorded calls, an empty TEMP as TMP (unless
    the case sets or unsets TMP), then the steps in order."""
    def setup(run):
        run.notes, run.bystander, run.busy, run.run_log, run.started = [], None, None, None, wine_now()
        run.undo = []  # run by verify() at its end
        run.session.file(RECORD).unlink(missing_ok=True)
        temp = run.session.file(TEMP)
        shutil.rmtree(temp, ignore_errors=True)
        temp.mkdir(parents=True)
        run.session.file(USER_LOG).unlink(missing_ok=True)
        run.session.file(SOURCE_HASH).unlink(missing_ok=True)
        if "TMP" not in run.unset:
            run.env.setdefault("TMP", TEMP)
        for step in steps:
            step(run)
        run.started = wine_now()
    return setup


# Files that a planted link points to: they must stay as they are.
VICTIM, ABSENT_VICTIM = "C:\\e2e\\victim.txt", "C:\\e2e\\absent.txt"


def names_taken(stem, folder=TEMP):
    """Every name that a log <stem>_<time>.log can take in folder is taken: by
    a file, and its "-2" name by a link to a file elsewhere, or (every other
    second) to a file that is not there, as another user of a shared TMP could
    plant them. The names run past the case's time limit and the runner's
    margin beyond it: a run that creates its log later has been killed."""
    def step(run):
        temp, victim, absent = (run.session.file(p) for p in (folder, VICTIM, ABSENT_VICTIM))
        victim.write_text("victim\n")
        absent.unlink(missing_ok=True)
        now = wine_now()
        for second in range(-2, run.case.timeout + 60):
            base = temp / (now + datetime.timedelta(seconds=second)).strftime(stem + "_%Y-%m-%d-%H-%M-%S")
            planted, link = base.with_name(base.name + ".log"), base.with_name(base.name + "-2.log")
            planted.write_text(planted.name)
            link.symlink_to(absent if second % 2 else victim)
            run.planted |= {planted, link}
    return step


def beside_taken_names(stem, folder=TEMP):
    """The run made its log <stem>_<time>-3.log; the planted files, the links
    and the file they point to are as they were."""
    def check(run):
        made = [p.name for p in run.session.file(folder).glob(stem + "_*.log") if p not in run.planted]
        problems = [] if len(made) == 1 and made[0].endswith("-3.log") else ["%s logs made: %s" % (stem, made)]
        problems += ["%s changed" % p.name for p in sorted(run.planted) if p.name.startswith(stem)
                     and not (p.is_symlink() if p.name.endswith("-2.log") else p.read_text() == p.name)]
        victim = run.session.file(VICTIM).read_text()
        problems += [] if victim == "victim\n" else ["the linked file now holds %r" % victim]
        return problems + (["a link was followed to create %s" % ABSENT_VICTIM]
                           if run.session.file(ABSENT_VICTIM).exists() else [])
    return check


# --- checks --------------------------------------------------------------

def calls(*expected):
    """msiexec's command lines, exactly and in order; each log timestamp lies
    within the run; the program made the log before msiexec started (a
    stand-in makes none); the run's own log names them (own_log)."""
    def check(run):
        got = recorded_calls(run)
        problems = []
        if len(got) != len(expected):
            problems.append("msiexec started %d times, expected %d:" % (len(got), len(expected)))
            problems += ["    got %r" % line for line in got]
        latest = wine_now() + datetime.timedelta(seconds=1)
        for exp, line in zip(expected, got):
            if not exp.pattern.fullmatch(line):
                problems += ["msiexec command line differs:", "    expected %r" % exp.readable,
                             "    got      %r" % line]
                continue
            log = exp.log_path(line)
            if log is None:
                continue
            stamp = None if exp.log_file else datetime.datetime.strptime(
                exp.pattern.fullmatch(line).group(1), "%Y-%m-%d-%H-%M-%S")
            if stamp and not run.started <= stamp <= latest:
                problems.append("log timestamp %s is not Wine's local time of the run (%s to %s)"
                                % (stamp, run.started, latest))
            if run.session.file(log).exists() != exp.log_made:
                problems.append("log %s %s" % (log, "was not made" if exp.log_made else
                                               "exists though its folder does not"))
        return problems + own_log(run, got)
    return check


def no_calls(run):
    return calls()(run)


def product(state, version="", feature=None):
    """The plug-in product as a 32-bit process sees it afterwards."""
    def check(run):
        got = run.session.product_state()
        want = {"state": state, "version": version, "feature": got["feature"] if feature is None else feature}
        return [] if got == want else ["product afterwards: expected %s, got %s" % (want, got)]
    return check


def marker(present):
    def check(run):
        got = run.session.restart_marker_present()
        return [] if got == present else ["restart marker %s afterwards" % ("present" if got else "absent")]
    return check


def source_hash(present):
    def check(run):
        got = run.session.file(SOURCE_HASH).exists()
        return [] if got == present else ["%s %s afterwards" % (SOURCE_HASH, "exists" if got else "is gone")]
    return check


def _packed_guid(guid):
    """A product code as the Windows Installer's registry keys spell it."""
    hexits = guid.strip("{}").replace("-", "")
    pairs = [hexits[i:i + 2][::-1] for i in range(16, 32, 2)]
    return hexits[7::-1] + hexits[11:7:-1] + hexits[15:11:-1] + "".join(pairs)


SOURCE_LIST_KEY = "HKLM\\Software\\Classes\\Installer\\Products\\%s\\SourceList" % _packed_guid(PLUGIN_PRODUCT_CODE)


def source_package_name(expected):
    """The PackageName of the product's source list (machine context)."""
    def check(run):
        got = run.session.reg_query(SOURCE_LIST_KEY, "PackageName", view=64)
        return [] if got == expected else ["source list PackageName %r, expected %r" % (got, expected)]
    return check


def no_session_ended(run):
    """The programs of the prefix live on, the bystander started before the
    run included: ExitWindowsEx, which under Wine ends them all, was not
    called (Wine's InitiateSystemShutdownExW restarts nothing)."""
    if run.bystander is None:
        return ["the case has no bystander step"]
    return [] if run.session.bystander_survived(run.bystander) else ["the programs were ended, as by a restart"]


def box_names_the_log(run):
    """The failure box names the very log that msiexec was asked to write."""
    logs = [line.split('/Lv! "', 1)[1].split('"', 1)[0] for line in recorded_calls(run) if '/Lv! "' in line]
    texts = [box["text"] for box in (run.result or {}).get("boxes", [])]
    named = [t.split("Install log: ", 1)[1] for t in texts if "Install log: " in t]
    return [] if named == logs[-1:] else ["the box names the log %s; msiexec wrote %s" % (named, logs)]


def user_log_written(run):
    """The user's own log option reached the real msiexec, and no log of the
    program's own was made up in TMP for it (the run's own log aside)."""
    problems = [] if run.session.file(USER_LOG).exists() else ["msiexec wrote no %s" % USER_LOG]
    extra = sorted(p.name for p in run.session.file(TEMP).iterdir() if not RUN_LOG.fullmatch(p.name))
    return problems + (["files in TMP: %s" % extra] if extra else [])


# --- the run's own log -------------------------------------------------------

RUN_LOG = re.compile(r"eldoris-setup_\d{4}(-\d\d){5}(-\d+)?\.log")
RUN_LOG_LINE = re.compile(r"\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\.\d{3} ([^\r\n]*)")
CHILD_ENDED = re.compile(r"ended with exit code \d+ after \d+\.\d{3} s|could not be started: Windows error \d+")


def run_log_folder(run):
    """Where the run's own log belongs: where -log puts it (run.run_log), in
    the TMP the case gives, in Wine's own when the case leaves TMP alone,
    nowhere when it unsets or empties it."""
    if run.run_log:
        return run.session.file(run.run_log).parent
    if "TMP" in run.unset:
        return None
    tmp = run.env.get("TMP")
    if tmp is None:
        return next(iter(run.session.drive_c.glob("users/*/Temp")), None)
    return run.session.file(tmp.rstrip("\\")) if tmp else None


def run_logs(run):
    """The run's own logs where it writes them, or where it might wrongly
    write them without a TMP, but for those planted or left by another run
    of the case."""
    if run.run_log:
        return [run.session.file(run.run_log)] if run.session.file(run.run_log).exists() else []
    folder = run_log_folder(run)
    folders = [folder] if folder else [run.session.file(TEMP), *run.session.drive_c.glob("users/*/Temp")]
    found = {p for f in folders if f.is_dir() for p in f.iterdir() if RUN_LOG.fullmatch(p.name)}
    return sorted(found - run.planted)


def run_log_events(path):
    """The events of a run's log, and what is wrong with its form."""
    data = path.read_bytes()
    problems = [] if data.startswith(b"\xef\xbb\xbf") else ["%s has no byte-order mark" % path.name]
    text = data[3:].decode("utf-8", errors="replace")
    if "\ufffd" in text:
        problems.append("%s is not UTF-8" % path.name)
    lines = text.split("\r\n")
    if lines[-1]:
        problems.append("%s does not end with CRLF: %r" % (path.name, lines[-1]))
    events = []
    for line in lines[:-1]:
        match = RUN_LOG_LINE.fullmatch(line)
        if match:
            events.append(match.group(1))
        else:
            problems.append("%s: not a timed line of its own: %r" % (path.name, line))
    return events, problems


def own_log(run, commands):
    """The run's own log: one, in TMP, when TMP names a folder, else none. It
    names each command line as it started, then how it ended, and closes with
    the run's exit code, or with the restart it asked for."""
    folder = run_log_folder(run)
    logs = run_logs(run)
    if not (folder and folder.is_dir()):
        return ["a log of the run's own without a TMP folder: %s" % logs] if logs else []
    if len(logs) != 1:
        return ["%d logs of the run's own, expected one: %s" % (len(logs), [p.name for p in logs])]
    events, problems = run_log_events(logs[0])
    others = [e for p in run.planted if p.is_file() and p.read_bytes().startswith(b"\xef\xbb\xbf")
              for e in run_log_events(p)[0]]
    at = 0
    for command in commands:
        if "starting: " + command not in events[at:]:
            if "starting: " + command not in others:  # nor another run's of the case
                problems.append("the run's log does not name %r" % command)
            continue
        at = events.index("starting: " + command, at) + 1
        if at >= len(events) or not CHILD_ENDED.fullmatch(events[at]):
            problems.append("the run's log does not say how %r ended" % command)
    ending = "exit code %d: " % run.case.exit_code
    last = events[-1] if events else ""
    if not (last.startswith(ending) or last.startswith("restart: requested now")):
        problems.append("the run's log ends with %r, not %r..." % (last, ending))
    return problems


def logged(*beginnings, absent=()):
    """The run's own log has a line that begins with each of these texts, and
    none that begins with one of those absent."""
    def check(run):
        logs = run_logs(run)
        events = run_log_events(logs[0])[0] if len(logs) == 1 else []
        return ["the run's log has no line %r..." % b for b in beginnings
                if not any(e.startswith(b) for e in events)] + \
            ["the run's log has a line %r..." % b for b in absent if any(e.startswith(b) for e in events)]
    return check


def verify(*checks):
    """check(run): what the earlier steps noted, then each check in order;
    afterwards the bystander is stopped (the next case's reset removes the product)."""
    def check(run):
        try:
            problems = list(run.notes)
            for c in checks:
                problems += c(run)
            return problems
        finally:
            if run.bystander is not None:
                run.session.stop_bystander(run.bystander)
            if run.busy is not None:  # the holder ends, its mutex with it
                run.busy.kill()
                run.busy.wait()
            for undo in run.undo:
                undo()
    return check


# --- cases -----------------------------------------------------------------

FRESH_VERSION = "2.0.9"


def installs(name, args="", boxes=(install_question(), SUCCESS), steps=(), call=Call(" /qb"), checks=(), **kw):
    """A case: the product is not installed, the real msiexec installs the
    FRESH_VERSION package that steps put in place (by default in x64)."""
    steps = steps or (package(FRESH_VERSION),)
    return Case(name, args=args, boxes=boxes, exit_code=0, setup=prepare(*steps, msiexec_recorded()),
                check=verify(calls(call), product(INSTALLED, FRESH_VERSION, LOCAL), marker(False), *checks),
                **kw)


def fails(name, steps, boxes, exit_code, call=Call(" /qb"), extra_checks=(), **kw):
    """A case: msiexec (as steps make it) runs once (never with call=None) and
    the run fails with exit_code; nothing is installed and no restart is asked for."""
    return Case(name, boxes=boxes, exit_code=exit_code, setup=prepare(*steps),
                check=verify(calls(*[call] if call else []), product(UNKNOWN), marker(False), *extra_checks),
                **kw)
