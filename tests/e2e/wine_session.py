"""A throw-away Wine world for end-to-end runs: Xvfb display, 64-bit prefix,
registry and Windows Installer helpers, and the boxbot driver."""

import datetime
import json
import os
import shutil
import subprocess
import tempfile
import threading
import time
from dataclasses import dataclass
from pathlib import Path
from typing import Optional

PLUGIN_PRODUCT_CODE = "{5B1E7C42-9D03-4F6A-8E21-C7A4D0B96F35}"
PLUGIN_FEATURE = "ORVELIX"
RESTART_MARKER_KEY = r"HKCU\Software\NeedBstrReboot"
# A forced restart is wineboot ending every program of the world. While one
# starts, a Windows process is still named after Wine's loader.
RESTARTING = {"wineboot.exe"}
STARTING = {"wine", "wine64", "wine-preloader", "wine64-preloader"}
# Only a hang exceeds these: each waits for something that does come.
HANG_GUARD = 120


def win_path(path):
    """Unix path as Wine sees it through drive Z:."""
    return "Z:" + str(Path(path).resolve()).replace("/", "\\")


@dataclass
class BoxbotRun:
    """One boxbot job on its way: its files, its process and its deadline."""
    result: Path
    marker: Path  # RESULT.shot: boxbot waits before a box while it exists
    stderr: Path
    deadline: float
    shot_dir: Optional[str] = None
    shot_name: str = "box"
    proc: Optional[subprocess.Popen] = None

    def wait_for_hold(self, timeout=120):
        """True once the job waits before a box listed under 'shot' (its
        program stays at that box until finish_drive goes on)."""
        deadline = time.monotonic() + timeout
        while time.monotonic() < deadline and self.proc.poll() is None:
            if self.marker.exists() and self.marker.read_text().endswith("\n"):
                return True
            time.sleep(0.05)
        return False


class WineError(RuntimeError):
    pass


# Wine's own tools (reg, regedit, msiexec, wineboot) and the 64-bit helpers
# (boxbot, recorder, msistate) run through the 64-bit loader: natively, even
# where 32-bit code is emulated, and never reaching a stand-in put into
# syswow64. The programs under test are 32-bit: plain "wine".
WINE64 = "/usr/lib/wine/wine64" if os.path.exists("/usr/lib/wine/wine64") else "wine64"


def check_host():
    """Fails early, with the remedy, where 32-bit Wine cannot start."""
    for tool in ("wine", "wineserver", "Xvfb", "import", "wixl"):
        if shutil.which(tool) is None:
            raise WineError("%s is missing: run scripts/setup.sh as root" % tool)
    proc = subprocess.run(["/usr/lib/wine/wine", "--version"], capture_output=True)
    if proc.returncode != 0:
        raise WineError("the 32-bit Wine loader does not run (%s): run scripts/setup.sh "
                        "as root" % proc.stderr.decode(errors="replace").strip())


def _copy_tree(source, destination):
    # cp copies the prefix's 1.3 GB several times faster than shutil.copytree.
    subprocess.run(["cp", "-a", "--reflink=auto", str(source), str(destination)], check=True,
                   stdin=subprocess.DEVNULL, capture_output=True, timeout=300)


class PrefixTemplate:
    """The first world's fresh prefix, copied for the others: a copy takes a
    second, wineboot a quarter of a minute of emulated work."""

    def __init__(self, folder):
        self._path = Path(folder) / "prefix"
        self._lock = threading.Lock()
        self._claimed = False
        self._settled = threading.Event()

    def copy_to(self, prefix):
        """True once prefix is a copy of the template; False for the first
        caller, which makes the template (offer), and when making it failed."""
        with self._lock:
            first, self._claimed = not self._claimed, True
        if first:
            return False
        self._settled.wait()
        if not self._path.exists():
            return False
        _copy_tree(self._path, prefix)
        return True

    def offer(self, prefix):
        """Makes the template from a fresh prefix whose server has ended."""
        try:
            _copy_tree(prefix, self._path)
        finally:
            self._settled.set()

    def give_up(self):
        """The first world could not make its prefix: the others make their own."""
        self._settled.set()


