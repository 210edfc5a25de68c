# Installs the build tree into a scratch prefix and checks that the whole bundle lands in
# lib/lv2.
file(REMOVE_RECURSE ${PREFIX})
execute_process(COMMAND ${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${PREFIX}
                RESULT_VARIABLE status OUTPUT_QUIET)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "cmake --install failed: ${status}")
endif()
foreach(file manifest.ttl QuarloDorvantix.ttl QuarloDorvantix.so QuarloDorvantix_ui.so)
  if(NOT EXISTS ${PREFIX}/lib/lv2/QuarloDorvantix.lv2/${file})
    message(FATAL_ERROR "lib/lv2/QuarloDorvantix.lv2/${file} is missing from the install prefix")
  endif()
endforeach()
file(REMOVE_RECURSE ${PREFIX})
