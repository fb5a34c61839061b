#!/usr/bin/env bash
# The gateway's systemd unit template passes systemd-analyze verify without a
# word, with ExecStart pointed at the mbrtu just built (the installed path is
# not there in a build tree). Exit 77 (skipped) where systemd-analyze is
# missing or cannot run, as in some containers.
#   verify_unit.sh UNIT-TEMPLATE MBRTU
set -euo pipefail
unit=$1 mbrtu=$2
command -v systemd-analyze > /dev/null || { echo "systemd-analyze not installed: skipped"; exit 77; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
systemd-analyze --version > /dev/null 2>&1 || { echo "systemd-analyze does not run here: skipped"; exit 77; }
sed "s|/usr/bin/mbrtu|$mbrtu|" "$unit" > "$work/mbrtu-gateway@.service"
status=0
said=$(systemd-analyze verify --man=no "$work/mbrtu-gateway@check.service" 2>&1) || status=$?
if [ "$status" -ne 0 ] || [ -n "$said" ]; then
  echo "systemd-analyze verify found fault with $unit (status $status):"
  echo "$said"
  exit 1
fi
echo "$unit verified"
