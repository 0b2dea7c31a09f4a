# CheckXll.cmake against small files built with the cross compiler, one per fault it must name.
# Run as cmake -DCXX=<g++> -DAR=<ar> -DOBJDUMP=<objdump> -DWORK=<scratch folder> -P CheckXll_test.cmake.
cmake_minimum_required(VERSION 3.25)
set(check "${CMAKE_CURRENT_LIST_DIR}/CheckXll.cmake")
file(MAKE_DIRECTORY "${WORK}")

# Add-in code may use the C++ library's threads: linked as zep_add_xll links, it needs no DLL for them.
file(WRITE "${WORK}/addin.cpp" [[
#include <mutex>
#include <thread>
std::mutex lock;
thread_local int calls = 0;
extern "C" __declspec(dllexport) int xlAutoOpen() {
    std::thread([] { std::lock_guard<std::mutex> hold(lock); ++calls; }).join();
    return calls;
}
extern "C" __declspec(dllexport) double __stdcall xlex_F(double x) { return x; }
]])
file(WRITE "${WORK}/declared.cpp" [[
extern "C" __declspec(dllexport) double __stdcall xlex_Lost(double x) { return x; }
]])
function(run)
  execute_process(COMMAND ${ARGN} WORKING_DIRECTORY "${WORK}" RESULT_VARIABLE failed ERROR_VARIABLE errors)
  if(failed)
    message(FATAL_ERROR "${ARGN}: ${errors}")
  endif()
endfunction()
run(${CXX} -c addin.cpp declared.cpp)
run(${AR} rcs libdeclared.a declared.o)
run(${CXX} -shared -o ok.xll addin.o -static -Wl,--kill-at)
run(${CXX} -shared -o shared.xll addin.o -Wl,--kill-at)
run(${CXX} -shared -o decorated.xll addin.o -static)
run(${CXX} -shared -o unopened.xll declared.o -static -Wl,--kill-at)

# file | EXPORTS | ARCHIVES | what the check must say ("" for a pass)
set(cases
  "ok.xll|||"
  "ok.xll|xlAutoOpen,xlex_F||"
  "ok.xll|xlAutoOpen,xlex_F,xlex_G||missing: xlex_G"
  "ok.xll|xlAutoOpen||besides: xlex_F"
  "ok.xll||libdeclared.a|does not export xlex_Lost, which libdeclared.a declares"
  "shared.xll|||imports libwinpthread-1.dll, libgcc_s_[a-z0-9-]+.dll, libstdc\\+\\+-6.dll, not Windows' own DLLs"
  "libdeclared.a|||is not a Windows DLL"
  "unopened.xll|||does not export xlAutoOpen"
)
if(CXX MATCHES "i686")  # only 32-bit __stdcall names carry "@<bytes>"
  list(APPEND cases "decorated.xll|||exports xlex_F@8, a decorated name")
endif()

foreach(case IN LISTS cases)
  string(REPLACE "|" ";" fields "${case}")
  list(GET fields 0 module)
  list(GET fields 1 exports)
  list(GET fields 2 archives)
  list(GET fields 3 verdict)
  string(REPLACE "," "|" exports "${exports}")
  if(archives)
    set(archives "${WORK}/${archives}")
  endif()
  execute_process(COMMAND ${CMAKE_COMMAND} -DOBJDUMP=${OBJDUMP} -DMODULE=${WORK}/${module} -DEXPORTS=${exports}
                          -DARCHIVES=${archives} -P ${check}
                  OUTPUT_VARIABLE said ERROR_VARIABLE said RESULT_VARIABLE result)
  string(REGEX REPLACE "[ \n]+" " " said "${said}")  # as one line, however CMake wrapped it
  if(verdict STREQUAL "" AND NOT result EQUAL 0)
    message(SEND_ERROR "${case}: should pass, but:\n${said}")
  elseif(NOT verdict STREQUAL "" AND (result EQUAL 0 OR NOT said MATCHES "${verdict}"))
    message(SEND_ERROR "${case}: should fail with '${verdict}', but:\n${said}")
  endif()
endforeach()
