#!/usr/bin/env bash
# What `wyn colour --html PAGE` costs on a generated script (100 MiB by
# default): CPU seconds (user + system), wall seconds and peak resident
# memory, each the median of RUNS runs (5 by default) with min-max, once
# with both cores free to it and once pinned to one core (taskset -c 0),
# where its two threads share that core. Each run is timed by
# /usr/bin/time -f '%U %S %e %M'. Several builds may be given (e.g. one from
# before a change and one after): their runs alternate, so a machine that
# grows busier during the measurement weighs on all of them alike.
# Everything is written into a temporary folder, deleted at the end.
#
#   bash scripts/measure-colour-cpu.sh [SIZE] [RUNS] [BUILD_DIR...]
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
size=${1:-100M}
runs=${2:-5}
shift 2 || shift $#
builds=("$@")
((${#builds[@]})) || builds=("$here/build/linux")
gen=$here/build/linux/wyn_gen
source "$here/scripts/lib.sh"
need_built "$gen" "${builds[@]/%//wyn}"

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
"$gen" "$size" >"$work/script.wyn"

# "median (min-max)" of the numbers on stdin.
summary() {
  sort -g | awk '{ v[NR] = $1 } END { printf "%.2f (%.2f-%.2f)", v[int((NR + 1) / 2)], v[1], v[NR] }'
}

for pin in "" "taskset -c 0"; do
  for ((r = 0; r < runs; r++)); do
    for b in "${!builds[@]}"; do
      # The build's own libraries first, whatever its run path says.
      LD_LIBRARY_PATH=${builds[b]} /usr/bin/time -f '%U %S %e %M' -o "$work/time" \
        $pin "${builds[b]}/wyn" --max-size=1G --no-config colour --html "$work/page.html" \
        "$work/script.wyn"
      read -r user sys wall kb <"$work/time"
      echo "$(awk -v u="$user" -v s="$sys" 'BEGIN { print u + s }') $wall $kb" >>"$work/runs-$b${pin:+-pinned}"
    done
  done
done
for b in "${!builds[@]}"; do
  for pin in "" "-pinned"; do
    f=$work/runs-$b$pin
    printf '%s%s: CPU %s s, wall %s s, peak %s MiB\n' "${builds[b]}" "${pin:+ (one core)}" \
      "$(cut -d' ' -f1 "$f" | summary)" "$(cut -d' ' -f2 "$f" | summary)" \
      "$(awk '{ print $3 / 1024 }' "$f" | summary)"
  done
done
