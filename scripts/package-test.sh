#!/usr/bin/env bash
# Builds the Debian packages from a build folder and checks them: lintian
# finds nothing to report on any of them; the plug-in, the tools and the
# development files come as Debian splits them, the packages with binaries
# carry them stripped and their -dbgsym packages the debug information;
# unpacked into a temporary root, the installed plug-in loads through
# QPluginLoader, the installed mbrtu finds it, and a small program builds
# against the installed tree with find_package and with pkg-config and calls
# the plug-in's exported functions.
#   scripts/package-test.sh BUILD_DIR
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:?build folder}" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

(cd "$build" && cpack -B "$work/out" > "$work/cpack.log" 2>&1) || { cat "$work/cpack.log"; exit 1; }
package() { # the file of a package by name and type (deb or ddeb)
  local file="$work/out/${1}_1.0.0_$(dpkg-deb -f "$(ls "$work"/out/*.deb | head -1)" Architecture).$2"
  [ -f "$file" ] || { echo "no package $1 ($2); cpack wrote:"; ls "$work/out"; exit 1; }
  echo "$file"
}
for name in mbrtu-driver mbrtu-tools mbrtu-driver-dev; do
  deb=$(package "$name" deb)
  echo "package $(basename "$deb"): $(stat -c %s "$deb") bytes"
  dpkg-deb -x "$deb" "$work/root"
done
for name in mbrtu-driver mbrtu-tools; do
  dpkg-deb -x "$(package "$name-dbgsym" ddeb)" "$work/dbgsym"
done
dpkg-deb -f "$(package mbrtu-driver deb)" Depends | grep libqt5sql5-sqlite > /dev/null ||
  { echo "missing dependency on libqt5sql5-sqlite"; exit 1; }

# A plug-in built with AddressSanitizer (the sanitize stage) needs programs
# built with it too: its run-time library must be loaded first. Such packages
# are never shipped, so lintian looks only at the others.
plugin=$(find "$work/root" -name 'libmodbus_rtu_slave_over_tcp.so' | head -1)
[ -n "$plugin" ] || { echo "plug-in not in package"; exit 1; }
san=()
if readelf -d "$plugin" | grep 'NEEDED.*libasan' > /dev/null; then
  san=("-fsanitize=address,undefined")
else
  bash "$root/scripts/lintian-packages.sh" "$work"/out/*.deb "$work"/out/*.ddeb
fi

for file in include/modbus_rtu_slave_over_tcp/settings/{driver_interface,abstract_device_interface,communicator_command,drv_dev_setting,data_type}.h \
            include/modbus_rtu_slave_over_tcp/tools/{tools,txpackage,lib_crc,modbus_crc}.h \
            share/man/man1/mbrtu.1.gz share/bash-completion/completions/mbrtu \
            share/doc/mbrtu-driver-dev/integrating.md; do
  [ -f "$work/root/usr/$file" ] || { echo "/usr/$file not in the packages"; exit 1; }
done

# Stripped binaries in the packages; each one's debug information, with
# its build ID as file name, in the debug-symbols package.
mbrtu="$work/root/usr/bin/mbrtu"
[ -x "$mbrtu" ] || { echo "mbrtu not in package"; exit 1; }
for binary in "$plugin" "$mbrtu"; do
  name=$(basename "$binary")
  file -b "$binary" | grep ', stripped' > /dev/null || { echo "$name is not stripped: $(file -b "$binary")"; exit 1; }
  ! readelf -S "$binary" | grep '\.debug_info' > /dev/null || { echo "$name carries debug information"; exit 1; }
  id=$(readelf -n "$binary" | sed -n 's/.*Build ID: \([0-9a-f]*\).*/\1/p')
  debug="$work/dbgsym/usr/lib/debug/.build-id/${id:0:2}/${id:2}.debug"
  if [ -z "$id" ] || [ ! -f "$debug" ]; then echo "no debug file for $name (build ID '$id')"; exit 1; fi
  readelf -S "$debug" 2>/dev/null | grep '\.debug_info' > /dev/null || { echo "debug file of $name has no debug information"; exit 1; }
  echo "$name: $(stat -c %s "$binary") bytes stripped, debug information $(stat -c %s "$debug") bytes"
done

# Load the installed copy, not the one in the build folder.
out=$("$build/host/plugin_info" "$plugin")
echo "$out"
grep -q "^plug-in     $plugin" <<< "$out"
grep -q "Modbus RTU Slave over TCP" <<< "$out"
# The installed mbrtu finds the installed plug-in by itself: a read against a
# closed port reaches the driver, which reports the refused connection. Its
# project database goes to the user's data folder, never beside the program.
status=0
home="$work/home"
err=$(env -u MBRTU_PLUGIN_DIR -u MBRTU_APP_DIR -u XDG_DATA_HOME HOME="$home" \
      "$mbrtu" read HR1 --port 1 --retries 0 --timeout 200 2>&1 >/dev/null) || status=$?
echo "installed mbrtu: $err"
[ "$status" -eq 1 ] && grep -q "connection refused" <<< "$err"
[ -f "$home/.local/share/mbrtu/compile/database/database" ] || { echo "no per-user project database"; exit 1; }
[ ! -e "$(dirname "$mbrtu")/compile" ] || { echo "mbrtu wrote beside itself"; exit 1; }
env -u MBRTU_PLUGIN_DIR "$mbrtu" --version | grep -q "^plug-in Modbus RTU Slave over TCP 1.0.0 from .*/libmodbus_rtu_slave_over_tcp.so$"
echo "installed package loads"

# An integrator's program against the unpacked tree (its prefix /usr now lies
# below a temporary root, so the package files must find their own location).
# Both builds must take everything from that tree: the package files, the
# headers and the plug-in the program runs with.
prefix="$work/root/usr"
consumer_check() {
  local how=$1 program=$2 out
  ldd "$program" | grep "libmodbus_rtu_slave_over_tcp.so => $prefix/" > /dev/null ||
    { echo "$how: not linked to the installed plug-in"; ldd "$program"; exit 1; }
  out=$("$program") || { echo "$how: $out"; exit 1; }
  echo "$how: $out"
}
{
  cmake -S "$root/tests/package" -B "$work/consumer" -DCMAKE_PREFIX_PATH="$prefix" -DCMAKE_BUILD_TYPE=Release \
        -DCMAKE_CXX_FLAGS="${san[*]}" &&
  cmake --build "$work/consumer"
} > "$work/consumer.log" 2>&1 || { cat "$work/consumer.log"; exit 1; }
grep -q "^ModbusRtuDriver_DIR:PATH=$prefix/" "$work/consumer/CMakeCache.txt" ||
  { echo "find_package did not take the unpacked tree"; grep ModbusRtuDriver_DIR "$work/consumer/CMakeCache.txt"; exit 1; }
consumer_check "find_package(ModbusRtuDriver)" "$work/consumer/consumer"

pc=$(find "$prefix" -name modbus-rtu-driver.pc | head -1)
[ -n "$pc" ] || { echo "modbus-rtu-driver.pc not in package"; exit 1; }
export PKG_CONFIG_PATH="${pc%/*}"
flags=$(pkg-config --cflags --libs modbus-rtu-driver)
plugindir=$(pkg-config --variable=plugindir modbus-rtu-driver)
[[ "$plugindir" == "$prefix/"* ]] ||
  { echo "pkg-config plug-in folder outside the unpacked tree: $plugindir"; exit 1; }
# shellcheck disable=SC2086  # the flags are several words
# Qt Core asks for position-independent code, which pkg-config files leave to
# the program (the integrator's guide says so).
c++ -std=c++17 -fPIC "${san[@]}" "$root/tests/package/consumer.cpp" -o "$work/consumer-pc" $flags -Wl,-rpath,"$plugindir" ||
  { echo "pkg-config build failed with: $flags"; exit 1; }
consumer_check "pkg-config modbus-rtu-driver" "$work/consumer-pc"
