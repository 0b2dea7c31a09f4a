# MatrixFunctions.xll: the add-in module Excel loads. On Windows a DLL with the static runtime and
# __stdcall exports under plain names; elsewhere the same add-in as a shared library of the same
# file name, which the stand-in Excel loads with LoadLibraryA. 64-bit Excel cannot load a 32-bit
# XLL, so the 64-bit build ships under its own name beside it.
if(WIN32 AND CMAKE_SIZEOF_VOID_P EQUAL 8)
  set(MATRIXFUNCTIONS_FILE MatrixFunctions64.xll)
else()
  set(MATRIXFUNCTIONS_FILE MatrixFunctions.xll)
endif()

# The exports with the stack bytes of their arguments: 32-bit stdcall decorates name@bytes.
set(MATRIXFUNCTIONS_EXPORTS
  xlAutoOpen@0 xlAutoClose@0
  xlmtrx_Invert@4 xlmtrx_Transpose@4 xlmtrx_Determinant@4 xlmtrx_Row@12 xlmtrx_Column@12
  xlmtrx_LinEqSolve@8 xlmtrx_Cholesky@4 xlmtrx_QRDecomposition_R@4 xlmtrx_SVDDecomposition@12
  xlmtrx_quickSort@12 xlmtrx_EVDecomposition@12
  xlAddInManagerInfo@4 xlAddInManagerInfo12@4)

set(export_names "")
set(export_lines "")
foreach(export IN LISTS MATRIXFUNCTIONS_EXPORTS)
  string(REGEX REPLACE "@.*" "" name "${export}")
  list(APPEND export_names ${name})
  if(WIN32 AND CMAKE_SIZEOF_VOID_P EQUAL 4)
    string(APPEND export_lines "    ${name} = ${export}\n")
  elseif(WIN32)
    string(APPEND export_lines "    ${name}\n")
  else()
    string(APPEND export_lines "    ${name};\n")
  endif()
endforeach()

if(WIN32)
  set(module_newmat newmat)
else()
  # Debian's static Newmat is not position-independent; the native module takes the shared one,
  # which resolves every Newmat symbol before the static library comes up in the link line.
  find_library(NEWMAT_SHARED_LIBRARY NAMES libnewmat.so REQUIRED)
  set(module_newmat ${NEWMAT_SHARED_LIBRARY})
endif()

add_library(MatrixFunctions SHARED XlCatalogue.cpp)
# Nothing in the module calls the entry points: without whole-archive the linker would drop them.
target_link_libraries(MatrixFunctions PRIVATE "$<LINK_LIBRARY:WHOLE_ARCHIVE,matrixaddin>" zep matrixcore
                      ${module_newmat})
string(REGEX REPLACE "\\.xll$" "" module_name ${MATRIXFUNCTIONS_FILE})
set_target_properties(MatrixFunctions PROPERTIES PREFIX "" OUTPUT_NAME ${module_name} SUFFIX ".xll")
if(WIN32)
  set(def_file ${CMAKE_CURRENT_BINARY_DIR}/MatrixFunctions.def)
  file(WRITE ${def_file} "LIBRARY ${MATRIXFUNCTIONS_FILE}\nEXPORTS\n${export_lines}")
  target_sources(MatrixFunctions PRIVATE ${def_file})
  # Without the symbol tables and the static runtime's debug sections: half the size to download.
  target_link_options(MatrixFunctions PRIVATE -s)
  # The version resource: what Windows shows under the file's Properties > Details.
  math(EXPR MATRIXFUNCTIONS_BITS "${CMAKE_SIZEOF_VOID_P} * 8")
  configure_file(MatrixFunctions.rc.in ${CMAKE_CURRENT_BINARY_DIR}/MatrixFunctions.rc @ONLY)
  target_sources(MatrixFunctions PRIVATE ${CMAKE_CURRENT_BINARY_DIR}/MatrixFunctions.rc)
else()
  # Only the exports are global, so the module's framework copy never binds to, or is bound by,
  # a same-named symbol of the program that loads it.
  set(version_script ${CMAKE_CURRENT_BINARY_DIR}/MatrixFunctions.map)
  file(WRITE ${version_script} "{\n  global:\n${export_lines}  local:\n    *;\n};\n")
  target_link_options(MatrixFunctions PRIVATE "LINKER:--version-script=${version_script}")
endif()

# End to end through the stand-in Excel, which loads the module from beside the program.
zep_add_test_program(matrixfunctions_tests EXCEL_HOST SOURCES MatrixFunctions_test.cpp LIBRARIES excelhost)
add_dependencies(matrixfunctions_tests MatrixFunctions)
target_compile_definitions(matrixfunctions_tests PRIVATE MATRIXFUNCTIONS_FILE="${MATRIXFUNCTIONS_FILE}")

# The module with no Excel to be found: a program one folder below it, away from XLCALL32.
zep_add_test_program(matrixfunctions_without_excel_tests SOURCES MatrixFunctionsWithoutExcel_test.cpp LIBRARIES winapi)
target_include_directories(matrixfunctions_without_excel_tests PRIVATE ${PROJECT_SOURCE_DIR}/src)  # XlCall.h
set_target_properties(matrixfunctions_without_excel_tests
  PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bin/without-excel)
add_dependencies(matrixfunctions_without_excel_tests MatrixFunctions)
target_compile_definitions(matrixfunctions_without_excel_tests PRIVATE MATRIXFUNCTIONS_FILE="${MATRIXFUNCTIONS_FILE}")

# The shipped file must load into a bare Windows Excel: plain export names, and no import of a
# MinGW runtime DLL that would have to stand beside it.
if(WIN32)
  add_test(NAME matrixfunctions_xll_binary
    COMMAND ${CMAKE_COMMAND} "-DOBJDUMP=${CMAKE_OBJDUMP}" "-DMODULE=$<TARGET_FILE:MatrixFunctions>"
            "-DEXPORTS=${export_names}" -P ${CMAKE_CURRENT_SOURCE_DIR}/CheckXllBinary.cmake)
endif()
