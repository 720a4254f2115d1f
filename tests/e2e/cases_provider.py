"""Cases of the providers' nested setups: the exact Setup.exe command lines,
the exit codes that let the run go on to the real plug-in installation, the
failure box, setups that cannot be started, and the confirmation, success and
restart wording with providers."""

import re
import shutil

from case_model import OK, YES_NO, Box, Case
from expected_texts import CAPTION, ERROR_CAPTION, MSG, failure_text
from plugin_run import beside_taken_names, logged, names_taken
from provider_run import ENV, LOG, MSIEXEC, STAMP, TMP, expect, log_path_of, media, recorded_lines

# What CreateProcessW reports for the full path of csp\Setup.exe when csp is
# missing, and when csp holds no Setup.exe.
NO_FOLDER = 3  # the start's Windows errors, which the log names
NO_SETUP = 2
START_FAILED = 1627  # 2 and 3 are codes of the program's own: never passed on
EXCEPTION_ACCESS_VIOLATION = 0xC0000005

CSP = 'csp\\Setup.exe -args "/qb /Lv! %s " -noreboot -root' % LOG
UCSP = 'ucsp\\Setup.exe -args "/qb /Lv! %s " -noreboot -root' % LOG
QUESTION = {"csp": 102, "ucsp": 122, "both": 125}
SUCCESS = {"csp": 109, "ucsp": 124, "both": 127}
RESTART = {"csp": 107, "ucsp": 123, "both": 126}
ARGS = {"csp": "-csp", "ucsp": "-ucsp", "both": "-csp -ucsp"}
LINES = {"csp": (CSP,), "ucsp": (UCSP,), "both": (CSP, UCSP)}


def question(which):
    return Box(CAPTION, MSG[QUESTION[which]], YES_NO, "none", answer="yes")


def success(which):
    return Box(CAPTION, MSG[SUCCESS[which]], OK, "none")


def setup_failed(code):
    return Box(ERROR_CAPTION, failure_text(105, code), OK, "error")


def env(**more):
    return dict(ENV, **more)


def _line(name, args, lines, setup=None, extra=None, **kw):
    """A silent run: only the command lines differ; the plug-in follows."""
    return Case("provider/line/" + name, args=args + " -silent", exit_code=0, env=env(**kw.pop("env", {})),
                setup=setup or media(), check=expect(lines, installed=True, extra=extra), **kw)


COMMAND_LINES = [
    Case("provider/line/csp-silent-norestart", args="-csp -silent -norestart", exit_code=0, env=env(),
         setup=media(), check=expect([CSP + " -silent"], installed=True)),
    _line("ucsp", "-ucsp", [UCSP + " -silent"]),
    _line("csp-then-ucsp", "-csp -ucsp", [CSP + " -silent", UCSP + " -silent"]),
    # The order on the command line does not change the order of the setups.
    _line("ucsp-then-csp", "-ucsp -csp", [CSP + " -silent", UCSP + " -silent"]),
    # /q in the user's arguments: no /qb; the log option still comes first.
    _line("cspargs-quiet", "-csp -CSPArgs /qn",
          ['csp\\Setup.exe -args "/Lv! %s /qn " -noreboot -root -silent' % LOG]),
    # A log option of the user's: no log of ours, /qb still added.
    _line("cspargs-log", '-csp -CSPArgs "/L*v x.log"',
          ['csp\\Setup.exe -args "/qb /L*v x.log " -noreboot -root -silent']),
    _line("cspargs-lower-log", '-csp -CSPArgs "/l* x.log"',
          ['csp\\Setup.exe -args "/qb /l* x.log " -noreboot -root -silent']),
    # The tests are case-sensitive: /QN is not quiet.
    _line("cspargs-upper-quiet", "-csp -CSPArgs /QN",
          ['csp\\Setup.exe -args "/qb /Lv! %s /QN " -noreboot -root -silent' % LOG]),
    _line("cspargs-twice", "-csp -CSPArgs A=1 -CSPArgs B=2",
          ['csp\\Setup.exe -args "/qb /Lv! %s A=1 B=2 " -noreboot -root -silent' % LOG]),
    # The flags follow the fixed options, always as -silent -reinstall -noupdate.
    Case("provider/line/flags-in-order", args="-csp -reinstall -noupdate -silent", exit_code=0, env=env(),
         setup=media(), check=expect([CSP + " -silent -reinstall -noupdate"], installed=True)),
    Case("provider/line/flags-both-providers", args="-noupdate -ucsp -silent -csp -reinstall", exit_code=0,
         env=env(), setup=media(),
         check=expect([CSP + " -silent -reinstall -noupdate", UCSP + " -silent -reinstall -noupdate"],
                      installed=True)),
    _line("ucspargs-quiet", "-ucsp -UCSPArgs /qn",
          ['ucsp\\Setup.exe -args "/Lv! %s /qn " -noreboot -root -silent' % LOG]),
    # Each provider gets its own arguments.
    _line("own-args-each", '-csp -ucsp -UCSPArgs "/L*v u.log" -CSPArgs /qb!',
          ['csp\\Setup.exe -args "/Lv! %s /qb! " -noreboot -root -silent' % LOG,
           'ucsp\\Setup.exe -args "/qb /L*v u.log " -noreboot -root -silent']),
    # TMP is used verbatim: a trailing backslash doubles.
    _line("tmp-trailing-backslash", "-csp", [CSP + " -silent"], env={"TMP": TMP + "\\"}),
    # Names that another user of TMP planted are never opened: the setup is told a free one.
    _line("log-names-taken", "-csp",
          [re.compile(re.escape('csp\\Setup.exe -args "/qb /Lv! """%s\\csp_' % TMP) + STAMP
                      + re.escape('-3.log""" " -noreboot -root -silent'))],
          setup=lambda run: (media()(run), names_taken("csp", TMP)(run)), extra=beside_taken_names("csp", TMP)),
]


