#!/usr/bin/env bash
# The benchmark: builds the bootstrapper and the benchmark's helpers, times
# them under Wine side by side (bench/run_bench.py), prints the table and
# writes bench/RESULTS.md. Options go to run_bench.py, e.g. --quick (3 runs
# per side instead of 11: about 1 minute instead of 3 where 32-bit code runs
# natively, 3 instead of 7 where it is emulated), --no-results or --against.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup.sh
cmake --preset windows >/dev/null
cmake --build --preset windows -j2 >/dev/null
cmake --build --preset windows -j2 --target bench-timer bench-trivial bench-probe bench-box >/dev/null
ELDORIS_BENCH_COMMAND="scripts/bench.sh${*:+ $*}" exec python3 bench/run_bench.py --build build/windows "$@"
