# MatrixFunctions.xll: the add-in module Excel loads, built as any add-in on the framework is (see
# zep_add_xll). 64-bit Excel cannot load a 32-bit XLL, so the 64-bit build ships under its own
# name beside it.
if(WIN32 AND CMAKE_SIZEOF_VOID_P EQUAL 8)
  set(MATRIXFUNCTIONS_FILE MatrixFunctions64.xll)
else()
  set(MATRIXFUNCTIONS_FILE MatrixFunctions.xll)
endif()

# What the module must export, no more and no less (zep_add_xll's check of the Windows file): the
# framework's lifecycle entry points and the eleven worksheet functions, each under its plain name.
set(MATRIXFUNCTIONS_EXPORTS
  xlAutoOpen xlAutoClose
  xlmtrx_Invert xlmtrx_Transpose xlmtrx_Determinant xlmtrx_Row xlmtrx_Column xlmtrx_LinEqSolve xlmtrx_Cholesky
  xlmtrx_QRDecomposition_R xlmtrx_SVDDecomposition xlmtrx_quickSort xlmtrx_EVDecomposition
  xlAddInManagerInfo xlAddInManagerInfo12)

if(WIN32)
  set(module_newmat newmat)
else()
  # Debian's static Newmat is not position-independent; the native module takes the shared one,
  # which resolves every Newmat symbol before the static library comes up in the link line.
  find_library(NEWMAT_SHARED_LIBRARY NAMES libnewmat.so REQUIRED)
  set(module_newmat ${NEWMAT_SHARED_LIBRARY})
endif()

# The version resource: what Windows shows under the file's Properties > Details.
xll_version_resource(resources MatrixFunctions "${MATRIXFUNCTIONS_ADDIN_NAME}" ${MATRIXFUNCTIONS_FILE})

# The entry points are compiled once, for the module and the programs that call them directly.
zep_add_xll(MatrixFunctions WIN64_OUTPUT_NAME MatrixFunctions64 SOURCES $<TARGET_OBJECTS:matrixaddin>
            LIBRARIES matrixcore ${module_newmat} RESOURCES ${resources} EXPORTS ${MATRIXFUNCTIONS_EXPORTS})
if(WIN32)
  # Without the symbol tables and the static runtime's debug sections: half the size to download.
  target_link_options(MatrixFunctions PRIVATE -s)
endif()
