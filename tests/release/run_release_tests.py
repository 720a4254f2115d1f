#!/usr/bin/env python3
"""Release checks of eldoris-setup.exe: its version resource, hardening and
manifest, a reproducible build and Authenticode signing. Prints one line per test and then
"N passed, N failed"; exits non-zero when a test failed. Build logs go to
build/release-tests/.

    /usr/bin/python3 tests/release/run_release_tests.py --source .

Debian's python3-pefile belongs to Debian's own interpreter, /usr/bin/python3.
"""

import argparse
import struct
import subprocess
import sys
import tempfile
import time
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent))
import pefile  # noqa: E402

from release_build import (BuildError, build_fresh, build_preset, copy_tree,  # noqa: E402
                           project_version)
import throwaway_pki  # noqa: E402

RUSSIAN = 1049
UNICODE_CODE_PAGE = 1200
STRING_TABLE = "041904B0"
VFT_APP = 1
EXPECTED_TEXTS = {
    "ProductName": "Тальвер Эльдорис",
    "FileDescription": "Установщик Тальвер Эльдорис",
    "CompanyName": "Тальвер",
}


class Failure(Exception):
    pass


def check(condition, reason):
    if not condition:
        raise Failure(reason)


def read_image(data):
    """The program's headers, imports and resources, as pefile reads them."""
    image = pefile.PE(data=data)
    check(image.PE_TYPE == pefile.OPTIONAL_HEADER_MAGIC_PE, "not a PE32 (32-bit) image")
    # pefile reads on past what it cannot make sense of, and says so here.
    check(not image.get_warnings(), "pefile: " + "; ".join(image.get_warnings()))
    return image


def resources(image, kind):
    """(name, language, bytes) of each resource of the type; a name is an id or a string."""
    root = getattr(image, "DIRECTORY_ENTRY_RESOURCE", None)
    return [(name.id if name.name is None else str(name.name), language.id,
             image.get_data(language.data.struct.OffsetToData, language.data.struct.Size))
            for entry in (root.entries if root else []) if entry.id == pefile.RESOURCE_TYPE[kind]
            for name in entry.directory.entries for language in name.directory.entries]


def imports(image):
    """(DLL, function) of each import; the function is a name, or an int: the
    ordinal of one imported by ordinal (pefile names some of those, ws2_32's
    and oleaut32's, from tables of its own)."""
    return [(entry.dll.decode(), function.ordinal if function.import_by_ordinal
             else function.name.decode())
            for entry in getattr(image, "DIRECTORY_ENTRY_IMPORT", []) for function in entry.imports]


class Run:
    """What the tests share: the sources, a scratch directory, and the default
    build (the windows preset's), brought up to date once."""

    def __init__(self, source, scratch):
        self.source = source
        self.scratch = scratch
        self.logs = source / "build" / "release-tests"
        self.logs.mkdir(parents=True, exist_ok=True)
        self._unsigned = None

    def log(self, name):
        path = self.logs / f"{name}.log"
        path.write_text("", encoding="utf-8")
        return path

    def unsigned_build(self):
        """The windows preset's build, which the reproducible build repeats
        from another checkout path and the signed build from another build
        directory."""
        if self._unsigned is None:
            self._unsigned = build_preset(self.source, self.log("preset-build"))
        return self._unsigned


def _version(high, low):
    return (high >> 16, high & 0xFFFF, low >> 16, low & 0xFFFF)


