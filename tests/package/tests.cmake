# Tests of what the packages deliver; native builds with the runtime stand-in.
#   package.installs_and_loads  the Debian packages: lintian, contents, the
#                               installed plug-in and mbrtu, a program built
#                               against the installed tree
#   package.manpage             mbrtu(1) against mbrtu --help
#   package.completion          bash completion of command lines
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
