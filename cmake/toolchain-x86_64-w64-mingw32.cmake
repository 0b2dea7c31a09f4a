# 64-bit Windows: MatrixFunctions64.xll for 64-bit Excel.
set(ZEP_DEPS_NAME x86_64-w64-mingw32)
set(CMAKE_SYSTEM_PROCESSOR AMD64)
include(${CMAKE_CURRENT_LIST_DIR}/MinGWToolchain.cmake)