def test_version_resource(run):
    """The version resource read back from build/windows/eldoris-setup.exe."""
    exe = build_preset(run.source, run.log("preset-build"))
    version = project_version(run.source) + (0,)
    text = ".".join(map(str, version[:3]))
    image = read_image(exe.read_bytes())
    entries = resources(image, "RT_VERSION")
    check(len(entries) == 1, f"{len(entries)} version resources, not one")
    name, language, _ = entries[0]
    check(name == 1, f"version resource named {name!r}, not 1")
    check(language == RUSSIAN, f"version resource in language {language}, not {RUSSIAN}")
    root = getattr(image, "VS_VERSIONINFO", [None])[0]
    check(root and root.Key == b"VS_VERSION_INFO", "pefile read no VS_VERSION_INFO in it")
    fixed = getattr(image, "VS_FIXEDFILEINFO", [None])[0]
    check(fixed and fixed.Signature == 0xFEEF04BD, "its VS_FIXEDFILEINFO is missing or unsigned")
    for what, found in (("FILEVERSION", _version(fixed.FileVersionMS, fixed.FileVersionLS)),
                        ("PRODUCTVERSION", _version(fixed.ProductVersionMS, fixed.ProductVersionLS))):
        check(found == version, f"{what} {found} != {version}")
    check(fixed.FileType == VFT_APP, f"file type {fixed.FileType}, not an application")
    parts = image.FileInfo[0]
    tables = {table.LangID.decode(): {key.decode(): value.decode() for key, value in table.entries.items()}
              for part in parts if part.Key == b"StringFileInfo" for table in part.StringTable}
    check(list(tables) == [STRING_TABLE], f"string tables {list(tables)}, not [{STRING_TABLE}]")
    texts = tables[STRING_TABLE]
    expected = dict(EXPECTED_TEXTS, FileVersion=text, ProductVersion=text)
    for key, value in expected.items():
        check(texts.get(key) == value, f"{key} is {texts.get(key)!r}, not {value!r}")
    # pefile keeps only the last (language, code page) pair of a Translation:
    # all of them are read from the value's bytes, the last ValueLength of the Var.
    translations = []
    for var in (var for part in parts if part.Key == b"VarFileInfo" for var in part.Var):
        if b"Translation" in var.entry:
            end = var.get_file_offset() + var.Length
            translations += struct.iter_unpack("<HH", image.__data__[end - var.ValueLength:end])
    check(translations == [(RUSSIAN, UNICODE_CODE_PAGE)],
          f"Translation {translations}, not [({RUSSIAN}, {UNICODE_CODE_PAGE})]")


# Libraries the system maps itself (Known DLLs): a copy planted beside the
# program cannot replace them.
KNOWN_DLLS = {"advapi32.dll", "comdlg32.dll", "gdi32.dll", "kernel32.dll", "msvcrt.dll",
              "ole32.dll", "oleaut32.dll", "shell32.dll", "shlwapi.dll", "user32.dll"}
# Called before anything else, to look up the rest: the import table must
# not name them from another DLL, and must name these.
REQUIRED_IMPORTS = {"kernel32.dll": {"LoadLibraryExW", "GetProcAddress"}}


def test_hardening(run):
    """The built program asks for ASLR and DEP, imports only Known DLLs (msi.dll
    is loaded at run time from the system directory) and is a GUI program."""
    image = read_image(build_preset(run.source, run.log("preset-build")).read_bytes())
    header = image.OPTIONAL_HEADER
    check(header.Subsystem == pefile.SUBSYSTEM_TYPE["IMAGE_SUBSYSTEM_WINDOWS_GUI"],
          f"subsystem {header.Subsystem}, not GUI")
    for flag, name in (("DYNAMIC_BASE", "dynamic base (ASLR)"), ("NX_COMPAT", "NX compatible (DEP)")):
        check(header.DllCharacteristics & pefile.DLL_CHARACTERISTICS["IMAGE_DLLCHARACTERISTICS_" + flag],
              f"the header does not ask for {name}")
    imported = {}
    for dll, function in imports(image):
        imported.setdefault(dll.lower(), set()).add(function)
    unknown = sorted(set(imported) - KNOWN_DLLS)
    check(not unknown, f"imports from libraries that are not Known DLLs: {unknown}")
    for dll, functions in REQUIRED_IMPORTS.items():
        missing = sorted(functions - imported.get(dll, set()))
        check(not missing, f"{dll} does not import {missing}")


