#!/usr/bin/env bash
# The main job: build the plug-in and the wyn tool, then show the plug-in at
# work on the example scripts: its colouring of one of them in the terminal
# and the routine list of another. Arguments, when given, go to wyn instead
# (bash scripts/run.sh --help). Installs only what the Linux build needs,
# and says what it is doing on stderr; the build's own output is shown only
# when it fails.
# Last, packages the VS Code extension to build/ when Node and npm are there.
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

# The VS Code extension, when Node is there; the demo above stands whatever
# happens here.
say "packaging the VS Code extension (scripts/package-vsix.sh; a minute the first time)"
if vsix=$(bash scripts/package-vsix.sh "$wyn" 2>"$log"); then
  say "VS Code extension: $vsix (code --install-extension $vsix)"
elif (($? == 3)); then
  say "VS Code extension: skipped (node or npm is not installed)"
else
  say "VS Code extension: skipped (packaging failed: $(tail -n 1 "$log"))"
fi
