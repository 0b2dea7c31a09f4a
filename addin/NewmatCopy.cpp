#include "NewmatCopy.h"

#include <algorithm>
#include <climits>
#include <cstddef>
#include <new>

void requireNewmatShape(std::uint64_t rows, std::uint64_t columns) {
    if (rows > INT_MAX || columns > INT_MAX || rows * columns > INT_MAX) throw std::bad_alloc();
}

NEWMAT::Matrix toNewmat(const NumericMatrix& matrix) {
    requireNewmatShape(matrix.rows(), matrix.columns());
    NEWMAT::Matrix result(int(matrix.rows()), int(matrix.columns()));
    if (!matrix.empty()) result << matrix.data();
    return result;
}

NEWMAT::Matrix toNewmatColumn(const NumericVector& vector) {
    requireNewmatShape(vector.size(), 1);
    const int n = int(vector.size());
    NEWMAT::Matrix result(n, 1);
    for (int k = 1; k <= n; ++k) result(k, 1) = vector[std::size_t(k) - 1];
    return result;
}

NumericMatrix fromNewmat(const NEWMAT::BaseMatrix& factor) {
    NEWMAT::Matrix general;
    general << factor;  // the loading that permits a change of structure without a loss check
    NumericMatrix result(std::uint32_t(general.Nrows()), std::uint32_t(general.Ncols()));
    // A Matrix stores its elements row by row in one block, as NumericMatrix does; an empty
    // matrix has no block on either side.
    if (!result.empty()) std::copy(general.Store(), general.Store() + general.Storage(), result.data());
    return result;
}

NumericVector columnToVector(const NEWMAT::Matrix& column) {
    NumericVector result;
    result.reserve(std::size_t(column.Nrows()));
    for (int k = 1; k <= column.Nrows(); ++k) result.push_back(column(k, 1));
    return result;
}
