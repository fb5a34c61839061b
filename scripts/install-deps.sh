#!/usr/bin/env bash
# Installs the Debian packages the build, the tests and the demo need, when
# they are missing. Needs root (or sudo) only when something is missing.
set -euo pipefail

packages=(cmake make g++ pkg-config qtbase5-dev libqt5sql5-sqlite libgtest-dev googletest
          libbenchmark-dev python3-pymodbus sqlite3 libqt5serialport5-dev socat libmodbus-dev mbpoll "$@")
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep "install ok installed" > /dev/null || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}"
as_root=()
[ "$(id -u)" -ne 0 ] && as_root=(sudo)
export DEBIAN_FRONTEND=noninteractive
"${as_root[@]}" apt-get update -qq || true
"${as_root[@]}" apt-get install -y -qq "${missing[@]}"
