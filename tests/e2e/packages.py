"""Real plug-in MSI packages built with wixl from packages/plugin.wxs."""

import subprocess
import threading
from pathlib import Path

TEMPLATE = Path(__file__).resolve().parent / "packages" / "plugin.wxs"
# The same product with a second feature, EXTRAS, so that ORVELIX can be left out.
WITH_EXTRAS = TEMPLATE.with_name("plugin_extras.wxs")
# plugin.wxs with a launch condition that always fails: basic UI shows its
# message in an error box that waits for OK; without UI msiexec ends with 1603.
REFUSING = TEMPLATE.with_name("plugin_refusing")


def build_package(arch, version, out_path, template=TEMPLATE):
    """Builds the plug-in package for arch 'x64' or 'x86' in the given version
    (e.g. '1.2.3.4') at out_path from template (plugin.wxs unless given);
    returns out_path as a Path."""
    if arch not in ("x64", "x86"):
        raise ValueError("arch must be x64 or x86, not %r" % arch)
    refuses = template == REFUSING
    template = TEMPLATE if refuses else template
    out_path = Path(out_path).resolve()
    out_path.parent.mkdir(parents=True, exist_ok=True)
    # wixl only finds sources by a path relative to its working directory.
    payload = out_path.with_name(out_path.name + ".payload.txt")
    payload.write_text("plug-in %s %s\n" % (arch, version))
    try:
        subprocess.run(["wixl", "-a", arch, "-o", str(out_path),
                        "-D", "Version=" + version,
                        "-D", "Win64=" + ("yes" if arch == "x64" else "no"),
                        "-D", "Payload=" + payload.name,
                        "-D", "Refuses=" + ("yes" if refuses else "no"), str(template)],
                       cwd=str(out_path.parent), check=True, capture_output=True, timeout=120)
    finally:
        payload.unlink()
    return out_path


class PackageCache:
    """Packages built once per run and copied from there; the worlds that run
    cases at once share it."""

    def __init__(self, folder):
        self.folder = Path(folder)
        self._lock = threading.Lock()

    def get(self, arch, version, template=TEMPLATE):
        path = self.folder / ("%s-%s-%s.msi" % (template.stem, arch, version))
        with self._lock:
            if not path.exists():
                build_package(arch, version, path, template)
        return path
