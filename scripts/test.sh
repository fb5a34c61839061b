#!/usr/bin/env bash
# Builds everything and runs all tests. Installs missing Debian packages first.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/install-deps.sh"

build="$root/build"
mkdir -p "$build"
"$root/scripts/build.sh" "$build"
export QT_QPA_PLATFORM=offscreen
(cd "$build" && ctest --output-on-failure -j "$(nproc)")
