"""The benchmark's plug-in package at a realistic size: packages/plugin-large.wxs
with generated payload files (about 11 MiB in 31 files), built with wixl.

The content is deterministic: the same bytes on every machine and every run,
half pseudo-random and half repeated text, so that it compresses about 2:1 as
program files do (the installer's unpacking cost is then realistic too)."""

import hashlib
import re
import shutil
import subprocess
from pathlib import Path

TEMPLATE = Path(__file__).resolve().parent / "packages" / "plugin-large.wxs"
KIB = 1024
MIB = 1024 * KIB

# Sizes of the payload files named in the template (Source="payload/...").
SIZES = {
    "bin/eldoris-host.exe": 5 * MIB // 2,
    "bin/eldoris-plugin64.dll": 3 * MIB,
    "bin/eldoris-plugin32.dll": 5 * MIB // 2,
    "bin/eldoris-crypto.dll": 3 * MIB // 2,
    "bin/eldoris-ui.dll": 3 * MIB // 4,
    "manifest.json": 2 * KIB,
    "license.txt": 16 * KIB,
}
LOCALE_SIZE = 24 * KIB  # each locales/*.pak
CHUNK = 64 * KIB


def payload_names():
    return re.findall(r'Source="payload/([^"]+)"', TEMPLATE.read_text(encoding="utf-8"))


def file_size(name):
    if name.startswith("locales/") and name.endswith(".pak"):
        return LOCALE_SIZE
    if name not in SIZES:
        raise ValueError("no size for payload file %s of %s" % (name, TEMPLATE.name))
    return SIZES[name]


def content(name, size):
    """Chunks of 32 KiB from SHAKE-256 seeded by the name and chunk number,
    then 32 KiB of one line of text repeated."""
    text = ("%s: exported symbol table entry, ordinal and name\n" % name).encode()
    filler = (text * (CHUNK // 2 // len(text) + 1))[:CHUNK // 2]
    out = bytearray()
    number = 0
    while len(out) < size:
        out += hashlib.shake_256(("%s/%d" % (name, number)).encode()).digest(CHUNK // 2)
        out += filler
        number += 1
    return bytes(out[:size])


def build_large_package(arch, version, out_path):
    """Builds the large package for arch 'x64' or 'x86' at out_path; returns
    (out_path, total payload bytes, file count)."""
    if arch not in ("x64", "x86"):
        raise ValueError("arch must be x64 or x86, not %r" % arch)
    out_path = Path(out_path).resolve()
    work = out_path.parent / (out_path.name + ".build")
    shutil.rmtree(work, ignore_errors=True)
    total = 0
    names = payload_names()
    for name in names:
        size = file_size(name)
        target = work / "payload" / name
        target.parent.mkdir(parents=True, exist_ok=True)
        target.write_bytes(content(name, size))
        total += size
    try:
        # wixl finds sources by a path relative to its working directory.
        subprocess.run(["wixl", "-a", arch, "-o", str(out_path),
                        "-D", "Version=" + version,
                        "-D", "Win64=" + ("yes" if arch == "x64" else "no"), str(TEMPLATE)],
                       cwd=str(work), check=True, capture_output=True, timeout=600)
    finally:
        shutil.rmtree(work, ignore_errors=True)
    return out_path, total, len(names)
