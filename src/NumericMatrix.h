#ifndef SRC_NUMERICMATRIX_H
#define SRC_NUMERICMATRIX_H

#include <cstdint>
#include <vector>

// The dense matrix of doubles that the worksheet functions take and return: one contiguous
// row-major block of elements plus a table of row pointers into it. Knows neither Excel
// nor any numerics library. An empty matrix (rows x columns == 0) owns no memory at all.
class NumericMatrix {
public:
    NumericMatrix(std::uint32_t rows, std::uint32_t columns);
    NumericMatrix(const NumericMatrix& other);
    NumericMatrix& operator=(const NumericMatrix& other);
    // A moved-from matrix is 0 x 0.
    NumericMatrix(NumericMatrix&& other) noexcept;
    NumericMatrix& operator=(NumericMatrix&& other) noexcept;
    ~NumericMatrix();

    std::uint32_t rows() const { return rows_; }
    std::uint32_t columns() const { return columns_; }

    // Row i; index it again with j for element (i, j). No bounds check.
    double* operator[](std::uint32_t i) { return rowTable_[i]; }
    const double* operator[](std::uint32_t i) const { return rowTable_[i]; }

    // The whole row-major block (null for an empty matrix), as numerics libraries load matrices.
    double* data() { return storage_; }
    const double* data() const { return storage_; }

    bool empty() const { return storage_ == nullptr; }

private:
    void allocate();  // blocks for the current counts, zero-filled
    void release();
    void swapWith(NumericMatrix& other) noexcept;

    std::uint32_t rows_;
    std::uint32_t columns_;
    double** rowTable_;
    double* storage_;
};

using NumericVector = std::vector<double>;

#endif
