#!/usr/bin/env bash
# Packages the VS Code extension (editors/vscode) into a .vsix with the
# TextMate grammar of the plug-in `wyn` loads, so the package always colours
# as the plug-in it was built with does:
#   bash scripts/package-vsix.sh [WYN [OUT]]
# WYN is the wyn program (default build/linux/wyn, built already), OUT the
# package (default build/wyn-VERSION.vsix). npm installs the extension's
# locked packages; vsce bundles the code with esbuild and writes OUT. Prints
# OUT on stdout when it is written; npm's and vsce's own words go to stderr.
# Exits 3 when Node or npm is missing, 1 when a step fails.
set -euo pipefail
cd "$(dirname "$0")/.."

wyn=${1:-build/linux/wyn}
ext=editors/vscode
version=$(node -p "require('./$ext/package.json').version" 2>/dev/null || true)
out=${2:-build/wyn-$version.vsix}

if ! command -v node >/dev/null || ! command -v npm >/dev/null; then
  echo "package-vsix: node or npm is not installed" >&2
  exit 3
fi
if [[ ! -x $wyn ]]; then
  echo "package-vsix: no wyn program at $wyn (build it first)" >&2
  exit 1
fi
mkdir -p "$(dirname "$out")" "$ext/syntaxes"
out=$(cd "$(dirname "$out")" && pwd)/$(basename "$out")

"$wyn" export --format=textmate -o "$ext/syntaxes/wyn.tmLanguage.json" >&2
cd "$ext"
npm ci --no-audit --no-fund --loglevel=error >&2
# The bundle holds the language client, so no dependency is packaged.
npx vsce package --no-dependencies --out "$out" </dev/null >&2
[[ -s $out ]]
echo "$out"
