#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need, only when some
# are missing. With --linux, only what the Linux build needs (no 32-bit
# cross compiler). Runs as root on Debian 12.
set -euo pipefail
source "$(dirname "$0")/lib.sh"

linux=(cmake ninja-build g++ pkg-config
  libgtest-dev libgmock-dev libbenchmark-dev libpcre2-dev nlohmann-json3-dev
  libuchardet-dev libeditorconfig-dev groff-base)
windows=(g++-mingw-w64-i686 binutils-mingw-w64-i686)
wasm=(emscripten) # the WebAssembly form (scripts/test-wasm.sh)

if [[ ${1:-} == --linux ]]; then
  install_missing "${linux[@]}"
else
  install_missing "${linux[@]}" "${windows[@]}" "${wasm[@]}"
fi
