"""Cases of bad input, faults and hostile surroundings: damaged packages and
look-alikes, odd TMP folders, paths with spaces and Cyrillic letters, a deep
current directory, unusual installer exit codes, a restart marker that cannot
be deleted, a second instance, and a DLL planted beside the program. Each
states the boxes, the exit code, the command lines that ran and the state
afterwards. (A crashing provider setup is among the provider cases.)"""

import shutil
import subprocess
import threading
import time

from case_model import Case, compare
from plugin_run import (AFTER_AN_EARLIER_RUN, FRESH_VERSION, INSTALLED, LOCAL, SUCCESS, TEMP,
                        UNKNOWN, WINE_PACKAGE_NOT_OPENED, X64, Call, beside_taken_names, calls, earlier_run, failure,
                        fails, install_question, installer_busy, installs, logged, marker, msiexec_recorded,
                        names_taken, not_a_package, package, prepare, product, reinstall_question,
                        restart_question, run_logs, verify)
from wine_session import RESTART_MARKER_KEY

VERSION = FRESH_VERSION
FRESH = Call(" /qb")


def _real_msiexec_fails(name, steps, code, boxes=None, call=FRESH, **kw):
    """The product is not installed; the real msiexec runs and fails with code."""
    boxes = boxes if boxes is not None else (install_question(), failure(code))
    return fails("faults/" + name, [*steps, msiexec_recorded()], boxes, code, call=call, **kw)


