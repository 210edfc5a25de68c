# Installs the build tree into a scratch prefix and checks where the deliverables land.
file(REMOVE_RECURSE ${PREFIX})
execute_process(COMMAND ${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${PREFIX}
                RESULT_VARIABLE status OUTPUT_QUIET)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "cmake --install failed: ${status}")
endif()
foreach(path lib/vst/QuarloDorvantix.so bin/qdhost)
  if(NOT EXISTS ${PREFIX}/${path})
    message(FATAL_ERROR "${path} is missing from the install prefix")
  endif()
endforeach()
file(REMOVE_RECURSE ${PREFIX})
