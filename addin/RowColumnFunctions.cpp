#include "RowColumnFunctions.h"

#include "NewmatCopy.h"

namespace {

// Newmat rejects a number below 1 by testing n - 1 < 0, which wraps for INT_MIN and lets the
// selection read outside the matrix. 0 is rejected the same way, at the selection.
int selectable(int n) {
    return n < 1 ? 0 : n;
}

}  // namespace

NumericMatrix mtrx_Row(NumericMatrix mtrx, int n) {
    const NEWMAT::Matrix a = toNewmat(mtrx);
    const NEWMAT::RowVector row = a.Row(selectable(n));
    return fromNewmat(row);
}

NumericMatrix mtrx_Column(NumericMatrix mtrx, int n) {
    const NEWMAT::Matrix a = toNewmat(mtrx);
    const NEWMAT::ColumnVector column = a.Column(selectable(n));
    return fromNewmat(column);
}
