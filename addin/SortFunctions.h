#ifndef ADDIN_SORTFUNCTIONS_H
#define ADDIN_SORTFUNCTIONS_H

#include <zep/NumericMatrix.h>

// The elements sorted ascending (param 1) or descending (param 2); any other param throws
// "Invalid value of param".
NumericVector mtrx_quickSort(NumericVector mtrx, int param);

#endif
