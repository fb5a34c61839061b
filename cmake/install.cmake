# Install layout and the Debian packages.
#
#   <prefix>/lib/<multiarch>/hmi/drivers/libmodbus_rtu_slave_over_tcp.so   the plug-in
#   <prefix>/include/modbus_rtu_slave_over_tcp/settings/*.h               runtime interface headers
#   <prefix>/include/modbus_rtu_slave_over_tcp/tools/*.h                  support library headers
#   <prefix>/lib/cmake/ModbusRtuDriver/                                   CMake package
#   <prefix>/lib/pkgconfig/modbus-rtu-driver.pc                           pkg-config file
#   <prefix>/bin/mbrtu                                                     the command-line tool
# MBRTU_PLUGIN_INSTALL_DIR, the plug-in folder, is a cache variable of the
# top-level CMakeLists.txt (mbrtu is built knowing it). The library folder
# above is CMAKE_INSTALL_LIBDIR.

set(MBRTU_INCLUDE_INSTALL_DIR ${CMAKE_INSTALL_INCLUDEDIR}/modbus_rtu_slave_over_tcp)

install(TARGETS modbus_rtu_slave_over_tcp
        LIBRARY DESTINATION ${MBRTU_PLUGIN_INSTALL_DIR} COMPONENT runtime)
# The headers keep the source tree's folders: tools/tools.h includes
# ../settings/communicator_command.h, which includes data_type.h.
install(FILES settings/abstract_device_interface.h settings/communicator_command.h
              settings/data_type.h settings/driver_interface.h settings/drv_dev_setting.h
        DESTINATION ${MBRTU_INCLUDE_INSTALL_DIR}/settings COMPONENT runtime)
install(FILES tools/tools.h tools/txpackage.h tools/lib_crc.h tools/modbus_crc.h
        DESTINATION ${MBRTU_INCLUDE_INSTALL_DIR}/tools COMPONENT runtime)
if(TARGET mbrtu)
  install(TARGETS mbrtu RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT runtime)
endif()

# ---- Packages for programs that link to the plug-in's exported functions ----
# Both describe an imported shared library: the plug-in, its headers, Qt Core.
set(MBRTU_PLUGIN_LINK_NAME modbus_rtu_slave_over_tcp)
set(MBRTU_PLUGIN_FILE_NAME
    ${CMAKE_SHARED_LIBRARY_PREFIX}${MBRTU_PLUGIN_LINK_NAME}${CMAKE_SHARED_LIBRARY_SUFFIX})
set(MBRTU_CMAKE_INSTALL_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/ModbusRtuDriver)
set(MBRTU_PKGCONFIG_INSTALL_DIR ${CMAKE_INSTALL_LIBDIR}/pkgconfig)

# CMake: the helpers write the prefix as a path relative to the config file.
include(CMakePackageConfigHelpers)
configure_package_config_file(
  ${CMAKE_CURRENT_LIST_DIR}/ModbusRtuDriverConfig.cmake.in
  ${PROJECT_BINARY_DIR}/package/ModbusRtuDriverConfig.cmake
  INSTALL_DESTINATION ${MBRTU_CMAKE_INSTALL_DIR}
  PATH_VARS MBRTU_INCLUDE_INSTALL_DIR MBRTU_PLUGIN_INSTALL_DIR)
write_basic_package_version_file(
  ${PROJECT_BINARY_DIR}/package/ModbusRtuDriverConfigVersion.cmake
  VERSION ${PROJECT_VERSION} COMPATIBILITY SameMajorVersion)
install(FILES ${PROJECT_BINARY_DIR}/package/ModbusRtuDriverConfig.cmake
              ${PROJECT_BINARY_DIR}/package/ModbusRtuDriverConfigVersion.cmake
        DESTINATION ${MBRTU_CMAKE_INSTALL_DIR} COMPONENT runtime)

# pkg-config: the prefix is ${pcfiledir} followed by one ".." for every folder
# of the pkg-config folder below the prefix. Folders given as absolute paths
# stay absolute (and such a tree cannot be moved).
if(IS_ABSOLUTE "${MBRTU_PKGCONFIG_INSTALL_DIR}")
  set(MBRTU_PC_PREFIX "${CMAKE_INSTALL_PREFIX}")
else()
  file(RELATIVE_PATH MBRTU_PC_UP "/p/${MBRTU_PKGCONFIG_INSTALL_DIR}" "/p")
  string(REGEX REPLACE "/$" "" MBRTU_PC_UP "${MBRTU_PC_UP}")
  set(MBRTU_PC_PREFIX "\${pcfiledir}/${MBRTU_PC_UP}")
endif()
foreach(dir INCLUDE PLUGIN)
  if(IS_ABSOLUTE "${MBRTU_${dir}_INSTALL_DIR}")
    set(MBRTU_PC_${dir}DIR "${MBRTU_${dir}_INSTALL_DIR}")
  else()
    set(MBRTU_PC_${dir}DIR "\${prefix}/${MBRTU_${dir}_INSTALL_DIR}")
  endif()
endforeach()
configure_file(${CMAKE_CURRENT_LIST_DIR}/modbus-rtu-driver.pc.in
               ${PROJECT_BINARY_DIR}/package/modbus-rtu-driver.pc @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/package/modbus-rtu-driver.pc
        DESTINATION ${MBRTU_PKGCONFIG_INSTALL_DIR} COMPONENT runtime)

# ---- Debian packages ----
# mbrtu-driver carries stripped binaries; mbrtu-driver-dbgsym (a .ddeb) carries
# their debug information below /usr/lib/debug/.build-id/, found by debuggers
# through each binary's build ID. The DEB generator splits the two itself
# (objcopy --only-keep-debug, then --strip-unneeded), so CPACK_STRIP_FILES
# stays off: it would strip the files before their debug information is kept.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME "mbrtu-driver")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Modbus RTU over TCP driver plug-in for HMI runtimes, with the mbrtu tool")
set(CPACK_PACKAGE_CONTACT "HMI driver team <drivers@localhost>")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION misc)
set(CPACK_DEBIAN_DEBUGINFO_PACKAGE ON)
# The toolchain's own binary tools, so that cross-built binaries split too.
if(CMAKE_OBJCOPY)
  set(CPACK_OBJCOPY_EXECUTABLE ${CMAKE_OBJCOPY})
endif()
if(CMAKE_READELF)
  set(CPACK_READELF_EXECUTABLE ${CMAKE_READELF})
endif()
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
