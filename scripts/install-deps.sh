#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need, only when some
# are missing. Runs as root on Debian 12.
set -euo pipefail
source "$(dirname "$0")/lib.sh"

install_missing cmake ninja-build g++ pkg-config \
  libgtest-dev libgmock-dev libbenchmark-dev libpcre2-dev \
  g++-mingw-w64-i686 binutils-mingw-w64-i686
