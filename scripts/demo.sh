#!/usr/bin/env bash
# The main job: builds the plug-in and the runtime stand-in, then runs the demo.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/install-deps.sh"
build="$root/build"
mkdir -p "$build"
"$root/scripts/build.sh" "$build" > "$build.build.log" 2>&1 || { tail -50 "$build.build.log"; exit 1; }
exec "$build/host/plugin_info" "$build/libmodbus_rtu_slave_over_tcp.so"
