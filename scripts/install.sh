# Sourced by every script: installs the Debian packages that scripts/packages
# lists for it, so that any script can be the first one a user runs.
#
# install_packages WHO [GROUP...] reads the list, keeps the packages needed by
# every script and those marked for WHO or one of the GROUPs, and asks dpkg
# which of them are missing. As root it installs those (apt-get update once,
# then apt-get install); otherwise it names them, with the command to install
# them, and returns non-zero. Without dpkg (not Debian) it only warns: the
# build then says what it cannot find.

packages_file="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)/packages"

# The packages the list gives for WHO and the GROUPs, one per line.
listed_packages() {
  awk -v wanted=" $* " '
    { sub(/#.*/, "") }
    NF == 0 { next }
    NF == 1 { print $1; next }
    { for (i = 2; i <= NF; i++) if (index(wanted, " " $i " ")) { print $1; next } }
  ' "$packages_file"
}

# The packages of the arguments that are not installed, one per line.
missing_packages() {
  local installed
  # dpkg-query exits non-zero when it has never heard of a package, as on a
  # fresh machine; under a caller's `set -e -o pipefail` that status would
  # end this function before it names anything, and nothing would be
  # installed.
  installed=$(dpkg-query -W -f='${Package} ${db:Status-Abbrev}\n' "$@" 2>/dev/null | awk '$2 == "ii" { print $1 }') || true
  local p
  for p in "$@"; do
    grep -qxF "$p" <<<"$installed" || echo "$p"
  done
}

install_packages() {
  local who=$1 wanted missing log
  [ -r "$packages_file" ] || { echo "$who: cannot read the package list $packages_file" >&2; return 1; }
  mapfile -t wanted < <(listed_packages "$@")
  [ ${#wanted[@]} -gt 0 ] || return 0
  if ! command -v dpkg-query >/dev/null 2>&1; then
    echo "$who: not a Debian system; make sure these (Debian's names) are installed: ${wanted[*]}" >&2
    return 0
  fi
  mapfile -t missing < <(missing_packages "${wanted[@]}")
  [ ${#missing[@]} -gt 0 ] || return 0
  if [ "$(id -u)" -ne 0 ]; then
    echo "$who: missing Debian packages: ${missing[*]}" >&2
    echo "$who: install them as root with: apt-get install ${missing[*]}" >&2
    return 1
  fi
  echo "$who: installing ${missing[*]}" >&2
  log=$(mktemp)
  # Another install running at the same time holds apt's lock: wait for it.
  local wait_lock=(-o DPkg::Lock::Timeout=600)
  if ! { apt-get update -qq "${wait_lock[@]}" &&
    DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "${wait_lock[@]}" "${missing[@]}"; } \
    >"$log" 2>&1; then
    tail -n 20 "$log" >&2
    rm -f "$log"
    echo "$who: could not install ${missing[*]}" >&2
    return 1
  fi
  rm -f "$log"
}
