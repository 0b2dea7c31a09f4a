# Newmat (for the matrix add-in), libffi (for the stand-in Excel), GoogleTest and Google Benchmark
# (for the tests): Debian's packages natively; for Windows, what scripts/setup cross-built into
# .deps/<triple> and Debian's sources compiled here with the cross compiler. The framework itself
# needs none of them.

if(CMAKE_CROSSCOMPILING)
  set(ZEP_DEPS_DIR "${PROJECT_SOURCE_DIR}/.deps/${ZEP_DEPS_NAME}" CACHE PATH "Cross-built dependencies")
endif()

if(ZEP_BUILD_MATRIXFUNCTIONS)
  if(CMAKE_CROSSCOMPILING)
    set(NEWMAT_LIBRARY "${ZEP_DEPS_DIR}/lib/libnewmat.a")
    set(NEWMAT_INCLUDE_DIR "${ZEP_DEPS_DIR}/include")
    if(NOT EXISTS "${NEWMAT_LIBRARY}" OR NOT EXISTS "${NEWMAT_INCLUDE_DIR}/newmat/newmat.h")
      message(FATAL_ERROR "Newmat for ${ZEP_DEPS_NAME} is missing: run scripts/setup")
    endif()
  else()
    find_library(NEWMAT_LIBRARY NAMES libnewmat.a newmat REQUIRED)
    find_path(NEWMAT_INCLUDE_PARENT newmat/newmat.h REQUIRED)
    set(NEWMAT_INCLUDE_DIR "${NEWMAT_INCLUDE_PARENT}")
  endif()
  add_library(newmat STATIC IMPORTED GLOBAL)
  set_target_properties(newmat PROPERTIES IMPORTED_LOCATION "${NEWMAT_LIBRARY}")
  # Newmat's headers include each other by bare name; ours name them <newmat/newmat.h>.
  target_include_directories(newmat SYSTEM INTERFACE "${NEWMAT_INCLUDE_DIR}" "${NEWMAT_INCLUDE_DIR}/newmat")
endif()

# The stand-in Excel calls add-in functions through libffi, as their signatures are known only at run time.
if(CMAKE_CROSSCOMPILING)
  set(FFI_LIBRARY "${ZEP_DEPS_DIR}/lib/libffi.a")
  set(FFI_INCLUDE_DIR "${ZEP_DEPS_DIR}/include")
  if(NOT EXISTS "${FFI_LIBRARY}" OR NOT EXISTS "${FFI_INCLUDE_DIR}/ffi.h")
    message(FATAL_ERROR "libffi for ${ZEP_DEPS_NAME} is missing: run scripts/setup")
  endif()
else()
  find_library(FFI_LIBRARY NAMES ffi REQUIRED)
  find_path(FFI_INCLUDE_DIR ffi.h REQUIRED)
endif()
add_library(ffi UNKNOWN IMPORTED GLOBAL)
set_target_properties(ffi PROPERTIES IMPORTED_LOCATION "${FFI_LIBRARY}")
target_include_directories(ffi SYSTEM INTERFACE "${FFI_INCLUDE_DIR}")

if(NOT ZEP_BUILD_TESTS)
  return()
endif()

if(NOT CMAKE_CROSSCOMPILING)
  find_package(GTest REQUIRED)
  find_package(benchmark QUIET)
  return()
endif()

set(gtest_disable_pthreads ON CACHE BOOL "" FORCE)  # it takes Windows' own threads
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
add_subdirectory(/usr/src/googletest "${PROJECT_BINARY_DIR}/googletest" EXCLUDE_FROM_ALL SYSTEM)

# Only the benchmark builds (the *-bench presets) compile Google Benchmark, from Debian's sources
# that `scripts/setup --bench` fetched.
option(ZEP_WINDOWS_BENCHMARK "Build the Windows benchmark program (needs scripts/setup --bench)" OFF)
if(ZEP_WINDOWS_BENCHMARK)
  file(GLOB ZEP_BENCHMARK_SOURCE LIST_DIRECTORIES true "${PROJECT_SOURCE_DIR}/.deps/src/benchmark-*")
  if(NOT ZEP_BENCHMARK_SOURCE)
    message(FATAL_ERROR "Google Benchmark's source is missing: run scripts/setup --bench")
  endif()
  list(GET ZEP_BENCHMARK_SOURCE 0 ZEP_BENCHMARK_SOURCE)
  set(BENCHMARK_ENABLE_TESTING OFF CACHE BOOL "" FORCE)
  set(BENCHMARK_ENABLE_INSTALL OFF CACHE BOOL "" FORCE)
  set(BENCHMARK_ENABLE_WERROR OFF CACHE BOOL "" FORCE)
  # Its feature checks would run their programs; a cross build can only compile them, and these
  # two are known to work with MinGW-w64.
  set(HAVE_STD_REGEX ON CACHE BOOL "" FORCE)
  set(HAVE_STEADY_CLOCK ON CACHE BOOL "" FORCE)
  set(GIT_VERSION 0.0.0)  # no git checkout: it takes its project() version
  add_subdirectory("${ZEP_BENCHMARK_SOURCE}" "${PROJECT_BINARY_DIR}/benchmark" EXCLUDE_FROM_ALL SYSTEM)
endif()
