# Test programs, and the stand-in Excel's host-program function that makes one play Excel.
include(${CMAKE_CURRENT_LIST_DIR}/../host/excel/HostProgram.cmake)

# zep_add_test_program(name [EXCEL_HOST] SOURCES ... [LIBRARIES ...]): one GoogleTest program and
# one CTest entry for it. Under Wine every program start costs a second or more, so whole programs
# are registered rather than each test case. EXCEL_HOST makes the program a stand-in Excel that an
# add-in or the framework can call into.
function(zep_add_test_program name)
  cmake_parse_arguments(ARG "EXCEL_HOST" "" "SOURCES;LIBRARIES" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  if(WIN32 AND CMAKE_SIZEOF_VOID_P EQUAL 4)
    target_sources(${name} PRIVATE ${PROJECT_SOURCE_DIR}/cmake/gtest-win32/QuietDebugOutput.cpp)
  endif()
  target_link_libraries(${name} PRIVATE ${ARG_LIBRARIES} GTest::gtest GTest::gtest_main)
  if(ARG_EXCEL_HOST)
    xlhost_make_host_program(${name})
  endif()
  add_test(NAME ${name} COMMAND ${name} --gtest_brief=1)
endfunction()
