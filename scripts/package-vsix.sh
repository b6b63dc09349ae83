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
#
# The package carries the WebAssembly servers when they are built: the
# launcher and its wasm from WYN_WASM_DIR (default build/wasm, the wasm
# preset), for a desktop with no wyn program, and the web worker and its
# wasm from WYN_WEB_DIR (default build/wasm-web), for the editor in a
# browser. A missing one is said on stderr and left out.
set -euo pipefail
cd "$(dirname "$0")/.."

wyn=${1:-build/linux/wyn}
ext=editors/vscode
version=$(node -p "require('./$ext/package.json').version" 2>/dev/null || true)
out=${2:-build/wyn-$version.vsix}
wasm_dir=${WYN_WASM_DIR:-build/wasm}
web_dir=${WYN_WEB_DIR:-build/wasm-web}

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

# The WebAssembly servers are staged afresh each time, so a package never
# carries one left over from an earlier build.
rm -rf "$ext/server/wasm" "$ext/server/web"
if [[ -f $wasm_dir/wyn.js && -f $wasm_dir/wyn.wasm ]]; then
  mkdir -p "$ext/server/wasm"
  cp "$wasm_dir/wyn.js" "$wasm_dir/wyn.wasm" "$ext/server/wasm/"
else
  echo "package-vsix: no WebAssembly server in $wasm_dir (cmake --build --preset wasm): left out" >&2
fi
shopt -s nullglob
web_wasm=("$web_dir"/*.wasm)
if [[ -f $web_dir/wyn-worker.js ]] && ((${#web_wasm[@]})); then
  mkdir -p "$ext/server/web"
  cp "$web_dir/wyn-worker.js" "${web_wasm[@]}" "$ext/server/web/"
else
  echo "package-vsix: no web worker in $web_dir: left out" >&2
fi

cd "$ext"
npm ci --no-audit --no-fund --loglevel=error >&2
# The bundle holds the language client, so no dependency is packaged.
npx vsce package --no-dependencies --out "$out" </dev/null >&2
[[ -s $out ]]
echo "$out"
