#!/usr/bin/env bash
# Builds both presets and runs every test: unit tests on the host (with the
# sanitizers), a short run of each fuzz target, static analysis, the release
# checks of the built program, then the real 32-bit program under Wine. Ends with one line
# of passed and failed counts; exits non-zero when anything failed.
set -uo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup.sh || exit 1

build() {
  cmake --preset "$1" >/dev/null && cmake --build --preset "$1" -j2
}
build host || { echo "host build failed"; echo "0 passed, 1 failed"; exit 1; }
build windows || { echo "windows build failed"; echo "0 passed, 1 failed"; exit 1; }

total_passed=0
total_failed=0
summary=()

# Adds one suite's counts, read from its closing "N passed, N failed" line; a
# suite that ends without that line counts as one failure.
count() {
  local name=$1 log=$2 line passed failed
  line=$(grep -E '^[0-9]+ passed, [0-9]+ failed' "$log" | tail -n 1)
  if [[ -z "$line" ]]; then
    passed=0
    failed=1
  else
    passed=$(sed -nE 's/^([0-9]+) passed.*/\1/p' <<<"$line")
    failed=$(sed -nE 's/.* ([0-9]+) failed.*/\1/p' <<<"$line")
  fi
  total_passed=$((total_passed + passed))
  total_failed=$((total_failed + failed))
  summary+=("$name: $passed passed, $failed failed")
}

log=$(mktemp)
trap 'rm -f "$log"' EXIT

ctest --preset host >"$log" 2>&1
# ctest closes with "N% tests passed, F tests failed out of T".
ctest_summary=$(grep -E 'tests passed, [0-9]+ tests failed out of [0-9]+' "$log" | tail -n 1)
grep -E '\*\*\*|tests passed' "$log" | tail -n 20
if [[ -n "$ctest_summary" ]]; then
  unit_failed=$(sed -nE 's/.* ([0-9]+) tests failed out of ([0-9]+).*/\1/p' <<<"$ctest_summary")
  unit_total=$(sed -nE 's/.* ([0-9]+) tests failed out of ([0-9]+).*/\2/p' <<<"$ctest_summary")
  echo "$((unit_total - unit_failed)) passed, $unit_failed failed" >>"$log"
fi
count unit "$log"

bash scripts/fuzz.sh 2>&1 | tee "$log"
count fuzz "$log"

bash scripts/static-analysis.sh 2>&1 | tee "$log"
count "static analysis" "$log"

python3 tests/release/run_release_tests.py --source . 2>&1 | tee "$log"
count release "$log"

python3 tests/e2e/run_e2e.py --build build/windows 2>&1 | tee "$log"
count "end to end" "$log"

printf '%s\n' "${summary[@]}"
echo "${total_passed} passed, ${total_failed} failed"
[[ $total_failed -eq 0 ]]
