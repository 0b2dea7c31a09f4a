# CheckSheet.cmake against a stand-in xllhost that prints given bytes: each case is the output
# (a printf format: \073 is a semicolon, which would split the case), its exit status, the expected
# file (a printf format), and what the check must say ("" for a pass). Run as cmake -DWORK=<scratch folder> -P CheckSheet_test.cmake.
cmake_minimum_required(VERSION 3.25)
set(check "${CMAKE_CURRENT_LIST_DIR}/CheckSheet.cmake")

set(cases
  # A counted Excel 4 text's NUL, raw and as xllhost shows it, on every line but the last.
  "a\\000b\\nc\\n|0|a\\000b\\nc\\n|"
  "A1 = f()\\n  x\\\\x00\\n|0|A1 = f()\\n  x\\\\x00\\n|"
  "a\\000b\\nc\\n|0|a\\000c\\nc\\n|line 1 differs.*expected: a\\\\x00c.*got: +a\\\\x00b"
  # Windows line ends in the expected file are a checkout's; in the output they are a difference.
  "a\\nb\\n|0|a\\r\\nb\\r\\n|"
  "a\\r\\nb\\r\\n|0|a\\nb\\n|line 1 differs.*got:      a\\\\x0D"
  # Semicolons, CMake's list separator, are text like any other.
  "x\\073y\\nz\\0731\\n|0|x\\073y\\nz\\0732\\n|line 2 differs.*expected: z<semicolon>2.*got: +z<semicolon>1"
  # A line short, or one too many.
  "a\\n|0|a\\nb\\n|line 2 differs.*expected: b.*got: +\\(the end of the file\\)"
  "a\\nb\\n|0|a\\n|line 2 differs.*expected: \\(the end of the file\\).*got: +b"
  # xllhost's own verdict comes first.
  "a\\n|3|a\\n|xllhost exited with 3"
)

file(MAKE_DIRECTORY "${WORK}")
set(fake "${WORK}/xllhost")
file(WRITE "${fake}" "#!/bin/sh\nprintf \"$FAKE_OUTPUT\"\nexit $FAKE_STATUS\n")
file(CHMOD "${fake}" PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE)
foreach(case IN LISTS cases)
  string(REPLACE "|" ";" fields "${case}")
  list(GET fields 0 output)
  list(GET fields 1 status)
  list(GET fields 2 expected)
  list(GET fields 3 verdict)
  string(REPLACE "<semicolon>" ";" verdict "${verdict}")
  execute_process(COMMAND sh -c "printf '${expected}'" OUTPUT_FILE "${WORK}/expected")
  set(ENV{FAKE_OUTPUT} "${output}")
  set(ENV{FAKE_STATUS} "${status}")
  execute_process(COMMAND ${CMAKE_COMMAND} -DXLLHOST=${fake} -DEMULATOR= -DXLL=${WORK}/addin.xll
                          -DSHEET=sheet -DEXPECTED=${WORK}/expected -DEXCEL=11 -P ${check}
                  OUTPUT_VARIABLE said ERROR_VARIABLE said RESULT_VARIABLE result)
  if(said MATCHES "Warning")
    message(SEND_ERROR "output '${output}': CMake warned:\n${said}")
  elseif(verdict STREQUAL "" AND NOT result EQUAL 0)
    message(SEND_ERROR "output '${output}', expected '${expected}': should pass, but:\n${said}")
  elseif(NOT verdict STREQUAL "" AND (result EQUAL 0 OR NOT said MATCHES "${verdict}"))
    message(SEND_ERROR "output '${output}', expected '${expected}': should fail with '${verdict}', but:\n${said}")
  endif()
endforeach()
