#!/usr/bin/env bash
# Installs what the Wine run of the test suite needs, only what is missing:
# the 32-bit MinGW-w64 cross compilers, Debian's googletest sources, Wine
# with its 32-bit loader, and the tools and deb-src entries that let the
# build fetch Debian's pcre2 source package. Runs as root on Debian 12;
# apt-get update runs at most once.
set -euo pipefail
source "$(dirname "$0")/lib.sh"

export DEBIAN_FRONTEND=noninteractive
changed=0

# -- the i386 architecture, for wine32 ---------------------------------------
if ! dpkg --print-foreign-architectures | grep -qx i386; then
  dpkg --add-architecture i386
  changed=1
fi

# -- deb-src entries mirroring Debian's own deb entries ----------------------
# Only Debian's archive is mirrored: other repositories may carry no sources.
src_list=/etc/apt/sources.list.d/wyn-src.sources
if [[ ! -f $src_list ]]; then
  tmp=$(mktemp)
  # deb822 files: copy each stanza whose URIs point at Debian, as deb-src.
  for f in /etc/apt/sources.list.d/*.sources; do
    [[ -f $f && $f != "$src_list" ]] || continue
    awk 'BEGIN { RS = ""; ORS = "\n\n" }
         /(^|\n)Types:[^\n]*deb/ && /(^|\n)URIs:[^\n]*\/debian(-security)?\/?(\n|$| )/ {
           sub(/(^|\n)Types:[^\n]*/, "\nTypes: deb-src"); sub(/^\n/, ""); print }' "$f" >>"$tmp"
  done
  # One-line files: "deb [opts] uri suite comp..." becomes a stanza.
  for f in /etc/apt/sources.list /etc/apt/sources.list.d/*.list; do
    [[ -f $f ]] || continue
    awk '$1 == "deb" {
           i = 2; opts = ""
           if ($2 ~ /^\[/) { while ($i !~ /\]$/) i++; i++ }
           uri = $i; suite = $(i + 1); comps = ""
           for (j = i + 2; j <= NF; j++) comps = comps " " $j
           if (uri !~ /\/debian(-security)?\/?$/) next
           printf "Types: deb-src\nURIs: %s\nSuites: %s\nComponents:%s\n\n", uri, suite, comps
         }' "$f" >>"$tmp"
  done
  if [[ -s $tmp ]]; then
    install -m 644 "$tmp" "$src_list"
    changed=1
  else
    echo "install-wine: no Debian deb entry found to mirror as deb-src" >&2
  fi
  rm -f "$tmp"
fi

# -- packages ----------------------------------------------------------------
packages=(
  cmake ninja-build dpkg-dev libpcre2-dev
  g++-mingw-w64-i686 binutils-mingw-w64-i686 googletest
  wine wine32:i386
)
mapfile -t missing < <(missing_packages "${packages[@]}")

# Sources lists present? apt-get source needs them.
have_sources=0
compgen -G "/var/lib/apt/lists/*_source_Sources*" >/dev/null && have_sources=1

if ((changed)) || ((${#missing[@]})) || ((!have_sources)); then
  apt-get update -qq
fi
if ((${#missing[@]})); then
  echo "install-wine: installing ${missing[*]}"
  apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi
