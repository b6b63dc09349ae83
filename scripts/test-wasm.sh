#!/usr/bin/env bash
# The WebAssembly form: builds build/wasm (wyn.wasm and its launcher wyn.js,
# emscripten from Debian) and checks it against the native tool
# (build/linux/wyn, which must be built already): `colour --html` of every
# example and of generated scripts gives the same page, and routines,
# expand and indent give the same output; then the Node client test of the
# language server with the server run as `node build/wasm/wyn.js lsp`;
# then the server's browser worker (build/wasm-web) in headless Chromium,
# and the playground page on it (scripts/test-page.sh).
# Ends with "wasm: N passed, M failed".
set -uo pipefail
cd "$(dirname "$0")/.."
. scripts/lib.sh

install_missing emscripten nodejs || echo "test-wasm: could not install emscripten" >&2
native=$PWD/build/linux/wyn
gen=$PWD/build/linux/wyn_gen
wasm=(node "$PWD/build/wasm/wyn.js")
passed=0 failed=0
ok() { passed=$((passed + 1)); }
bad() {
  failed=$((failed + 1))
  echo "FAIL: $*"
}

if ! { cmake --preset wasm >/dev/null && cmake --build --preset wasm -j 2; }; then
  echo "wasm: 0 passed, 1 failed"
  exit 1
fi
if [[ ! -x $native ]]; then
  echo "test-wasm: no native tool at $native (cmake --build --preset linux)" >&2
  echo "wasm: 0 passed, 1 failed"
  exit 1
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
scripts=(examples/*.wyn)
if [[ -x $gen ]]; then
  for seed in 1 2 3; do
    "$gen" 200000 "$seed" real >"$work/gen$seed.wyn" && scripts+=("$work/gen$seed.wyn")
  done
fi

# The same command on the same input gives the same output and exit status.
# (Not always the same messages: the WebAssembly form has no guesser of a
# script's code page, so it names the default where the native one guesses.)
same() {
  local name=$1 input=$2
  shift 2
  "$native" "$@" <"$input" >"$work/native" 2>/dev/null
  local want=$?
  "${wasm[@]}" "$@" <"$input" >"$work/wasm" 2>/dev/null
  local got=$?
  if [[ $want == "$got" ]] && cmp -s "$work/native" "$work/wasm"; then ok; else bad "$name ($got vs $want)"; fi
}
for f in "${scripts[@]}"; do
  same "colour --html $f" "$f" colour --html -
  same "routines $f" /dev/null routines "$f"
done
# Expansion and indentation at a few places of each example.
for f in examples/*.wyn; do
  for at in 3:1 12:5 20:1 40:9; do
    same "expand $f $at" /dev/null expand "$f" "$at"
    same "indent $f $at" /dev/null indent "$f" "$at"
  done
done

# The server's input crosses the launcher's 1 MiB ring several times, from
# a file and from a pipe fed in odd-sized pieces: the answers are the
# native server's, byte for byte.
if [[ -x $gen ]]; then
  for seed in 4 5 6; do "$gen" 700000 "$seed" real >"$work/big$seed.wyn"; done
  answers() { node scripts/lsp-pieces.js --answers "$1" 2>/dev/null; }
  node scripts/lsp-pieces.js "$work"/big{4,5,6}.wyn >"$work/session.lsp"
  "$native" lsp <"$work/session.lsp" >"$work/native.lsp" 2>/dev/null
  answers "$work/native.lsp" >"$work/native.answers"
  "${wasm[@]}" lsp <"$work/session.lsp" >"$work/wasm.lsp" 2>/dev/null
  if answers "$work/wasm.lsp" | cmp -s "$work/native.answers" -; then ok; else bad "lsp, 2 MiB from a file"; fi
  node scripts/lsp-pieces.js "$work"/big{4,5,6}.wyn | "${wasm[@]}" lsp >"$work/wasm.lsp" 2>/dev/null
  if answers "$work/wasm.lsp" | cmp -s "$work/native.answers" -; then ok; else bad "lsp, 2 MiB through a pipe in pieces"; fi
  [[ $(wc -l <"$work/native.answers") == 5 ]] || bad "lsp: the native server answered $(wc -l <"$work/native.answers") of 5"
fi

# Counts a node --test TAP log (its name for the failures) into the totals.
tally() {
  local name=$1 log=$2 pass fail=0 n
  pass=$(grep -E '^# pass [0-9]+$' "$log" | tail -n 1 | cut -d' ' -f3)
  for n in $(grep -E '^# (fail|cancelled) [0-9]+$' "$log" | cut -d' ' -f3); do
    fail=$((fail + n))
  done
  if [[ -z $pass ]]; then pass=0 fail=1; fi
  passed=$((passed + pass))
  failed=$((failed + fail))
  ((fail == 0)) || grep -E '^not ok' "$log" | sed "s/^/FAIL: $name /"
}

log=$work/node.tap
if (cd tests/lsp && npm ci --no-audit --no-fund --loglevel=error); then
  WYN_LSP="${wasm[*]} lsp" timeout 900 node --test --test-reporter=tap tests/lsp/*.test.js >"$log" 2>&1
  tally node "$log"
else
  bad "npm ci for the Node client test"
fi

# The server as a browser's worker (build/wasm-web) in headless Chromium,
# against the native server.
install_missing chromium || echo "test-wasm: could not install chromium" >&2
if (cd tests/web && npm ci --no-audit --no-fund --loglevel=error); then
  WYN_WEB_DIR=$PWD/build/wasm-web WYN=$native timeout 300 \
    node --test --test-reporter=tap tests/web/worker.test.js >"$work/web.tap" 2>&1
  tally web "$work/web.tap"
else
  bad "npm ci for the web worker test"
fi

# The playground page in headless Chromium on the worker build, counted here.
bash scripts/test-page.sh | tee "$work/page.log"
read -r pp pf < <(sed -nE 's/^page: ([0-9]+) passed, ([0-9]+) failed$/\1 \2/p' "$work/page.log" | tail -n 1)
passed=$((passed + ${pp:-0}))
failed=$((failed + ${pf:-1}))

echo "wasm: $passed passed, $failed failed"
((failed == 0))
