# The Debian packages, one per install component, as Debian splits them:
#   mbrtu-driver      the plug-in                        (component plugin)
#   mbrtu-tools       mbrtu, its manual page and completion, the gateway's unit
#   mbrtu-driver-dev  headers, CMake package, pkg-config file, integrator's guide
# Each carries /usr/share/doc/<package>/copyright and changelog.gz. The ones
# with binaries carry them stripped, and <package>-dbgsym (a .ddeb) their
# debug information below /usr/lib/debug/.build-id/, where debuggers find it
# through each binary's build ID. The DEB generator splits the two itself
# (objcopy --only-keep-debug, then --strip-unneeded), so CPACK_STRIP_FILES
# stays off: it would strip the files before their debug information is kept.

set(MBRTU_PACKAGE_MAINTAINER
    "Seed 0ece4c35 maintainers <maintainers@users.noreply.c-seed-0ece4c35.example>"
    CACHE STRING "Maintainer field of the Debian packages")

# The changelog's latest entry is the version being packaged.
file(STRINGS ${PROJECT_SOURCE_DIR}/packaging/changelog MBRTU_CHANGELOG_HEAD LIMIT_COUNT 1)
if(NOT MBRTU_CHANGELOG_HEAD MATCHES "^mbrtu-driver \\(${PROJECT_VERSION}\\) ")
  message(FATAL_ERROR "packaging/changelog starts with '${MBRTU_CHANGELOG_HEAD}', "
                      "not an entry for version ${PROJECT_VERSION}")
endif()
set(MBRTU_CHANGELOG_GZ ${PROJECT_BINARY_DIR}/package/changelog.gz)
add_custom_command(
  OUTPUT ${MBRTU_CHANGELOG_GZ}
  COMMAND gzip -9n -c ${PROJECT_SOURCE_DIR}/packaging/changelog > ${MBRTU_CHANGELOG_GZ}
  DEPENDS ${PROJECT_SOURCE_DIR}/packaging/changelog
  VERBATIM)
add_custom_target(mbrtu_changelog ALL DEPENDS ${MBRTU_CHANGELOG_GZ})

set(MBRTU_COMPONENTS plugin dev)
if(TARGET mbrtu)
  list(APPEND MBRTU_COMPONENTS tools)
endif()
foreach(component ${MBRTU_COMPONENTS})
  install(FILES ${PROJECT_SOURCE_DIR}/packaging/copyright ${MBRTU_CHANGELOG_GZ}
          DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/doc/${MBRTU_PACKAGE_${component}}
          COMPONENT ${component})
endforeach()

set(CPACK_GENERATOR DEB)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL ${MBRTU_COMPONENTS})
set(CPACK_PACKAGE_NAME "mbrtu-driver")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "${MBRTU_PACKAGE_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_SOURCE "mbrtu-driver")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
if(CMAKE_CROSSCOMPILING)
  set(CPACK_DEBIAN_PACKAGE_ARCHITECTURE arm64)
endif()
# The toolchain's own binary tools, so that cross-built binaries split too.
if(CMAKE_OBJCOPY)
  set(CPACK_OBJCOPY_EXECUTABLE ${CMAKE_OBJCOPY})
endif()
if(CMAKE_READELF)
  set(CPACK_READELF_EXECUTABLE ${CMAKE_READELF})
endif()

set(MBRTU_SAME_VERSION "mbrtu-driver (= ${PROJECT_VERSION})")

set(CPACK_DEBIAN_PLUGIN_PACKAGE_NAME ${MBRTU_PACKAGE_plugin})
set(CPACK_DEBIAN_PLUGIN_PACKAGE_SECTION electronics)
set(CPACK_DEBIAN_PLUGIN_DEBUGINFO_PACKAGE ON)
set(CPACK_DEBIAN_PLUGIN_DESCRIPTION "Modbus RTU over TCP driver plug-in for HMI panel runtimes
The plug-in lets an operator-panel runtime built on Qt 5 read and write the
coils, discrete inputs and registers of Modbus RTU stations, through an
RTU-over-TCP gateway or a serial line. It is loaded with QPluginLoader or
through its C entry point, and keeps its settings in the runtime's project
database (SQLite, hence the dependency on Qt's SQLite driver).")

set(CPACK_DEBIAN_TOOLS_PACKAGE_NAME ${MBRTU_PACKAGE_tools})
set(CPACK_DEBIAN_TOOLS_PACKAGE_SECTION electronics)
set(CPACK_DEBIAN_TOOLS_DEBUGINFO_PACKAGE ON)
set(CPACK_DEBIAN_TOOLS_DESCRIPTION "field tool for the Modbus RTU driver plug-in
mbrtu loads the installed driver plug-in as a panel runtime does and reads,
writes, scans and polls Modbus RTU stations over TCP or a serial line with
it. mbrtu gateway shares the line with Modbus TCP clients (SCADA, a
historian), every RTU frame built and checked by the plug-in. It also
simulates slaves and a faulty link for tests. The package holds its manual
page, bash completion and a systemd unit template for the gateway, which is
not enabled.")

set(CPACK_DEBIAN_DEV_PACKAGE_NAME ${MBRTU_PACKAGE_dev})
set(CPACK_DEBIAN_DEV_PACKAGE_SECTION libdevel)
set(CPACK_DEBIAN_DEV_DESCRIPTION "development files for the Modbus RTU driver plug-in
Headers of the runtime interface and of the support library, a CMake package
(ModbusRtuDriver) and a pkg-config file (modbus-rtu-driver) for programs that
link to the functions the plug-in exports, and the guide for integrating the
plug-in into a runtime.")

# Shared-library dependencies come from dpkg-shlibdeps, for the target
# architecture when cross-building; the SQLite driver of Qt is loaded at run
# time, so it is named explicitly.
set(CPACK_DEBIAN_PLUGIN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PLUGIN_PACKAGE_DEPENDS "libqt5sql5-sqlite")
set(CPACK_DEBIAN_TOOLS_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_TOOLS_PACKAGE_DEPENDS "${MBRTU_SAME_VERSION}")
set(CPACK_DEBIAN_DEV_PACKAGE_DEPENDS "${MBRTU_SAME_VERSION}, qtbase5-dev")
# Debug-symbols packages need completing (see packaging/complete-dbgsym.sh).
set(CPACK_POST_BUILD_SCRIPTS ${CMAKE_CURRENT_LIST_DIR}/dbgsym-post-build.cmake)
set(CPACK_MBRTU_SOURCE_DIR ${PROJECT_SOURCE_DIR})
include(CPack)
