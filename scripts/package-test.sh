#!/usr/bin/env bash
# Builds the Debian package from a build folder, unpacks it into a temporary
# root and loads the installed plug-in through QPluginLoader.
#   scripts/package-test.sh BUILD_DIR
set -euo pipefail
build=$(cd "${1:?build folder}" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

(cd "$build" && cpack -B "$work/out" > "$work/cpack.log" 2>&1) || { cat "$work/cpack.log"; exit 1; }
deb=$(ls "$work"/out/*.deb)
echo "package: $(basename "$deb")"
dpkg-deb -f "$deb" Depends | grep libqt5sql5-sqlite > /dev/null || { echo "missing dependency on libqt5sql5-sqlite"; exit 1; }

dpkg -x "$deb" "$work/root"
plugin=$(find "$work/root" -name 'libmodbus_rtu_slave_over_tcp.so' | head -1)
[ -n "$plugin" ] || { echo "plug-in not in package"; dpkg -c "$deb"; exit 1; }
for header in driver_interface.h abstract_device_interface.h communicator_command.h drv_dev_setting.h; do
  find "$work/root" -name "$header" | grep . > /dev/null || { echo "header $header not in package"; exit 1; }
done

# Load the installed copy, not the one in the build folder.
out=$("$build/host/plugin_info" "$plugin")
echo "$out"
grep -q "^plug-in     $plugin" <<< "$out"
grep -q "Modbus RTU Slave over TCP" <<< "$out"
# The installed mbrtu finds the installed plug-in by itself: a read against a
# closed port reaches the driver, which reports the refused connection.
mbrtu="$work/root/usr/bin/mbrtu"
[ -x "$mbrtu" ] || { echo "mbrtu not in package"; exit 1; }
status=0
err=$(env -u MBRTU_PLUGIN_DIR "$mbrtu" read HR1 --port 1 --retries 0 --timeout 200 2>&1 >/dev/null) || status=$?
echo "installed mbrtu: $err"
[ "$status" -eq 1 ] && grep -q "connection refused" <<< "$err"
echo "installed package loads"
