"""Cases of the bootstrapper's own behaviour: help, confirmation, Windows
version refusal and silence, before any installer runs."""

from case_model import OK, YES_NO, Box, Case
from expected_texts import CAPTION, ERROR_CAPTION, HELP_CAPTION, MSG, failure_text, help_text

# findPackageFile finds no package in an empty media folder.
ERROR_NO_DATA = 232
# What the run ends with below Windows 2000 (any non-zero code would do; this one is ours).
OLDER_THAN_WIN2000 = 6


def help_box(csp=False, ucsp=False):
    return Box(HELP_CAPTION, help_text(csp, ucsp), OK, "information")


def question(message_id, answer="no"):
    return Box(CAPTION, MSG[message_id], YES_NO, "none", answer)


def driver_error(message_id):
    return Box(CAPTION, MSG[message_id], OK, "error")


def _help(name, args, csp=False, ucsp=False, **kw):
    return Case("help/" + name, args=args, boxes=(help_box(csp, ucsp),), exit_code=0, **kw)


HELP = [
    _help("dash", "-help"),
    _help("double-dash-upper", "--HELP"),
    _help("slash-mixed", "/Help"),
    _help("unknown", "-foo"),
    _help("unknown-cyrillic", "-справка"),
    _help("question-mark", "-?"),
    _help("reinstall-capitalised", "-Reinstall"),
    _help("noupdate-capitalised", "-NoUpdate"),
    _help("empty-argument", '""'),
    _help("slash-csp", "/csp"),
    _help("double-dash-csp", "--csp"),
    _help("kc-without-value", "-csp -KC", csp=True),
    _help("csp-then-help", "-csp -help", csp=True),
    _help("help-then-csp", "-help -csp"),
    _help("ucsp-then-help", "-ucsp -help", ucsp=True),
    _help("both-providers-then-help", "-ucsp -csp -help", csp=True, ucsp=True),
    _help("silent-then-help", "-silent -help"),
    _help("cspargs-needs-csp", "-ucsp -CSPArgs x", ucsp=True),
    _help("cspargs-before-csp", "-CSPArgs x -csp"),
    _help("ucspargs-needs-ucsp", "-csp -UCSPArgs x", csp=True),
    _help("velmarargs-last", "-VelmarArgs"),
    # "-csp" is the value of -VelmarArgs here, so the CSP lines stay out.
    _help("value-swallows-csp", "-VelmarArgs -csp -help"),
    _help("before-windows-check", "-help", windows_version="nt40"),
]


def msi_never_loaded(run):
    """A declined run never loads msi.dll: Wine traces each library that the
    program loads (WINEDEBUG=+loaddll) to boxbot's error output."""
    loads = [line for line in run.result["stderr"].splitlines() if ":loaddll:" in line and "Loaded" in line]
    if not loads:
        return ["no library load was traced, so msi.dll could not be looked for"]
    return ["msi.dll was loaded: " + line.strip() for line in loads if "msi.dll" in line.lower()]


def _confirm(name, args, message_id, **kw):
    return Case("confirm/" + name, args=args, boxes=(question(message_id),), exit_code=0,
                env={"WINEDEBUG": "+loaddll"}, check=msi_never_loaded, **kw)


CONFIRMATION = [
    _confirm("plugin-only", "", 103),
    _confirm("csp", "-csp", 102),
    _confirm("ucsp", "-ucsp", 122),
    _confirm("csp-and-ucsp", "-csp -ucsp", 125),
    _confirm("ucsp-and-csp", "-ucsp -csp", 125),
    _confirm("mixed-case", "-CSP -UcSp", 125),
    _confirm("flags-any-case", "-NoRestart -SELECTDLG", 103),
    _confirm("exact-case-flags", "-reinstall -noupdate -norestart", 103),
    _confirm("select-dialog-without-csp", "-selectDlg -ucsp", 122),
    # "-help" is the value of -CSPArgs, not a help request.
    _confirm("help-as-value", "-csp -CSPArgs -help", 102),
    _confirm("quoted-value", '-VelmarArgs "A=1 B=2" -VelmarArgs Y=2', 103),
    _confirm("provider-values", "-csp -KC KC2 -Lang rus -CSPArgs /qn -ucsp -UCSPArgs /qb", 125),
    _confirm("repeated-flags", "-csp -csp -ucsp -ucsp", 125),
    _confirm("windows-2000-sp4", "", 103, windows_version="win2k"),
    _confirm("windows-xp-sp3", "", 103, windows_version="winxp"),
    _confirm("windows-2003-sp2", "", 103, windows_version="win2003"),
    _confirm("windows-vista-sp2", "", 103, windows_version="vista"),
    # Yes with no package beside the program: the installer step reports the
    # missing package, then the run reports the failure code without a log line.
    Case("confirm/yes-without-package", boxes=(
        question(103, answer="yes"),
        Box(ERROR_CAPTION, MSG[139], OK, "error"),
        Box(CAPTION, failure_text(106, ERROR_NO_DATA), OK, "error"),
    ), exit_code=ERROR_NO_DATA),
]

OLD_WINDOWS = [
    Case("old-windows/nt4", boxes=(driver_error(116),), exit_code=OLDER_THAN_WIN2000,
         windows_version="nt40"),
    # The refusal below Windows 2000 is shown even when silent.
    Case("old-windows/nt4-silent", args="-silent", boxes=(driver_error(116),),
         exit_code=OLDER_THAN_WIN2000, windows_version="nt40"),
    # The check comes before the question, whatever is to be installed.
    Case("old-windows/nt4-with-providers", args="-csp -ucsp", boxes=(driver_error(116),),
         exit_code=OLDER_THAN_WIN2000, windows_version="nt40"),
]

SILENT = [
    # Silent: no question and no box of the driver. With no package beside the
    # program the plug-in step fails quietly with its code; the silent runs that
    # install real packages are in the installation cases.
    Case("silent/no-package", args="-silent", boxes=(), exit_code=ERROR_NO_DATA),
    Case("silent/any-case", args="-SILENT -NoRestart", boxes=(), exit_code=ERROR_NO_DATA),
]

CASES = HELP + CONFIRMATION + OLD_WINDOWS + SILENT
