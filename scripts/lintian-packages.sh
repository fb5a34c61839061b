#!/usr/bin/env bash
# Runs Debian's lintian on packages (.deb, .ddeb) and fails when it reports an
# error or a warning on any of them; informational and pedantic tags are shown
# too. Prints each package's tags, or that it has none. Overrides, if ever
# needed, go in the package with a comment saying why.
#   scripts/lintian-packages.sh PACKAGE...
set -uo pipefail
[ $# -gt 0 ] || { echo "usage: lintian-packages.sh PACKAGE..." >&2; exit 2; }
out=$(lintian --info --pedantic --fail-on error,warning "$@" 2>&1)
status=$?
# lintian's notice that it runs as root (as in CI containers) is no tag.
tags=$(grep -v -e '^N:' -e 'running with root privileges' <<< "$out")
for package in "$@"; do
  name=$(dpkg-deb -f "$package" Package)
  arch=$(dpkg-deb -f "$package" Architecture)
  own=$(grep -E "^[A-Z]: $name( \\(|:)" <<< "$tags")
  echo "lintian $name ($arch): ${own:-no tags}"
done
[ "$status" -eq 0 ] || { echo "lintian failed (status $status):"; echo "$out"; exit 1; }
