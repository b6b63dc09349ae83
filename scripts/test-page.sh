#!/usr/bin/env bash
# The playground page: builds it (web/, esbuild from web's lock file) with
# the server's web worker from WYN_WASM_WEB (default build/wasm-web, which
# must be built already), then drives it in headless Chromium as a user
# does (tests/web/page.test.js), the expected answers from the native tool
# (build/linux/wyn). Prints the load time to first colours of a long
# script and the page's compressed size; the screenshot of the page on the
# largest example is build/web-test/playground.png.
# Ends with "page: N passed, M failed".
set -uo pipefail
cd "$(dirname "$0")/.."
. scripts/lib.sh

# Node and npm may come from elsewhere than Debian (their packages would
# then conflict): installed only when the command is missing.
packages=(chromium)
command -v node >/dev/null || packages+=(nodejs)
command -v npm >/dev/null || packages+=(npm)
install_missing "${packages[@]}" || echo "test-page: could not install ${packages[*]}" >&2
export WYN_WASM_WEB=${WYN_WASM_WEB:-$PWD/build/wasm-web}
export WYN_WEB_OUT=${WYN_WEB_OUT:-$PWD/build/web}
fail() {
  echo "test-page: $*" >&2
  echo "page: 0 passed, 1 failed"
  exit 1
}

[[ -x build/linux/wyn ]] || fail "no native tool at build/linux/wyn (cmake --build --preset linux)"
[[ -f $WYN_WASM_WEB/wyn-worker.js ]] || fail "no worker build in $WYN_WASM_WEB"
(cd web && npm ci --no-audit --no-fund --loglevel=error) || fail "npm ci in web/"
node web/build.js || fail "the page's build"
(cd tests/web && npm ci --no-audit --no-fund --loglevel=error) || fail "npm ci in tests/web/"

log=$(mktemp)
trap 'rm -f "$log"' EXIT
timeout 600 node --test --test-reporter=tap tests/web/page.test.js tests/web/page.serve.test.js >"$log" 2>&1
grep -E '^# page: ' "$log" | sed 's/^# //'
pass=$(grep -E '^# pass [0-9]+$' "$log" | tail -n 1 | cut -d' ' -f3)
failed=0
for n in $(grep -E '^# (fail|cancelled) [0-9]+$' "$log" | cut -d' ' -f3); do
  failed=$((failed + n))
done
if [[ -z $pass ]]; then
  pass=0 failed=1
  tail -n 20 "$log" >&2
fi
((failed == 0)) || grep -E '^ *not ok' "$log" | sed 's/^ */FAIL: page /'
echo "page: $pass passed, $failed failed"
((failed == 0))
