"""Cases of runs on a desktop that nobody can see, as under a deployment
tool's system account (boxbot's desktop=hidden): no box is shown there and
none could be answered, so each run must end by itself, with the exit code a
tool can act on, and say in its own log which boxes it did not show."""

from case_model import Case
from plugin_run import (FRESH_VERSION, INSTALLED, UNKNOWN, installed, installs, logged, msiexec_recorded,
                        no_calls, package, prepare, product, verify)
from provider_run import ENV, LOG, expect, media

ERROR_INVALID_PARAMETER = 87
ERROR_NO_DATA = 232
ERROR_REQUIRES_INTERACTIVE_WINDOWSTATION = 1459
OLDER_THAN_WIN2000 = 6
NOT_SHOWN = " not shown (no visible desktop), taken as OK: «"


def _unseen(name, args, exit_code, steps=(), checks=(), **kw):
    return Case("unseen/" + name, args=args, exit_code=exit_code, unseen=True, setup=prepare(*steps),
                check=verify(no_calls, *checks), **kw)


CASES = [
    # A question cannot be asked: the run ends before anything is installed.
    _unseen("no-options", "", ERROR_REQUIRES_INTERACTIVE_WINDOWSTATION,
            steps=(package(FRESH_VERSION), msiexec_recorded()),
            checks=(product(UNKNOWN), logged("box 103 (Yes/No) not shown (no visible desktop)"))),
    # The help is not shown: a typo fails, a request succeeds.
    _unseen("unknown-argument", "-silnet", ERROR_INVALID_PARAMETER,
            checks=(logged("argument not understood: «-silnet»"),)),
    _unseen("help", "-silent -help", 0, checks=(logged("help asked for with «-help»"),)),
    # Boxes that only inform are taken as OK; the run ends as after OK.
    _unseen("nt4-silent", "-silent", OLDER_THAN_WIN2000, windows_version="nt40",
            checks=(logged("box 116 (OK, error)" + NOT_SHOWN),)),
    _unseen("silent-installed-no-package", "-silent", ERROR_NO_DATA, steps=(installed(FRESH_VERSION),),
            checks=(product(INSTALLED, FRESH_VERSION), logged("box 139 (OK, error)" + NOT_SHOWN))),
    # With -silent everything else runs as on a desktop a person sees.
    installs("unseen/silent-fresh", args="-silent", boxes=(), unseen=True),
    Case("unseen/silent-csp", args="-silent -csp", exit_code=0, env=dict(ENV), setup=media(), unseen=True,
         check=expect(['csp\\Setup.exe -args "/qb /Lv! %s " -noreboot -root -silent' % LOG], installed=True)),
]
