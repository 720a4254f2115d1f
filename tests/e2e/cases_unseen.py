"""Cases of runs on a desktop that nobody can see, as under a deployment
tool's system account (boxbot's desktop=hidden): no box is shown there and
none could be answered, so each run must end by itself, with the exit code a
tool can act on, and say in its own log which boxes it did not show."""

import re
import shutil

import packages
from case_model import Case
from plugin_run import (FRESH_VERSION, INSTALLED, LOCAL, MEDIA, UNKNOWN, VICTIM, Call, calls, earlier_run, install_question,
                        installed, installer_busy, installs, log_at, logged, marker, marker_set, msiexec_recorded,
                        no_calls, package, prepare, product, verify)
from provider_run import ENV, LOG, expect, media

ERROR_INVALID_COMMAND_LINE = 1639
ERROR_INSTALL_ALREADY_RUNNING = 1618
ERROR_INSTALL_LOG_FAILURE = 1622
ERROR_NO_DATA = 232
ERROR_REQUIRES_INTERACTIVE_WINDOWSTATION = 1459
OLDER_THAN_WIN2000 = 6
NOT_SHOWN = " not shown (no visible desktop), taken as OK: «"


def _unseen(name, args, exit_code, steps=(), checks=(), **kw):
    return Case("unseen/" + name, args=args, exit_code=exit_code, unseen=True, setup=prepare(*steps),
                check=verify(no_calls, *checks), **kw)


BUSY = "Windows Installer busy: Global\\_MSIExecute is held by another installation"
# Only Windows 2000 (Windows Installer 2.0) is told busy by the mutex that the
# tests hold; later systems ask the Windows Installer service, which under
# Wine never installs.
MUTEX_ONLY = "win2k"
NO_UI = Call(" /qn")  # where nobody sees the run, basic UI's boxes would never be answered
RELATIVE_LOG = MEDIA + "\\logs\\deep\\run.log"  # -log logs\deep\run.log, from the media folder
CHOSEN_LOG = "C:\\e2e\\chosen logs\\run.log"
CHOSEN_INSTALLER_LOG = CHOSEN_LOG.replace("run.log", "run_velmarix-x64.msi.log")


def folder_at_the_log_name(run):
    """A folder where the run's log would go, with a file in it: what cannot
    be kept aside (a folder, or a link, which Wine cannot plant: it shows a
    Unix link as the file it points to) is never replaced."""
    folder = run.session.file(CHOSEN_LOG)
    shutil.rmtree(folder.parent, ignore_errors=True)
    folder.mkdir(parents=True)
    (folder / "inside.txt").write_text("inside\n")


BESIDE = re.compile(r"run_\d{4}(-\d\d){5}\.log")


def logs_beside_the_folder(run):
    """The run's log is beside the folder, and says why; the installer's log
    is named after it; the folder is as it was."""
    folder = run.session.file(CHOSEN_LOG).parent
    beside = [p.name for p in folder.iterdir() if BESIDE.fullmatch(p.name)]
    if len(beside) != 1:
        return ["logs beside the folder: %s" % sorted(p.name for p in folder.iterdir())]
    run.run_log = CHOSEN_LOG.replace("run.log", beside[0])
    installer_log = run.run_log[:-len(".log")] + "_velmarix-x64.msi.log"
    problems = calls(Call(" /qn", log_file=installer_log))(run)
    problems += logged("-log: %s is not replaced (it is a folder or a link, which is never replaced): "
                       "this log stays beside it, %s" % (CHOSEN_LOG, run.run_log))(run)
    inside = run.session.file(CHOSEN_LOG) / "inside.txt"
    return problems + ([] if inside.read_text() == "inside\n" else ["the folder at the log's name changed"])


OPEN_FOLDER = "C:\\e2e\\open logs"  # a folder that every account may change (mode 777: Everyone, full control)


def folder_everyone_may_change(run):
    folder = run.session.file(OPEN_FOLDER)
    folder.mkdir(parents=True, exist_ok=True)
    folder.chmod(0o777)
    run.undo.append(lambda: shutil.rmtree(folder, ignore_errors=True))


def nothing_written_in(windows_folder):
    def check(run):
        left = sorted(p.name for p in run.session.file(windows_folder).iterdir())
        return ["%s holds %s" % (windows_folder, left)] if left else []
    return check


