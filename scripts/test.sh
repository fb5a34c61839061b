#!/usr/bin/env bash
# Builds everything and runs all tests. Installs missing Debian packages first.
#
# Stages, in order; the first failure stops the run:
#   suite      the whole ctest suite: unit, end-to-end, interoperability with
#              pymodbus, the short soak run and the package test
#   sanitize   the unit tests (driver, support library, settings, host) built
#              with AddressSanitizer and UBSan
#   tsan       the tests that start threads (the driver's database gate on
#              several threads, the simulated slave and fault proxy, the TCP
#              device, the watch poller) and a short soak, built with
#              ThreadSanitizer
#   fuzz       every fuzz target for a bounded time from the committed seeds
#   arm64      cross-build for 64-bit ARM, unit tests under qemu-user
#
# MBRTU_STAGES="suite sanitize" runs only the named stages.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
stages=${MBRTU_STAGES:-"suite sanitize tsan fuzz arm64"}

"$root/scripts/install-deps.sh"
export QT_QPA_PLATFORM=offscreen

run_stage() {
  local name=$1; shift
  case " $stages " in *" $name "*) ;; *) return 0 ;; esac
  local start=$SECONDS
  echo
  echo "==== $name"
  "$@"
  echo "==== $name passed in $((SECONDS - start)) s"
}

suite() {
  local build="$root/build"
  mkdir -p "$build"
  "$root/scripts/build.sh" "$build"
  (cd "$build" && ctest --output-on-failure -j "$(nproc)")
}

run_stage suite suite
run_stage sanitize bash "$root/scripts/sanitize-test.sh"
run_stage tsan bash "$root/scripts/tsan-test.sh"
run_stage fuzz bash "$root/scripts/fuzz-test.sh"
run_stage arm64 bash "$root/scripts/cross-test.sh"
echo
echo "all stages passed: $stages"
