#!/usr/bin/env bash
# Runs every fuzz target, starting from the seed corpora in tests/fuzz/corpus.
#   scripts/fuzz.sh                 a short bounded run of each (part of the tests)
#   scripts/fuzz.sh --runs 10000000 a long run: executions and findings per target
# Targets run side by side, one per core. Ends with "N passed, N failed", one
# target a test.
set -uo pipefail
cd "$(dirname "$0")/.."

limit=(-max_total_time=10)
if [[ "${1:-}" == "--runs" ]]; then
  limit=(-runs="${2:?how many executions}")
elif [[ "${1:-}" == "--seconds" ]]; then
  limit=(-max_total_time="${2:?how many seconds}")
fi

cmake --preset fuzz >/dev/null && cmake --build --preset fuzz -j"$(nproc)" >/dev/null || {
  echo "fuzz build failed"
  echo "0 passed, 1 failed"
  exit 1
}

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
targets=(command_line string_block version_order installer_command_lines)

# Runs one target; its verdict line goes to $work/<target>.verdict.
fuzz() {
  local target=$1 corpus="$work/$1" log="$work/$1.log" start runs
  mkdir -p "$corpus"
  cp tests/fuzz/corpus/"$target"/* "$corpus"/ 2>/dev/null || true
  start=$(date +%s)
  if build/fuzz/tests/fuzz/fuzz_"$target" "${limit[@]}" -artifact_prefix="$work/$target-" \
      "$corpus" >"$log" 2>&1; then
    runs=$(grep -oE 'Done [0-9]+ runs' "$log" | grep -oE '[0-9]+' | tail -n 1)
    echo "PASS fuzz_$target: ${runs:-?} executions in $(($(date +%s) - start)) s, no finding" \
      >"$work/$target.verdict"
  else
    { echo "FAIL fuzz_$target:"; grep -E 'ERROR|SUMMARY|Test unit written' "$log" | head -n 5; } \
      >"$work/$target.verdict"
  fi
}

for target in "${targets[@]}"; do
  while (($(jobs -rp | wc -l) >= $(nproc))); do wait -n; done
  fuzz "$target" &
done
wait

passed=0
failed=0
for target in "${targets[@]}"; do
  cat "$work/$target.verdict" 2>/dev/null || echo "FAIL fuzz_$target: no verdict"
  if grep -q '^PASS' "$work/$target.verdict" 2>/dev/null; then
    passed=$((passed + 1))
  else
    failed=$((failed + 1))
  fi
done
echo "${passed} passed, ${failed} failed"
[[ $failed -eq 0 ]]
