#!/usr/bin/env bash
# Runs the unit test programs of a normal (unsanitized) build under Valgrind's
# memcheck. Fails on any invalid access, use of uninitialised memory or
# definite leak, and on any failing test. Qt's one-time allocations are still
# reachable at exit and count as no error, so no suppression file is needed.
#   scripts/valgrind-test.sh [BUILD_DIR]
# Environment: MBRTU_JOBS build jobs (default 2).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-"$root/build"}
jobs=${MBRTU_JOBS:-2}

"$root/scripts/install-deps.sh" valgrind
mkdir -p "$build"
build=$(cd "$build" && pwd)

start=$(date +%s)
if [ ! -f "$build/CMakeCache.txt" ]; then
  cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo > "$build/configure.log" 2>&1 \
    || { cat "$build/configure.log"; exit 1; }
fi
programs=(settings_tests tools_tests driver_tests bitset_tests database_tests)
cmake --build "$build" -j "$jobs" --target "${programs[@]}" > "$build/valgrind-build.log" 2>&1 \
  || { tail -60 "$build/valgrind-build.log"; exit 1; }
built=$(date +%s)

logs="$build/valgrind"
mkdir -p "$logs"
status=0
for name in "${programs[@]}"; do
  program=$(find "$build/tests" -type f -name "$name" -perm -u+x | head -1)
  [ -n "$program" ] || { echo "$name: not built"; status=1; continue; }
  log="$logs/$name.log"
  t0=$(date +%s)
  result=0
  valgrind --tool=memcheck --error-exitcode=1 --leak-check=full --errors-for-leak-kinds=definite \
           --track-origins=yes --num-callers=30 --log-file="$log" \
           "$program" > "$logs/$name.out" 2>&1 || result=$?
  t1=$(date +%s)
  errors=$(sed -n 's/.*ERROR SUMMARY: \([0-9]*\) errors.*/\1/p' "$log" | tail -1)
  lost=$(sed -n 's/.*definitely lost: \([0-9,]*\) bytes.*/\1/p' "$log" | tail -1)
  tests=$(grep -E '^\[  PASSED  \]' "$logs/$name.out" | tail -1 || true)
  printf '%-16s %3d s  memcheck errors %s, definitely lost %s bytes, %s\n' "$name" $(( t1 - t0 )) \
    "${errors:-?}" "${lost:-0}" "${tests:-no test summary}"
  if [ "$result" -ne 0 ]; then
    status=1
    echo "---- $name failed (status $result); $log:"
    grep -E '^==[0-9]+== (Invalid|Conditional|Use of|Syscall|Mismatched|[0-9,]+ bytes in)' "$log" | head -20 || true
    grep -E 'FAILED' "$logs/$name.out" | head -20 || true
  fi
done
echo "valgrind: build $(( built - start )) s, memcheck $(( $(date +%s) - built )) s"
exit $status
