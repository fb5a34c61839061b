#!/bin/sh
# Completes a debug-symbols package (.ddeb) written by CPack's DEB generator,
# which (CMake 3.25) lists its files in md5sums by their absolute paths in the
# build folder and gives it no documentation: the md5sums are written again
# from the package's own tree, and /usr/share/doc/<package>-dbgsym becomes a
# link to the documentation of the package it belongs to, as Debian's
# debug-symbols packages do.
#   complete-dbgsym.sh PACKAGE.ddeb
set -eu
ddeb=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
dpkg-deb -R "$ddeb" "$work/tree"
name=$(sed -n 's/^Package: //p' "$work/tree/DEBIAN/control")
mkdir -p "$work/tree/usr/share/doc"
ln -sfn "${name%-dbgsym}" "$work/tree/usr/share/doc/$name"
(cd "$work/tree" && find usr -type f -print0 | sort -z | xargs -0 md5sum) > "$work/tree/DEBIAN/md5sums"
dpkg-deb --root-owner-group -Zxz -b "$work/tree" "$ddeb" > /dev/null
