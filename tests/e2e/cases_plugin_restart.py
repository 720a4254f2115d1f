"""Cases of the restart that an installation asks for: msiexec (a stand-in)
ends with 3010, 1641 or 3011, the program sets the restart marker, and at the
end offers the restart, or with -norestart keeps the marker for a later run.
The restart is asked with InitiateSystemShutdownExW whoever runs the program;
Wine's restarts nothing, and a bystander program shows that nothing ended the
session as ExitWindowsEx would."""

import datetime

from case_model import Case
from plugin_run import (AFTER_AN_EARLIER_RUN, SUCCESS, Call, bystander, calls, earlier_run, failure,
                        install_question, logged, marker, marker_set, msiexec_recorded, no_session_ended,
                        package, prepare, restart_question, verify)

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
             checks=(logged("restart marker written 2001-01-01 00:00:00 UTC, before the system started ("),)),
    # A failed run neither offers nor removes it.
    _restart("failed-run-keeps-marker", ERROR_INSTALL_FAILURE, boxes=(install_question(),
                                                                      failure(ERROR_INSTALL_FAILURE)),
             exit_code=ERROR_INSTALL_FAILURE, marker_after=True, before=(marker_set,)),
]

ACCEPTED = [
    # The marker is deleted before the question; Yes restarts, with the call
    # that restarts for a caller who is not the interactive user too.
    _restart("accepted", ERROR_SUCCESS_REBOOT_REQUIRED, boxes=(install_question(), restart_question("yes")),
             checks=(logged(REQUESTED + "0"),)),
    # Silent takes the restart as accepted, without a question.
    _restart("silent-accepted", ERROR_SUCCESS_REBOOT_REQUIRED, args="-silent", checks=(logged(REQUESTED + "0"),)),
]

# -restartcodes: the exit code tells a deployment tool of the restart, as
# msiexec's does: 3010 due and not started, 1641 started.
CODES = [
    _restart("codes-declined", ERROR_SUCCESS_REBOOT_REQUIRED, args="-restartcodes",
             boxes=(install_question(), restart_question("no")), exit_code=ERROR_SUCCESS_REBOOT_REQUIRED),
    _restart("codes-none-due", 0, args="-restartcodes", boxes=(install_question(), SUCCESS)),
    _restart("codes-silent-accepted", ERROR_SUCCESS_REBOOT_REQUIRED, args="-silent -restartcodes",
             exit_code=ERROR_SUCCESS_REBOOT_INITIATED, checks=(logged(REQUESTED + "1641"),)),
    _restart("codes-unseen-silent-accepted", ERROR_SUCCESS_REBOOT_REQUIRED, args="-silent -restartcodes",
             exit_code=ERROR_SUCCESS_REBOOT_INITIATED, unseen=True, checks=(logged(REQUESTED + "1641"),)),
    # Where nobody sees the desktop, as under a deployment tool: the tool restarts.
    _restart("codes-unseen-silent-norestart", ERROR_SUCCESS_REBOOT_REQUIRED,
             args="-silent -norestart -restartcodes", exit_code=ERROR_SUCCESS_REBOOT_REQUIRED, marker_after=True,
             unseen=True),
]

CASES = DECLINED + KEPT + ACCEPTED + CODES
