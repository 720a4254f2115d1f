#!/usr/bin/env bash
# clang-tidy and cppcheck over the sources, with the checked-in configuration
# (.clang-tidy and the options below): the decisions as the host builds them,
# the Windows layer as MinGW builds it. Ends with "N passed, N failed".
set -uo pipefail
cd "$(dirname "$0")/.."

cmake --preset host -DCMAKE_EXPORT_COMPILE_COMMANDS=ON >/dev/null
cmake --preset windows -DCMAKE_EXPORT_COMPILE_COMMANDS=ON >/dev/null

# clang does not know where MinGW keeps its C++ headers: ask its g++.
mingw_includes=()
while read -r dir; do
  mingw_includes+=(--extra-arg=-isystem"$dir")
done < <(echo | i686-w64-mingw32-g++ -xc++ -E -v - 2>&1 |
  sed -n '/#include <...>/,/End of search/p' | grep -E '^ /.*c\+\+')

passed=0
failed=0
check() {
  local name=$1
  shift
  local out
  if out=$("$@" 2>&1); then
    echo "PASS $name"
    passed=$((passed + 1))
  else
    echo "FAIL $name"
    grep -E '(warning|error):' <<<"$out" | sort -u | head -n 20
    failed=$((failed + 1))
  fi
}

check "clang-tidy (decisions)" run-clang-tidy -quiet -p build/host "$PWD/src/"
check "clang-tidy (Windows layer)" clang-tidy -p build/windows --quiet \
  --extra-arg=--target=i686-w64-mingw32 "${mingw_includes[@]}" src/platform/*.cpp src/driver/main.cpp
check "cppcheck" cppcheck --enable=warning,style,performance,portability --inline-suppr \
  --error-exitcode=1 --std=c++17 --language=c++ -I src --library=windows --platform=win32W \
  --suppress=missingIncludeSystem --quiet src

echo "${passed} passed, ${failed} failed"
[[ $failed -eq 0 ]]
