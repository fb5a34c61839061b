# Install layout and the Debian package.
#
#   <prefix>/lib/<multiarch>/hmi/drivers/libmodbus_rtu_slave_over_tcp.so   the plug-in
#   <prefix>/include/modbus_rtu_slave_over_tcp/settings/*.h               runtime interface headers
#   <prefix>/bin/mbrtu                                                     the command-line tool
# MBRTU_PLUGIN_INSTALL_DIR, the plug-in folder, is a cache variable of the
# top-level CMakeLists.txt (mbrtu is built knowing it).

install(TARGETS modbus_rtu_slave_over_tcp
        LIBRARY DESTINATION ${MBRTU_PLUGIN_INSTALL_DIR} COMPONENT runtime)
install(FILES settings/abstract_device_interface.h settings/communicator_command.h
              settings/driver_interface.h settings/drv_dev_setting.h
        DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/modbus_rtu_slave_over_tcp/settings
        COMPONENT runtime)
if(TARGET mbrtu)
  install(TARGETS mbrtu RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT runtime)
endif()

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME "mbrtu-driver")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Modbus RTU over TCP driver plug-in for HMI runtimes, with the mbrtu tool")
set(CPACK_PACKAGE_CONTACT "HMI driver team <drivers@localhost>")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION misc)
# Shared-library dependencies come from dpkg-shlibdeps; the SQLite driver of
# Qt is loaded at run time, so it is named explicitly.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "libqt5sql5-sqlite")
if(CMAKE_CROSSCOMPILING)
  set(CPACK_DEBIAN_PACKAGE_ARCHITECTURE arm64)
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS OFF)
  set(CPACK_DEBIAN_PACKAGE_DEPENDS "libqt5core5a, libqt5sql5, libqt5sql5-sqlite, libc6, libstdc++6")
endif()
include(CPack)
