#!/usr/bin/env python3
"""Every include of the program's sources points down: to its own folder or to
a folder below it in LAYERS. Prints each include that points up or out, with
its file and line, then "N passed, N failed" (one test).

    python3 scripts/check_layers.py [--source .]
"""

import argparse
import re
from pathlib import Path

# From the bottom: the seam, numbers as text, the log files, the run's own
# state, the words every step uses, the steps, the Win32 adapter (which may
# drive the steps' logic), the flow on top.
LAYERS = ["platform", "text", "logfiles", "context", "messages", "options", "restart", "installer",
          "plugin", "provider", "win32", "driver"]
INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"/]+)/[^"]+"')


def upward_includes(src):
    for path in sorted(src.rglob("*")):
        if path.suffix not in (".h", ".cpp"):
            continue
        room = path.relative_to(src).parts[0]
        for number, line in enumerate(path.read_text(encoding="utf-8").splitlines(), 1):
            match = INCLUDE.match(line)
            if not match:
                continue
            target = match.group(1)
            if room not in LAYERS or target not in LAYERS:
                yield "%s:%d: %s is outside the layers" % (path, number, match.group(0).strip())
            elif LAYERS.index(target) > LAYERS.index(room):
                yield "%s:%d: %s/ includes %s/, a layer above it" % (path, number, room, target)


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--source", default=".", type=Path)
    problems = list(upward_includes(parser.parse_args().source / "src"))
    print("\n".join(problems) or "every include points down")
    print("%d passed, %d failed" % (0 if problems else 1, 1 if problems else 0))
    return 1 if problems else 0


if __name__ == "__main__":
    raise SystemExit(main())
