#!/usr/bin/env bash
# Cross-builds the plug-in, the unit tests and mbrtu for 64-bit ARM panels,
# runs the unit tests under user-mode emulation (qemu-aarch64), and builds the
# panel's Debian packages and has lintian check them. Installs the cross
# compiler, qemu and Qt's arm64 multiarch packages when they are missing.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-"$root/build-arm64"}

arm64_packages=(g++-aarch64-linux-gnu qemu-user libqt5core5a:arm64 libqt5sql5:arm64
                libqt5sql5-sqlite:arm64 qtbase5-dev:arm64 libgtest-dev:arm64
                libqt5serialport5-dev:arm64 qtbase5-private-dev:arm64)
if ! dpkg --print-foreign-architectures | grep -x arm64 > /dev/null; then
  as_root=(); [ "$(id -u)" -ne 0 ] && as_root=(sudo)
  "${as_root[@]}" dpkg --add-architecture arm64
  "${as_root[@]}" apt-get update -qq
fi
"$root/scripts/install-deps.sh" "${arm64_packages[@]}"

# Only what runs or ships here: the plug-in, mbrtu with its manual page (made
# from the usage text of the arm64 mbrtu, under the emulator) and the unit
# tests, at -O2 with line tables only (-g1: the -dbgsym packages then give
# backtraces with files and lines, at little build time); packaging then
# builds nothing more.
mkdir -p "$build"
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
      -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchain-aarch64-linux-gnu.cmake" -DMBRTU_BUILD_BENCH=OFF \
      -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O2 -g1 -DNDEBUG" -DCMAKE_SKIP_INSTALL_ALL_DEPENDENCY=ON \
      > "$build.configure.log" 2>&1 || { cat "$build.configure.log"; exit 1; }
cmake --build "$build" -j "$(nproc)" --target modbus_rtu_slave_over_tcp mbrtu unit_tests \
      mbrtu_manpage mbrtu_changelog
file "$build/libmodbus_rtu_slave_over_tcp.so" | grep "ARM aarch64" > /dev/null
# Unit tests only: no interoperability, fuzzing or benchmarks under emulation.
# Left out as well, because user-mode emulation cannot run them faithfully:
# tests that fork the test program (the process probe), the signal-interrupted
# sleep, tests that start threads (the two-thread database connections, the
# TCP device tests with the simulated slave's threads and socket time-outs),
# and the serial device tests, which start socat.
not_under_emulation='HexTextProcessesAndDumps|HRSleepResumesAfterSignals|DriversOnTwoThreads|^TcpDeviceTest|^SerialDeviceTest'
(cd "$build" && ctest --output-on-failure -j "$(nproc)" -L unit -E "$not_under_emulation" --timeout 300)

# The panel's packages; dpkg-shlibdeps takes their dependencies from the arm64
# libraries. lintian must find nothing to report on any of them.
rm -rf "$build/packages"
(cd "$build" && DEB_HOST_ARCH=arm64 cpack -B "$build/packages" > "$build/cpack.log" 2>&1) ||
  { cat "$build/cpack.log"; exit 1; }
bash "$root/scripts/lintian-packages.sh" "$build"/packages/*.deb "$build"/packages/*.ddeb
