# The framework as a package another project finds with find_package(zep CONFIG REQUIRED):
# include/zep/ (the framework's headers and Excel's record declarations), the libraries behind
# zep::zep, zep_add_xll and zep_add_sheet_test, and xllhost with its XLCALL32, to test add-ins
# without Excel. A Windows build's package also carries its toolchain file, which finds this
# package by itself, and the Wine runner it tests with: a stranger's cross build and its tests are
# one command each, on a machine without a display too.
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)
set(ZEP_PACKAGE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/zep)

add_executable(zep::xllhost ALIAS xllhost)
set(zep_targets zep numericmatrix winapi)
if(NOT WIN32)
  list(APPEND zep_targets winplatform)  # the Windows API stand-in, which add-ins and xllhost link
endif()
install(TARGETS ${zep_targets} EXPORT zepTargets)
install(FILES ${ZEP_PUBLIC_HEADERS} DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/zep)

# XLCALL32 goes beside xllhost, where Windows, and the stand-in loader, look first.
install(TARGETS xllhost EXPORT zepTargets)
if(WIN32)
  target_link_options(xllhost PRIVATE -static -static-libgcc -static-libstdc++)
  target_link_options(XLCALL32 PRIVATE -static -static-libgcc -static-libstdc++)
  install(FILES $<TARGET_FILE:XLCALL32> DESTINATION ${CMAKE_INSTALL_BINDIR})
else()
  set_target_properties(xllhost XLCALL32 PROPERTIES INSTALL_RPATH "$ORIGIN/../${CMAKE_INSTALL_LIBDIR}")
  install(TARGETS XLCALL32 LIBRARY DESTINATION ${CMAKE_INSTALL_BINDIR})
endif()

install(EXPORT zepTargets NAMESPACE zep:: DESTINATION ${ZEP_PACKAGE_DIR})
configure_file(cmake/zepConfig.cmake.in zepConfig.cmake @ONLY)
write_basic_package_version_file(zepConfigVersion.cmake COMPATIBILITY SameMajorVersion)
install(FILES ${PROJECT_BINARY_DIR}/zepConfig.cmake ${PROJECT_BINARY_DIR}/zepConfigVersion.cmake
              cmake/ZepXll.cmake cmake/CheckSheet.cmake cmake/CheckXll.cmake cmake/XllSymbols.map
        DESTINATION ${ZEP_PACKAGE_DIR})
if(CMAKE_CROSSCOMPILING)
  install(FILES ${CMAKE_TOOLCHAIN_FILE} cmake/MinGWToolchain.cmake scripts/wine-session DESTINATION ${ZEP_PACKAGE_DIR})
  install(PROGRAMS scripts/wine-run DESTINATION ${ZEP_PACKAGE_DIR})
endif()