# A folder spelled in another letter case outside ASCII: the same folder.
CYRILLIC_FOLDER, CYRILLIC_SPELLING = "C:\\e2e\\Журналы", "C:\\e2e\\журналы"


def earlier_log_in_the_cyrillic_folder(run):
    folder = run.session.file(CYRILLIC_FOLDER)
    folder.mkdir(parents=True, exist_ok=True)
    (folder / "run.log").write_text("an earlier run's log\n")
    run.undo.append(lambda: shutil.rmtree(folder, ignore_errors=True))


def earlier_log_kept(run):
    kept = run.session.file(CYRILLIC_FOLDER) / "run.lo_"
    return [] if kept.exists() and kept.read_text() == "an earlier run's log\n" else ["the earlier log was not kept"]


def failed_run_log_kept(run):
    """The earlier, failed run's logs lie beside the new ones as .lo_."""
    kept = [run.session.file(CHOSEN_LOG.replace(".log", name)) for name in (".lo_", "_velmarix-x64.msi.lo_")]
    problems = ["%s is missing" % p.name for p in kept if not p.exists()]
    return problems or ([] if b"exit code 1603: " in kept[0].read_bytes() else ["%s is not the failed run's" % kept[0].name])


def folders_made_private(run):
    """The folders that -log made carry the program's own access list: Wine
    maps one without an entry for Everyone to mode 750, where a folder made
    with its parent's list gets 755."""
    made = [run.media / "logs", run.media / "logs" / "deep"]
    modes = {p.name: oct(p.stat().st_mode & 0o777) for p in made}
    return [] if set(modes.values()) == {"0o750"} else ["folders made by -log: %s" % modes]


