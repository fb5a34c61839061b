#!/usr/bin/env bash
# Renders mbrtu's manual page with man -l and checks it against mbrtu --help:
# groff has nothing to warn about, every command and every option of --help
# appears in the page, and every environment variable --help names has an
# entry under ENVIRONMENT.
#   manpage-test.sh MANPAGE MBRTU
set -uo pipefail
page=$1 mbrtu=$2
usage=$("$mbrtu" --help) || { echo "mbrtu --help failed"; exit 1; }
warnings=$(MANWIDTH=80 man --warnings -E UTF-8 -l -Tutf8 -Z "$page" 2>&1 > /dev/null)
[ -z "$warnings" ] || { echo "groff warns: $warnings"; exit 1; }
# One line, single spaces: the page's line breaks fall anywhere.
text=$(MANWIDTH=80 man -l "$page" 2> /dev/null | col -b | tr -s ' \n' '  ')
# A section's source: from its heading to the next.
section() { zcat -f "$page" | awk -v h=".SH $1" '/^\.SH/ { on = ($0 == h); next } on'; }

failed=0
missing() { echo "not in the manual page: $1"; failed=1; }
commands=$(grep -oE '^(usage:)? +mbrtu [a-z]+' <<< "$usage" | awk '{print $NF}')
[ -n "$commands" ] || { echo "no commands found in mbrtu --help"; exit 1; }
for command in $commands; do
  grep -qF "mbrtu $command " <<< "$text" || missing "mbrtu $command"
done
for option in $(grep -oE -- '--[a-z][a-z-]*' <<< "$usage" | sort -u); do
  grep -qE -- "$option([^a-z-]|$)" <<< "$text" || missing "$option"
done
environment=$(section ENVIRONMENT)
for variable in $(grep -oE '\$[A-Z_]+' <<< "$usage" | tr -d '$' | sort -u); do
  grep -qw "$variable" <<< "$environment" || missing "$variable under ENVIRONMENT"
done
for heading in SYNOPSIS DESCRIPTION OPTIONS 'EXIT STATUS' ENVIRONMENT FILES EXAMPLES; do
  grep -q " $heading " <<< "$text" || missing "section $heading"
done
[ "$failed" -eq 0 ] && echo "mbrtu(1): $(wc -w <<< "$commands") commands, every option and variable of --help"
exit "$failed"
