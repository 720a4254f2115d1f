"""Configures and builds the Windows program the way a release is built, in
build directories of the tests' own, and reads the project's version."""

import os
import re
import shutil
import subprocess
from pathlib import Path

PROGRAM = "eldoris-setup.exe"
TOOLCHAIN = "cmake/mingw-w64-i686.cmake"
SIGNING_VARIABLES = ("ELDORIS_SIGN_CERT", "ELDORIS_SIGN_KEY")


class BuildError(Exception):
    pass


def project_version(source):
    """x.y.z from project(eldoris VERSION x.y.z ...) in CMakeLists.txt."""
    text = (Path(source) / "CMakeLists.txt").read_text(encoding="utf-8")
    match = re.search(r"project\(\s*eldoris\b[^)]*\bVERSION\s+(\d+)\.(\d+)\.(\d+)", text)
    if not match:
        raise BuildError("CMakeLists.txt has no project(eldoris VERSION x.y.z)")
    return tuple(int(part) for part in match.groups())


def _run(command, log, env=None, cwd=None):
    with open(log, "a", encoding="utf-8") as out:
        out.write("$ " + " ".join(map(str, command)) + "\n")
        out.flush()
        done = subprocess.run(command, stdout=out, stderr=subprocess.STDOUT, env=env, cwd=cwd)
    if done.returncode != 0:
        raise BuildError(f"{command[0]} {command[1]} failed (exit {done.returncode}), "
                         f"see {log}: {_last_error(log)}")


def _last_error(log):
    """The first compiler or CMake error, else the log's last line."""
    lines = Path(log).read_text(encoding="utf-8", errors="replace").splitlines()
    errors = [line for line in lines if "error:" in line.lower() or "CMake Error" in line]
    return (errors[:1] or lines[-1:] or [""])[0].strip()


def build_fresh(source, build_dir, log, signing=None):
    """Configures a new build directory and builds the program; signing is
    (certificate, key) or None for the default, unsigned build."""
    env = {k: v for k, v in os.environ.items() if k not in SIGNING_VARIABLES}
    if signing:
        env.update(zip(SIGNING_VARIABLES, map(str, signing)))
    _run(["cmake", "-S", source, "-B", build_dir, "--toolchain", TOOLCHAIN,
          "-DCMAKE_BUILD_TYPE=MinSizeRel"], log, env, cwd=source)
    _run(["cmake", "--build", build_dir, "--target", "eldoris-setup",
          "-j", str(os.cpu_count() or 2)], log, env)
    return Path(build_dir) / PROGRAM


def build_preset(source, log):
    """Brings the windows preset's build (build/windows) up to date."""
    build_dir = Path(source) / "build" / "windows"
    if not (build_dir / "CMakeCache.txt").exists():
        _run(["cmake", "--preset", "windows"], log, cwd=source)
    _run(["cmake", "--build", "--preset", "windows", "--target", "eldoris-setup",
          "-j", str(os.cpu_count() or 2)], log, cwd=source)
    return build_dir / PROGRAM


def copy_tree(source, destination):
    """The sources without builds or version control, for a build from another path."""
    root = Path(source).resolve()

    def skipped(directory, names):
        top = Path(directory).resolve() == root
        return [n for n in names if n == "__pycache__" or (top and n in ("build", ".git"))]

    shutil.copytree(root, destination, ignore=skipped, symlinks=True)
    return Path(destination)
