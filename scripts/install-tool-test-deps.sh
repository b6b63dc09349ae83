#!/usr/bin/env bash
# Installs what the wyn tool's tests need beyond the build: Debian's
# chromium, run headless to check that the tool's HTML page renders;
# setfacl/getfacl and setfattr/getfattr, which give a file an ACL and an
# extended attribute that --in-place must keep; readtags (universal-ctags)
# and Neovim, which read the tool's tags files as users' tools do. Only when
# missing. Runs as root on Debian 12.
set -euo pipefail
source "$(dirname "$0")/lib.sh"

install_missing chromium acl attr universal-ctags neovim
