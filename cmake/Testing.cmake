# One CTest entry per test program: under Wine every program start costs a second or more,
# so whole programs are registered rather than each test case.
function(zep_add_test_program name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBRARIES" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  if(WIN32 AND CMAKE_SIZEOF_VOID_P EQUAL 4)
    target_sources(${name} PRIVATE ${PROJECT_SOURCE_DIR}/cmake/gtest-win32/QuietDebugOutput.cpp)
  endif()
  target_link_libraries(${name} PRIVATE ${ARG_LIBRARIES} GTest::gtest GTest::gtest_main)
  add_test(NAME ${name} COMMAND ${name} --gtest_brief=1)
endfunction()
