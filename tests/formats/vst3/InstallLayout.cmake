# Installs the build tree into a scratch prefix and checks where the bundle lands.
file(REMOVE_RECURSE ${PREFIX})
execute_process(COMMAND ${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${PREFIX}
                RESULT_VARIABLE status OUTPUT_QUIET)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "cmake --install failed: ${status}")
endif()
foreach(path lib/vst3/QuarloDorvantix.vst3/Contents/x86_64-linux/QuarloDorvantix.so
        lib/vst3/QuarloDorvantix.vst3/Contents/Resources/moduleinfo.json)
  if(NOT EXISTS ${PREFIX}/${path})
    message(FATAL_ERROR "${path} is missing from the install prefix")
  endif()
endforeach()
file(REMOVE_RECURSE ${PREFIX})