def _goes_on(which, code):
    return Case("provider/exit-%d/%s" % (code, which), args=ARGS[which],
                boxes=(question(which), success(which)), exit_code=0,
                env=env(ELDORIS_EXIT_CODE=str(code)), setup=media(),
                check=expect(LINES[which], installed=True))


# 0, 3, 4, 8 and 1602 from a setup count as success; the confirmation and the
# success wording name what was asked for.
EXIT_CODES_GO_ON = [_goes_on("csp", code) for code in (0, 3, 4, 8, 1602)] + [
    _goes_on("ucsp", 8),
    _goes_on("both", 1602),
]


def _fails(name, args, boxes, code, lines, **kw):
    return Case("provider/fails/" + name, args=args, boxes=boxes, exit_code=code,
                env=env(**kw.pop("env", {})), setup=kw.pop("setup", media()),
                check=expect(lines, installed=False, marker=kw.pop("marker", None), extra=kw.pop("extra", None)),
                **kw)


def _log_line_shown(run):
    """The failure box names the log that the setup wrote, as it was passed."""
    lines = recorded_lines(run)
    boxes = run.result["boxes"]
    if not lines or len(boxes) < 2:
        return ["no command line or no failure box to compare"]
    expected = failure_text(105, 3010, log_path_of(lines[0]))
    return [] if boxes[1]["text"] == expected else ["failure box does not name the log %r"
                                                    % log_path_of(lines[0])]


LOG_IN_BOX = re.compile(re.escape(failure_text(105, 3010, TMP + "\\csp_")) + r"[-\d]{19}\.log")

FAILURES = [
    # Any other code ends the run with it: the box, no UEC provider, no plug-in.
    _fails("csp-3010", "-csp", (question("csp"), setup_failed(3010)), 3010, [CSP],
           env={"ELDORIS_EXIT_CODE": "3010"}),
    _fails("csp-3010-skips-ucsp", "-csp -ucsp", (question("both"), setup_failed(3010)), 3010, [CSP],
           env={"ELDORIS_EXIT_CODE": "3010"}),
    _fails("csp-1641", "-csp", (question("csp"), setup_failed(1641)), 1641, [CSP],
           env={"ELDORIS_EXIT_CODE": "1641"}),
    _fails("csp-3010-silent", "-csp -silent", (), 3010, [CSP + " -silent"],
           env={"ELDORIS_EXIT_CODE": "3010"}),
    # The box names the setup's log when the setup has written it.
    _fails("csp-3010-log-written", "-csp", (question("csp"), Box(ERROR_CAPTION, LOG_IN_BOX, OK, "error")),
           3010, [CSP], env={"ELDORIS_EXIT_CODE": "3010", "ELDORIS_WRITE_LOG": "1"}, extra=_log_line_shown),
    # A user's log option: no log of ours, so none in the box either.
    _fails("csp-3010-own-log", '-csp -CSPArgs "/L*v x.log"', (question("csp"), setup_failed(3010)), 3010,
           ['csp\\Setup.exe -args "/qb /L*v x.log " -noreboot -root'],
           env={"ELDORIS_EXIT_CODE": "3010", "ELDORIS_WRITE_LOG": "1"}),
    # The UEC provider fails after the CSP succeeded; message 105 names the CSP for both.
    _fails("ucsp-1603-after-csp", "-csp -ucsp", (question("both"), setup_failed(1603)), 1603, [CSP, UCSP],
           env={"ELDORIS_EXIT_CODE_CSP": "0", "ELDORIS_EXIT_CODE_UCSP": "1603"}),
    # The log's last line says whose code it is: the provider's 2, not the program's own.
    _fails("ucsp-2", "-ucsp", (question("ucsp"), setup_failed(2)), 2, [UCSP],
           env={"ELDORIS_EXIT_CODE": "2"}, extra=logged("exit code 2: ucsp\\Setup.exe's exit code")),
    # A setup that crashes has failed: its exception code is shown and returned.
    # A provider that asks for a restart stops the run before the plug-in; with
    # -restartcodes with a code that deployment tools read as a failure.
    _fails("csp-3010-restartcodes", "-csp -restartcodes", (question("csp"), setup_failed(3010)), 350, [CSP],
           env={"ELDORIS_EXIT_CODE": "3010"}),
    _fails("csp-crashes", "-csp -ucsp", (question("both"), setup_failed(EXCEPTION_ACCESS_VIOLATION)),
           EXCEPTION_ACCESS_VIOLATION, [CSP], env={"ELDORIS_CRASH": "1"}, marker=False),
]

