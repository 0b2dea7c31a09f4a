// The eleven worksheet functions as Excel calls them and as its function wizard presents them,
// each written once: exported entry point, registration and body. They are registered in the
// order they stand here. The help texts are shown as stored, blanks and spellings included.
#include "XlEntryPoints.h"

#include "DecompositionFunctions.h"
#include "RowColumnFunctions.h"
#include "SortFunctions.h"
#include "SquareMatrixFunctions.h"

#include <zep/WorksheetFunction.h>

#include <utility>

namespace {

using zep::IntegerArgument;
using zep::MatrixArgument;
using zep::VectorArgument;

const char category[] = "MatrixFunctions";

}  // namespace

ZEP_ADDIN_NAME(MATRIXFUNCTIONS_ADDIN_NAME);

ZEP_WORKSHEET_FUNCTION(xlmtrx_Invert, "mtrx_Invert", " Performs the Matrix inversion ", category,
                       (MatrixArgument, mtrx, " Matrix to be inverted ")) {
    return mtrx_Invert(std::move(mtrx));
}

ZEP_WORKSHEET_FUNCTION(xlmtrx_Transpose, "mtrx_Transpose", " Performs the Matrix transpose ", category,
                       (MatrixArgument, mtrx, " input Matrix ")) {
    return mtrx_Transpose(std::move(mtrx));
}

ZEP_WORKSHEET_FUNCTION(xlmtrx_Determinant, "mtrx_Determinant", " Calculates the determinant of the input Matrix ",
                       category, (MatrixArgument, mtrx, " input Matrix ")) {
    return mtrx_Determinant(std::move(mtrx));
}

ZEP_WORKSHEET_FUNCTION(xlmtrx_Row, "mtrx_Row", " Returns the nth row of the input Matrix ", category,
                       (MatrixArgument, mtrx, " input Matrix "), (IntegerArgument, n, " row number ")) {
    return mtrx_Row(std::move(mtrx), n);
}

ZEP_WORKSHEET_FUNCTION(xlmtrx_Column, "mtrx_Column", " Returns the nth column of the input Matrix ", category,
                       (MatrixArgument, mtrx, " input Matrix "), (IntegerArgument, n, " column number ")) {
    return mtrx_Column(std::move(mtrx), n);
}

ZEP_WORKSHEET_FUNCTION(xlmtrx_LinEqSolve, "mtrx_LinEqSolve",
                       " Performs the Matrix solve AX = Y. A = Input coefficient matrix. Y = RHS Vector. ", category,
                       (MatrixArgument, coeffMtrx, " Input coefficient matrix "),
                       (MatrixArgument, rhsVector, " RHS vector ")) {
    return mtrx_LinEqSolve(std::move(coeffMtrx), std::move(rhsVector));
}

ZEP_WORKSHEET_FUNCTION(xlmtrx_Cholesky, "mtrx_Cholesky", " Performs the Cholesky Decomposition of the matrix. ",
                       category, (MatrixArgument, mtrx, " Input matrix ")) {
    return mtrx_Cholesky(std::move(mtrx));
}

ZEP_WORKSHEET_FUNCTION(xlmtrx_QRDecomposition_R, "mtrx_QRDecomposition_R",
                       " Performs the QR Decomposition of the matrix. A = QR. Returns the R matrix. ", category,
                       (MatrixArgument, mtrx, " Input matrix ")) {
    return mtrx_QRDecomposition_R(std::move(mtrx));
}

ZEP_WORKSHEET_FUNCTION(xlmtrx_SVDDecomposition, "mtrx_SVDDecomposition",
                       " Performs the SVD Decomposition of the m X n (where m >= n) matrix A. Input param = 1 will "
                       "return m X m unary matrix, param = 2 will return m X n diagnal matrix and param = 3 will "
                       "return n X n conjugate matrix of a unary matrix. ",
                       category, (MatrixArgument, mtrx, " Input matrix "), (IntegerArgument, param, " 1,2 or 3 ")) {
    return mtrx_SVDDecomposition(std::move(mtrx), param);
}

ZEP_WORKSHEET_FUNCTION(xlmtrx_quickSort, "mtrx_quickSort",
                       " Performs quick sort on the input array. Input param = 1 will sort the array in the ascending "
                       "order.Param = 2 will sort in descending order. ",
                       category, (VectorArgument, mtrx, " Input array "), (IntegerArgument, param, " 1 or 2 ")) {
    return mtrx_quickSort(std::move(mtrx), param);
}

ZEP_WORKSHEET_FUNCTION(xlmtrx_EVDecomposition, "mtrx_EVDecomposition",
                       " Performs the Eigen Value Decomposition of the symmetric m X m matrix A. mtrx = V * D * V'. "
                       "Input param = 1 will return matrix V and param = 2 will return diagnal matrix D. ",
                       category, (MatrixArgument, mtrx, " Input matrix "), (IntegerArgument, param, " 1 or 2 ")) {
    return mtrx_EVDecomposition(std::move(mtrx), param);
}
