#!/usr/bin/env bash
# Runs the language server under real clients and packages the editor
# extension:
#   - the Node client test (tests/lsp/*.test.js, the JSON-RPC and protocol
#     packages the common editors' clients are built on);
#   - the Neovim headless test (tests/lsp/nvim_test.lua, Neovim's own client
#     set up by editors/nvim);
#   - the Emacs batch test (tests/lsp/emacs_test.el: editors/emacs/wyn-mode.el
#     and Debian's eglot 1.9 against the server);
#   - the VS Code extension packaged to build/wyn-VERSION.vsix (first: the
#     Node tests look into the package; the WebAssembly build it carries is
#     made first);
# Installs Node, npm, Neovim, Emacs and eglot from Debian only when they are
# missing; a client still missing after that fails its test. The server is
# WYN_LSP (default: build/linux/wyn lsp, which must be built already).
# Ends with "node: N passed, M failed", "nvim: ...", "emacs: ..." and
# "vsix: ..." lines.
set -uo pipefail
cd "$(dirname "$0")/.."
. scripts/lib.sh

export WYN_LSP="${WYN_LSP:-$PWD/build/linux/wyn lsp}"
packages=()
command -v node >/dev/null || packages+=(nodejs)
command -v npm >/dev/null || packages+=(npm)
command -v nvim >/dev/null || packages+=(neovim)
command -v emacs >/dev/null || packages+=(emacs-nox)
mapfile -t -O "${#packages[@]}" packages < <(missing_packages elpa-eglot)
if ((${#packages[@]})); then
  install_missing "${packages[@]}" || echo "test-lsp: could not install ${packages[*]}" >&2
fi

results=()
status=0
# Records "label: N passed, M failed" and remembers any failure.
result() {
  results+=("$1: $2 passed, $3 failed")
  if (($3)); then status=1; fi
}

log=$(mktemp -d)
trap 'rm -rf "$log"' EXIT
server=${WYN_LSP%% *}
if [[ ! -x $server ]] && ! command -v "$server" >/dev/null; then
  echo "test-lsp: no server at $server (build it first, or set WYN_LSP)" >&2
fi

echo "== VS Code extension"
# Packaged before the Node tests, which read the package (WYN_VSIX) and
# load the bundle in it. vsce warns of what a package lacks or should not
# hold (files left unbundled, no licence or repository): a warning fails.
vsix_pass=0 vsix_fail=0
# The package carries the WebAssembly server, the one a desktop with no wyn
# program runs: built here (test-wasm.sh then finds it built).
install_missing emscripten || echo "test-lsp: could not install emscripten" >&2
{ cmake --preset wasm >/dev/null && cmake --build --preset wasm -j 2 >"$log/wasm.out" 2>&1; } ||
  echo "test-lsp: the WebAssembly build failed (build/wasm)" >&2
if vsix=$(bash scripts/package-vsix.sh 2>"$log/vsix.err"); then
  echo "packaged: $vsix"
  export WYN_VSIX=$vsix
  vsix_pass=1
  if grep -w WARNING "$log/vsix.err"; then vsix_fail=1; else vsix_pass=2; fi
else
  cat "$log/vsix.err"
  vsix_fail=1
fi

echo "== Node client test"
if command -v node >/dev/null && command -v npm >/dev/null &&
  (cd tests/lsp && npm ci --no-audit --no-fund --loglevel=error); then
  timeout 600 node --test --test-reporter=spec --test-reporter-destination=stdout \
    --test-reporter=tap --test-reporter-destination="$log/node.tap" tests/lsp/*.test.js
  pass=$(grep -E '^# pass [0-9]+$' "$log/node.tap" | tail -n 1 | cut -d' ' -f3)
  fail=0
  for n in $(grep -E '^# (fail|cancelled) [0-9]+$' "$log/node.tap" | cut -d' ' -f3); do
    fail=$((fail + n))
  done
  if [[ -z $pass ]]; then pass=0 fail=1; fi
  result node "$pass" "$fail"
else
  echo "test-lsp: node or npm missing, or npm ci failed" >&2
  result node 0 1
fi

echo "== Neovim client test"
if command -v nvim >/dev/null; then
  timeout 300 nvim --headless -u NONE -i NONE -n -c 'luafile tests/lsp/nvim_test.lua' </dev/null |
    tee "$log/nvim.out"
  line=$(grep -E '^nvim: [0-9]+ passed, [0-9]+ failed$' "$log/nvim.out" | tail -n 1)
  if [[ $line =~ ([0-9]+)\ passed,\ ([0-9]+)\ failed ]]; then
    result nvim "${BASH_REMATCH[1]}" "${BASH_REMATCH[2]}"
  else
    result nvim 0 1
  fi
else
  echo "test-lsp: nvim missing" >&2
  result nvim 0 1
fi

echo "== Emacs client test"
if command -v emacs >/dev/null; then
  timeout 300 emacs --batch -l tests/lsp/emacs_test.el </dev/null 2>"$log/emacs.err" |
    tee "$log/emacs.out"
  line=$(grep -E '^emacs: [0-9]+ passed, [0-9]+ failed$' "$log/emacs.out" | tail -n 1)
  if [[ $line =~ ([0-9]+)\ passed,\ ([0-9]+)\ failed ]]; then
    result emacs "${BASH_REMATCH[1]}" "${BASH_REMATCH[2]}"
  else
    cat "$log/emacs.err" >&2
    result emacs 0 1
  fi
else
  echo "test-lsp: emacs missing" >&2
  result emacs 0 1
fi

result vsix "$vsix_pass" "$vsix_fail"

echo
printf '%s\n' "${results[@]}"
exit "$status"