# Where the current directory lacks csp, Windows' search for a relative path
# looks in the program's folder and the system folders: copies planted there
# must not be started by an elevated run.
PLANTED_SETUP = "C:\\e2e\\Downloads"
SEARCHED = (PLANTED_SETUP, "C:\\windows\\system32", "C:\\windows\\syswow64")


def setups_planted_elsewhere(run):
    media(folders=("ucsp",))(run)
    for folder in SEARCHED:
        (run.session.file(folder) / "csp").mkdir(exist_ok=True)
        shutil.copy2(run.helper("recorder.exe"), run.session.file(folder) / "csp" / "Setup.exe")


def planted_setups_removed(run):
    for folder in SEARCHED:
        shutil.rmtree(run.session.file(folder) / "csp", ignore_errors=True)
    return []


# A setup that cannot be started fails with 1627; its log's last line names the start's error.
STARTED_WITHOUT_FOLDER = "exit code 1627: csp\\Setup.exe could not be started: Windows error %d" % NO_FOLDER
NOT_STARTED = [
    _fails("csp-folder-missing-setups-planted-elsewhere", "-csp", (question("csp"), setup_failed(START_FAILED)),
           START_FAILED, [], setup=setups_planted_elsewhere, extra=planted_setups_removed,
           program_dir=PLANTED_SETUP),
    _fails("csp-folder-missing", "-csp", (question("csp"), setup_failed(START_FAILED)), START_FAILED, [],
           setup=media(folders=("ucsp",)), extra=logged(STARTED_WITHOUT_FOLDER)),
    _fails("csp-folder-missing-silent", "-csp -silent", (), START_FAILED, [], setup=media(folders=()),
           extra=logged(STARTED_WITHOUT_FOLDER)),
    _fails("csp-without-setup", "-csp", (question("csp"), setup_failed(START_FAILED)), START_FAILED, [],
           setup=media(setup_exe=False),
           extra=logged("exit code 1627: csp\\Setup.exe could not be started: Windows error %d" % NO_SETUP)),
    _fails("ucsp-folder-missing", "-csp -ucsp", (question("both"), setup_failed(START_FAILED)), START_FAILED, [CSP],
           setup=media(folders=("csp",))),
]


def _restart(which):
    # The plug-in's msiexec (a stand-in) asks for a restart; the answer is No.
    return Case("provider/restart/" + which, args=ARGS[which],
                boxes=(question(which), Box(CAPTION, MSG[RESTART[which]], YES_NO, "warning", answer="no")),
                exit_code=0, env=env(ELDORIS_EXIT_CODE="3010", ELDORIS_EXIT_CODE_CSP="0",
                                     ELDORIS_EXIT_CODE_UCSP="0"),
                setup=media(msiexec_stand_in=True), check=expect(LINES[which] + (MSIEXEC,), marker=False))


RESTART_WORDING = [_restart(which) for which in ("csp", "ucsp", "both")]

CASES = COMMAND_LINES + EXIT_CODES_GO_ON + FAILURES + NOT_STARTED + RESTART_WORDING
