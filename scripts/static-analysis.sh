#!/usr/bin/env bash
# clang-tidy and cppcheck over the sources, with the checked-in configuration
# (.clang-tidy and the options below): the decisions as the host builds them,
# the Windows layer as MinGW builds it; and the include layers
# (scripts/check_layers.py). Ends with "N passed, N failed".
set -uo pipefail
cd "$(dirname "$0")/.."

# Both presets export their compile commands.
for preset in host windows; do
  [[ -f build/$preset/compile_commands.json ]] || cmake --preset "$preset" >/dev/null
done

# clang does not know where MinGW keeps its C++ headers: ask its g++.
mingw_includes=()
while read -r dir; do
  mingw_includes+=(-extra-arg=-isystem"$dir")
done < <(echo | i686-w64-mingw32-g++ -xc++ -E -v - 2>&1 |
  sed -n '/#include <...>/,/End of search/p' | grep -E '^ /.*c\+\+')

passed=0
failed=0
verdict() {
  local name=$1 status=$2 out=$3
  if [[ $status -eq 0 ]]; then
    echo "PASS $name"
    passed=$((passed + 1))
  else
    echo "FAIL $name"
    grep -E '(warning|error|style|performance|portability):|a layer above|outside the layers' "$out" | sort -u | head -n 20
    failed=$((failed + 1))
  fi
}

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# cppcheck takes one core beside the clang-tidy runs, which take them all.
cppcheck --enable=warning,style,performance,portability --inline-suppr \
  --error-exitcode=1 --std=c++17 --language=c++ -I src --library=windows --platform=win32W \
  --suppress=missingIncludeSystem --quiet src >"$work/cppcheck" 2>&1 &
cppcheck_pid=$!

run-clang-tidy -quiet -p build/host "$PWD/src/" >"$work/tidy-host" 2>&1
verdict "clang-tidy (decisions)" $? "$work/tidy-host"
run-clang-tidy -quiet -p build/windows -extra-arg=--target=i686-w64-mingw32 \
  "${mingw_includes[@]}" "$PWD/src/(win32/.*|driver/main)\.cpp$" \
  >"$work/tidy-windows" 2>&1
verdict "clang-tidy (Windows layer)" $? "$work/tidy-windows"
wait "$cppcheck_pid"
verdict "cppcheck" $? "$work/cppcheck"
python3 scripts/check_layers.py >"$work/layers" 2>&1
verdict "include layers" $? "$work/layers"

echo "${passed} passed, ${failed} failed"
[[ $failed -eq 0 ]]
