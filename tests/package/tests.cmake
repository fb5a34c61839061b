# Tests of what is delivered beside the code.
#   docs.error_texts            docs/integrating.md lists every error text the
#                               driver's sources can leave
# and, in native builds with the runtime stand-in:
#   package.installs_and_loads  the Debian packages: lintian, contents, the
#                               installed plug-in and mbrtu, a program built
#                               against the installed tree
#   package.manpage             mbrtu(1) against mbrtu --help
#   package.completion          bash completion of command lines
#   abi.exported_surface        the plug-in's exported surface against
#                               abi/modbus_rtu_slave_over_tcp.abi (builds with
#                               debug information, no sanitizers)
find_package(Python3 COMPONENTS Interpreter)
if(Python3_Interpreter_FOUND)
  add_test(NAME docs.error_texts
           COMMAND Python3::Interpreter ${PROJECT_SOURCE_DIR}/tests/docs/error_texts_test.py
                   ${PROJECT_SOURCE_DIR}/driver ${PROJECT_SOURCE_DIR}/docs/integrating.md)
  set_tests_properties(docs.error_texts PROPERTIES TIMEOUT 60 LABELS docs)
endif()

if(NOT MBRTU_BUILD_HOST OR CMAKE_CROSSCOMPILING OR NOT EXISTS ${PROJECT_SOURCE_DIR}/host/CMakeLists.txt)
  return()
endif()
set(package_tests ${CMAKE_CURRENT_LIST_DIR})

find_program(DPKG_DEB dpkg-deb)
if(DPKG_DEB)
  add_test(NAME package.installs_and_loads
           COMMAND bash ${PROJECT_SOURCE_DIR}/scripts/package-test.sh ${PROJECT_BINARY_DIR})
  set_tests_properties(package.installs_and_loads PROPERTIES TIMEOUT 300 LABELS package)
endif()
add_test(NAME package.manpage
         COMMAND bash ${package_tests}/manpage-test.sh ${PROJECT_BINARY_DIR}/package/mbrtu.1
                 $<TARGET_FILE:mbrtu>)
add_test(NAME package.completion
         COMMAND bash ${package_tests}/completion-test.sh
                 ${PROJECT_SOURCE_DIR}/packaging/mbrtu.bash-completion $<TARGET_FILE:mbrtu>)
set_tests_properties(package.manpage package.completion PROPERTIES TIMEOUT 60 LABELS package)

find_program(ABIDW abidw)
if(ABIDW AND CMAKE_BUILD_TYPE STREQUAL "RelWithDebInfo" AND NOT MBRTU_SANITIZE)
  include(${PROJECT_SOURCE_DIR}/cmake/public-headers.cmake)
  add_test(NAME abi.exported_surface
           COMMAND bash ${PROJECT_SOURCE_DIR}/scripts/abi-check.sh
                   $<TARGET_FILE:modbus_rtu_slave_over_tcp> ${PROJECT_SOURCE_DIR}/abi/modbus_rtu_slave_over_tcp.abi
                   ${MBRTU_PUBLIC_SETTINGS_HEADERS} ${MBRTU_PUBLIC_TOOLS_HEADERS}
           WORKING_DIRECTORY ${PROJECT_SOURCE_DIR})
  set_tests_properties(abi.exported_surface PROPERTIES TIMEOUT 120 LABELS abi)
endif()
