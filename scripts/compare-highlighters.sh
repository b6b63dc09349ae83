#!/usr/bin/env bash
# wyn against a common highlighter, side by side in the same run: the same
# generated script (10 MiB by default) to an HTML page and to a terminal,
# and the scripts in examples/ (all of them one after another, repeated to
# the same size, so start-up does not hide the speed on real-world text) to
# a page and to a terminal; each timed RUNS times (5 by default), median
# with min-max, MiB/s, and how many times faster wyn was at the medians.
# `highlight` is installed from Debian when missing. Last, how soon wyn's
# first 4 KiB reach a terminal on 50 MiB, against its whole run. Everything
# is written into a temporary folder, deleted at the end.
#
#   bash scripts/compare-highlighters.sh [BUILD_DIR] [SIZE] [RUNS]
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$here/build/linux}
size=${2:-10M}
runs=${3:-5}
source "$here/scripts/lib.sh"
need_built "$build/wyn" "$build/wyn_gen"
command -v highlight >/dev/null || install_missing highlight

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
"$build/wyn_gen" "$size" >"$work/big.wyn"
want=$(stat -c %s "$work/big.wyn")
cat "$here"/examples/*.wyn >"$work/one-pass.wyn"
while (($(stat -c %s "$work/examples.wyn" 2>/dev/null || echo 0) < want)); do
  cat "$work/one-pass.wyn" >>"$work/examples.wyn"
done

# Wall seconds of one run, output to a file in the work folder.
seconds() {
  local start end
  start=$(date +%s.%N)
  "$@" >"$work/out" 2>/dev/null
  end=$(date +%s.%N)
  awk -v a="$start" -v b="$end" 'BEGIN {printf "%.4f\n", b - a}'
}

# "median (min-max) s, MiB/s at the median" of runs runs of a command on
# a file of bytes bytes; the median alone goes to $work/median.
measure() {
  local bytes=$1
  shift
  local times=()
  for ((i = 0; i < runs; i++)); do times+=("$(seconds "$@")"); done
  printf '%s\n' "${times[@]}" | sort -n | awk -v b="$bytes" -v m_out="$work/median" '
    { t[NR] = $1 }
    END {
      m = NR % 2 ? t[(NR + 1) / 2] : (t[NR / 2] + t[NR / 2 + 1]) / 2
      printf "%.3f s (%.3f-%.3f), %.1f MiB/s", m, t[1], t[NR], b / 1048576 / m
      printf "%.6f\n", m > m_out
    }'
}

row() {
  local what=$1 file=$2
  shift 2
  printf '%-48s %s\n' "$what" "$(measure "$(stat -c %s "$file")" "$@")"
}

# wyn's row, then highlight's with how many times faster wyn was.
pair() {
  local what=$1 file=$2 wyn_args=$3 hl_args=$4 ours theirs
  # shellcheck disable=SC2086
  row "wyn colour $wyn_args ($what)" "$file" "$build/wyn" --no-config colour $wyn_args "$file"
  ours=$(cat "$work/median")
  # highlight writes its style sheet into the folder it runs in: the work folder.
  # shellcheck disable=SC2086
  row "highlight --syntax=c $hl_args ($what)" "$file" env -C "$work" highlight --syntax=c $hl_args -i "$file"
  theirs=$(cat "$work/median")
  printf '%-48s %s\n' "  wyn faster by" "$(awk -v a="$ours" -v b="$theirs" 'BEGIN {printf "%.0f times", b / a}')"
}

big=$work/big.wyn ex=$work/examples.wyn
echo "$(nproc) cores, load $(cut -d' ' -f1-3 /proc/loadavg), $runs runs each, median (min-max)"
echo "input: $size generated; examples: $(stat -c %s "$work/one-pass.wyn") bytes repeated to $(stat -c %s "$ex")"
pair "$size" "$big" "--html -" "-O html"
pair "$size" "$big" "--color=always" "-O xterm256"
pair examples "$ex" "--html -" "-O html"
pair examples "$ex" "--color=always" "-O xterm256"

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
printf '%-48s %s\n' "wyn colour --color=always (50M): first 4 KiB" "$(summary "${firsts[@]}")"
printf '%-48s %s\n' "wyn colour --color=always (50M): whole run" "$(summary "${alls[@]}")"
shares=()
for ((i = 0; i < runs; i++)); do shares+=("$(awk -v f="${firsts[i]}" -v a="${alls[i]}" 'BEGIN {print 100 * f / a}')"); done
printf '%-48s %s\n' "  first 4 KiB as a share of the run (%)" "$(summary "${shares[@]}" | sed 's/ s / /')"
