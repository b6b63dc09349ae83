#!/usr/bin/env bash
# The main job: build the plug-in and the wyn tool, then show the plug-in at
# work on the example scripts: its colouring of one of them in the terminal
# and the routine list of another. Arguments, when given, go to wyn instead
# (bash scripts/run.sh --help). Installs only what the Linux build needs,
# and says what it is doing on stderr; the build's own output is shown only
# when it fails.
set -euo pipefail
cd "$(dirname "$0")/.."

say() { echo "run.sh: $*" >&2; }

say "checking the packages the Linux build needs (installing any that are missing)"
bash scripts/install-deps.sh --linux >&2
log=$(mktemp)
trap 'rm -f "$log"' EXIT
say "configuring build/linux (cmake --preset linux)"
if ! cmake --preset linux >"$log" 2>&1; then
  cat "$log" >&2
  exit 2
fi
say "building the plug-in and the wyn tool (a minute or two the first time on 2 cores)"
if ! cmake --build --preset linux -j 2 --target wyn_tool >"$log" 2>&1; then
  cat "$log" >&2
  exit 2
fi
say "built build/linux/wyn"

wyn=build/linux/wyn
if (($#)); then
  exec "$wyn" "$@"
fi
echo "== wyn colour examples/uninstall.wyn"
"$wyn" colour --color=always examples/uninstall.wyn
echo
echo "== wyn routines examples/setup.wyn"
"$wyn" routines examples/setup.wyn
