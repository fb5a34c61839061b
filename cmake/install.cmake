# Install layout and the Debian packages.
#
#   <prefix>/lib/hmi/drivers/libmodbus_rtu_slave_over_tcp.so       the plug-in          (plugin)
#   <prefix>/bin/mbrtu, share/man/man1/mbrtu.1.gz,
#   share/bash-completion/completions/mbrtu,
#   lib/systemd/system/mbrtu-gateway@.service (when there is one)  the tools            (tools)
#   <prefix>/include/modbus_rtu_slave_over_tcp/{settings,tools}/*.h runtime and support headers
#   <prefix>/<libdir>/cmake/ModbusRtuDriver/                        CMake package
#   <prefix>/<libdir>/pkgconfig/modbus-rtu-driver.pc                pkg-config file       (dev)
#   <prefix>/share/doc/<package>/{copyright,changelog.gz}           each package's own
# MBRTU_PLUGIN_INSTALL_DIR, the plug-in folder, is a cache variable of the
# top-level CMakeLists.txt (mbrtu is built knowing it). <libdir> is the
# multiarch folder (lib/x86_64-linux-gnu) where the compiler has one, so that
# pkg-config finds the file of the architecture it builds for.

set(MBRTU_INCLUDE_INSTALL_DIR ${CMAKE_INSTALL_INCLUDEDIR}/modbus_rtu_slave_over_tcp)
if(CMAKE_LIBRARY_ARCHITECTURE)
  set(MBRTU_ARCH_LIBDIR lib/${CMAKE_LIBRARY_ARCHITECTURE})
else()
  set(MBRTU_ARCH_LIBDIR ${CMAKE_INSTALL_LIBDIR})
endif()

# The Debian package of each install component.
set(MBRTU_PACKAGE_plugin mbrtu-driver)
set(MBRTU_PACKAGE_tools mbrtu-tools)
set(MBRTU_PACKAGE_dev mbrtu-driver-dev)

install(TARGETS modbus_rtu_slave_over_tcp
        LIBRARY DESTINATION ${MBRTU_PLUGIN_INSTALL_DIR} COMPONENT plugin)
# The headers keep the source tree's folders: tools/tools.h includes
# ../settings/communicator_command.h, which includes data_type.h.
include(${CMAKE_CURRENT_LIST_DIR}/public-headers.cmake)
install(FILES ${MBRTU_PUBLIC_SETTINGS_HEADERS}
        DESTINATION ${MBRTU_INCLUDE_INSTALL_DIR}/settings COMPONENT dev)
install(FILES ${MBRTU_PUBLIC_TOOLS_HEADERS}
        DESTINATION ${MBRTU_INCLUDE_INSTALL_DIR}/tools COMPONENT dev)
install(FILES docs/integrating.md DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/doc/${MBRTU_PACKAGE_dev}
        COMPONENT dev)

include(${CMAKE_CURRENT_LIST_DIR}/tools-install.cmake)

# ---- Packages for programs that link to the plug-in's exported functions ----
# Both describe an imported shared library: the plug-in, its headers, Qt Core.
set(MBRTU_PLUGIN_LINK_NAME modbus_rtu_slave_over_tcp)
set(MBRTU_PLUGIN_FILE_NAME
    ${CMAKE_SHARED_LIBRARY_PREFIX}${MBRTU_PLUGIN_LINK_NAME}${CMAKE_SHARED_LIBRARY_SUFFIX})
set(MBRTU_CMAKE_INSTALL_DIR ${MBRTU_ARCH_LIBDIR}/cmake/ModbusRtuDriver)
set(MBRTU_PKGCONFIG_INSTALL_DIR ${MBRTU_ARCH_LIBDIR}/pkgconfig)

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
        DESTINATION ${MBRTU_CMAKE_INSTALL_DIR} COMPONENT dev)

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
        DESTINATION ${MBRTU_PKGCONFIG_INSTALL_DIR} COMPONENT dev)

include(${CMAKE_CURRENT_LIST_DIR}/debian.cmake)
