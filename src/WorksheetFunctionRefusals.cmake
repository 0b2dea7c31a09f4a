# Compiles WorksheetFunctionRefusals_test.cpp once per declaration the compiler must refuse, and
# fails unless each is refused with its message (and the sound one compiles).
#   cmake -DCXX=compiler -DSOURCE_DIR=src -P WorksheetFunctionRefusals.cmake
cmake_policy(SET CMP0007 NEW)  # the sound declaration has an empty message
set(messages
  ""
  "a worksheet function takes at most 20 arguments"
  "a worksheet name holds 1 to 255 characters"
  "a help text holds at most 255 characters"
  "a function's flags are zep::NoFlags or"
  "a function cannot be both zep::MacroSheet and zep::ThreadSafe"
  "an add-in name holds at most 255 characters"
  "a command name holds 1 to 255 characters")
set(failures 0)
list(LENGTH messages count)
math(EXPR last "${count} - 1")
foreach(refusal RANGE ${last})
  list(GET messages ${refusal} message)
  execute_process(
    COMMAND ${CXX} -std=c++17 -fsyntax-only -DREFUSAL=${refusal} -I${SOURCE_DIR}
            ${SOURCE_DIR}/WorksheetFunctionRefusals_test.cpp
    RESULT_VARIABLE status ERROR_VARIABLE errors OUTPUT_QUIET)
  if(message STREQUAL "")
    if(NOT status EQUAL 0)
      message(NOTICE "the sound declaration does not compile:\n${errors}")
      math(EXPR failures "${failures} + 1")
    endif()
  elseif(status EQUAL 0)
    message(NOTICE "declaration ${refusal} compiles; expected: ${message}")
    math(EXPR failures "${failures} + 1")
  else()
    string(FIND "${errors}" "${message}" at)
    if(at EQUAL -1)
      message(NOTICE "declaration ${refusal} is refused without saying \"${message}\":\n${errors}")
      math(EXPR failures "${failures} + 1")
    endif()
  endif()
endforeach()
if(failures GREATER 0)
  message(FATAL_ERROR "${failures} of ${count} declarations not handled as expected")
endif()
