// The eleven worksheet functions as Excel's function wizard presents them. Every registrar and
// the debugger stream buffer are built here, in one unit, so that static initialisation builds
// them in this order: the registrars in table order (which is the registration order), then
// the buffer.
#include "PendingRegistrations.h"
#include "XlOpenClose.h"

namespace {

using zep::ArgumentSpec;
using zep::FunctionRegistrar;

const char category[] = "MatrixFunctions";
const char operTag[] = "XLF_OPER";
const char numberTag[] = "B";

// Each function's arguments, in table order; the names are those its call frame reports
// conversion failures under.
const ArgumentSpec arguments[] = {
    {"mtrx", " Matrix to be inverted ", operTag},                                           // 0 Invert
    {"mtrx", " input Matrix ", operTag},                                                    // 1 Transpose
    {"mtrx", " input Matrix ", operTag},                                                    // 2 Determinant
    {"mtrx", " input Matrix ", operTag},            {"n", " row number ", numberTag},       // 3 Row
    {"mtrx", " input Matrix ", operTag},            {"n", " column number ", numberTag},    // 5 Column
    {"coeffMtrx", " Input coefficient matrix ", operTag}, {"rhsVector", " RHS vector ", operTag},  // 7 LinEqSolve
    {"mtrx", " Input matrix ", operTag},                                                    // 9 Cholesky
    {"mtrx", " Input matrix ", operTag},                                                    // 10 QR
    {"mtrx", " Input matrix ", operTag},            {"param", " 1,2 or 3 ", numberTag},     // 11 SVD
    {"mtrx", " Input array ", operTag},             {"param", " 1 or 2 ", numberTag},       // 13 quickSort
    {"mtrx", " Input matrix ", operTag},            {"param", " 1 or 2 ", numberTag},       // 15 EV
};

// The help texts are shown as stored, blanks and spellings included.
const FunctionRegistrar registrars[] = {
    {"xlmtrx_Invert", "mtrx_Invert", " Performs the Matrix inversion ", category, &arguments[0], 1, false, false, ""},
    {"xlmtrx_Transpose", "mtrx_Transpose", " Performs the Matrix transpose ", category, &arguments[1], 1, false, false,
     ""},
    {"xlmtrx_Determinant", "mtrx_Determinant", " Calculates the determinant of the input Matrix ", category,
     &arguments[2], 1, false, false, ""},
    {"xlmtrx_Row", "mtrx_Row", " Returns the nth row of the input Matrix ", category, &arguments[3], 2, false, false,
     ""},
    {"xlmtrx_Column", "mtrx_Column", " Returns the nth column of the input Matrix ", category, &arguments[5], 2, false,
     false, ""},
    {"xlmtrx_LinEqSolve", "mtrx_LinEqSolve",
     " Performs the Matrix solve AX = Y. A = Input coefficient matrix. Y = RHS Vector. ", category, &arguments[7], 2,
     false, false, ""},
    {"xlmtrx_Cholesky", "mtrx_Cholesky", " Performs the Cholesky Decomposition of the matrix. ", category,
     &arguments[9], 1, false, false, ""},
    {"xlmtrx_QRDecomposition_R", "mtrx_QRDecomposition_R",
     " Performs the QR Decomposition of the matrix. A = QR. Returns the R matrix. ", category, &arguments[10], 1,
     false, false, ""},
    {"xlmtrx_SVDDecomposition", "mtrx_SVDDecomposition",
     " Performs the SVD Decomposition of the m X n (where m >= n) matrix A. Input param = 1 will return m X m unary "
     "matrix, param = 2 will return m X n diagnal matrix and param = 3 will return n X n conjugate matrix of a unary "
     "matrix. ",
     category, &arguments[11], 2, false, false, ""},
    {"xlmtrx_quickSort", "mtrx_quickSort",
     " Performs quick sort on the input array. Input param = 1 will sort the array in the ascending order.Param = 2 "
     "will sort in descending order. ",
     category, &arguments[13], 2, false, false, ""},
    {"xlmtrx_EVDecomposition", "mtrx_EVDecomposition",
     " Performs the Eigen Value Decomposition of the symmetric m X m matrix A. mtrx = V * D * V'. Input param = 1 "
     "will return matrix V and param = 2 will return diagnal matrix D. ",
     category, &arguments[15], 2, false, false, ""},
};

// Built after the registrars above: this unit's objects are initialised in their order.
zep::Win32StreamBuf& debuggerStream = zep::DebuggerStreamBuffer();

}  // namespace
