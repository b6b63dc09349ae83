#!/usr/bin/env bash
# Runs the wyn tool's tests against wyn.exe under Wine: the Linux test
# sources built once more with the tool replaced by a script that starts
# build/win32/wyn.exe in the Windows build's Wine prefix, plus the
# Windows-only cases and the comparison of every example with the Linux
# tool (tests/cli/wine). Then the language server's Node client test with
# `wine wyn.exe lsp` as the server. Run after scripts/test-wine.sh, which
# builds wyn.exe and makes the prefix. Prints last
#   wine-tool: N passed, M failed
#   wine-lsp: N passed, M failed
# Usage: scripts/test-wine-tool.sh [win32 build folder] [linux build folder]
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/lib.sh
win=$(realpath "${1:-build/win32}")
build=${2:-build/wine-tool}
jobs=$(nproc 2>/dev/null || echo 2)
export WINEPREFIX=$win/wineprefix WINEDEBUG=-all WINEDLLOVERRIDES=mscoree,mshtml= WINEARCH=win32 DISPLAY=

if [[ ! -f $WINEPREFIX/system.reg ]]; then
  ctest --test-dir "$win" -R '^wine_prefix$' --output-on-failure >/dev/null
fi
# One Wine server for every run below, rather than one started per run,
# and the prefix's own services started now: started by a test's run they
# would hold its output pipes open.
wineserver -p 2>/dev/null || true  # or one already running
trap 'wineserver -k 2>/dev/null || true' EXIT
wine "$win/wyn.exe" --version </dev/null >/dev/null 2>&1

echo "== Tool tests against wyn.exe under Wine ($build)"
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DWYN_WERROR=ON \
  -DWYN_WINE_TOOL="$win/wyn.exe" -DWYN_WINE_PREFIX="$WINEPREFIX" >/dev/null
cmake --build "$build" -j "$jobs" --target wyn_tool_wine_tests wyn_lsp_transcript
log=$(mktemp)
trap 'rm -f "$log"; wineserver -k 2>/dev/null || true' EXIT
rc=0
ctest --test-dir "$build" -L wine-tool -j "$jobs" --output-on-failure 2>&1 | tee "$log" || rc=$?
line=$(grep -E 'tests passed, [0-9]+ tests failed out of [0-9]+' "$log" | tail -n 1 || true)
tool_summary="wine-tool: 0 passed, 1 failed"
# ctest counts a skipped test among the passed ones; here it is told apart.
skipped=$(grep -cE 'Test +#[0-9]+: .*\*\*\*Skipped' "$log" || true)
if [[ $line =~ ([0-9]+)\ tests\ failed\ out\ of\ ([0-9]+) ]]; then
  tool_summary="wine-tool: $((BASH_REMATCH[2] - BASH_REMATCH[1] - skipped)) passed, ${BASH_REMATCH[1]} failed"
fi
echo "wine-tool: $skipped skipped (what cannot apply on Windows: SKIP_UNDER_WINE in tests/cli)"

echo "== Language server's Node client test with wine wyn.exe lsp"
packages=()
command -v node >/dev/null || packages+=(nodejs)
command -v npm >/dev/null || packages+=(npm)
if ((${#packages[@]})); then
  install_missing "${packages[@]}" || echo "test-wine-tool: could not install ${packages[*]}" >&2
fi
lsp_rc=0
lsp_summary="wine-lsp: 0 passed, 1 failed"
if [[ -d tests/lsp/node_modules ]] || (cd tests/lsp && npm ci --no-audit --no-fund --loglevel=error); then
  WYN_LSP="wine $win/wyn.exe lsp" timeout 900 node --test --test-reporter=spec \
    --test-reporter-destination=stdout --test-reporter=tap --test-reporter-destination="$log" \
    tests/lsp/*.test.js || lsp_rc=$?
  pass=$(sed -n 's/^# pass \([0-9]*\)$/\1/p' "$log" | tail -n 1)
  fail=0
  for n in $(sed -n 's/^# \(fail\|cancelled\) \([0-9]*\)$/\2/p' "$log"); do fail=$((fail + n)); done
  [[ -n $pass ]] && lsp_summary="wine-lsp: $pass passed, $fail failed"
else
  lsp_rc=1
fi

echo "$tool_summary"
echo "$lsp_summary"
exit $((rc || lsp_rc))
