#!/usr/bin/env bash
# Installs the Debian packages the build, the tests and the demo need, when
# they are missing; arguments name further packages. Needs root (or sudo)
# only when something is missing. Prints one line naming what it installs;
# apt-get's own output goes to a log file, shown (its end) only on failure.
set -euo pipefail

packages=(cmake make g++ pkg-config qtbase5-dev libqt5sql5-sqlite libgtest-dev googletest
          libbenchmark-dev python3-pymodbus sqlite3 libqt5serialport5-dev qtbase5-private-dev socat libmodbus-dev
          mbpoll tmux lintian man-db bash-completion abigail-tools "$@")
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep "install ok installed" > /dev/null || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

log=$(mktemp "${TMPDIR:-/tmp}/mbrtu-apt-XXXXXX.log")
echo "installing (apt-get, log in $log): ${missing[*]}"
as_root=()
[ "$(id -u)" -ne 0 ] && as_root=(sudo)
# A failed index update is not fatal: the install may still find everything.
{
  "${as_root[@]}" env DEBIAN_FRONTEND=noninteractive apt-get update || echo "(apt-get update failed)"
  "${as_root[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y "${missing[@]}"
} > "$log" 2>&1 < /dev/null || {
  echo "apt-get failed; the end of $log:" >&2
  tail -n 25 "$log" >&2
  exit 1
}
