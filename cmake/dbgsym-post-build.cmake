# CPack post-build script: completes each debug-symbols package it wrote
# (packaging/complete-dbgsym.sh says what and why).
foreach(file ${CPACK_PACKAGE_FILES})
  if(file MATCHES "\\.ddeb$")
    execute_process(COMMAND sh ${CPACK_MBRTU_SOURCE_DIR}/packaging/complete-dbgsym.sh ${file}
                    RESULT_VARIABLE status)
    if(NOT status EQUAL 0)
      message(FATAL_ERROR "could not complete ${file}")
    endif()
  endif()
endforeach()
