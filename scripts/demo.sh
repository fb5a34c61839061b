#!/usr/bin/env bash
# The main job: installs what is missing, builds the plug-in and the runtime
# stand-in, then runs the demo: a simulated slave on a free loopback port, a
# project database for it, and a tour through the plug-in that prints every
# frame and value. Exits 0 only when every step gave the expected values.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/install-deps.sh"
build="$root/build"
mkdir -p "$build"
echo "building the plug-in, mbrtu and the demo in $build (log: $build.build.log)"
{
  cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo &&
  cmake --build "$build" -j "$(nproc)" --target modbus_rtu_slave_over_tcp mbrtu mbrtu_demo
} > "$build.build.log" 2>&1 || { tail -50 "$build.build.log"; exit 1; }
exec "$build/host/demo/mbrtu_demo"
