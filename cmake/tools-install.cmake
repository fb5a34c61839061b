# mbrtu and what comes with it: its manual page, made from its usage text at
# build time (packaging/make-manpage.sh; a cross-built mbrtu runs under the
# emulator), its bash completion and the gateway's systemd unit, when the
# source tree has one.
if(NOT TARGET mbrtu)
  return()
endif()
install(TARGETS mbrtu RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT tools)

set(MBRTU_PACKAGING_DIR ${PROJECT_SOURCE_DIR}/packaging)
set(MBRTU_MANPAGE ${PROJECT_BINARY_DIR}/package/mbrtu.1)
# The FILES section names the plug-in where the package puts it.
if(IS_ABSOLUTE "${MBRTU_PLUGIN_INSTALL_DIR}")
  set(MBRTU_MAN_PLUGIN_DIR "${MBRTU_PLUGIN_INSTALL_DIR}")
else()
  set(MBRTU_MAN_PLUGIN_DIR "/usr/${MBRTU_PLUGIN_INSTALL_DIR}")
endif()
set(MBRTU_PLUGIN_FILE_NAME
    ${CMAKE_SHARED_LIBRARY_PREFIX}modbus_rtu_slave_over_tcp${CMAKE_SHARED_LIBRARY_SUFFIX})
configure_file(${MBRTU_PACKAGING_DIR}/mbrtu.1.tail.in ${PROJECT_BINARY_DIR}/package/mbrtu.1.tail @ONLY)
add_custom_command(
  OUTPUT ${MBRTU_MANPAGE} ${MBRTU_MANPAGE}.gz
  COMMAND sh ${MBRTU_PACKAGING_DIR}/make-manpage.sh ${MBRTU_MANPAGE} ${PROJECT_VERSION}
          ${MBRTU_PACKAGING_DIR}/changelog ${PROJECT_BINARY_DIR}/package/mbrtu.1.tail
          ${CMAKE_CROSSCOMPILING_EMULATOR} $<TARGET_FILE:mbrtu>
  DEPENDS mbrtu ${MBRTU_PACKAGING_DIR}/make-manpage.sh ${MBRTU_PACKAGING_DIR}/usage2man.awk
          ${MBRTU_PACKAGING_DIR}/mbrtu.1.intro ${PROJECT_BINARY_DIR}/package/mbrtu.1.tail
          ${MBRTU_PACKAGING_DIR}/changelog
  COMMENT "Writing mbrtu(1) from mbrtu --help"
  VERBATIM)
add_custom_target(mbrtu_manpage ALL DEPENDS ${MBRTU_MANPAGE})
install(FILES ${MBRTU_MANPAGE}.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT tools)

install(FILES ${MBRTU_PACKAGING_DIR}/mbrtu.bash-completion
        DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/bash-completion/completions RENAME mbrtu
        COMPONENT tools)

set(MBRTU_GATEWAY_UNIT ${PROJECT_SOURCE_DIR}/host/gateway/mbrtu-gateway@.service)
if(EXISTS ${MBRTU_GATEWAY_UNIT})
  install(FILES ${MBRTU_GATEWAY_UNIT} DESTINATION lib/systemd/system COMPONENT tools)
endif()