class WineSession:
    def __init__(self, keep=False, log=print, tools=None, template=None):
        """tools: the build folder that holds worldstate.exe, for reset() and
        the world's state; template: a PrefixTemplate shared with other worlds."""
        self.keep = keep
        self.log = log
        self.tools = Path(tools) if tools else None
        self.template = template
        self.root = Path(tempfile.mkdtemp(prefix="eldoris-e2e-"))
        self.prefix = self.root / "prefix"
        self.work = self.root / "work"
        self.work.mkdir()
        self.xvfb = None
        self.display = None
        self.env = None

    # --- lifecycle -------------------------------------------------------

    def __enter__(self):
        try:
            self._start_display()
            self._create_prefix()
        except BaseException:
            self.close()
            raise
        return self

    def __exit__(self, *exc):
        self.close()

    def _start_display(self):
        # -displayfd lets Xvfb pick a free display number and report it.
        read_fd, write_fd = os.pipe()
        self.xvfb = subprocess.Popen(
            ["Xvfb", "-displayfd", str(write_fd), "-screen", "0", "1280x1024x24", "-nolisten", "tcp"],
            pass_fds=(write_fd,), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        os.close(write_fd)
        with os.fdopen(read_fd) as f:
            number = f.readline().strip()
        if not number:
            raise WineError("Xvfb did not start")
        self.display = ":" + number

    def _create_prefix(self):
        env = {k: v for k, v in os.environ.items() if k != "TZ"}  # Wine would pass TZ on to Windows
        env.update(WINEPREFIX=str(self.prefix), WINEARCH="win64", WINEDEBUG="-all",
                   DISPLAY=self.display,
                   # no Mono/Gecko install prompts: nothing can be downloaded here
                   WINEDLLOVERRIDES="mscoree,mshtml=")
        self.env = env
        if self.template is None or not self.template.copy_to(self.prefix):
            try:
                self.run([WINE64, "wineboot", "-i"], timeout=600)
                # Without a window manager Wine holds every box ~2 s unless windows are unmanaged.
                self.reg_add(r"HKCU\Software\Wine\X11 Driver", "Managed", "N")
                # wineboot's server stays up with the services: stop it, which
                # saves the registry (and "-p" below only applies to a server it starts).
                self.run(["wineserver", "-k"], timeout=60, check=False)
                self.run(["wineserver", "-w"], timeout=60)
            except BaseException:
                if self.template is not None:
                    self.template.give_up()
                raise
            if self.template is not None:
                self.template.offer(self.prefix)
        # Keep one server for the whole session, so each case starts quickly.
        self.run(["wineserver", "-p"], timeout=60)

    def close(self):
        if self.env is not None and self.prefix.exists():
            try:
                subprocess.run(["wineserver", "-k"], env=self.env, stdin=subprocess.DEVNULL,
                               stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=60)
            except subprocess.TimeoutExpired:
                self.log("wineserver -k did not finish for %s" % self.prefix)
        if self.xvfb is not None:
            self.xvfb.terminate()
            try:
                self.xvfb.wait(timeout=10)
            except subprocess.TimeoutExpired:
                self.xvfb.kill()
                self.xvfb.wait()
            self.xvfb = None
        if self.keep:
            self.log("kept %s" % self.root)
        else:
            shutil.rmtree(self.root, ignore_errors=True)

    # --- running ---------------------------------------------------------

    def run(self, args, timeout=120, check=True, extra_env=None):
        """Runs a command; its output goes through files, not pipes, because
        Wine's background processes (wineserver, services) inherit them and
        would keep a pipe open long after the command has ended."""
        with tempfile.TemporaryFile(dir=self.work) as out, tempfile.TemporaryFile(dir=self.work) as err:
            env = dict(self.env, **(extra_env or {}))
            proc = subprocess.run(args, env=env, stdin=subprocess.DEVNULL, stdout=out, stderr=err,
                                  timeout=timeout)
            out.seek(0)
            err.seek(0)
            proc.stdout, proc.stderr = out.read(), err.read()
        if check and proc.returncode != 0:
            raise WineError("%s exited %d: %s" % (" ".join(map(str, args)), proc.returncode,
                                                   proc.stderr.decode(errors="replace")[-2000:]))
        return proc

    def wine(self, *args, timeout=120, check=True, extra_env=None):
        """Runs a Windows program through the 32-bit loader (as the product runs)."""
        return self.run(["wine"] + [str(a) for a in args], timeout=timeout, check=check, extra_env=extra_env)

    def wine_tool(self, *args, timeout=120, check=True):
        """Runs one of Wine's own tools through the 64-bit loader."""
        return self.run([WINE64] + [str(a) for a in args], timeout=timeout, check=check)

    @property
    def drive_c(self):
        return self.prefix / "drive_c"

    @property
    def syswow64(self):
        return self.drive_c / "windows" / "syswow64"

    def screenshot(self, path, crop=None):
        """The whole screen, or only the rectangle crop ('WxH+X+Y')."""
        cut = ["-crop", crop, "+repage"] if crop else []
        subprocess.run(["import", "-display", self.display, "-window", "root"] + cut + [str(path)],
                       check=True, capture_output=True, timeout=60)

    def drive(self, boxbot, job, timeout, name="job"):
        """Runs one boxbot job and returns its JSON result. job maps the keys of
        boxbot.cpp to a value or a list of values; with '_shot_dir' in it, the
        boxes listed under 'shot' are photographed there as '<_shot_name>-K.png',
        and a dialog's 'shot:NAME' as '<_shot_name>-NAME.png' (the dialog alone).
        Jobs of different names may run at once."""
        return self.finish_drive(self.start_drive(boxbot, job, timeout, name))

    def start_drive(self, boxbot, job, timeout, name="job"):
        """Starts a boxbot job; finish_drive waits for it and returns its result."""
        job = dict(job)
        result = self.work / ("%s-result.json" % name)
        run = BoxbotRun(result=result, marker=Path(str(result) + ".shot"),
                        stderr=self.work / ("%s.stderr" % name), deadline=time.monotonic() + timeout + 60,
                        shot_dir=job.pop("_shot_dir", None), shot_name=job.pop("_shot_name", "box"))
        job_file = self.work / ("%s.txt" % name)
        for f in (run.result, run.marker):
            if f.exists():
                f.unlink()
        lines = []
        for key, value in job.items():
            for v in value if isinstance(value, (list, tuple)) else [value]:
                v = str(v)
                if "\n" in v or "\r" in v:
                    raise ValueError("job values are single lines: %r" % v)
                lines.append("%s=%s" % (key, v))
        lines.append("timeout=%d" % timeout)
        job_file.write_text("\n".join(lines) + "\n", encoding="utf-8")
        with open(run.stderr, "wb") as err:
            run.proc = subprocess.Popen([WINE64, str(boxbot), win_path(job_file), win_path(run.result)],
                                        env=self.env, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                                        stderr=err)
        return run

    def finish_drive(self, run):
        """boxbot's result. Its status "running" means that boxbot was ended
        before its program, as a restart ends every program of the world: the
        boxes are those answered until then, and the world has settled (see
        settle) before this returns."""
        proc, marker = run.proc, run.marker
        while proc.poll() is None:
            text = marker.read_text() if marker.exists() else ""
            if text.endswith("\n"):  # written in full
                # "K" for a box; "NAME WxH+X+Y" for a dialog, cut to its rectangle
                label, _, crop = text.strip().partition(" ")
                if run.shot_dir:
                    self.screenshot(Path(run.shot_dir) / ("%s-%s.png" % (run.shot_name, label)), crop or None)
                marker.unlink()
            if time.monotonic() > run.deadline:
                proc.kill()
                proc.wait()
                raise WineError("boxbot did not finish")
            time.sleep(0.05)
        stderr = run.stderr.read_text(errors="replace")
        if not run.result.exists():
            raise WineError("boxbot wrote no result (exit %d): %s" % (proc.returncode, stderr[-2000:]))
        result = json.loads(run.result.read_text(encoding="utf-8"))
        if result["status"] == "running":
            self.settle()
        result["stderr"] = stderr  # also the program's: Wine's traces, with WINEDEBUG set for it
        return result

    # --- registry --------------------------------------------------------

    @staticmethod
    def _view(view):
        return ["/reg:%d" % view] if view else []

    def reg_add(self, key, name=None, data="", kind="REG_SZ", view=None):
        args = ["reg", "add", key] + (["/v", name, "/t", kind, "/d", data] if name else []) + ["/f"]
        self.wine_tool(*args, *self._view(view))

    def reg_query(self, key, name, view=None):
        """Value data as text, or None when the value is absent."""
        proc = self.wine_tool("reg", "query", key, "/v", name, *self._view(view), check=False)
        if proc.returncode != 0:
            return None
        for line in proc.stdout.decode("utf-8", errors="replace").splitlines():
            parts = line.strip().split(None, 2)
            if len(parts) >= 2 and parts[0].lower() == name.lower() and parts[1].startswith("REG_"):
                return parts[2] if len(parts) == 3 else ""
        return None

    def reset(self, windows_version=None):
        """Waits for a restart that the last case left under way, then removes in one process start what one case may leave behind and the
        next must not see: the plug-in product, the restart marker and Wine's
        Windows version, which is then set if windows_version names one
        ('nt40', 'win2k', 'winxp', 'win2003', 'vista'); puts the real
        msiexec.exe back and removes the program's own logs from Wine's TMP."""
        self.settle()
        args = ["reset", PLUGIN_PRODUCT_CODE] + ([windows_version] if windows_version else [])
        code = self._worldstate(*args).returncode
        if code != 0:
            raise WineError("worldstate reset failed with %d (low 8 bits)" % code)
        self.restore_msiexec()
        # The program's own logs of earlier cases that left Wine's TMP alone.
        for log in self.drive_c.glob("users/*/Temp/eldoris-setup_*.log"):
            log.unlink()

    def world_state(self, product_code=PLUGIN_PRODUCT_CODE, feature=PLUGIN_FEATURE):
        """What the Windows Installer knows of the product and whether the
        restart marker is there: {'state': int, 'feature': int, 'version': str,
        'marker': bool} (see worldstate.cpp)."""
        out = self.work / "worldstate.txt"
        out.unlink(missing_ok=True)
        self._worldstate("query", product_code, feature, win_path(out), check=True)
        values = dict(line.split("=", 1) for line in out.read_text(encoding="utf-8").splitlines())
        return {"state": int(values["state"]), "feature": int(values["feature"]),
                "version": values["version"], "marker": values["marker"] == "1"}

    def _worldstate(self, *args, check=False):
        if self.tools is None:
            raise WineError("this session was started without the helpers' folder")
        return self.run([WINE64, self.tools / "worldstate.exe", *args], timeout=300, check=check)

    def restart_marker_present(self):
        return self.world_state()["marker"]

    def create_restart_marker(self):
        self.reg_add(RESTART_MARKER_KEY, view=32)

    def backdate_user_key(self, key, when):
        """Sets the last write time that Wine keeps for HKCU\\<key> (the
        "#time=" line under the key in user.reg, a FILETIME in hexadecimal) to
        `when`, a naive UTC datetime: with the server stopped, which saves the
        registry, and a persistent one started again."""
        self.run(["wineserver", "-k"], timeout=60, check=False)
        self.run(["wineserver", "-w"], timeout=60)
        path = self.prefix / "user.reg"
        lines = path.read_text(encoding="latin-1").split("\n")
        header = "[%s]" % key.replace("\\", "\\\\")
        at = next(i for i, line in enumerate(lines) if line.split(" ")[0] == header)
        filetime = (when - datetime.datetime(1601, 1, 1)) // datetime.timedelta(microseconds=1) * 10
        lines[at + 1] = "#time=%x" % filetime
        path.write_text("\n".join(lines), encoding="latin-1")
        self.run(["wineserver", "-p"], timeout=60)

    # --- Windows Installer -----------------------------------------------

    def msiexec(self, *args, timeout=300):
        """Runs the prefix's real (64-bit) msiexec. Returns the Unix exit status,
        which keeps only the low 8 bits of the Windows exit code (1605 gives 69):
        0 still means success; exact codes come from boxbot or the recorder."""
        return self.wine_tool("msiexec", *args, timeout=timeout, check=False).returncode

    def install_package(self, msi_path, *properties):
        return self.msiexec("/i", win_path(msi_path), "/qn", *properties)

    def uninstall_product(self, product_code=PLUGIN_PRODUCT_CODE):
        return self.msiexec("/x", product_code, "/qn")

    def product_state(self):
        """{'state': int, 'feature': int, 'version': str} of the plug-in product."""
        state = self.world_state()
        del state["marker"]
        return state

    # --- stand-ins -------------------------------------------------------

    REAL_MSIEXEC_DIR = "eldoris-real"

    def put_recorder_as_msiexec(self, recorder):
        """Replaces the 32-bit system msiexec.exe with the recorder; the real one
        is kept in syswow64\\eldoris-real for restore_msiexec."""
        real_dir = self.syswow64 / self.REAL_MSIEXEC_DIR
        real = real_dir / "msiexec.exe"
        if not real.exists():
            real_dir.mkdir(exist_ok=True)
            shutil.copy2(self.syswow64 / "msiexec.exe", real)
        shutil.copy2(recorder, self.syswow64 / "msiexec.exe")

    def restore_msiexec(self):
        real = self.syswow64 / self.REAL_MSIEXEC_DIR / "msiexec.exe"
        if real.exists():
            shutil.copy2(real, self.syswow64 / "msiexec.exe")

    def put_unstartable_msiexec(self, recorder):
        """Puts a file that is no program in place of the 32-bit system
        msiexec.exe (the real one is kept as by put_recorder_as_msiexec), so
        that starting it fails with ERROR_BAD_EXE_FORMAT (193)."""
        self.put_recorder_as_msiexec(recorder)
        (self.syswow64 / "msiexec.exe").write_bytes(b"not a program\r\n")

    def forget_cached_packages(self):
        """Deletes the Windows Installer's cached copies of installed packages.
        Wine's MsiOpenPackageExW ignores MSIOPENPACKAGEFLAGS_IGNOREMACHINESTATE:
        for an installed product it opens the cached copy and fails with
        ERROR_PRODUCT_VERSION (1638) when the given package has another version.
        Without the cache it opens the given package, as Windows does."""
        for cached in (self.drive_c / "windows" / "Installer").glob("*.msi"):
            cached.unlink()

    def file(self, windows_path):
        """The prefix's file for a Windows path on drive C:, each name found
        in any letter case where it is not there as spelled, as Windows finds it."""
        drive, _, rest = windows_path.partition(":\\")
        if drive.upper() != "C":
            raise ValueError("not a path on drive C: %r" % windows_path)
        path = self.drive_c
        for part in [part for part in rest.split("\\") if part]:
            exact = path / part
            if not exact.exists() and path.is_dir():
                exact = next((p for p in path.iterdir() if p.name.casefold() == part.casefold()), exact)
            path = exact
        return path

    # --- restart ---------------------------------------------------------

    def _world_processes(self):
        """The names of this world's running processes, as the system shows
        them (a zombie has no environment left, and is not counted)."""
        mine = ("WINEPREFIX=%s" % self.prefix).encode()
        names = []
        for pid in filter(str.isdigit, os.listdir("/proc")):
            try:
                environment = Path("/proc", pid, "environ").read_bytes().split(b"\0")
                name = Path("/proc", pid, "comm").read_text().strip()
            except OSError:  # ended meanwhile, or not ours to read
                continue
            if mine in environment:
                names.append(name)
        return names

    def settle(self):
        """Waits until no restart is under way in this world: ExitWindowsEx
        has started wineboot before it returns, and wineboot ends only after
        it has ended every other program. True if one was."""
        deadline = time.monotonic() + HANG_GUARD
        seen = False
        while any(name in RESTARTING | STARTING for name in self._world_processes()):
            seen = True
            if time.monotonic() > deadline:
                raise WineError("a restart of the world did not end")
            time.sleep(0.05)
        return seen

    @staticmethod
    def _once_ready(proc, ready, failure, stop):
        """proc once it has made the file ready; stopped, and failure raised,
        if it ends first or does not make it in time."""
        deadline = time.monotonic() + HANG_GUARD
        while not ready.exists():
            if proc.poll() is not None or time.monotonic() > deadline:
                stop(proc)
                raise WineError(failure)
            time.sleep(0.05)
        return proc

    def start_bystander(self):
        """Starts a Windows program that runs until it is asked to end (cmd.exe
        waiting at "pause"), to show whether a system restart ended the
        prefix's programs. Returns its Popen once it runs; bystander_survived
        tells whether it did."""
        ready, alive = self.work / "bystander.ready", self.work / "bystander.alive"
        for f in (ready, alive):
            f.unlink(missing_ok=True)
        command = "echo ready>%s& pause& echo alive>%s" % (win_path(ready), win_path(alive))
        proc = subprocess.Popen([WINE64, "cmd", "/c", command], env=self.env, stdin=subprocess.PIPE,
                                stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        return self._once_ready(proc, ready, "the bystander program did not start", self.stop_bystander)

    def hold_installer(self, milliseconds):
        """Holds Global\\_MSIExecute for that long, as another installation
        would (worldstate's hold), from the moment this returns its Popen."""
        ready = self.work / "installer.held"
        ready.unlink(missing_ok=True)
        proc = subprocess.Popen([WINE64, self.tools / "worldstate.exe", "hold", str(milliseconds), win_path(ready)],
                                env=self.env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        return self._once_ready(proc, ready, "the Windows Installer's mutex could not be held",
                                lambda p: (p.kill(), p.wait()))

    def bystander_survived(self, bystander):
        """Whether the bystander outlived everything the run started: once no
        restart is under way, it is asked to end, and only a program that
        still runs answers by writing its file."""
        self.settle()
        try:
            bystander.stdin.write(b"\r\n")
            bystander.stdin.close()
        except OSError:  # its end of the pipe is gone with it
            pass
        try:
            bystander.wait(timeout=HANG_GUARD)
        except subprocess.TimeoutExpired:
            raise WineError("the bystander did not end when asked") from None
        return (self.work / "bystander.alive").exists()

    @staticmethod
    def stop_bystander(proc):
        if proc.poll() is None:
            proc.kill()
        proc.wait()
        if not proc.stdin.closed:
            proc.stdin.close()
