#!/usr/bin/env bash
# Builds both forms of the plug-in and runs every test: the Linux build
# (stand-in editor, plug-in library, unit and integration tests) and the
# 32-bit Windows build (WYN.dll and the check of its binary surface).
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh
bash scripts/install-tool-test-deps.sh   # chromium, for the tool's HTML check

jobs=$(nproc 2>/dev/null || echo 2)

echo "== Linux build"
cmake --preset linux >/dev/null
cmake --build --preset linux -j "$jobs"
echo "== Linux tests"
ctest --preset linux -j "$jobs"

echo "== Win32 build"
cmake --preset win32 >/dev/null
cmake --build --preset win32 -j "$jobs"
echo "== Win32 tests"
ctest --preset win32
