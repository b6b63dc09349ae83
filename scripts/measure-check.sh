#!/usr/bin/env bash
# wyn check -R against ctags -R over the same tree: 10,000 generated
# scripts (the benchmarks' generator, wyn_gen) in nested folders, about
# 10 KiB each, half of them with CR LF line ends and a fifth with
# upper-case names. ctags reads them with its C parser (--langmap), so it
# parses every file rather than passing over an extension it does not
# know, and writes its tags to a file in the temporary folder. Each is run
# several times (5 by default; --runs N changes that) after one run that
# warms the page cache; the figures are the median wall-clock seconds with
# the fastest and slowest run, and the median CPU seconds (user and
# system). wyn check should be at least as fast. It checks the files in
# one worker process a core; -j 1, in one process, is timed too, as ctags
# runs on one core.
# The scripts are generated into a temporary folder and deleted afterwards.
# By default their block words are at random, so wyn check has dozens of
# problems to say in each; --real writes them as their authors do, every
# block closed (wyn_gen's "real" text), which is what a project's tree holds.
#
#   bash scripts/measure-check.sh [--runs N] [--real] [BUILD_DIR] [COUNT]
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
source "$here/scripts/lib.sh"
runs=5
kind=
while [[ ${1:-} == --* ]]; do
  case $1 in
    --runs) runs=$2; shift 2 ;;
    --real) kind=real; shift ;;
    *) echo "unknown option $1" >&2; exit 2 ;;
  esac
done
build=$(cd "${1:-$here/build/linux}" && pwd)
count=${2:-10000}
need_built "$build/wyn" "$build/wyn_gen"
command -v ctags >/dev/null || { echo "ctags is not installed" >&2; exit 2; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
tree=$work/tree

# One stream of generated routines cut into scripts at routine ends, each
# with the generator's own first lines; 100 scripts a folder.
cat >"$work/split.py" <<'PY'
import os, sys
tree, count = sys.argv[1], int(sys.argv[2])
routines = sys.stdin.buffer.read().split(b"\n\n")
head, routines = b'#include "ifx.h"\n#define MAX_SIZE 0x100\n', routines[1:]
per = max(1, len(routines) // count)
for i in range(count):
    folder = os.path.join(tree, "part%03d" % (i // 100))
    os.makedirs(folder, exist_ok=True)
    text = head + b"\n\n".join(routines[i * per:(i + 1) * per]) + b"\n"
    if i % 2:
        text = text.replace(b"\n", b"\r\n")
    name = ("SETUP%05d.wyn" if i % 5 == 0 else "setup%05d.wyn") % i
    with open(os.path.join(folder, name), "wb") as f:
        f.write(text)
PY
"$build/wyn_gen" $((count * 10))K 7 $kind | python3 "$work/split.py" "$tree" "$count"
echo "$count scripts, $(du -sm "$tree" | cut -f1) MiB, $runs runs each"

# "MEDIAN (FASTEST-SLOWEST) s, CPU MEDIAN s": wall-clock seconds of a
# command, and its user and system seconds, which a busy machine disturbs
# less; output thrown away.
measure() {
  local t=() c=() i s u k
  "$@" >/dev/null 2>&1 || true
  for ((i = 0; i < runs; i++)); do
    /usr/bin/time -f '%e %U %S' -o "$work/time" "$@" >/dev/null 2>&1 || true
    read -r s u k < <(tail -n 1 "$work/time")
    t+=("$s")
    c+=("$(echo "$u + $k" | bc -l)")
  done
  local cpu
  cpu=$(printf '%s\n' "${c[@]}" | sort -g | awk '{a[NR] = $1} END {print a[int((NR + 1) / 2)]}')
  printf '%s\n' "${t[@]}" | sort -g | awk -v cpu="$cpu" \
    '{a[NR] = $1} END {printf "%s s (%s-%s), CPU %.2f s\n", a[int((NR + 1) / 2)], a[1], a[NR], cpu}'
}

printf '%-28s %s\n' "wyn check -R" "$(measure "$build/wyn" check -R "$tree")"
printf '%-28s %s\n' "wyn check -R -j 1" "$(measure "$build/wyn" check -R -j 1 "$tree")"
printf '%-28s %s\n' "ctags -R --langmap=C:+.wyn" \
  "$(measure ctags -R --langmap=C:+.wyn -f "$work/tags" "$tree")"
