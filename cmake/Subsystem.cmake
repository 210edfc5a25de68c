# qd_subsystem(NAME target DEPS ...): a static library of every .cpp in the calling folder.
# Public include root is the repository root, so headers are included as "folder/Header.h".
function(qd_subsystem)
  cmake_parse_arguments(ARG "" "NAME" "DEPS" ${ARGN})
  file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
  add_library(${ARG_NAME} STATIC ${sources})
  target_include_directories(${ARG_NAME} PUBLIC ${PROJECT_SOURCE_DIR})
  target_link_libraries(${ARG_NAME} PUBLIC ${ARG_DEPS})
endfunction()

# qd_isa_source(TARGET t SOURCE file DEFINE macro OPTIONS flags... [WINDOWS]): builds one
# source file of t for a wider instruction set (x86-64 with GCC or Clang only) and defines
# macro for t's sources, which then call the file's code only where the processor runs it.
# Without WINDOWS the Windows build leaves the file in its baseline form and the macro
# undefined: 256-bit registers spill to stack slots the Windows compiler does not align.
function(qd_isa_source)
  cmake_parse_arguments(ARG "WINDOWS" "TARGET;SOURCE;DEFINE" "OPTIONS" ${ARGN})
  if(NOT CMAKE_SYSTEM_PROCESSOR MATCHES "^(x86_64|AMD64|amd64)$"
     OR NOT CMAKE_CXX_COMPILER_ID MATCHES "GNU|Clang" OR (WIN32 AND NOT ARG_WINDOWS))
    return()
  endif()
  set_source_files_properties(${ARG_SOURCE} PROPERTIES COMPILE_OPTIONS "${ARG_OPTIONS}")
  target_compile_definitions(${ARG_TARGET} PRIVATE ${ARG_DEFINE})
endfunction()

# qd_timeout(var seconds): a test's time limit, stretched by QD_TEST_TIMEOUT_FACTOR for runs
# under a slow tool (Valgrind runs the suite some 20 to 50 times slower).
set(QD_TEST_TIMEOUT_FACTOR 1 CACHE STRING "Multiplies every test's time limit")
function(qd_timeout var seconds)
  math(EXPR stretched "${seconds} * ${QD_TEST_TIMEOUT_FACTOR}")
  set(${var} ${stretched} PARENT_SCOPE)
endfunction()

# qd_test(NAME name SOURCES... DEPS ...): one GoogleTest binary registered with CTest.
function(qd_test)
  cmake_parse_arguments(ARG "" "NAME" "SOURCES;DEPS" ${ARGN})
  add_executable(${ARG_NAME} ${ARG_SOURCES})
  target_link_libraries(${ARG_NAME} PRIVATE ${ARG_DEPS} test_leak_suppressions GTest::gtest
                        GTest::gtest_main Threads::Threads)
  qd_timeout(limit 600)
  gtest_discover_tests(${ARG_NAME} DISCOVERY_TIMEOUT 60 PROPERTIES TIMEOUT ${limit})
endfunction()

include(${CMAKE_CURRENT_LIST_DIR}/FormatModule.cmake)
