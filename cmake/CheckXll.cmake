# Checks a built Windows XLL as Excel will take it, and fails with one message naming what is wrong
# (Excel itself only says that the file's format and extension do not match):
# - it is a DLL;
# - it exports xlAutoOpen, and every function the static libraries in ARCHIVES mark for export
#   (the linker drops those that nothing calls), each under its plain name; with EXPORTS given,
#   exactly those names;
# - it imports from Windows' own DLLs only, since nothing is installed beside it.
# Run as cmake -DOBJDUMP=... -DMODULE=... [-DEXPORTS=a|b] [-DARCHIVES=x.a|y.a] -P CheckXll.cmake.
cmake_minimum_required(VERSION 3.25)
string(REPLACE "|" ";" declared "${EXPORTS}")
string(REPLACE "|" ";" archives "${ARCHIVES}")
cmake_path(GET MODULE FILENAME file)

execute_process(COMMAND "${OBJDUMP}" -p "${MODULE}" OUTPUT_VARIABLE dump ERROR_VARIABLE errors
                RESULT_VARIABLE failed)
if(failed OR NOT dump MATCHES "file format pei-" OR NOT dump MATCHES "\n\tDLL\n")
  message(FATAL_ERROR "${MODULE} is not a Windows DLL, which Excel needs an XLL to be "
                      "(build it with zep_add_xll)\n${errors}")
endif()

# The name pointer table lists one export per line, "\t[   0] xlAutoClose", up to a blank line.
set(exported "")
string(FIND "${dump}" "[Ordinal/Name Pointer] Table" start)
if(NOT start EQUAL -1)
  string(SUBSTRING "${dump}" ${start} -1 table)
  string(FIND "${table}" "\n\n" end)
  string(SUBSTRING "${table}" 0 ${end} table)
  string(REGEX MATCHALL "\\[ *[0-9]+\\] [^\n]+" rows "${table}")
  foreach(row IN LISTS rows)
    string(REGEX REPLACE "^\\[ *[0-9]+\\] " "" name "${row}")
    list(APPEND exported ${name})
  endforeach()
endif()

if(EXPORTS)
  set(missing ${declared})
  list(REMOVE_ITEM missing ${exported})
  set(extra ${exported})
  list(REMOVE_ITEM extra ${declared})
  if(missing OR extra)
    list(JOIN missing ", " missing)
    list(JOIN extra ", " extra)
    message(FATAL_ERROR "${file} does not export what it must:\n  missing: ${missing}\n  besides: ${extra}")
  endif()
else()
  # Each object's .drectve section holds its linker directives, ` -export:"name@8"` and the like.
  set(declared xlAutoOpen)
  foreach(archive IN LISTS archives)
    file(STRINGS "${archive}" directives REGEX "-export:")
    string(REGEX MATCHALL "-export:\"?[^\", ]+" names "${directives}")
    foreach(name IN LISTS names)
      string(REGEX REPLACE "^-export:\"?|@[0-9]+$" "" name "${name}")
      if(NOT name IN_LIST exported)
        cmake_path(GET archive FILENAME library)
        message(FATAL_ERROR "${file} does not export ${name}, which ${library} declares: from a static "
                            "library the linker keeps only what is called, and nothing calls a worksheet "
                            "function. Give its source to zep_add_xll's SOURCES, or put it in an object library.")
      endif()
    endforeach()
  endforeach()
  if(NOT "xlAutoOpen" IN_LIST exported)
    message(FATAL_ERROR "${file} does not export xlAutoOpen, so Excel would register none of its functions: "
                        "link it with zep::zep (zep_add_xll does)")
  endif()
  foreach(name IN LISTS exported)
    if(name MATCHES "@[0-9]+$")
      message(FATAL_ERROR "${file} exports ${name}, a decorated name that Excel does not look up: "
                          "link with --kill-at (zep_add_xll does)")
    endif()
  endforeach()
endif()

string(REGEX MATCHALL "DLL Name: [^\n]+" imports "${dump}")
string(REPLACE "DLL Name: " "" imports "${imports}")
set(system_dlls kernel32 user32 gdi32 advapi32 shell32 ole32 oleaut32 comdlg32 shlwapi version winmm ws2_32
                bcrypt crypt32 secur32 msvcrt ucrtbase ntdll)
set(foreign "")
foreach(dll IN LISTS imports)
  string(TOLOWER "${dll}" name)
  string(REGEX REPLACE "\\.dll$" "" name "${name}")
  if(NOT name IN_LIST system_dlls AND NOT name MATCHES "^api-ms-win-")
    list(APPEND foreign "${dll}")
  endif()
endforeach()
if(foreign)
  list(JOIN foreign ", " foreign)
  message(FATAL_ERROR "${file} imports ${foreign}, not Windows' own DLLs: Excel cannot load the file where "
                      "they are not beside it. Link those libraries statically (a MinGW runtime DLL means "
                      "the link lacked -static, which zep_add_xll passes)")
endif()
list(JOIN exported " " exported)
list(JOIN imports ", " imports)
message(STATUS "${file}: exports ${exported}; imports ${imports}")
