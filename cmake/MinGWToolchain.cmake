# Windows with MinGW-w64, win32 thread model (no winpthread dependency), for the triple the
# including toolchain file names in ZEP_DEPS_NAME.
set(CMAKE_SYSTEM_NAME Windows)

set(CMAKE_C_COMPILER ${ZEP_DEPS_NAME}-gcc-win32)
set(CMAKE_CXX_COMPILER ${ZEP_DEPS_NAME}-g++-win32)
set(CMAKE_RC_COMPILER ${ZEP_DEPS_NAME}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${ZEP_DEPS_NAME})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
