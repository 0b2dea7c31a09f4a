# Newmat and GoogleTest: Debian's packages natively; for Windows, what scripts/setup cross-built
# into .deps/<triple> and Debian's GoogleTest sources compiled here with the cross compiler.

if(CMAKE_CROSSCOMPILING)
  set(ZEP_DEPS_DIR "${CMAKE_SOURCE_DIR}/.deps/${ZEP_DEPS_NAME}" CACHE PATH "Cross-built dependencies")
  set(NEWMAT_LIBRARY "${ZEP_DEPS_DIR}/lib/libnewmat.a")
  set(NEWMAT_INCLUDE_DIR "${ZEP_DEPS_DIR}/include")
  if(NOT EXISTS "${NEWMAT_LIBRARY}" OR NOT EXISTS "${NEWMAT_INCLUDE_DIR}/newmat/newmat.h")
    message(FATAL_ERROR "Newmat for ${ZEP_DEPS_NAME} is missing: run scripts/setup")
  endif()

  # GCC's win32 thread model has no std::mutex: a port customisation replaces GoogleTest's
  # one use of it. Quoted includes search -iquote folders before every -I folder, so ours wins.
  add_compile_options("-iquote${CMAKE_SOURCE_DIR}/cmake/gtest-win32")
  set(gtest_disable_pthreads ON CACHE BOOL "" FORCE)
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  add_subdirectory(/usr/src/googletest "${CMAKE_BINARY_DIR}/googletest" EXCLUDE_FROM_ALL SYSTEM)
else()
  find_package(GTest REQUIRED)
  find_package(benchmark QUIET)
  find_library(NEWMAT_LIBRARY NAMES libnewmat.a newmat REQUIRED)
  find_path(NEWMAT_INCLUDE_PARENT newmat/newmat.h REQUIRED)
  set(NEWMAT_INCLUDE_DIR "${NEWMAT_INCLUDE_PARENT}")
endif()

add_library(newmat STATIC IMPORTED GLOBAL)
set_target_properties(newmat PROPERTIES IMPORTED_LOCATION "${NEWMAT_LIBRARY}")
# Newmat's headers include each other by bare name; ours name them <newmat/newmat.h>.
target_include_directories(newmat SYSTEM INTERFACE "${NEWMAT_INCLUDE_DIR}" "${NEWMAT_INCLUDE_DIR}/newmat")
