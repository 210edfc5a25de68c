# Runs lv2_validate over the bundle's Turtle files against the LV2 vocabularies Debian installs
# and fails unless it finds no error.
file(GLOB files ${BUNDLE}/*.ttl)
execute_process(COMMAND lv2_validate ${files} OUTPUT_VARIABLE out ERROR_VARIABLE err
                RESULT_VARIABLE status)
string(REGEX MATCH "Found 0 errors[^\n]*" verdict "${out}${err}")
if(NOT status EQUAL 0 OR NOT verdict)
  message(FATAL_ERROR "lv2_validate:\n${out}${err}")
endif()
message(STATUS "lv2_validate: ${verdict}")