# The systems the program must start on, oldest first; each import must be
# exported by name by the first of them, NT 4.0, to show the refusal there.
WINDOWS = ["NT 3.1", "NT 3.5", "NT 3.51", "NT 4.0", "2000", "XP", "XP SP1", "XP SP2", "2003",
           "Vista", "7", "8", "10"]
OLDEST = "NT 4.0"
IMPORTS_LIST = Path(__file__).resolve().parent / "imports.md"


def allowed_imports(path=IMPORTS_LIST):
    """{(DLL, function): oldest Windows} from the rows "| DLL | function |
    oldest | source |" of the list; the source is for the reader."""
    allowed = {}
    for line in path.read_text(encoding="utf-8").splitlines():
        cells = [cell.strip().strip("`") for cell in line.strip().strip("|").split("|")]
        if len(cells) == 4 and cells[0].lower().endswith(".dll"):
            check(cells[2] in WINDOWS, f"{path.name}: {cells[0]}!{cells[1]} has no known Windows "
                                       f"{cells[2]!r}")
            allowed[(cells[0].lower(), cells[1])] = cells[2]
    return allowed


def import_problems(image):
    """What keeps the image from starting on the oldest Windows: imports by
    ordinal, imports not on the list or newer than it, and a header naming a
    newer system."""
    allowed = allowed_imports()
    problems = []
    for dll, function in imports(image):
        oldest = allowed.get((dll.lower(), function))
        if isinstance(function, int):
            problems.append(f"{dll} ordinal {function}: imported by ordinal, not by a name NT 4.0 exports")
        elif oldest is None:
            problems.append(f"{dll}!{function} is not on {IMPORTS_LIST.name}")
        elif WINDOWS.index(oldest) > WINDOWS.index(OLDEST):
            problems.append(f"{dll}!{function} needs Windows {oldest}")
    header = image.OPTIONAL_HEADER
    for what, version in (("operating system", (header.MajorOperatingSystemVersion,
                                                header.MinorOperatingSystemVersion)),
                          ("subsystem", (header.MajorSubsystemVersion, header.MinorSubsystemVersion))):
        if version != (4, 0):
            problems.append(f"the header's {what} version is {version}, not (4, 0)")
    return problems


def test_imports_on_the_oldest_windows(run):
    """Every function the program imports is on the committed list, exported
    by name by Windows NT 4.0 already: Windows' loader refuses a program with
    an import it cannot resolve before a line of it runs. The header names 4.0
    as the oldest system."""
    image = read_image(build_preset(run.source, run.log("preset-build")).read_bytes())
    problems = import_problems(image)
    check(not problems, "; ".join(problems))


# What the application manifest must say, element by element.
MANIFEST_PARTS = [
    '<requestedExecutionLevel level="requireAdministrator" uiAccess="false"/>',
    'name="Microsoft.Windows.Common-Controls" version="6.0.0.0"',
    'processorArchitecture="*" publicKeyToken="6595b64144ccf1df" language="*"',
    '<supportedOS Id="{e2011457-1546-43c5-a5fe-008deee3d3f0}"/>',
    '<supportedOS Id="{35138b9a-5d96-4fbd-8e2d-a2440225f93a}"/>',
]


def test_manifest(run):
    """The manifest in the built program asks for elevation without UI access,
    Common Controls 6 and names Windows Vista and 7 as supported."""
    image = read_image(build_preset(run.source, run.log("preset-build")).read_bytes())
    manifests = resources(image, "RT_MANIFEST")
    check(len(manifests) == 1, f"{len(manifests)} manifests, not one")
    name, _, blob = manifests[0]
    check(name == 1, f"manifest named {name!r}, not 1 (the program's own)")
    text = " ".join(blob.decode("utf-8").split())
    for part in MANIFEST_PARTS:
        check(part in text, f"the manifest lacks {part}")