CASES = [
    # A question cannot be asked: the run ends before anything is installed.
    _unseen("no-options", "", ERROR_REQUIRES_INTERACTIVE_WINDOWSTATION,
            steps=(package(FRESH_VERSION), msiexec_recorded()),
            checks=(product(UNKNOWN), logged("box 103 (Yes/No) not shown (no visible desktop)"))),
    # The help is not shown: a typo fails, a request succeeds.
    _unseen("unknown-argument", "-silnet", ERROR_INVALID_COMMAND_LINE,
            checks=(logged("argument not understood: «-silnet»"),)),
    _unseen("help", "-silent -help", 0, checks=(logged("help asked for with «-help»"),)),
    # Boxes that only inform are taken as OK; the run ends as after OK.
    _unseen("nt4-silent", "-silent", OLDER_THAN_WIN2000, windows_version="nt40",
            checks=(logged("box 116 (OK, error)" + NOT_SHOWN),)),
    _unseen("silent-installed-no-package", "-silent", ERROR_NO_DATA, steps=(installed(FRESH_VERSION),),
            checks=(product(INSTALLED, FRESH_VERSION), logged("box 139 (OK, error)" + NOT_SHOWN))),
    # With -silent everything else runs as on a desktop a person sees, the
    # installers without their interface.
    installs("unseen/silent-fresh", args="-silent", boxes=(), unseen=True, call=NO_UI),
    Case("unseen/silent-csp", args="-silent -csp", exit_code=0, env=dict(ENV), setup=media(), unseen=True,
         check=expect(['csp\\Setup.exe -args "/qn /Lv! %s " -noreboot -root -silent' % LOG], installed=True)),
    # A package whose installation shows an error box in basic UI: with /qn
    # msiexec ends with its failure code, where /qb would wait for ever.
    Case("unseen/installer-error-ends-the-run", args="-silent", exit_code=1603, unseen=True,
         setup=prepare(package(FRESH_VERSION, template=packages.REFUSING), msiexec_recorded()),
         check=verify(calls(NO_UI), product(UNKNOWN))),
    # Another installation holds the Windows Installer: the run waits, then installs ...
    installs("unseen/busy-installer-waited-for", args="-silent", boxes=(), unseen=True, call=NO_UI,
             windows_version=MUTEX_ONLY, steps=(package(FRESH_VERSION), installer_busy(6000)),
             checks=(logged(BUSY, "Windows Installer free after"),)),
    # ... before the version check of an upgrade, whose calls would give 1618 ...
    Case("unseen/busy-installer-waited-for-before-the-version-check", args="-silent", exit_code=0, unseen=True,
         windows_version=MUTEX_ONLY,
         setup=prepare(installed(FRESH_VERSION, forget_cache=True), package("2.0.10"), msiexec_recorded(),
                       installer_busy(6000)),
         check=verify(calls(Call("REINSTALL=ALL REINSTALLMODE=vomus /qn")), product(INSTALLED, "2.0.10"),
                      logged(BUSY + " (no msiexec.exe runs); waiting up to 600 s before the version check starts"))),
    # ... up to its bound: then it ends with 1618, nothing started, the marker untouched.
    _unseen("busy-installer-past-the-bound", "-silent -msiwait 1", ERROR_INSTALL_ALREADY_RUNNING,
            windows_version=MUTEX_ONLY,
            steps=(package(FRESH_VERSION), msiexec_recorded(), marker_set, installer_busy(60000)),
            checks=(product(UNKNOWN), marker(True), logged(BUSY, "Windows Installer still busy after 1."))),
    # A run that asks a person its questions does not wait.
    installs("plugin/fresh/busy-installer-not-waited-for-when-asked", steps=(package(FRESH_VERSION),
                                                                          installer_busy(60000)),
             checks=(logged("decision: fresh installation", absent=(BUSY,)),)),
    # -log: where the administrator says, folders made; the installer's log beside it.
    installs("unseen/log-relative-in-new-folders", args="-silent -log logs\\deep\\run.log", boxes=(),
             unseen=True, steps=(package(FRESH_VERSION), log_at(RELATIVE_LOG)),
             call=Call(" /qn", log_file=MEDIA + "\\logs\\deep\\run_velmarix-x64.msi.log"),
             checks=(folders_made_private,)),
    Case("unseen/log-never-replaces-what-cannot-be-kept", args='-silent -log "%s"' % CHOSEN_LOG, unseen=True,
         setup=prepare(package(FRESH_VERSION), msiexec_recorded(), folder_at_the_log_name),
         check=verify(logs_beside_the_folder, product(INSTALLED, FRESH_VERSION, LOCAL), marker(False))),
    # A tool that retries a failed installation: the failed run's logs are kept once.
    installs("unseen/log-of-a-failed-run-kept", args='-silent -log "%s"' % CHOSEN_LOG, boxes=(), unseen=True,
             steps=(package(FRESH_VERSION), msiexec_recorded(1603), log_at(CHOSEN_LOG),
                    earlier_run('-silent -log "%s"' % CHOSEN_LOG, (), 1603, Call(" /qb", log_file=CHOSEN_INSTALLER_LOG))),
             call=Call(" /qn", log_file=CHOSEN_INSTALLER_LOG), checks=(failed_run_log_kept,)),
    # A folder that another account may change is not used: the logs go to TMP, and the run says why.
    installs("unseen/log-folder-others-may-change-not-used", args='-silent -log "%s\\run.log"' % OPEN_FOLDER,
             boxes=(), unseen=True, call=NO_UI, steps=(package(FRESH_VERSION), folder_everyone_may_change),
             checks=(nothing_written_in(OPEN_FOLDER), logged(
                 '-log «%s\\run.log»: %s is not used: S-1-1-0 (Everyone) may rename or delete it' % (OPEN_FOLDER, OPEN_FOLDER)))),
    # The old log is told from a link by its own attributes, whatever the path's spelling.
    installs("unseen/log-folder-spelled-in-another-case-keeps-the-old-log", boxes=(), unseen=True,
             args='-silent -log "%s\\run.log"' % CYRILLIC_SPELLING,
             steps=(package(FRESH_VERSION), earlier_log_in_the_cyrillic_folder, log_at(CYRILLIC_FOLDER + "\\run.log")),
             call=Call(" /qn", log_file=CYRILLIC_SPELLING + "\\run_velmarix-x64.msi.log"), checks=(earlier_log_kept,)),
    # A log that cannot be written: 1622 before anything is installed; the log in TMP says why.
    _unseen("log-unwritable", '-silent -log "%s\\run.log"' % VICTIM, ERROR_INSTALL_LOG_FAILURE,
            steps=(package(FRESH_VERSION), msiexec_recorded(), lambda run: run.session.file(VICTIM).write_text("x")),
            checks=(product(UNKNOWN), logged('-log «%s\\run.log»: ' % VICTIM))),
]