def truncated_package(where=X64):
    """The package cut to its first half, as by an interrupted copy."""
    def step(run):
        package(VERSION, where)(run)
        target = run.media.joinpath(*where.split("\\"))
        data = target.read_bytes()
        target.write_bytes(data[:len(data) // 2])
    return step


def folder_named_like_package(where=X64):
    def step(run):
        run.media.joinpath(*where.split("\\")).mkdir(parents=True)
    return step


ERROR_INSTALL_ALREADY_RUNNING = 1618
ERROR_INSTALL_USEREXIT = 1602
ERROR_INSTALL_PACKAGE_INVALID = 1620
ERROR_INSTALL_LOG_FAILURE = 1622
STRAY = "0-notes\\velmarix-x64-readme.txt"

# Discovery takes any entry that matches the mask; msiexec then refuses it.
# Wine's msiexec writes nothing into the log of a package it refuses, so the
# failure box names no log (Windows' writes one, and the box names it).
DAMAGED = [
    _real_msiexec_fails("package/truncated", [truncated_package()], WINE_PACKAGE_NOT_OPENED),
    # The architecture mask has no extension: a text file in a folder listed
    # before the package's is taken for the package (Wine lists by name).
    _real_msiexec_fails("package/text-file-listed-first", [package(VERSION), not_a_package(STRAY)],
                        WINE_PACKAGE_NOT_OPENED, call=Call(" /qb", where=STRAY)),
    _real_msiexec_fails("package/folder-matching-the-mask", [folder_named_like_package()],
                        WINE_PACKAGE_NOT_OPENED),
]

# --- TMP and paths ---------------------------------------------------------

ODD_TEMP = "C:\\e2e\\временные файлы (tmp)"
MISSING_TEMP = "C:\\e2e\\no such folder"
ODD_MEDIA = "C:\\e2e\\Носитель плагина 2.0"
ODD_PROGRAM = "C:\\e2e\\Загрузки пользователя\\setup files"
# A current directory of 250 characters, near the limit of what Windows (and
# Wine, which cannot start a program in a deeper one) allows; the package's
# path is longer than MAX_PATH.
DEEP_MEDIA = ("C:\\e2e\\" + "\\".join("folder-%02d-of-a-deep-media-tree" % i for i in range(8)))[:250]


def refusing_once_the_run_logs(run):
    """TEMP refuses new names (chattr +i; a name there still reads as taken)
    from when the run has made its own log there, while another installation
    keeps it waiting before msiexec; then that installation ends."""
    temp = run.session.file(TEMP)

    def refuse():
        deadline = time.monotonic() + 60
        while not run_logs(run) and time.monotonic() < deadline:
            time.sleep(0.05)
        subprocess.run(["chattr", "+i", str(temp)], check=True)
        run.busy.kill()

    threading.Thread(target=refuse, daemon=True).start()
    run.undo.append(lambda: subprocess.run(["chattr", "-i", str(temp)], check=True))


def folder(windows_path):
    def step(run):
        run.session.file(windows_path).mkdir(parents=True, exist_ok=True)
    return step


PATHS = [
    # The run's own log, and the installer's, are created only under a name
    # that nothing has: files and links that another user of TMP planted are
    # never opened.
    Case("faults/temp/run-log-names-taken", args="-silent", exit_code=0,
         setup=prepare(package(VERSION), msiexec_recorded(0), names_taken("eldoris-setup")),
         check=verify(calls(FRESH), beside_taken_names("eldoris-setup"))),
    Case("faults/temp/installer-log-names-taken", args="-silent", exit_code=0,
         setup=prepare(package(VERSION), msiexec_recorded(), names_taken("velmarix-x64.msi")),
         check=verify(calls(Call(" /qb", suffix="-3")), beside_taken_names("velmarix-x64.msi"),
                      product(INSTALLED, VERSION, LOCAL))),
    installs("faults/temp/spaces-and-cyrillic", steps=(folder(ODD_TEMP), package(VERSION)),
             call=Call(" /qb", temp=ODD_TEMP), env={"TMP": ODD_TEMP}),
    # No log can be made: msiexec is not started (1622).
    fails("faults/temp/missing-folder", [package(VERSION), msiexec_recorded()],
          (install_question(), failure(ERROR_INSTALL_LOG_FAILURE)), ERROR_INSTALL_LOG_FAILURE, call=None,
          env={"TMP": MISSING_TEMP}),
    # Names taken, the next one refused (as one pending deletion is): no name
    # that the program did not make is handed on.
    Case("faults/temp/installer-log-names-taken-then-refused", args="-silent", exit_code=ERROR_INSTALL_LOG_FAILURE,
         unseen=True, windows_version="win2k",
         setup=prepare(package(VERSION), msiexec_recorded(), names_taken("velmarix-x64.msi"), installer_busy(60000),
                       refusing_once_the_run_logs),
         check=verify(calls(), product(UNKNOWN), logged(
             "installer log: %s\\velmarix-x64.msi_" % TEMP, "exit code 1622: the program's own: a log could not"))),
    installs("faults/paths/spaces-and-cyrillic", call=Call(" /qb", media=ODD_MEDIA), media=ODD_MEDIA,
             program_dir=ODD_PROGRAM),
    # Wine's msiexec never returns from a package path past MAX_PATH (with /qn
    # too); the stand-in shows what the program asked of it.
    Case("faults/paths/current-directory-of-250-characters", boxes=(install_question(), SUCCESS), exit_code=0,
         media=DEEP_MEDIA, setup=prepare(package(VERSION), msiexec_recorded(0)),
         check=verify(calls(Call(" /qb", media=DEEP_MEDIA)), marker(False))),
]

# --- exit codes --------------------------------------------------------------


def _installer_exits(code, name=None):
    return fails("faults/msiexec-exit/%s" % (name or code), [package(VERSION), msiexec_recorded(code)],
                 (install_question(), failure(code)), code)


EXIT_CODES = [
    _installer_exits(ERROR_INSTALL_ALREADY_RUNNING),
    _installer_exits(ERROR_INSTALL_PACKAGE_INVALID),
    # Shown and returned unsigned, all 32 bits.
    _installer_exits(0xFFFFFFFF, name="all-bits-set"),
]

# --- the restart marker ---------------------------------------------------------


def marker_with_subkey(run):
    """A marker that cannot be deleted: a key with a subkey."""
    run.session.reg_add(RESTART_MARKER_KEY + "\\held", view=32)


ASKED_AGAIN = (install_question(), restart_question("no"))

MARKER = [
    # The marker stays, so every successful run offers the restart again.
    Case("faults/marker/with-subkey-offered-every-run", boxes=ASKED_AGAIN, exit_code=0,
         setup=prepare(package(VERSION), msiexec_recorded(0), marker_with_subkey,
                       earlier_run("", ASKED_AGAIN, 0, FRESH)),
         check=verify(calls(Call(" /qb", suffix=AFTER_AN_EARLIER_RUN)), marker(True))),
]

# --- a second instance ------------------------------------------------------------

WAITING = "another run of the program is in progress (it holds "

# Another run started first on the same media, left at its question: it
# holds nothing then. Answered afterwards, it finds the version the case's own
# run installed, and is asked whether to reinstall it (No).
FIRST_ASKED = Case("first instance", boxes=(install_question(), reinstall_question("no")),
                   exit_code=ERROR_INSTALL_USEREXIT)


def first_instance_asking(run):
    """Another instance started first on the same media, held at its first question."""
    job = dict(run.job(FIRST_ASKED), shot=1)  # held before its first box
    run.first = run.session.start_drive(run.helper("boxbot.exe"), job, FIRST_ASKED.timeout, name="first")
    if not run.first.wait_for_hold():
        run.notes.append("the first instance never showed its question")
    run.planted = set(run_logs(run))  # the first instance's own log


def first_instance_answered(run):
    """The first instance, answered once the case's own run has ended."""
    return ["first instance: " + p for p in compare(FIRST_ASKED, run.session.finish_drive(run.first))]


# A silent run started first, holding the run lock while another installation
# keeps the Windows Installer busy (Windows 2000's mutex).
FIRST_SILENT = Case("first run", args="-silent", unseen=True)


def first_run_holding_the_lock(run):
    run.first = run.session.start_drive(run.helper("boxbot.exe"), run.job(FIRST_SILENT), FIRST_SILENT.timeout,
                                        name="first")
    deadline = time.monotonic() + 90
    while time.monotonic() < deadline and not logged("Windows Installer busy")(run) == []:
        time.sleep(0.1)
    run.planted = set(run_logs(run))  # the first run's own log
    if not run.planted:
        run.notes.append("the first run never waited for the Windows Installer")


def first_run_goes_on(run):
    """The other installation ends: the first run installs."""
    run.busy.kill()
    run.busy.wait()
    run.busy = None
    return ["first run: " + p for p in compare(FIRST_SILENT, run.session.finish_drive(run.first))]


SHARED_FOLDER = "C:\\e2e\\shared logs"
SHARED_LOG = SHARED_FOLDER + "\\run.log"
FIRST_WITH_THE_LOG = Case("first run", args='-silent -log "%s"' % SHARED_LOG, unseen=True)


def first_run_writing_the_log(run):
    """A first run with the same -log, held before msiexec by another
    installation (Windows 2000's mutex), its log open; an earlier run's log
    kept as run.lo_."""
    folder = run.session.file(SHARED_FOLDER)
    shutil.rmtree(folder, ignore_errors=True)
    folder.mkdir(parents=True)
    (folder / "run.lo_").write_text("the earliest run's log\n")
    run.first = run.session.start_drive(run.helper("boxbot.exe"), run.job(FIRST_WITH_THE_LOG),
                                        FIRST_WITH_THE_LOG.timeout, name="first")
    log, deadline = folder / "run.log", time.monotonic() + 90
    while time.monotonic() < deadline and not (log.exists() and b"Windows Installer busy" in log.read_bytes()):
        time.sleep(0.1)
    if not log.exists():
        run.notes.append("the first run never made its log")
    run.planted = {log}


def second_log_beside(run):
    """This run's log is beside the first's, says why, and ends with 1618;
    the first run's log and the earliest .lo_ are where they were."""
    folder = run.session.file(SHARED_FOLDER)
    beside = [p for p in folder.glob("run_*.log") if "velmarix" not in p.name]
    if len(beside) != 1:
        return ["logs beside run.log: %s" % [p.name for p in beside]]
    run.run_log = SHARED_FOLDER + "\\" + beside[0].name
    problems = logged("-log «%s»: %s holds the log of a run before this one: this log is beside it, " % (
        SHARED_LOG, SHARED_LOG), "exit code 1618: ")(run)
    first_log = (folder / "run.log").read_bytes()
    problems += [] if b"-msiwait" not in first_log else ["run.log holds the second run's lines"]
    problems += [] if (folder / "run.lo_").read_text() == "the earliest run's log\n" else ["run.lo_ was replaced"]
    run.busy.kill()  # the other installation ends: the first run goes on
    run.busy.wait()
    run.busy = None
    result = run.session.finish_drive(run.first)
    run.run_log = SHARED_LOG  # the first run's, for the checks that follow
    run.planted = set()
    return problems + ["first run: " + p for p in compare(FIRST_WITH_THE_LOG, result)]


SECOND_INSTANCE = [
    # A second run with the same -log while the first still writes its log:
    # the first run's log is never moved; the second writes beside it.
    Case("faults/second-run-with-the-same-log-writes-beside-the-first", args='-silent -msiwait 1 -log "%s"' % SHARED_LOG,
         exit_code=ERROR_INSTALL_ALREADY_RUNNING, unseen=True, windows_version="win2k",
         setup=prepare(package(VERSION), msiexec_recorded(), installer_busy(120000), first_run_writing_the_log),
         check=verify(second_log_beside, product(INSTALLED, VERSION, LOCAL))),
    # A box waiting for a person holds no lock: a silent run installs meanwhile.
    Case("faults/silent-run-installs-while-a-person-is-asked", args="-silent", exit_code=0,
         setup=prepare(package(VERSION), msiexec_recorded(), first_instance_asking),
         check=verify(logged("run lock taken: "), calls(FRESH), first_instance_answered,
                      product(INSTALLED, VERSION, LOCAL), marker(False))),
    # A person's run that meets the lock after its question: a box says why, 1618.
    Case("faults/person-meets-a-held-lock-after-the-question", windows_version="win2k",
         boxes=(install_question(), failure(ERROR_INSTALL_ALREADY_RUNNING)), exit_code=ERROR_INSTALL_ALREADY_RUNNING,
         setup=prepare(package(VERSION), msiexec_recorded(), installer_busy(120000), first_run_holding_the_lock),
         check=verify(logged(WAITING), first_run_goes_on, calls(Call(" /qn")), product(INSTALLED, VERSION, LOCAL))),
]

# --- a DLL planted beside the program ------------------------------------------------

DOWNLOADS = "C:\\e2e\\Downloads"
PLANTED_RECORD = "C:\\e2e\\planted-loads.txt"
# Wine prefers its built-in msi.dll to any file of that name; Windows loads the
# first file its search order finds. The override makes Wine do the same.
PLANTED_ENV = {"ELDORIS_PLANTED_RECORD": PLANTED_RECORD, "WINEDLLOVERRIDES": "msi=n,b"}


def planted_msi_dll(run):
    folder = run.session.file(DOWNLOADS)
    shutil.copy2(run.helper("planted_msi.dll"), folder / "msi.dll")
    shutil.copy2(run.helper("naive_loader.exe"), folder / "naive_loader.exe")
    run.session.file(PLANTED_RECORD).unlink(missing_ok=True)
    run.env.update(PLANTED_ENV)


def planted_loads(run):
    path = run.session.file(PLANTED_RECORD)
    return path.read_text(encoding="utf-8").splitlines() if path.exists() else []


def planted_dll_not_loaded(run):
    """The program did not load the planted msi.dll; the careless control,
    started from the same folder, does (else this case proves nothing)."""
    problems = ["the program loaded the planted DLL: %s" % line for line in planted_loads(run)]
    control = run.session.wine(run.session.file(DOWNLOADS) / "naive_loader.exe", check=False,
                               extra_env=PLANTED_ENV)
    loads = planted_loads(run)
    if control.returncode != 0 or not any(line.endswith("naive_loader.exe") for line in loads):
        problems.append("control: the careless loader did not load the planted DLL (exit %d, loads %s)"
                        % (control.returncode, loads))
    return problems


PLANTED_DLL = [
    Case("faults/planted-msi-dll-beside-the-program", args="-silent", exit_code=0, program_dir=DOWNLOADS,
         setup=prepare(package(VERSION), msiexec_recorded(0), planted_msi_dll),
         check=verify(planted_dll_not_loaded, calls(FRESH))),
]

# --- memory that runs out ------------------------------------------------------


def new_fails_with_14(run):
    """The program's memory failure handling, in a probe whose `new` fails:
    14, where the runtime's own ending would be 1359 (79 in the low 8 bits
    that wine passes on)."""
    code = run.session.wine(run.helper("oom_probe.exe"), check=False).returncode
    return [] if code == 14 else ["a failed new ended the probe with %d (low 8 bits), not 14" % code]


OUT_OF_MEMORY = [
    Case("faults/out-of-memory-ends-with-14", args="-silent -help", exit_code=0, unseen=True,
         check=new_fails_with_14),
]

CASES = DAMAGED + PATHS + EXIT_CODES + MARKER + SECOND_INSTANCE + PLANTED_DLL + OUT_OF_MEMORY
