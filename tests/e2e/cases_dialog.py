"""Cases of the provider configuration dialog, driven as a user would: its two
views and their exact texts, the radio choices, Далее, and the three ways to
cancel; and the runs in which it must not show."""

from case_model import OK, YES_NO, Box, Case, Dialog, DialogView
from expected_texts import (CAPTION, DIALOG_CAPTION, DIALOG_TEXTS, ERROR_CAPTION, HIDE_OPTIONS, MSG,
                            SHOW_OPTIONS, failure_text)
from provider_run import ENV, LOG, expect, media

NEXT, CANCEL, OPTIONS_BUTTON = 140, 2, 1015
RUSSIAN, ENGLISH, KC1, KC2, KC3 = 1006, 1007, 1008, 1009, 1010
WELCOME_CONTROLS = {1011, 1014}
OPTIONS_CONTROLS = {RUSSIAN, ENGLISH, KC1, KC2, KC3, 1012, 1013}
# Wine here reports the system UI language 0x0409 (en-US), so "English" is
# preselected; "Русский" would be under 0x0419 only.
PRESELECTED = {ENGLISH, KC1}

CSP = 'csp\\Setup.exe -args "/qb /Lv! %s " -noreboot -root' % LOG
UCSP = 'ucsp\\Setup.exe -args "/qb /Lv! %s " -noreboot -root' % LOG


def welcome(checked=PRESELECTED):
    return DialogView("welcome", DIALOG_CAPTION, {**DIALOG_TEXTS, OPTIONS_BUTTON: SHOW_OPTIONS},
                      frozenset({NEXT, CANCEL, OPTIONS_BUTTON} | WELCOME_CONTROLS), frozenset(checked))


def options(checked=PRESELECTED):
    return DialogView("options", DIALOG_CAPTION, {**DIALOG_TEXTS, OPTIONS_BUTTON: HIDE_OPTIONS},
                      frozenset({NEXT, CANCEL, OPTIONS_BUTTON} | OPTIONS_CONTROLS), frozenset(checked))


def click(control):
    return "click:%d" % control


def check(control):
    return "check:%d" % control


def question(message_id, answer="yes"):
    return Box(CAPTION, MSG[message_id], YES_NO, "none", answer=answer)


def notice(message_id):
    return Box(CAPTION, MSG[message_id], OK, "none")


def _dialog(name, steps, boxes=(question(102), notice(109)), lines=(CSP,), installed=True,
            args="-csp -selectDlg", exit_code=0, **env):
    return Case("dialog/" + name, args=args, boxes=boxes, exit_code=exit_code, env=dict(ENV, **env),
                setup=media(), check=expect(lines, installed=installed), dialog=Dialog(tuple(steps)))


def _cancelled(name, steps):
    """Cancelled: the run ends with 0 before any setup, with no further box."""
    return _dialog(name, steps, boxes=(question(102),), lines=(), installed=False)


SHOWN = [
    # Both views, photographed; Опции leads to the options view and back,
    # twice round; Далее goes on with the CSP setup and the plug-in.
    _dialog("views", [welcome(), "shot:welcome", click(OPTIONS_BUTTON), options(), "shot:options",
                      click(OPTIONS_BUTTON), welcome(), click(OPTIONS_BUTTON), options(),
                      click(OPTIONS_BUTTON), welcome(), click(NEXT)]),
    # Choices stay through the toggles; the radio groups are separate. What is
    # chosen does not reach the setup's command line.
    _dialog("choices-kept", [click(OPTIONS_BUTTON), check(RUSSIAN), check(KC3), options({RUSSIAN, KC3}),
                             click(OPTIONS_BUTTON), welcome({RUSSIAN, KC3}), click(OPTIONS_BUTTON),
                             check(KC2), check(ENGLISH), options({ENGLISH, KC2}), click(NEXT)]),
    # Далее from the options view.
    _dialog("next-from-options", [click(OPTIONS_BUTTON), check(KC3), click(NEXT)]),
    # With both providers: the dialog, then the CSP and the UEC provider.
    _dialog("both-providers", [welcome(), click(NEXT)], args="-csp -ucsp -selectDlg",
            boxes=(question(125), notice(127)), lines=(CSP, UCSP)),
    # The setup runs only after Далее: its failure box follows the dialog.
    _dialog("next-then-setup-fails", [welcome(), click(NEXT)],
            boxes=(question(102), Box(ERROR_CAPTION, failure_text(105, 3010), OK, "error")),
            installed=False, exit_code=3010, ELDORIS_EXIT_CODE="3010"),
    _cancelled("cancel", [welcome(), click(CANCEL)]),
    _cancelled("escape", [welcome(), "escape"]),
    _cancelled("close-button", [welcome(), "close"]),
    _cancelled("cancel-from-options", [click(OPTIONS_BUTTON), options(), click(CANCEL)]),
    _cancelled("escape-from-options", [click(OPTIONS_BUTTON), check(KC2), "escape"]),
]

NOT_SHOWN = [
    # Declined confirmation: nothing, not even the dialog.
    Case("dialog/not-shown/declined", args="-csp -selectDlg", boxes=(question(102, answer="no"),),
         exit_code=0, env=dict(ENV), setup=media(), check=expect((), installed=False)),
    Case("dialog/not-shown/ucsp-only", args="-selectDlg -ucsp", boxes=(question(122), notice(124)),
         exit_code=0, env=dict(ENV), setup=media(), check=expect((UCSP,), installed=True)),
    Case("dialog/not-shown/plugin-only", args="-selectDlg", boxes=(question(103), notice(110)),
         exit_code=0, env=dict(ENV), setup=media(), check=expect((), installed=True)),
    Case("dialog/not-shown/silent", args="-selectDlg -csp -silent", boxes=(), exit_code=0, env=dict(ENV),
         setup=media(), check=expect((CSP + " -silent",), installed=True)),
]

CASES = SHOWN + NOT_SHOWN
