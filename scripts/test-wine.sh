#!/usr/bin/env bash
# Builds the 32-bit Windows form (WYN.dll, the stand-in editor as
# CWDLL32.dll and CWSTART.dll, the test suite as wyn_tests.exe) and runs its
# tests: the check of WYN.dll's binary surface, then the whole suite under
# Wine in a fresh prefix. Prints the Wine run's counts and time last, as
#   wine: N passed, M failed
# Usage: scripts/test-wine.sh [build folder]   (default: build/win32)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build/win32}
jobs=$(nproc 2>/dev/null || echo 2)

bash scripts/install-wine.sh

echo "== Win32 build ($build)"
cmake --preset win32 -B "$build" >/dev/null
cmake --build "$build" -j "$jobs"

echo "== Win32 tests (WYN.dll surface, the suite under Wine)"
rc=0
ctest --test-dir "$build" --output-on-failure || rc=$?

# The suite's own summary, from the wine_suite block of ctest's log.
log=$build/Testing/Temporary/LastTest.log
block=$(awk '/^[0-9]+\/[0-9]+ Test: wine_suite$/ { on = 1 } on { print } on && /^Test time/ { exit }' "$log" 2>/dev/null || true)
passed=$(sed -n 's/^\[  PASSED  \] \([0-9]*\) tests\{0,1\}\.$/\1/p' <<<"$block" | tail -n 1)
failed=$(sed -n 's/^\[  FAILED  \] \([0-9]*\) tests\{0,1\}, listed below:$/\1/p' <<<"$block" | tail -n 1)
seconds=$(sed -n 's/^Test time = *\([0-9.]*\) sec$/\1/p' <<<"$block" | tail -n 1)
if [[ -z $passed && -z $failed ]]; then
  echo "wine: the suite did not report (see $log)"
  exit $((rc ? rc : 1))
fi
echo "wine: wyn_tests.exe on WYN.dll took ${seconds:-?} s"
echo "wine: ${passed:-0} passed, ${failed:-0} failed"
exit "$rc"
