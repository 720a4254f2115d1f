#!/usr/bin/env bash
# Regenerates docs/images: every message box the guide shows and both views of
# the configuration dialog, photographed from the real program under Wine.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
cmake --preset windows >/dev/null
cmake --build --preset windows -j2 >/dev/null
exec python3 docs/make_pictures.py --build build/windows "$@"