def test_reproducible_build(run):
    """The preset's build and a fresh one from a checkout at another path, in
    another build directory, are identical."""
    first = run.unsigned_build()
    checkout = copy_tree(run.source, run.scratch / "another-checkout-path")
    second_dir = run.scratch / "a-second-build-directory"
    second = build_fresh(checkout, second_dir, run.log("second-build"))
    a, b = first.read_bytes(), second.read_bytes()
    for program, paths in ((a, (run.source, first.parent)), (b, (checkout, second_dir))):
        for path in paths:
            for encoding in ("utf-8", "utf-16-le"):
                check(str(path).encode(encoding) not in program,
                      f"the program holds the path {path}")
    stamp = read_image(a).FILE_HEADER.TimeDateStamp
    check(stamp == 0, f"link time stamp {stamp:#x}, not 0")
    if a != b:
        at = next((i for i, (x, y) in enumerate(zip(a, b)) if x != y), min(len(a), len(b)))
        raise Failure(f"builds differ from byte {at:#x} (sizes {len(a)} and {len(b)})")


def _verify(exe, ca):
    done = subprocess.run(["osslsigncode", "verify", "-CAfile", ca, "-TSA-CAfile", ca,
                           "-in", exe], capture_output=True, text=True)
    return done.returncode == 0, done.stdout + done.stderr


def security_directory(exe):
    """The header's entry of the Authenticode signature: its address is a file offset."""
    directory = pefile.DIRECTORY_ENTRY["IMAGE_DIRECTORY_ENTRY_SECURITY"]
    return read_image(exe.read_bytes()).OPTIONAL_HEADER.DATA_DIRECTORY[directory]


def test_signing(run):
    """A build configured with a certificate is signed and verifies; the
    default build is not signed."""
    pki = run.scratch / "pki"
    pki.mkdir()
    ca = throwaway_pki.make_ca(pki, "trusted")
    signer = throwaway_pki.make_signer(pki, ca)
    unrelated = throwaway_pki.make_ca(pki, "unrelated")

    unsigned = run.unsigned_build()
    security = security_directory(unsigned)
    check((security.VirtualAddress, security.Size) == (0, 0), "the default build has a security directory")
    check(not _verify(unsigned, ca[0])[0], "osslsigncode verified the unsigned build")

    signed = build_fresh(run.source, run.scratch / "build-signed", run.log("signed-build"),
                         signing=signer)
    check(security_directory(signed).Size > 0, "the signed build has an empty security directory")
    ok, output = _verify(signed, ca[0])
    check(ok and "Number of verified signatures: 1" in output,
          "osslsigncode verify failed: " + (output.strip().splitlines() or ["-"])[-1])
    check(not _verify(signed, unrelated[0])[0], "the signature verified against an unrelated CA")

    # Signing adds the signature and nothing else.
    stripped = run.scratch / "stripped.exe"
    subprocess.run(["osslsigncode", "remove-signature", "-in", signed, "-out", stripped],
                   check=True, capture_output=True)
    check(stripped.read_bytes() == unsigned.read_bytes(),
          "the signed build without its signature differs from the unsigned build")


TESTS = [
    ("version resource", test_version_resource),
    ("hardening", test_hardening),
    ("imports on the oldest Windows", test_imports_on_the_oldest_windows),
    ("manifest", test_manifest),
    ("reproducible build", test_reproducible_build),
    ("signing", test_signing),
]


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--source", default=".", help="the project's top directory")
    source = Path(parser.parse_args().source).resolve()
    passed = failed = 0
    with tempfile.TemporaryDirectory(prefix="eldoris-release-") as scratch:
        run = Run(source, Path(scratch))
        for name, test in TESTS:
            started = time.monotonic()
            try:
                test(run)
            except (Failure, BuildError, pefile.PEFormatError) as error:
                failed += 1
                print(f"FAIL {name}: {error}", flush=True)
                continue
            except Exception as error:  # a broken tool or file must not end the run
                failed += 1
                print(f"FAIL {name}: {type(error).__name__}: {error}", flush=True)
                continue
            passed += 1
            print(f"PASS {name} ({time.monotonic() - started:.0f} s)", flush=True)
    print(f"{passed} passed, {failed} failed")
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
