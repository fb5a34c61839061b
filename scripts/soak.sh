#!/usr/bin/env bash
# The long soak run: builds the plug-in and mbrtu_soak, then sends 100,000
# mixed requests through the plug-in against the simulated slave with faults
# injected into one reply in ten, and prints the summary. Options go to
# mbrtu_soak (--requests N, --seed S, --fault-rate P, --timeout-ms MS,
# --retries N, --faults drop,delay,corrupt,split,close; --help lists them).
# Exits 0 only when no wrong value was accepted or written and nothing hung.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/install-deps.sh"
build="$root/build"
mkdir -p "$build"
echo "building the plug-in and mbrtu_soak in $build (log: $build.build.log)"
{
  cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo &&
  cmake --build "$build" -j "$(nproc)" --target modbus_rtu_slave_over_tcp mbrtu_soak
} > "$build.build.log" 2>&1 || { tail -50 "$build.build.log"; exit 1; }
exec "$build/host/soak/mbrtu_soak" --requests 100000 "$@"
