#!/usr/bin/env bash
# The main job: builds the bootstrapper and runs it under Wine on the demo
# media folder, installing the demo plug-in package, and says what happened.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup.sh
cmake --preset windows >/dev/null
cmake --build --preset windows -j2 >/dev/null
echo "Built build/windows/eldoris-setup.exe ($(stat -c %s build/windows/eldoris-setup.exe) bytes)"
exec python3 demo/run_demo.py --build build/windows "$@"
