#include "SquareMatrixFunctions.h"

#include "NewmatCopy.h"

#include <newmat/newmatap.h>

NumericMatrix mtrx_Invert(NumericMatrix mtrx) {
    if (mtrx.rows() != mtrx.columns()) throw "Input should be a square matrix";
    // Newmat's LU reads past a 0 x 0 matrix; the inverse of nothing is nothing.
    if (mtrx.empty()) return NumericMatrix(0, 0);
    const NEWMAT::Matrix a = toNewmat(mtrx);
    return fromNewmat(a.i());
}

NumericMatrix mtrx_Transpose(NumericMatrix mtrx) {
    const NEWMAT::Matrix a = toNewmat(mtrx);
    return fromNewmat(a.t());
}

double mtrx_Determinant(NumericMatrix mtrx) {
    // Newmat's LU reads past a 0 x 0 matrix, and "1" would pass a missing argument off as a value.
    if (mtrx.empty()) throw NEWMAT::ProgramException("Determinant of a matrix without elements");
    const NEWMAT::Matrix a = toNewmat(mtrx);
    return a.Determinant();
}

NumericMatrix mtrx_Cholesky(NumericMatrix mtrx) {
    if (mtrx.rows() != mtrx.columns()) throw "Operation requires square matrix.";
    NEWMAT::SymmetricMatrix s;
    s << toNewmat(mtrx);  // keeps the lower triangle; the upper one is not compared with it
    return fromNewmat(NEWMAT::Cholesky(s));
}

NumericVector mtrx_LinEqSolve(NumericMatrix coeffMtrx, NumericMatrix rhsVector) {
    const std::uint32_t n = coeffMtrx.rows();
    if (coeffMtrx.columns() != n || rhsVector.rows() != n || rhsVector.columns() != 1) throw "Incompatible matrices";
    // Newmat's LU reads past a 0 x 0 matrix; a system of no equations has the empty solution.
    if (n == 0) return NumericVector();
    const NEWMAT::Matrix a = toNewmat(coeffMtrx);
    const NEWMAT::Matrix y = toNewmat(rhsVector);
    const NEWMAT::Matrix x = a.i() * y;  // LU and back substitution; the inverse is never formed
    return columnToVector(x);
}
