#!/usr/bin/env bash
# wyn against a common highlighter, side by side in the same run: the same
# generated script (10 MiB by default) to an HTML page and to a terminal,
# and every script in examples/ to one page; each timed RUNS times (5 by
# default), median with min-max, and MiB/s. `highlight` is installed from
# Debian when missing. Last, how soon wyn's first 4 KiB reach a terminal
# on 50 MiB, against its whole run.
#
#   bash scripts/compare-highlighters.sh [BUILD_DIR] [SIZE] [RUNS]
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$here/build/linux}
size=${2:-10M}
runs=${3:-5}
for tool in "$build/wyn" "$build/wyn_gen"; do
  [[ -x $tool ]] || { echo "missing $tool: build first (cmake --build --preset linux)" >&2; exit 2; }
done
if ! command -v highlight >/dev/null; then
  source "$here/scripts/lib.sh"
  install_missing highlight
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
"$build/wyn_gen" "$size" >"$work/big.wyn"
cat "$here"/examples/*.wyn >"$work/examples.wyn"

# Wall seconds of one run, output to a file in the work folder.
seconds() {
  local start end
  start=$(date +%s.%N)
  "$@" >"$work/out" 2>/dev/null
  end=$(date +%s.%N)
  awk -v a="$start" -v b="$end" 'BEGIN {printf "%.4f\n", b - a}'
}

# "median (min-max) s, MiB/s at the median" of runs runs of a command on
# a file of bytes bytes.
measure() {
  local bytes=$1
  shift
  local times=()
  for ((i = 0; i < runs; i++)); do times+=("$(seconds "$@")"); done
  printf '%s\n' "${times[@]}" | sort -n | awk -v b="$bytes" '
    { t[NR] = $1 }
    END {
      m = NR % 2 ? t[(NR + 1) / 2] : (t[NR / 2] + t[NR / 2 + 1]) / 2
      printf "%.3f s (%.3f-%.3f), %.1f MiB/s", m, t[1], t[NR], b / 1048576 / m
    }'
}

row() {
  local what=$1 file=$2
  shift 2
  printf '%-44s %s\n' "$what" "$(measure "$(stat -c %s "$file")" "$@")"
}

big=$work/big.wyn ex=$work/examples.wyn
echo "$(nproc) cores, $runs runs each, median (min-max); input $size generated, examples $(stat -c %s "$ex") bytes"
row "wyn colour --html ($size)" "$big" "$build/wyn" --no-config colour --html - "$big"
row "highlight --syntax=c -O html ($size)" "$big" highlight --syntax=c -O html -i "$big"
row "wyn colour --color=always ($size)" "$big" "$build/wyn" --no-config colour --color=always "$big"
row "highlight --syntax=c -O xterm256 ($size)" "$big" highlight --syntax=c -O xterm256 -i "$big"
row "wyn colour --html (examples)" "$ex" "$build/wyn" --no-config colour --html - "$ex"
row "highlight --syntax=c -O html (examples)" "$ex" highlight --syntax=c -O html -i "$ex"

# The time to the first 4 KiB, then to the end, of one terminal run.
first_and_all() {
  local start
  start=$(date +%s.%N)
  "$@" | { head -c 4096 >/dev/null; date +%s.%N >"$work/first"; cat >/dev/null; }
  awk -v a="$start" -v f="$(cat "$work/first")" -v b="$(date +%s.%N)" \
    'BEGIN {printf "%.4f %.4f\n", f - a, b - a}'
}
"$build/wyn_gen" 50M >"$work/big.wyn"
firsts=() alls=()
for ((i = 0; i < runs; i++)); do
  read -r f a < <(first_and_all "$build/wyn" --no-config colour --color=always "$work/big.wyn")
  firsts+=("$f") alls+=("$a")
done
summary() { printf '%s\n' "$@" | sort -n | awk '{ t[NR] = $1 } END {
  m = NR % 2 ? t[(NR + 1) / 2] : (t[NR / 2] + t[NR / 2 + 1]) / 2
  printf "%.3f s (%.3f-%.3f)", m, t[1], t[NR] }'; }
printf '%-44s %s\n' "wyn colour --color=always (50M): first 4 KiB" "$(summary "${firsts[@]}")"
printf '%-44s %s\n' "wyn colour --color=always (50M): whole run" "$(summary "${alls[@]}")"
