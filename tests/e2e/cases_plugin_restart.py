"""Cases of the restart that an installation asks for: msiexec (a stand-in)
ends with 3010, 1641 or 3011, the program sets the restart marker, and at the
end offers the restart, or with -norestart keeps the marker for a later run.
The restart is asked with InitiateSystemShutdownExW whoever runs the program;
Wine's restarts nothing, and a bystander program shows that nothing ended the
session as ExitWindowsEx would."""

import datetime

from case_model import Case
from plugin_run import (AFTER_AN_EARLIER_RUN, SUCCESS, Call, bystander, calls, earlier_run, failure,
                        install_question, installed, logged, marker, marker_set, msiexec_recorded,
                        no_session_ended, package, prepare, restart_question, verify)

ERROR_SUCCESS_REBOOT_INITIATED = 1641
ERROR_SUCCESS_REBOOT_REQUIRED = 3010
ERROR_SUCCESS_RESTART_REQUIRED = 3011
ERROR_INSTALL_FAILURE = 1603

FRESH = Call(" /qb")
REQUESTED = "restart: requested now through InitiateSystemShutdownExW; once it has started the log ends here, exit code "


def _restart(name, msiexec_exit, args="", boxes=(), exit_code=0, marker_after=False, before=(), call=None,
             checks=(), **kw):
    """The package in x64, msiexec ending with msiexec_exit; before: steps ahead of the run."""
    call = call or Call(" /qn" if kw.get("unseen") else " /qb")
    return Case("restart/" + name, args=args, boxes=boxes, exit_code=exit_code,
                setup=prepare(package("2.0.9"), msiexec_recorded(msiexec_exit), *before, bystander),
                check=verify(no_session_ended, calls(call), marker(marker_after), *checks), **kw)


DECLINED = [
    _restart("declined-after-%d" % code, code, boxes=(install_question(), restart_question("no")))
    for code in (ERROR_SUCCESS_REBOOT_REQUIRED, ERROR_SUCCESS_REBOOT_INITIATED, ERROR_SUCCESS_RESTART_REQUIRED)
] + [
    _restart("escape-declines", ERROR_SUCCESS_REBOOT_REQUIRED,
             boxes=(install_question(), restart_question("escape"))),
    # A marker made by someone else before the run counts like one of this run.
    _restart("earlier-marker-offered", 0, boxes=(install_question(), restart_question("no")),
             before=(marker_set,)),
]

def marker_written_long_ago(run):
    """The marker's last write time in 2001, long before the system (the
    host, whose uptime is Wine's GetTickCount64) started."""
    run.session.backdate_user_key("Software\\NeedBstrReboot", datetime.datetime(2001, 1, 1))


KEPT = [
    # -norestart: the browser notice, and the marker stays for a later run.
    _restart("norestart-keeps-marker", ERROR_SUCCESS_REBOOT_REQUIRED, args="-norestart",
             boxes=(install_question(), SUCCESS), marker_after=True),
    _restart("silent-norestart-keeps-marker", ERROR_SUCCESS_REBOOT_REQUIRED, args="-silent -norestart",
             marker_after=True),
    # The next run without -norestart offers the restart, though its own
    # installation asked for none.
    _restart("offered-by-next-run", 0, boxes=(install_question(), restart_question("no")),
             before=(msiexec_recorded(ERROR_SUCCESS_REBOOT_REQUIRED),
                     earlier_run("-norestart", (install_question(), SUCCESS), 0, FRESH),
                     msiexec_recorded(0)), call=Call(" /qb", suffix=AFTER_AN_EARLIER_RUN)),
    # A marker from before the system started asked for a restart that has
    # happened: it goes, and the run ends without a restart code.
    _restart("marker-from-before-the-start-gone", 0, args="-silent -norestart -restartcodes",
             before=(marker_set, marker_written_long_ago),
             checks=(logged("restart marker (without the program's mark) written 2001-01-01 00:00:00 UTC, before the system started ("),)),
    # A failed run neither offers nor removes it.
    _restart("failed-run-keeps-marker", ERROR_INSTALL_FAILURE, boxes=(install_question(),
                                                                      failure(ERROR_INSTALL_FAILURE)),
             exit_code=ERROR_INSTALL_FAILURE, marker_after=True, before=(marker_set,)),
]

