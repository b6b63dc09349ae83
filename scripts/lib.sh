# Shell helpers shared by the install and measuring scripts; sourced, not run.

# Prints the named Debian packages that are not installed yet.
missing_packages() {
  local p
  for p in "$@"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || echo "$p"
  done
}

# Installs the named Debian packages that are missing, running apt-get update
# first only when something is to be installed. Waits for another apt run.
install_missing() {
  local missing
  mapfile -t missing < <(missing_packages "$@")
  ((${#missing[@]})) || return 0
  echo "installing: ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  apt-get -o DPkg::Lock::Timeout=900 update -qq
  apt-get -o DPkg::Lock::Timeout=900 install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
}

# For the measuring scripts: exits 2 unless each named program is built,
# and installs GNU time when /usr/bin/time is missing.
need_built() {
  local tool
  for tool in "$@"; do
    [[ -x $tool ]] || { echo "missing $tool: build first (cmake --build --preset linux)" >&2; exit 2; }
  done
  [[ -x /usr/bin/time ]] || install_missing time
}
