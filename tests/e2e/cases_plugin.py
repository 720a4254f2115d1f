"""Cases of the plug-in installation: real packages built by wixl, the real
msiexec behind a recording stand-in, the product state afterwards. Fresh
installation, reinstallation of the same version, upgrade, an older package,
the user's msiexec arguments, a missing package, TMP and failed runs."""

import packages
from case_model import Case
from plugin_run import (ABSENT, ERROR_ENVVAR_NOT_FOUND, ERROR_NO_DATA, FRESH_VERSION, INSTALLED, LOCAL,
                        NEWER_INSTALLED, REINSTALL, SUCCESS, TEMP, UNKNOWN, USER_LOG, WINE_PACKAGE_NOT_OPENED,
                        Call, box_names_the_log, calls, fails, failure, failure_with_log, install_question,
                        installed, installs, marker, msiexec_recorded, msiexec_unstartable, no_calls,
                        not_a_package, package, prepare, product, reinstall_question, source_hash,
                        source_hash_file, source_package_name, step_error, user_log_written, verify)

OLD, NEW = FRESH_VERSION, "2.0.10"  # versions, not texts: 2.0.10 is the newer one
ERROR_BAD_EXE_FORMAT = 193
ERROR_INSTALL_FAILURE = 1603
ERROR_INSTALL_USEREXIT = 1602

FRESH = Call(" /qb")
REINSTALL_CALL = Call(REINSTALL + " /qb")


def _fresh(name, **kw):
    return installs("plugin/fresh/" + name, **kw)


FRESH_INSTALL = [
    _fresh("x64-package-in-subfolder"),
    # The 64-bit build is chosen on a 64-bit system; entries in the media
    # folder itself and in a dot folder are not looked at.
    _fresh("x64-chosen-among-decoys",
           steps=(package("1.5.0", "32\\velmarix-win32.msi", arch="x86"), package(OLD, "64\\velmarix-x64.msi"),
                  not_a_package("velmarix-x64.msi"), not_a_package(".hidden\\velmarix-x64.msi")),
           call=Call(" /qb", where="64\\velmarix-x64.msi")),
    # -reinstall means nothing to a product that is not installed.
    _fresh("reinstall-flag-ignored", args="-reinstall"),
    # Silent: no box at all, and still the installer's basic UI.
    _fresh("silent", args="-silent", boxes=()),
    # TMP is used verbatim: a trailing backslash doubles before the log name.
    _fresh("temp-with-trailing-backslash", env={"TMP": TEMP + "\\"}, call=Call(" /qb", temp=TEMP + "\\")),
    # The user's arguments come last; "/q" anywhere makes it quiet, "/Q" does not.
    _fresh("args-quiet", args="-VelmarArgs /qn", call=Call(" /qn ")),
    _fresh("args-capital-q-not-quiet", args="-VelmarArgs /QN", call=Call(" /qb /QN ")),
    _fresh("args-two-values", args='-VelmarArgs /qn -VelmarArgs "A=1 B=2"', call=Call(" /qn  A=1 B=2 ")),
    # The user's own log option: no /Lv! of the program's, and no log in TMP.
    Case("plugin/fresh/args-user-log", args='-VelmarArgs "/L*v %s"' % USER_LOG,
         boxes=(install_question(), SUCCESS), exit_code=0,
         setup=prepare(package(OLD), msiexec_recorded()),
         check=verify(calls(Call(" /qb /L*v %s " % USER_LOG, log=False)), user_log_written,
                      product(INSTALLED, OLD, LOCAL))),
]


def _installed(group, name, args, boxes, exit_code, version, pkg, call=None, after=None, extra=(), **kw):
    """The product installed in version, the package pkg in x64 (and the extra
    steps); call is the expected msiexec run (None: nothing runs); after is
    the version afterwards."""
    steps = [installed(version, forget_cache=version != pkg), package(pkg), *extra]
    return Case("plugin/%s/%s" % (group, name), args=args, boxes=boxes, exit_code=exit_code,
                setup=prepare(*steps, msiexec_recorded()),
                check=verify(calls(call) if call else no_calls, product(INSTALLED, after or version)), **kw)


def _same(name, args, boxes, exit_code, call=None):
    return _installed("same-version", name, args, boxes, exit_code, OLD, OLD, call)


SAME_VERSION = [
    _same("yes-reinstalls", "", (install_question(), reinstall_question("yes"), SUCCESS), 0, REINSTALL_CALL),
    _same("no-declines", "", (install_question(), reinstall_question("no")), ERROR_INSTALL_USEREXIT),
    _same("escape-declines", "", (install_question(), reinstall_question("escape")), ERROR_INSTALL_USEREXIT),
    _same("silent-does-nothing", "-silent", (), 0),
    _same("silent-reinstall", "-silent -reinstall", (), 0, REINSTALL_CALL),
    _same("reinstall-asks-nothing", "-reinstall", (install_question(), SUCCESS), 0, REINSTALL_CALL),
    _same("reinstall-quiet-args", "-reinstall -VelmarArgs /qn", (install_question(), SUCCESS), 0,
          Call(REINSTALL + " /qn ")),
    # 1.0 and 1.0.0 are one version.
    _installed("same-version", "1.0-equals-1.0.0", "", (install_question(), reinstall_question("no")),
               ERROR_INSTALL_USEREXIT, "1.0", "1.0.0"),
]


def _feature_absent(name, args, boxes, call):
    """Installed with only the EXTRAS feature: ORVELIX is absent and is added."""
    return Case("plugin/feature-absent/" + name, args=args, boxes=boxes, exit_code=0,
                setup=prepare(installed(OLD, "ADDLOCAL=EXTRAS", template=packages.WITH_EXTRAS),
                              package(OLD, template=packages.WITH_EXTRAS), msiexec_recorded()),
                check=verify(calls(call), product(INSTALLED, OLD)))


FEATURE_ABSENT = [
    Case("plugin/feature-absent/state-before", args="-silent", exit_code=0,
         setup=prepare(installed(OLD, "ADDLOCAL=EXTRAS", template=packages.WITH_EXTRAS),
                       package(OLD, template=packages.WITH_EXTRAS), msiexec_recorded()),
         # the starting point of the two cases below, as the program sees it
         check=verify(no_calls, product(INSTALLED, OLD, ABSENT))),
    _feature_absent("yes-adds-feature", "", (install_question(), reinstall_question("yes"), SUCCESS),
                    Call(REINSTALL + " /qb ADDLOCAL=ORVELIX")),
    _feature_absent("quiet-args", "-silent -reinstall -VelmarArgs /qn", (),
                    Call(REINSTALL + " ADDLOCAL=ORVELIX /qn ")),
]

UPGRADE = [
    # A newer package reinstalls without a question.
    _installed("upgrade", "2.0.9-to-2.0.10", "", (install_question(), SUCCESS), 0, OLD, NEW,
               REINSTALL_CALL, after=NEW),
    _installed("upgrade", "silent", "-silent", (), 0, OLD, NEW, REINSTALL_CALL, after=NEW),
    _installed("upgrade", "1.0-to-1.0.1", "", (install_question(), SUCCESS), 0, "1.0", "1.0.1",
               REINSTALL_CALL, after="1.0.1"),
    # The version read is the package's that is installed: the 32-bit build,
    # listed first and as old as the installed product, does not decide.
    _installed("upgrade", "x64-package-decides-beside-win32", "-silent", (), 0, OLD, NEW, REINSTALL_CALL,
               after=NEW, extra=(package(OLD, "win32\\velmarix-win32.msi", arch="x86"),)),
]

OLDER_PACKAGE = [
    # The installed version is newer: refused with a notice, then the success box.
    _installed("older-package", "refused", "", (install_question(), NEWER_INSTALLED, SUCCESS), 0, NEW, OLD),
    _installed("older-package", "refused-despite-reinstall", "-reinstall",
               (install_question(), NEWER_INSTALLED, SUCCESS), 0, NEW, OLD),
    # Silent: the older package is reinstalled over the newer one.
    _installed("older-package", "silent-downgrades", "-silent", (), 0, NEW, OLD, REINSTALL_CALL, after=OLD),
]


def _no_package(name, steps, args="", boxes=None, exit_code=ERROR_NO_DATA, after=(UNKNOWN, "")):
    if boxes is None:
        boxes = (install_question(), step_error(139), failure(ERROR_NO_DATA))
    return Case("plugin/no-package/" + name, args=args, boxes=boxes, exit_code=exit_code,
                setup=prepare(*steps, msiexec_recorded()),
                check=verify(no_calls, product(*after)))


NO_PACKAGE = [
    _no_package("only-in-media-root", [package(OLD, "velmarix-x64.msi")]),
    _no_package("only-in-dot-folder", [package(OLD, ".hidden\\velmarix-x64.msi")]),
    _no_package("two-levels-down", [package(OLD, "x64\\deeper\\velmarix-x64.msi")]),
    # A 64-bit system takes only the x64 build.
    _no_package("only-win32-build", [package(OLD, "win32\\velmarix-win32.msi", arch="x86")]),
    # Installed: the version check reports the missing package, even when silent.
    _no_package("installed-silent", [installed(OLD)], args="-silent", boxes=(step_error(139),),
                after=(INSTALLED, OLD)),
    _no_package("installed", [installed(OLD)], after=(INSTALLED, OLD)),
]


def _temp(name, args="", boxes=(install_question(), step_error(144), failure(ERROR_ENVVAR_NOT_FOUND)), **kw):
    return Case("plugin/temp/" + name, args=args, boxes=boxes, exit_code=ERROR_ENVVAR_NOT_FOUND,
                setup=prepare(package(OLD), msiexec_recorded()),
                check=verify(no_calls, product(UNKNOWN)), **kw)


TEMP_VARIABLE = [
    _temp("unset", unset=("TMP",)),
    _temp("unset-with-temp-set", unset=("TMP",), env={"TEMP": TEMP}),
    _temp("empty", env={"TMP": ""}),  # an empty TMP is as good as none
    _temp("unset-silent", args="-silent", boxes=(), unset=("TMP",)),
]


def _failed(name, *args, **kw):
    return fails("plugin/failure/" + name, *args, **kw)


FAILURE = [
    # The real msiexec refuses a file that is no package; Wine's leaves its log
    # empty, and a log with nothing in it is not named.
    _failed("not-a-package", [not_a_package(), msiexec_recorded()],
            (install_question(), failure(WINE_PACKAGE_NOT_OPENED)), WINE_PACKAGE_NOT_OPENED),
    _failed("not-a-package-silent", [not_a_package(), msiexec_recorded()], (), WINE_PACKAGE_NOT_OPENED,
            args="-silent"),
    # The user's own log is not the program's: no log line.
    _failed("not-a-package-user-log", [not_a_package(), msiexec_recorded()],
            (install_question(), failure(WINE_PACKAGE_NOT_OPENED)), WINE_PACKAGE_NOT_OPENED,
            call=Call(" /qb /L*v %s " % USER_LOG, log=False), args='-VelmarArgs "/L*v %s"' % USER_LOG,
            extra_checks=(user_log_written,)),
    # msiexec fails before writing its log: no log line.
    _failed("msiexec-1603-no-log", [package(OLD), msiexec_recorded(ERROR_INSTALL_FAILURE)],
            (install_question(), failure(ERROR_INSTALL_FAILURE)), ERROR_INSTALL_FAILURE),
    # msiexec wrote its log, then failed: the box names the very log it was told to write.
    _failed("msiexec-1603-log-written", [package(OLD), msiexec_recorded(ERROR_INSTALL_FAILURE)],
            (install_question(), failure_with_log(ERROR_INSTALL_FAILURE)), ERROR_INSTALL_FAILURE,
            env={"ELDORIS_WRITE_LOG": "1"}, extra_checks=(box_names_the_log,)),
    # Cancelled in the installer's window: 1602 and no box.
    _failed("msiexec-1602-cancelled", [package(OLD), msiexec_recorded(ERROR_INSTALL_USEREXIT)],
            (install_question(),), ERROR_INSTALL_USEREXIT),
    # msiexec.exe cannot be started: the Windows error code of the start.
    Case("plugin/failure/msiexec-not-startable", boxes=(install_question(), failure(ERROR_BAD_EXE_FORMAT)),
         exit_code=ERROR_BAD_EXE_FORMAT, setup=prepare(package(OLD), msiexec_unstartable),
         check=verify(product(UNKNOWN), marker(False))),
]


def _source_hash(name, windows_version, present_after):
    return Case("plugin/source-hash/" + name, args="-silent", exit_code=0, windows_version=windows_version,
                setup=prepare(package(OLD), source_hash_file, msiexec_recorded(0)),
                check=verify(calls(FRESH), source_hash(present_after)))


SOURCE_RECORDS = [
    # Before msiexec starts, the product's source list names the package about
    # to run: the product was installed from plugin-x64-2.0.9.msi (see
    # packages.PackageCache), and msiexec itself only records its command line here.
    Case("plugin/source-list/package-name", args="-silent -reinstall", exit_code=0,
         setup=prepare(installed(OLD), package(OLD), msiexec_recorded(0)),
         check=verify(calls(REINSTALL_CALL), source_package_name("velmarix-x64.msi"))),
    # The cached source hash goes on Windows 5.2 only.
    _source_hash("removed-on-windows-2003", "win2003", False),
    _source_hash("kept-on-windows-xp", "winxp", True),
    _source_hash("kept-on-vista", "vista", True),
]

CASES = FRESH_INSTALL + SAME_VERSION + FEATURE_ABSENT + UPGRADE + OLDER_PACKAGE + NO_PACKAGE + TEMP_VARIABLE \
    + FAILURE + SOURCE_RECORDS