ACCEPTED = [
    # Yes restarts, with the call that restarts for a caller who is not the
    # interactive user too. The marker of this start of the system stays
    # through it (Wine's call restarts nothing): the restart makes it stale.
    _restart("accepted", ERROR_SUCCESS_REBOOT_REQUIRED, boxes=(install_question(), restart_question("yes")),
             marker_after=True, checks=(logged(REQUESTED + "0"),)),
    # Silent takes the restart as accepted, without a question.
    _restart("silent-accepted", ERROR_SUCCESS_REBOOT_REQUIRED, args="-silent", marker_after=True,
             checks=(logged(REQUESTED + "0"),)),
    # A marker another program made would outlive the restart: it goes first, as it always did.
    _restart("accepted-another-programs-marker-goes-first", 0, args="-silent", before=(marker_set,),
             checks=(logged(REQUESTED + "0", "restart: the marker, which a restart would not make stale, goes first"),)),
]

# -restartcodes: the exit code tells a deployment tool of the restart, as
# msiexec's does: 3010 due and not started, 1641 started.
CODES = [
    _restart("codes-declined", ERROR_SUCCESS_REBOOT_REQUIRED, args="-restartcodes",
             boxes=(install_question(), restart_question("no")), exit_code=ERROR_SUCCESS_REBOOT_REQUIRED),
    _restart("codes-none-due", 0, args="-restartcodes", boxes=(install_question(), SUCCESS)),
    _restart("codes-silent-accepted", ERROR_SUCCESS_REBOOT_REQUIRED, args="-silent -restartcodes",
             exit_code=ERROR_SUCCESS_REBOOT_INITIATED, marker_after=True, checks=(logged(REQUESTED + "1641"),)),
    _restart("codes-unseen-silent-accepted", ERROR_SUCCESS_REBOOT_REQUIRED, args="-silent -restartcodes",
             exit_code=ERROR_SUCCESS_REBOOT_INITIATED, unseen=True, marker_after=True,
             checks=(logged(REQUESTED + "1641"),)),
    # Where nobody sees the desktop, as under a deployment tool: the tool restarts.
    _restart("codes-unseen-silent-norestart", ERROR_SUCCESS_REBOOT_REQUIRED,
             args="-silent -norestart -restartcodes", exit_code=ERROR_SUCCESS_REBOOT_REQUIRED, marker_after=True,
             unseen=True),
]

# A restart between two runs: ending Wine's server is a full shutdown for its
# registry (its volatile keys go; user.reg keeps the marker).
GUIDE = "-silent -norestart -restartcodes"


def restart_wine(run):
    run.session.run(["wineserver", "-k"], timeout=60, check=False)
    run.session.run(["wineserver", "-w"], timeout=60)
    run.session.run(["wineserver", "-p"], timeout=60)


def left_a_marker(restarted):
    """A run of the guide's command line that the installer asked for a
    restart (3010, -reinstall over the installed version), then the system
    restarted or not; the case's own run has nothing to install."""
    steps = [installed("2.0.9"), package("2.0.9"), msiexec_recorded(ERROR_SUCCESS_REBOOT_REQUIRED),
             earlier_run(GUIDE + " -reinstall", (), ERROR_SUCCESS_REBOOT_REQUIRED,
                         Call("REINSTALL=ALL REINSTALLMODE=vomus /qb")),
             msiexec_recorded()]
    return steps + ([restart_wine] if restarted else [])


RESTARTED_SINCE = [
    Case("restart/marker-of-a-start-before-a-full-restart-gone", args=GUIDE, exit_code=0,
         setup=prepare(*left_a_marker(True)),
         check=verify(calls(), marker(False), logged("restart marker written in start 0x",
                                                     "restart: none due"))),
    Case("restart/marker-of-this-start-kept", args=GUIDE, exit_code=ERROR_SUCCESS_REBOOT_REQUIRED,
         setup=prepare(*left_a_marker(False)),
         check=verify(calls(), marker(True), logged("restart marker written in start 0x"))),
]

CASES = DECLINED + KEPT + ACCEPTED + CODES + RESTARTED_SINCE
