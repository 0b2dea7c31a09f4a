# 32-bit Windows: the shipped MatrixFunctions.xll.
set(ZEP_DEPS_NAME i686-w64-mingw32)
set(CMAKE_SYSTEM_PROCESSOR x86)
include(${CMAKE_CURRENT_LIST_DIR}/MinGWToolchain.cmake)
