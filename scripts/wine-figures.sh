#!/usr/bin/env bash
# What running under Wine costs, measured in one run beside the Linux
# figures: `wyn colour --html` on a 10 MiB script (median of 5 runs, with
# min and max) by the Linux tool and by wyn.exe under Wine, then the
# language server's figures (scripts/lsp-latency.js: the one-character
# didChange + semanticTokens/full/delta round trip among them) with
# `wyn lsp` and with `wine wyn.exe lsp`.
# Usage: scripts/wine-figures.sh [linux build] [win32 build] [edits]
#   (defaults: build/linux, build/win32, 300 edits; both built first)
set -euo pipefail
cd "$(dirname "$0")/.."
linux=$(realpath "${1:-build/linux}")
win=$(realpath "${2:-build/win32}")
edits=${3:-300}
export WINEPREFIX=$win/wineprefix WINEDEBUG=-all WINEDLLOVERRIDES=mscoree,mshtml= WINEARCH=win32 DISPLAY=
work=$(mktemp -d)
trap 'rm -rf "$work"; wineserver -k 2>/dev/null || true' EXIT
wineserver -p 2>/dev/null || true  # or one already running
wine "$win/wyn.exe" --version </dev/null >/dev/null 2>&1

"$linux/wyn_gen" 10M >"$work/big.wyn"

# Runs a command 5 times; prints "median s (min-max)".
five() {
  local times=() t0 t1
  for _ in 1 2 3 4 5; do
    t0=$(date +%s.%N)
    "$@" >/dev/null 2>&1
    t1=$(date +%s.%N)
    times+=("$(echo "$t1 - $t0" | bc -l)")
  done
  printf '%s\n' "${times[@]}" | sort -g |
    awk '{ v[NR] = $1 } END { printf "%.2f s (%.2f-%.2f)\n", v[3], v[1], v[5] }'
}

echo "== wyn colour --html on a 10 MiB script: median of 5 (min-max)"
echo "linux:      $(five "$linux/wyn" colour --html "$work/l.html" "$work/big.wyn")"
echo "wine (exe): $(five wine "$win/wyn.exe" colour --html "$work/w.html" "$work/big.wyn")"
echo "wine start: $(five wine "$win/wyn.exe" --version)  (wyn.exe --version alone)"
cmp -s "$work/l.html" "$work/w.html" && echo "(the two pages are the same)"

echo
echo "== Language server, Linux: $linux/wyn lsp"
WYN_LSP="$linux/wyn lsp" node scripts/lsp-latency.js --edits "$edits" --docs 4
echo
echo "== Language server, Wine: wine $win/wyn.exe lsp"
WYN_LSP="wine $win/wyn.exe lsp" node scripts/lsp-latency.js --edits "$edits" --docs 4
