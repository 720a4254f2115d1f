#!/usr/bin/env bash
# Builds both presets and runs the tests. Ends with one line of passed and
# failed counts; exits non-zero when anything failed.
#
#   scripts/test.sh           every test: unit tests on the host (with the
#                             sanitizers), a short run of each fuzz target,
#                             static analysis, the release checks of the built
#                             program, then the real 32-bit program under Wine
#   scripts/test.sh --quick   the unit tests, static analysis and the first
#                             end-to-end case of each group, for the inner loop
set -uo pipefail
cd "$(dirname "$0")/.."

quick=false
case "${1:-}" in
  "") ;;
  --quick) quick=true ;;
  *)
    echo "usage: scripts/test.sh [--quick]" >&2
    exit 2
    ;;
esac

bash scripts/setup.sh || exit 1

started=$(date +%s)
total_passed=0
total_failed=0
summary=()
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# Adds one suite's counts, read from its closing "N passed, N failed" line; a
# suite that ends without that line counts as one failure.
count() {
  local name=$1 log=$2 seconds=$3 line passed failed
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
  summary+=("$name: $passed passed, $failed failed ($seconds s)")
}

# Runs one suite, showing its output, and counts it.
suite() {
  local name=$1 log="$work/$1.log" start
  shift
  start=$(date +%s)
  "$@" 2>&1 | tee "$log"
  count "$name" "$log" $(($(date +%s) - start))
}

build() {
  local start
  start=$(date +%s)
  if cmake --preset "$1" >/dev/null && cmake --build --preset "$1" -j"$(nproc)"; then
    summary+=("$1 build: $(($(date +%s) - start)) s")
  else
    echo "$1 build failed" | tee "$work/$1-build.log"
    count "$1 build" "$work/$1-build.log" $(($(date +%s) - start))
    return 1
  fi
}

# ctest closes with "N% tests passed, F tests failed out of T".
unit_tests() {
  local log="$work/ctest.log" line failed total sweep=build/host/failing-calls.txt
  rm -f "$sweep"
  ctest --preset host -j"$(nproc)" >"$log" 2>&1
  grep -E '\*\*\*|tests passed' "$log" | tail -n 20
  # Every call to Windows failed in turn: how many, and the promises broken.
  if [[ -f $sweep ]]; then cat "$sweep"; else echo "failing calls: the sweep did not run"; fi
  line=$(grep -E 'tests passed, [0-9]+ tests failed out of [0-9]+' "$log" | tail -n 1)
  [[ -n "$line" ]] || return 1
  failed=$(sed -nE 's/.* ([0-9]+) tests failed out of ([0-9]+).*/\1/p' <<<"$line")
  total=$(sed -nE 's/.* ([0-9]+) tests failed out of ([0-9]+).*/\2/p' <<<"$line")
  echo "$((total - failed)) passed, $failed failed"
}

# The end-to-end cases need only the Windows build. They run in the
# background, beside the host's suites, and are shown when they are done:
# the Wine worlds and the host's builds and checks keep both cores busy.
e2e_args=()
$quick && e2e_args=(--smoke)
e2e_pid=
if build windows; then
  (
    start=$(date +%s)
    python3 tests/e2e/run_e2e.py --build build/windows "${e2e_args[@]}" >"$work/e2e.log" 2>&1
    echo $(($(date +%s) - start)) >"$work/e2e.seconds"
  ) &
  e2e_pid=$!
  echo "end-to-end cases started in the background"
fi

if build host; then
  suite unit unit_tests
  if ! $quick; then
    suite fuzz bash scripts/fuzz.sh
  fi
  suite "static analysis" bash scripts/static-analysis.sh
fi
# Debian's python3-pefile is installed for Debian's own interpreter, which a
# python3 found first on PATH (pyenv's, a virtual environment's) is not.
$quick || suite release /usr/bin/python3 tests/release/run_release_tests.py --source .

if [[ -n $e2e_pid ]]; then
  wait "$e2e_pid"
  echo "== end-to-end cases"
  cat "$work/e2e.log"
  count "end to end$($quick && echo ' (first case of each group)')" "$work/e2e.log" "$(cat "$work/e2e.seconds" 2>/dev/null || echo '?')"
fi

printf '%s\n' "${summary[@]}"
echo "total: $(($(date +%s) - started)) s"
echo "${total_passed} passed, ${total_failed} failed"
[[ $total_failed -eq 0 ]]
