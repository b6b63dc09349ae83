#!/usr/bin/env bash
# The main job: build the plug-in and the wyn tool, then show the plug-in at
# work on the example scripts: its colouring of one of them in the terminal
# and the routine list of another. Arguments, when given, go to wyn instead
# (bash scripts/run.sh --help).
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh >&2
log=$(mktemp)
trap 'rm -f "$log"' EXIT
if ! { cmake --preset linux && cmake --build --preset linux -j 2 --target wyn_tool; } >"$log" 2>&1; then
  cat "$log" >&2
  exit 2
fi

wyn=build/linux/wyn
if (($#)); then
  exec "$wyn" "$@"
fi
echo "== wyn colour examples/uninstall.wyn"
"$wyn" colour --color=always examples/uninstall.wyn
echo
echo "== wyn routines examples/setup.wyn"
"$wyn" routines examples/setup.wyn
