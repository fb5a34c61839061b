#!/bin/sh
# Writes mbrtu's manual page from its usage text, so that the page cannot fall
# behind --help: the sections of the text (see usage2man.awk) between a header
# dated by the changelog's latest entry and the hand-written sections of TAIL.
#   make-manpage.sh OUT VERSION CHANGELOG TAIL MBRTU-COMMAND...
# MBRTU-COMMAND may start with an emulator for a cross-built mbrtu. OUT is
# written, and OUT.gz compressed as Debian installs manual pages.
set -eu
out=$1 version=$2 changelog=$3 tail=$4
shift 4
here=$(dirname "$0")
stamp=$(sed -n 's/^ -- .*>  //p' "$changelog" | head -n 1)
date=$(date -u -d "$stamp" +%Y-%m-%d)
usage=$("$@" --help)
{
  printf '.TH MBRTU 1 "%s" "mbrtu %s" "User Commands"\n' "$date" "$version"
  printf '.nh\n.ad l\n'
  printf '.SH NAME\nmbrtu \\- read, write, scan and watch Modbus RTU stations through the driver plug-in\n'
  printf '%s\n' "$usage" | awk -v intro="$here/mbrtu.1.intro" -f "$here/usage2man.awk"
  cat "$tail"
} > "$out.tmp"
mv "$out.tmp" "$out"
gzip -9n -c "$out" > "$out.gz"
