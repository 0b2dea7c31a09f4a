# Windows with MinGW-w64, for the triple the including toolchain file names in ZEP_DEPS_NAME.
# GCC's posix thread model, whose C++ library has std::thread, std::mutex and thread_local; linked
# statically (-static, which zep_add_xll and every Windows program here pass), its winpthreads goes
# into the file with libgcc and libstdc++, and an XLL still imports nothing but Windows' own DLLs.
# scripts/setup builds .deps with the same compilers.
set(CMAKE_SYSTEM_NAME Windows)

set(CMAKE_C_COMPILER ${ZEP_DEPS_NAME}-gcc-posix)
set(CMAKE_CXX_COMPILER ${ZEP_DEPS_NAME}-g++-posix)
set(CMAKE_RC_COMPILER ${ZEP_DEPS_NAME}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${ZEP_DEPS_NAME})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Installed with a zep package built with this toolchain: find_package(zep) takes that package,
# which a search confined to the Windows root would not find, and tests run Windows programs under
# Wine through the package's wine-run, which prepares a prefix that needs no display (64-bit
# programs under the 64-bit loader, which needs no 32-bit Wine).
if(EXISTS "${CMAKE_CURRENT_LIST_DIR}/zepConfig.cmake")
  set(zep_DIR "${CMAKE_CURRENT_LIST_DIR}" CACHE PATH "The zep package of this toolchain")
  if(NOT DEFINED CMAKE_CROSSCOMPILING_EMULATOR)
    if(ZEP_DEPS_NAME MATCHES "^x86_64")
      find_program(ZEP_WINE NAMES wine64 wine PATHS /usr/lib/wine)
    else()
      find_program(ZEP_WINE NAMES wine)
    endif()
    set(CMAKE_CROSSCOMPILING_EMULATOR "${CMAKE_CURRENT_LIST_DIR}/wine-run;${ZEP_WINE}"
        CACHE STRING "Runs the Windows test programs")
  endif()
endif()
