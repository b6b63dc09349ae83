#!/usr/bin/env bash
# The main job: build the plug-in and the wyn tool, then show the plug-in at
# work on one of the example scripts.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh >&2
cmake --preset linux >/dev/null
cmake --build --preset linux -j "$(nproc 2>/dev/null || echo 2)" --target wyn_tool >/dev/null
exec build/linux/wyn info "$@"
