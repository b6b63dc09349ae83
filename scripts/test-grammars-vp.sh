#!/usr/bin/env bash
# Checks the Vim and Pygments grammars `wyn export` writes with their real
# engines, against `wyn colour` on the examples, a script of hard cases and
# generated scripts (tests/grammars/vim_check.py, pygments_check.py):
#   - vim: the package on the 'packpath' of Neovim and (when installed) Vim,
#     each script opened headless, the syntax group under every character;
#   - pygments: the package pip-installed into a virtual environment over
#     Debian's Pygments, the lexer found by `pygmentize -l wyn`, the token
#     type of every character.
# Needs build/linux/wyn and wyn_gen built. Installs what the engines need
# from Debian when missing. Ends with "grammars: N passed, M failed" (one
# pass per engine per file).
set -uo pipefail
cd "$(dirname "$0")/.." || exit 2
. scripts/lib.sh

install_missing neovim python3-pygments python3-venv python3-pip python3-setuptools \
  python3-wheel || echo "test-grammars: could not install the engines" >&2

passed=0
failed=0
# Runs one engine's check and adds its "ENGINE: N passed, M failed" counts;
# a check that ends without that line counts as one failure.
run_check() {
  local engine=$1 out line
  shift
  out=$(timeout 600 python3 "$@" 2>&1)
  printf '%s\n' "$out"
  line=$(grep -E "^$engine: [0-9]+ passed, [0-9]+ failed$" <<<"$out" | tail -n 1)
  if [[ $line =~ ([0-9]+)\ passed,\ ([0-9]+)\ failed ]]; then
    passed=$((passed + BASH_REMATCH[1]))
    failed=$((failed + BASH_REMATCH[2]))
  else
    failed=$((failed + 1))
  fi
}

grammars_vim() { run_check vim tests/grammars/vim_check.py build/linux/wyn build/linux/wyn_gen; }
grammars_pygments() {
  run_check pygments tests/grammars/pygments_check.py build/linux/wyn build/linux/wyn_gen
}

grammars_vim
grammars_pygments
echo "grammars: $passed passed, $failed failed"
((failed == 0))
