#!/usr/bin/env bash
# Holds the plug-in's exported surface to a committed baseline: the functions,
# variables and types that programs can reach through the installed headers,
# and the plug-in's C entry points. Fails, naming them, when one is removed or
# changes its type; lists additions.
#   scripts/abi-check.sh PLUGIN BASELINE HEADER...            check
#   scripts/abi-check.sh --update PLUGIN BASELINE HEADER...   write the baseline
# A new baseline is a commit of its own that says why the surface changed.
# Needs the plug-in built with debug information (RelWithDebInfo).
set -euo pipefail
update=0
[ "${1-}" = --update ] && { update=1; shift; }
plugin=${1:?plug-in} baseline=${2:?baseline}
shift 2
[ $# -gt 0 ] || { echo "usage: abi-check.sh [--update] PLUGIN BASELINE HEADER..." >&2; exit 2; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# The surface: symbols with C linkage (the entry points and the CRC updates),
# and C++ symbols whose outermost name (a function, or the class of a member)
# is declared in an installed header, Qt's classes aside.
cat "$@" | sed 's://.*::' | grep -oE '\b[A-Za-z_][A-Za-z0-9_]*\b' | sort -u > "$work/declared"
nm -D --defined-only --format=posix "$plugin" | awk '{print $1}' | sort -u > "$work/symbols"
paste "$work/symbols" <(c++filt < "$work/symbols") | awk -F'\t' '
  NR == FNR { declared[$1] = 1; next }
  $1 !~ /^_Z/ { print $1; next }
  {
    name = $2
    sub(/^(non-virtual thunk to |typeinfo name for |typeinfo for |vtable for )/, "", name)
    sub(/[(<].*/, "", name); sub(/::.*/, "", name)
    if (name in declared && name !~ /^Q[A-Z]/) print $1   # not Qt templates the plug-in happens to emit
  }' "$work/declared" - > "$work/surface"
# Everything else is left out of the representation.
pattern="^($(paste -sd'|' "$work/surface" | sed 's/[$.]/\\&/g'))\$"
for kind in function variable; do
  printf '[suppress_%s]\n  symbol_name_not_regexp = %s\n  drop = yes\n' "$kind" "$pattern"
done > "$work/suppressions"

headers=()
for dir in $(dirname "$@" | sort -u); do headers+=(--headers-dir "$dir"); done
abidw --no-corpus-path --no-show-locs --type-id-style hash --drop-undefined-syms --drop-private-types \
      "${headers[@]}" --suppressions "$work/suppressions" "$plugin" |
  sed "s/ comp-dir-path='[^']*'//" > "$work/current.abi"   # where it was built does not matter
if [ "$update" -eq 1 ]; then
  cp "$work/current.abi" "$baseline"
  echo "wrote $baseline: $(grep -c '<elf-symbol ' "$baseline") symbols"
  exit 0
fi

status=0
abidiff --no-show-locs --harmless "$baseline" "$work/current.abi" > "$work/report" || status=$?
symbols=$(grep -c '<elf-symbol ' "$work/current.abi")
if [ "$status" -eq 0 ]; then
  echo "exported surface as in $(basename "$baseline"): $symbols symbols"
  exit 0
fi
(( status & 3 )) && { echo "abidiff failed (status $status):"; cat "$work/report"; exit 1; }
# Changes beyond additions fail; the report names each symbol.
summary=$(grep -E '^(Functions|Variables|Function symbols|Variable symbols) changes summary' "$work/report" || true)
if grep -E '[1-9][0-9]* (Removed|Changed)' <<< "$summary" > /dev/null || (( status & 8 )); then
  echo "the exported surface lost or changed symbols against $(basename "$baseline"):"
  cat "$work/report"
  echo "if that is intended, write a new baseline (scripts/abi-check.sh --update ...) in a commit of its own saying why"
  exit 1
fi
echo "exported surface as in $(basename "$baseline") ($symbols symbols), with additions:"
cat "$work/report"
