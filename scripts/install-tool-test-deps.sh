#!/usr/bin/env bash
# Installs what the wyn tool's tests need beyond the build: Debian's
# chromium, run headless to check that the tool's HTML page renders.
# Only when it is missing. Runs as root on Debian 12.
set -euo pipefail

packages=(chromium)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if ((${#missing[@]})); then
  echo "installing: ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  apt-get -o DPkg::Lock::Timeout=900 update -qq
  apt-get -o DPkg::Lock::Timeout=900 install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi
