# The headers installed for programs that build against the plug-in; what they
# declare is the plug-in's exported surface (scripts/abi-check.sh holds it).
set(MBRTU_PUBLIC_SETTINGS_HEADERS
    settings/abstract_device_interface.h settings/communicator_command.h settings/data_type.h
    settings/driver_interface.h settings/drv_dev_setting.h)
set(MBRTU_PUBLIC_TOOLS_HEADERS tools/tools.h tools/txpackage.h tools/lib_crc.h tools/modbus_crc.h)
