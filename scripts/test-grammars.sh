#!/usr/bin/env bash
# Runs the grammars `wyn export` writes through the engines that really
# read them and compares each character's category with `wyn colour`
# (tests/grammars/check.py): the examples, a script of the hard cases and
# a few generated scripts, one check per engine and script, each failing
# below the agreement threshold. Builds nothing: needs build/linux/wyn and
# build/linux/wyn_gen. Installs what an engine needs when missing (Debian
# packages, npm ci from the committed lock file). Ends with
# "grammars: N passed, M failed".
set -uo pipefail
cd "$(dirname "$0")/.."
. scripts/lib.sh

wyn=$PWD/build/linux/wyn
gen=$PWD/build/linux/wyn_gen
threshold=${WYN_GRAMMAR_THRESHOLD:-99}
for tool in "$wyn" "$gen"; do
  [[ -x $tool ]] || { echo "test-grammars: missing $tool (build first)" >&2; echo "grammars: 0 passed, 1 failed"; exit 1; }
done
packages=()
command -v node >/dev/null || packages+=(nodejs)
command -v npm >/dev/null || packages+=(npm)
command -v batcat >/dev/null || packages+=(bat)
command -v python3 >/dev/null || packages+=(python3)
command -v nvim >/dev/null || packages+=(neovim)
if ((${#packages[@]})); then
  install_missing "${packages[@]}" || echo "test-grammars: could not install ${packages[*]}" >&2
fi
# Pygments is Debian's, in a virtual environment that the exported package
# is installed into (no package index is needed).
install_missing python3-pygments python3-venv python3-pip python3-setuptools python3-wheel ||
  echo "test-grammars: could not install Pygments" >&2

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
passed=0 failed=0
# Runs one check, showing its output, and counts its PASS and FAIL lines; a
# check that printed none, or failed without a FAIL line, counts as one
# failure.
run_check() {
  local out=$work/out p f
  "$@" 2>&1 | tee "$out"
  local status=${PIPESTATUS[0]}
  p=$(grep -c '^PASS ' "$out")
  f=$(grep -c '^FAIL ' "$out")
  ((p + f)) || f=1
  ((status == 0 || f)) || f=1
  passed=$((passed + p)) failed=$((failed + f))
}

# The scripts checked: the examples, the hard cases, generated scripts. The
# generator writes a legacy code page; the engines read UTF-8, so its bytes
# from 128 are carried over one character each (still no class's).
scripts=(examples/*.wyn tests/grammars/hard-cases.wyn)
for seed in 1 2 3; do
  "$gen" 40K "$seed" real |
    python3 -c 'import sys; sys.stdout.buffer.write(sys.stdin.buffer.read().decode("latin-1").encode())' \
      >"$work/generated-$seed.wyn"
  scripts+=("$work/generated-$seed.wyn")
done

# Each engine also reads the grammar exported with words a format must
# escape or the scanner can never read whole (tricky-words.cfg), on a
# script that uses them.
tricky=(--config tests/grammars/tricky-words.cfg)
configured=tests/grammars/configured.wyn

# Exports FORMAT to FILE (in the work folder), plain and with the tricky
# words, and compares each through check.py with the plug-in's colours.
check_exported() {
  local format=$1 file=$2
  "$wyn" export --no-config --format="$format" -o "$work/$file" &&
    python3 tests/grammars/check.py "$format" "$wyn" "$work/$file" "$threshold" "${scripts[@]}"
  "$wyn" export --no-config "${tricky[@]}" --format="$format" -o "$work/tricky-$file" &&
    python3 tests/grammars/check.py "${tricky[@]}" "$format" "$wyn" "$work/tricky-$file" "$threshold" "$configured"
}

check_textmate() {
  echo "== TextMate grammar through vscode-textmate"
  (cd tests/grammars && npm ci --no-audit --no-fund --loglevel=error) || return
  check_exported textmate wyn.tmLanguage.json
}

check_sublime() {
  echo "== sublime-syntax through bat"
  check_exported sublime wyn.sublime-syntax
}

check_npp() {
  echo "== Notepad++ user-defined language"
  "$wyn" export --no-config --format=npp -o "$work/wyn.udl.xml" &&
    python3 tests/grammars/check.py npp "$wyn" "$work/wyn.udl.xml"
  "$wyn" export --no-config "${tricky[@]}" --format=npp -o "$work/tricky.udl.xml" &&
    python3 tests/grammars/check.py "${tricky[@]}" npp "$wyn" "$work/tricky.udl.xml"
}

# The Vim package in Neovim (and in Vim when installed) through synID(),
# and the Pygments package installed from its folder: each checks its own
# samples (tests/grammars/samples.py) and says PASS or FAIL for each.
check_vim() {
  echo "== Vim syntax through Neovim and Vim"
  timeout 600 python3 tests/grammars/vim_check.py "$wyn" "$gen"
}

check_pygments() {
  echo "== Pygments lexer, installed from the exported package"
  timeout 600 python3 tests/grammars/pygments_check.py "$wyn" "$gen"
}

run_check check_textmate
run_check check_sublime
run_check check_npp
run_check check_vim
run_check check_pygments

echo "grammars: $passed passed, $failed failed"
((failed == 0))
