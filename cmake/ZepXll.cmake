# Building and testing an add-in on the framework; part of the zep package, and used here for
# MatrixFunctions.
include_guard(GLOBAL)

# zep_add_xll(<target> SOURCES <file>... [LIBRARIES <library>...] [OUTPUT_NAME <name>]
#             [WIN64_OUTPUT_NAME <name>] [RESOURCES <file.rc>...] [EXPORTS <name>...])
#
# An XLL from the add-in's sources, linked with zep::zep and LIBRARIES: <OUTPUT_NAME>.xll (the
# target's name by default; a 64-bit Windows build takes WIN64_OUTPUT_NAME when given, so that
# both files can ship side by side). What Excel needs comes from the sources themselves:
# - every function marked ZEP_EXPORT (ZEP_WORKSHEET_FUNCTION marks its entry point; the framework
#   marks xlAutoOpen and xlAutoClose) is exported under its plain name: no .def file, no "@bytes"
#   of 32-bit __stdcall names (--kill-at), no version script. Worksheet functions belong in SOURCES
#   or object libraries: from a static library the linker would drop them, as nothing calls them;
# - on Windows the C and C++ runtimes are linked in, so the file loads with nothing beside it, and
#   RESOURCES (a version resource, say) are compiled in;
# - elsewhere it is the module the stand-in Excel and xllhost load, showing nothing but its
#   exports: its own code is compiled hidden, and no C++ symbol leaves it (XllSymbols.map), so
#   it never binds to a same-named symbol of the program that loads it. Static libraries of the
#   add-in's own are best compiled hidden too (CXX_VISIBILITY_PRESET), or their extern "C"
#   functions show as well.
# A Windows build checks the file once it is linked (CheckXll.cmake), and fails with a message
# naming the fault: not a DLL, xlAutoOpen or a function that a static library in LIBRARIES
# declares not exported (or, with EXPORTS, any export but exactly these), an import of a DLL
# that is not Windows' own.
function(zep_add_xll target)
  cmake_parse_arguments(PARSE_ARGV 1 ARG "" "OUTPUT_NAME;WIN64_OUTPUT_NAME" "SOURCES;LIBRARIES;RESOURCES;EXPORTS")
  if(ARG_UNPARSED_ARGUMENTS)
    message(FATAL_ERROR "zep_add_xll(${target}): unknown arguments ${ARG_UNPARSED_ARGUMENTS}")
  endif()
  if(NOT ARG_SOURCES)
    message(FATAL_ERROR "zep_add_xll(${target}): no SOURCES")
  endif()
  set(name ${target})
  if(ARG_OUTPUT_NAME)
    set(name ${ARG_OUTPUT_NAME})
  endif()
  if(WIN32 AND CMAKE_SIZEOF_VOID_P EQUAL 8 AND ARG_WIN64_OUTPUT_NAME)
    set(name ${ARG_WIN64_OUTPUT_NAME})
  endif()

  add_library(${target} MODULE ${ARG_SOURCES})
  target_link_libraries(${target} PRIVATE zep::zep ${ARG_LIBRARIES})
  set_target_properties(${target} PROPERTIES
    PREFIX "" OUTPUT_NAME ${name} SUFFIX ".xll"
    C_VISIBILITY_PRESET hidden CXX_VISIBILITY_PRESET hidden VISIBILITY_INLINES_HIDDEN ON)
  if(WIN32)
    target_link_options(${target} PRIVATE -static -static-libgcc -static-libstdc++ LINKER:--kill-at)
    if(ARG_RESOURCES)
      target_sources(${target} PRIVATE ${ARG_RESOURCES})
    endif()
    if(NOT CMAKE_OBJDUMP)
      message(FATAL_ERROR "zep_add_xll(${target}): no objdump of the cross binutils found, which checks the XLL")
    endif()
    set(archives "")
    foreach(library IN LISTS ARG_LIBRARIES)
      if(TARGET ${library})
        get_target_property(type ${library} TYPE)
        if(type STREQUAL "STATIC_LIBRARY")
          list(APPEND archives "$<TARGET_FILE:${library}>")
        endif()
      elseif(library MATCHES "\\.a$")
        list(APPEND archives "${library}")
      endif()
    endforeach()
    string(REPLACE ";" "|" archives "${archives}")
    string(REPLACE ";" "|" exports "${ARG_EXPORTS}")
    add_custom_command(TARGET ${target} POST_BUILD
      COMMAND ${CMAKE_COMMAND} "-DOBJDUMP=${CMAKE_OBJDUMP}" "-DMODULE=$<TARGET_FILE:${target}>"
              "-DEXPORTS=${exports}" "-DARCHIVES=${archives}" -P ${CMAKE_CURRENT_FUNCTION_LIST_DIR}/CheckXll.cmake
      VERBATIM)
  else()
    target_link_options(${target} PRIVATE "LINKER:--version-script=${CMAKE_CURRENT_FUNCTION_LIST_DIR}/XllSymbols.map")
    set_property(TARGET ${target} APPEND PROPERTY LINK_DEPENDS ${CMAKE_CURRENT_FUNCTION_LIST_DIR}/XllSymbols.map)
  endif()
endfunction()

# zep_add_sheet_test(<name> XLL <target> SHEET <file> EXPECTED <file> [EXCEL <version>...])
#
# A test that plays Excel with xllhost: opens the XLL, evaluates SHEET (see xllhost --help) and
# compares what it prints with EXPECTED, once for each Excel version given (12 by default: Excel 12
# records; 11 and older pass Excel 4 records). It fails on any difference and whenever xllhost
# reports a fault, such as Excel memory the add-in did not give back. A Windows build runs xllhost
# under CMAKE_CROSSCOMPILING_EMULATOR (Wine).
function(zep_add_sheet_test name)
  cmake_parse_arguments(PARSE_ARGV 1 ARG "" "XLL;SHEET;EXPECTED" "EXCEL")
  if(ARG_UNPARSED_ARGUMENTS OR NOT ARG_XLL OR NOT ARG_SHEET OR NOT ARG_EXPECTED)
    message(FATAL_ERROR "zep_add_sheet_test(${name} XLL <target> SHEET <file> EXPECTED <file> [EXCEL <version>...])")
  endif()
  if(NOT ARG_EXCEL)
    set(ARG_EXCEL 12)
  endif()
  cmake_path(ABSOLUTE_PATH ARG_SHEET BASE_DIRECTORY ${CMAKE_CURRENT_SOURCE_DIR})
  cmake_path(ABSOLUTE_PATH ARG_EXPECTED BASE_DIRECTORY ${CMAKE_CURRENT_SOURCE_DIR})
  string(REPLACE ";" "|" versions "${ARG_EXCEL}")
  string(REPLACE ";" "|" emulator "${CMAKE_CROSSCOMPILING_EMULATOR}")
  add_test(NAME ${name}
    COMMAND ${CMAKE_COMMAND} "-DXLLHOST=$<TARGET_FILE:zep::xllhost>" "-DEMULATOR=${emulator}"
            "-DXLL=$<TARGET_FILE:${ARG_XLL}>" "-DSHEET=${ARG_SHEET}" "-DEXPECTED=${ARG_EXPECTED}"
            "-DEXCEL=${versions}" -P ${CMAKE_CURRENT_FUNCTION_LIST_DIR}/CheckSheet.cmake)
endfunction()
