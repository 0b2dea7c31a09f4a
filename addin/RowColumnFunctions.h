#ifndef ADDIN_ROWCOLUMNFUNCTIONS_H
#define ADDIN_ROWCOLUMNFUNCTIONS_H

#include <zep/NumericMatrix.h>

// One row (1 x columns) or one column (rows x 1) of a matrix, n counted from 1. Any n outside
// the matrix ends in Newmat's submatrix-dimension error; nothing outside the matrix is read.
NumericMatrix mtrx_Row(NumericMatrix mtrx, int n);
NumericMatrix mtrx_Column(NumericMatrix mtrx, int n);

#endif
