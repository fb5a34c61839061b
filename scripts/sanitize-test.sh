#!/usr/bin/env bash
# Builds the plug-in and the unit test programs (driver, tools, settings and
# host) with AddressSanitizer and UndefinedBehaviorSanitizer in a build folder
# of its own and runs the unit tests there; the end-to-end, interoperability,
# soak and package tests run unsanitized in the suite stage, and the soak
# again under ThreadSanitizer (scripts/tsan-test.sh). Any sanitizer report ends its program with a non-zero
# status (UBSan does not recover: -fno-sanitize-recover), so the test that
# ran into it fails; leaks are reported at exit. No leak suppressions are
# needed: Qt's one-time allocations are still reachable at exit. As a last
# guard the test log is searched for reports from programs whose status no
# test looks at (helpers started by tests).
#   scripts/sanitize-test.sh [BUILD_DIR] [ctest arguments...]   (default: -L unit)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-"$root/build-asan"}
shift || true
jobs=${MBRTU_JOBS:-2}

"$root/scripts/install-deps.sh"
mkdir -p "$build"
build=$(cd "$build" && pwd)

# The build itself runs test programs (test discovery), so the options must
# hold from here on.
export ASAN_OPTIONS="halt_on_error=1:abort_on_error=0:detect_leaks=1:detect_stack_use_after_return=1:check_initialization_order=1:strict_init_order=1:print_stacktrace=1"
export UBSAN_OPTIONS="halt_on_error=1:print_stacktrace=1:report_error_type=1"
export QT_QPA_PLATFORM=offscreen

start=$(date +%s)
# -O1 with line tables only (-g1): reports still name function, file and
# line, and the build takes about 200 s on 2 cores, some 80 s less than
# with -O2 -g.
flags="-O1 -g1 -DNDEBUG"
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
      -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="$flags" -DCMAKE_C_FLAGS_RELWITHDEBINFO="$flags" \
      -DMBRTU_SANITIZE=ON -DMBRTU_BUILD_BENCH=OFF > "$build/configure.log" 2>&1 \
  || { cat "$build/configure.log"; exit 1; }
cmake --build "$build" -j "$jobs" --target unit_tests > "$build/build.log" 2>&1 \
  || { tail -60 "$build/build.log"; exit 1; }

# Test programs must be sanitized, or the run proves nothing.
# (grep reads all of its input: with -q it could stop early, nm would die of
# SIGPIPE and pipefail would fail the check.)
nm -D "$build/libmodbus_rtu_slave_over_tcp.so" 2>/dev/null | grep __asan_ > /dev/null \
  || ldd "$build/libmodbus_rtu_slave_over_tcp.so" | grep libasan > /dev/null \
  || { echo "the plug-in in $build is not built with AddressSanitizer"; exit 1; }

[ $# -gt 0 ] || set -- -L unit
status=0
(cd "$build" && ctest --output-on-failure -j "$jobs" "$@") || status=$?
reports=$(grep -hE 'runtime error:|ERROR: (AddressSanitizer|LeakSanitizer)' \
            "$build"/Testing/Temporary/LastTest*.log 2>/dev/null | sort -u || true)
if [ -n "$reports" ]; then
  echo "sanitizer reports in the test log:"
  echo "$reports" | head -20
  status=1
fi
echo "sanitizer suite: $(( $(date +%s) - start )) s, ctest status $status"
exit $status
