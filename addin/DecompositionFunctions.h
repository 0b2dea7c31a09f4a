#ifndef ADDIN_DECOMPOSITIONFUNCTIONS_H
#define ADDIN_DECOMPOSITIONFUNCTIONS_H

#include <zep/NumericMatrix.h>

// One factor of a matrix decomposition, computed by Newmat. An invalid param or shape throws
// its message as a const char*; Newmat's own errors propagate unchanged. A matrix without
// elements (a missing argument) has no factors: the result is 0 x 0.

// The R of A = Q R (m x n, non-negative diagonal): for m > n the n x n triangle over m - n
// zero rows (the R of the full decomposition), for m < n the first m rows of the triangle.
NumericMatrix mtrx_QRDecomposition_R(NumericMatrix mtrx);

// A = U D V', m >= n. param 1: U completed to an m x m orthogonal matrix (its first n columns
// are Newmat's U); 2: D, m x n, the singular values on the diagonal; 3: V, n x n.
NumericMatrix mtrx_SVDDecomposition(NumericMatrix mtrx, int param);

// S = V D V' from the lower triangle of a square S, eigenvalues ascending.
// param 1: V; 2: D with the eigenvalues on the diagonal.
NumericMatrix mtrx_EVDecomposition(NumericMatrix mtrx, int param);

#endif
