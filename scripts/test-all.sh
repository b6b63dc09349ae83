#!/usr/bin/env bash
# Builds both forms of the plug-in and runs every test:
#   - the Linux build: stand-in editor, plug-in library, the test suite and
#     the wyn tool's tests (with its page checked in headless chromium);
#   - the 32-bit Windows build: WYN.dll's binary surface, and the same test
#     suite as a Windows program on the real WYN.dll under Wine;
#   - the sanitizer build (AddressSanitizer, UndefinedBehaviorSanitizer) of
#     the suite, and each fuzz target for a short fixed number of runs;
#   - the language server under the Node and the Neovim clients, and the
#     VS Code extension packaged (scripts/test-lsp.sh);
#   - the exported grammars through their engines (scripts/test-grammars.sh).
#   - the WebAssembly form against the native tool, and under the Node
#     client (scripts/test-wasm.sh).
# Installs whatever is missing first. Ends with each run's counts and a total.
#
# With --quick: the Linux build and its tests only (the include rules, the
# plug-in, stand-in, session and server suites, the protocol transcripts
# and the tool's tests), about a minute once the build is there.
set -euo pipefail
cd "$(dirname "$0")/.."

quick=false
case ${1:-} in
  --quick) quick=true ;;
  "") ;;
  *) echo "usage: scripts/test-all.sh [--quick]" >&2; exit 2 ;;
esac

if $quick; then bash scripts/install-deps.sh --linux; else bash scripts/install-deps.sh; fi
bash scripts/install-tool-test-deps.sh   # chromium, for the tool's page check

jobs=$(nproc 2>/dev/null || echo 2)
summary=()
total_passed=0
total_failed=0

# Adds a "label: N passed, M failed" line to the summary.
count() {
  summary+=("$1: $2 passed, $3 failed")
  total_passed=$((total_passed + $2))
  total_failed=$((total_failed + $3))
}

# Counts each label's last "label: N passed, M failed" line in the log; a
# label with no such line counts as one failure.
count_labels() {
  local label line
  for label in "$@"; do
    line=$(grep -E "^$label: [0-9]+ passed, [0-9]+ failed$" "$log" | tail -n 1 || true)
    if [[ $line =~ ([0-9]+)\ passed,\ ([0-9]+)\ failed ]]; then
      count "$label" "${BASH_REMATCH[1]}" "${BASH_REMATCH[2]}"
    else
      count "$label" 0 1
    fi
  done
}

echo "== Linux build"
cmake --preset linux >/dev/null
cmake --build --preset linux -j "$jobs"
echo "== Linux tests"
log=$(mktemp)
trap 'rm -f "$log"' EXIT
rc=0
ctest --preset linux -j "$jobs" 2>&1 | tee "$log" || rc=$?
line=$(grep -E 'tests passed, [0-9]+ tests failed out of [0-9]+' "$log" | tail -n 1 || true)
if [[ $line =~ ([0-9]+)\ tests\ failed\ out\ of\ ([0-9]+) ]]; then
  count linux $((BASH_REMATCH[2] - BASH_REMATCH[1])) "${BASH_REMATCH[1]}"
else
  count linux 0 1
fi

if $quick; then
  echo "linux: ${summary[0]#linux: }"
  exit $((rc != 0 || total_failed != 0))
fi

echo "== Grammars for other highlighters, through their engines"
# A failure there shows in its counted label.
bash scripts/test-grammars.sh 2>&1 | tee "$log" || true
count_labels grammars

echo "== Win32 build and tests under Wine"
wine_rc=0
bash scripts/test-wine.sh build/win32 2>&1 | tee "$log" || wine_rc=$?
count_labels wine

echo "== wyn.exe under Wine: the tool's tests, the examples, the Node client"
wine_tool_rc=0
bash scripts/test-wine-tool.sh build/win32 build/wine-tool 2>&1 | tee "$log" || wine_tool_rc=$?
count_labels wine-tool wine-lsp

echo "== Sanitizer build and short fuzz runs"
hard_rc=0
bash scripts/test-hardening.sh 2>&1 | tee "$log" || hard_rc=$?
# Two ctest summaries: the sanitizer suite, then the fuzz runs.
mapfile -t lines < <(grep -E 'tests passed, [0-9]+ tests failed out of [0-9]+' "$log" || true)
labels=(sanitizers fuzz)
for i in 0 1; do
  if [[ ${lines[i]:-} =~ ([0-9]+)\ tests\ failed\ out\ of\ ([0-9]+) ]]; then
    count "${labels[i]}" $((BASH_REMATCH[2] - BASH_REMATCH[1])) "${BASH_REMATCH[1]}"
  else
    count "${labels[i]}" 0 1
  fi
done

echo "== Language server under real clients, editor extension"
lsp_rc=0
bash scripts/test-lsp.sh 2>&1 | tee "$log" || lsp_rc=$?
count_labels node nvim emacs vsix

echo "== WebAssembly form"
wasm_rc=0
bash scripts/test-wasm.sh 2>&1 | tee "$log" || wasm_rc=$?
count_labels wasm

echo
echo "== Summary"
printf '%s\n' "${summary[@]}"
echo "total: $total_passed passed, $total_failed failed"
if ((rc || wine_rc || wine_tool_rc || hard_rc || lsp_rc || wasm_rc || total_failed)); then
  exit 1
fi
