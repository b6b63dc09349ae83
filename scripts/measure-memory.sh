#!/usr/bin/env bash
# Peak memory of the wyn tool against the size of its input: colour to a
# terminal and to an HTML page on stdout, routines, expand, indent and a
# one-key edit, on generated scripts of 10 MiB, 100 MiB and 1 GiB (the
# sizes may be given instead, e.g. 10M 100M); then a block comment opened
# on the last line with no closer after it, edited with and without
# --trace, which must not cost more. Each figure is the maximum resident
# set size /usr/bin/time -v reports, and its ratio to the input.
# The inputs are generated into a temporary folder and deleted afterwards.
#
#   bash scripts/measure-memory.sh [BUILD_DIR] [SIZE...]
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$here/build/linux}
shift || true
sizes=("$@")
((${#sizes[@]})) || sizes=(10M 100M 1G)
source "$here/scripts/lib.sh"
need_built "$build/wyn" "$build/wyn_gen"

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# Peak resident kilobytes of one run and its exit status, the output
# thrown away (1 is an answer too: the plug-in did nothing there).
peak_kb() {
  local rc=0
  /usr/bin/time -v "$@" >/dev/null 2>"$work/time" || rc=$?
  echo "$(awk -F: '/Maximum resident set size/ {gsub(/ /, "", $2); print $2}' "$work/time") $rc"
}

printf '%-6s %-16s %10s %6s %5s\n' input command "peak KiB" ratio exit
for size in "${sizes[@]}"; do
  script=$work/script.wyn
  "$build/wyn_gen" "$size" >"$script"
  bytes=$(stat -c %s "$script")
  # Positions for the editing aids: the middle line, its first column.
  lines=$(wc -l <"$script")
  mid=$((lines / 2))
  for name in colour-terminal colour-html routines expand indent edit-one-key edit-opener edit-opener-trace; do
    case $name in
      colour-terminal) args=(colour --color=always "$script") ;;
      colour-html) args=(colour --html - "$script") ;;
      routines) args=(routines "$script") ;;
      expand) args=(expand "$script" "$mid:5") ;;
      indent) args=(indent "$script" "$mid:1") ;;
      edit-one-key) args=(edit -e "goto $mid:1
type \"x\"" "$script") ;;
      edit-opener) args=(edit -e "goto $lines:1
type \"/*\"" "$script") ;;
      edit-opener-trace) args=(edit --trace -e "goto $lines:1
type \"/*\"" "$script") ;;
    esac
    read -r kb rc < <(peak_kb "$build/wyn" --max-size=1G --no-config "${args[@]}")
    printf '%-6s %-16s %10s %6.2f %5s\n' "$size" "$name" "$kb" "$(awk -v k="$kb" -v b="$bytes" 'BEGIN {print k * 1024 / b}')" "$rc"
  done
  rm -f "$script"
done
