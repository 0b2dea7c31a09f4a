#ifndef ADDIN_SQUAREMATRIXFUNCTIONS_H
#define ADDIN_SQUAREMATRIXFUNCTIONS_H

#include <zep/NumericMatrix.h>

// The square-matrix worksheet functions. A failed argument check throws its message as a
// const char*; Newmat's own errors (singular, not positive definite, ...) propagate unchanged.

// The inverse; a 0 x 0 matrix gives 0 x 0.
NumericMatrix mtrx_Invert(NumericMatrix mtrx);

// columns x rows.
NumericMatrix mtrx_Transpose(NumericMatrix mtrx);

// A matrix without elements has no determinant: that is a Newmat error, not 1.
double mtrx_Determinant(NumericMatrix mtrx);

// The lower-triangular L with L L' = A, from the lower triangle of A; 0 x 0 gives 0 x 0.
NumericMatrix mtrx_Cholesky(NumericMatrix mtrx);

// X with coeffMtrx X = rhsVector, for one right-hand column.
NumericVector mtrx_LinEqSolve(NumericMatrix coeffMtrx, NumericMatrix rhsVector);

#endif
