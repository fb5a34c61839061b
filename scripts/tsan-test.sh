#!/usr/bin/env bash
# Builds the plug-in and the programs whose tests start threads with
# ThreadSanitizer in a build folder of its own, and runs those tests: the
# driver's database gate on several threads, the simulated slave and the
# fault proxy on real sockets, the TCP device against them, the watch poller,
# and a short soak run through the plug-in. Qt itself is not instrumented, so
# a QByteArray whose count is released inside Qt on one thread and freed on
# another looks like a race; the gateway, which hands answers between
# threads so, is not run here until such reports are told apart. Any report fails the stage:
# halt_on_error ends the program that ran into it with a non-zero status, and
# the logs are searched for reports from programs whose status no test looks
# at.
#   scripts/tsan-test.sh [BUILD_DIR]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-"$root/build-tsan"}
jobs=${MBRTU_JOBS:-2}

"$root/scripts/install-deps.sh"
mkdir -p "$build"
build=$(cd "$build" && pwd)

# The build runs test programs (test discovery), so the options hold from here on.
export TSAN_OPTIONS="halt_on_error=1:exitcode=66:second_deadlock_stack=1:history_size=4"
export QT_QPA_PLATFORM=offscreen

start=$(date +%s)
flags="-O1 -g1 -DNDEBUG -fsanitize=thread"
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
      -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="$flags" -DCMAKE_C_FLAGS_RELWITHDEBINFO="$flags" \
      -DCMAKE_EXE_LINKER_FLAGS=-fsanitize=thread -DCMAKE_SHARED_LINKER_FLAGS=-fsanitize=thread \
      -DCMAKE_MODULE_LINKER_FLAGS=-fsanitize=thread \
      -DMBRTU_BUILD_BENCH=OFF > "$build/configure.log" 2>&1 \
  || { cat "$build/configure.log"; exit 1; }
targets=(modbus_rtu_slave_over_tcp driver_tests host_sim_wire_tests host_device_tests host_watch_tests mbrtu_soak)
cmake --build "$build" -j "$jobs" --target "${targets[@]}" > "$build/build.log" 2>&1 \
  || { tail -60 "$build/build.log"; exit 1; }
built=$(date +%s)

nm -D "$build/libmodbus_rtu_slave_over_tcp.so" 2>/dev/null | grep __tsan_ > /dev/null \
  || { echo "the plug-in in $build is not built with ThreadSanitizer"; exit 1; }

status=0
# The driver's tests that start threads, the slave and proxy on the wire, the
# TCP device, the watch poller.
tests='^GateTest\.|^SimSlaveOnTheWire\.|^ProxyFixture\.|^FaultProxy\.|^TcpDeviceTest\.|^WatchPoller\.'
(cd "$build" && ctest --output-on-failure -j "$jobs" -R "$tests") || status=$?

# A short soak: the slave's threads and the driver under faults.
soak_log="$build/soak.log"
"$build/host/soak/mbrtu_soak" --requests 400 --seed 20240611 --fault-rate 0.1 --timeout-ms 200 \
  --progress 0 > "$soak_log" 2>&1 || { status=1; tail -40 "$soak_log"; }

reports=$(grep -hE 'WARNING: ThreadSanitizer|ThreadSanitizer: ' "$build"/Testing/Temporary/LastTest*.log \
            "$soak_log" 2>/dev/null | sort -u || true)
if [ -n "$reports" ]; then
  echo "ThreadSanitizer reports:"
  echo "$reports" | head -20
  status=1
fi
echo "thread sanitizer: built in $((built - start)) s, ran in $(( $(date +%s) - built )) s, status $status"
exit $status
