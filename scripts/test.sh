#!/usr/bin/env bash
# Installs what is missing and runs every test:
#   host   unit tests of the launcher's logic against the fake Windows,
#          built with AddressSanitizer and UndefinedBehaviorSanitizer
#   checks clang-tidy, cppcheck and clang-format over launcher/, platform/
#          and fuzz/ (scripts/static-checks.sh)
#   fuzz   the unit tests again, built with clang, the fuzz targets' seeds,
#          and a short run of each fuzz target (scripts/fuzz.sh)
#   win32  the cross-built dist/molk2014.exe: file-level checks, the
#          end-to-end suite under Wine, and the release checks (two builds
#          give the same bytes; signing with a throwaway certificate)
#   win32-clang  the same exe built with clang and lld, through the same
#          checks (it borrows the win32 tree's test helper programs)
# Ends with one line "tests: N passed, M failed".
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh

passed=0
failed=0
status=0
logs=$(mktemp -d)
trap 'rm -rf "$logs"' EXIT

# Runs one ctest preset and adds its counts to the totals.
run_ctest() {
  local preset=$1 log=$logs/$1.log
  set +e
  ctest --preset "$preset" 2>&1 | tee "$log"
  local code=${PIPESTATUS[0]}
  set -e
  local line
  line=$(grep -E 'tests passed, [0-9]+ tests failed out of [0-9]+' "$log" | tail -n 1)
  if [[ $line =~ ([0-9]+)\ tests\ failed\ out\ of\ ([0-9]+) ]]; then
    failed=$((failed + BASH_REMATCH[1]))
    passed=$((passed + BASH_REMATCH[2] - BASH_REMATCH[1]))
  else
    failed=$((failed + 1))
  fi
  [[ $code -eq 0 ]] || status=1
}

# Runs one script that passes or fails as a whole.
run_step() {
  if "$@"; then
    passed=$((passed + 1))
  else
    failed=$((failed + 1))
    status=1
  fi
}

cmake --preset host
cmake --build --preset host
run_ctest host

run_step scripts/static-checks.sh
# Builds the fuzz tree (clang), then about a minute of fuzzing in all.
run_step scripts/fuzz.sh
run_ctest fuzz

cmake --preset win32
cmake --build --preset win32
run_ctest win32

cmake --preset win32-clang
cmake --build --preset win32-clang
run_ctest win32-clang

echo "tests: $passed passed, $failed failed"
exit $status
