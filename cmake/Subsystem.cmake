# qd_subsystem(NAME target DEPS ...): a static library of every .cpp in the calling folder.
# Public include root is the repository root, so headers are included as "folder/Header.h".
function(qd_subsystem)
  cmake_parse_arguments(ARG "" "NAME" "DEPS" ${ARGN})
  file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
  add_library(${ARG_NAME} STATIC ${sources})
  target_include_directories(${ARG_NAME} PUBLIC ${PROJECT_SOURCE_DIR})
  target_link_libraries(${ARG_NAME} PUBLIC ${ARG_DEPS})
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
