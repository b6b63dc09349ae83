#!/usr/bin/env bash
# The WebAssembly form against the native tool, measured in one run on the
# same machine: the language server's didOpen + semanticTokens/full of a
# 20,000-line script and a one-character edit + semanticTokens/full/delta
# (scripts/measure-wasm.js), `colour --html` of a 10 MiB script and of an
# empty one (the start-up), and the size of wyn.wasm, plain and gzipped.
#
#   bash scripts/measure-wasm.sh [RUNS] [EDITS]
#
# RUNS (default 10) opens and colour runs, EDITS (default 200) keystrokes.
# Needs build/linux (wyn, wyn_gen) and build/wasm (cmake --build --preset
# wasm) built, and `npm ci` in tests/lsp (done here when missing). Prints
# markdown tables: medians, with the least and most of the runs as the
# noise range. The machine's load shows in the range: read the medians.
set -euo pipefail
cd "$(dirname "$0")/.."
runs=${1:-10}
edits=${2:-200}
native=$PWD/build/linux/wyn
gen=$PWD/build/linux/wyn_gen
wasm="node $PWD/build/wasm/wyn.js"
for f in "$native" "$gen" build/wasm/wyn.js build/wasm/wyn.wasm; do
  [[ -e $f ]] || {
    echo "measure-wasm: $f is not built" >&2
    exit 1
  }
done
[[ -d tests/lsp/node_modules ]] || (cd tests/lsp && npm ci --no-audit --no-fund --loglevel=error)

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
"$gen" 3000000 1 real >"$work/3m.wyn"
head -n 20000 "$work/3m.wyn" >"$work/20k.wyn"
"$gen" $((10 << 20)) 1 real >"$work/10m.wyn"
: >"$work/empty.wyn"

echo "$(nproc) cores, load average $(cut -d' ' -f1-3 /proc/loadavg) at the start; node $(node --version)"
echo
node scripts/measure-wasm.js "$work/20k.wyn" --opens "$runs" --edits "$edits" -- \
  "native=$native lsp" "wasm=$wasm lsp"

# Wall milliseconds of each of RUNS runs of a command, its input INPUT;
# prints "median least most".
timed() {
  local input=$1
  shift
  local ms=()
  for ((i = 0; i < runs; i++)); do
    local t0
    t0=$(date +%s%N)
    "$@" <"$input" >"$work/out" 2>/dev/null || true
    ms+=($((($(date +%s%N) - t0) / 1000000)))
  done
  printf '%s\n' "${ms[@]}" | sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)], v[1], v[NR] }'
}

echo
echo "| command | native ms (range) | wasm ms (range) | wasm / native |"
echo "|---|---|---|---|"
for what in "10m:colour --html, 10 MiB" "empty:colour --html, empty script (start-up)"; do
  input=$work/${what%%:*}.wyn
  read -r n nlo nhi < <(timed "$input" "$native" colour --html -)
  read -r w wlo whi < <(timed "$input" $wasm colour --html -)
  ratio=$(awk -v w="$w" -v n="$n" 'BEGIN { printf (n > 0 ? "%.1fx" : "-"), w / n }')
  echo "| ${what#*:} | $n ($nlo–$nhi) | $w ($wlo–$whi) | $ratio |"
done

size=$(stat -c %s build/wasm/wyn.wasm)
gz=$(gzip -9 -c build/wasm/wyn.wasm | wc -c)
launcher=$(stat -c %s build/wasm/wyn.js)
echo
echo "wyn.wasm: $((size / 1024)) KiB, $((gz / 1024)) KiB gzipped (gzip -9); wyn.js: $((launcher / 1024)) KiB"
