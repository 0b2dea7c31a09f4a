#include "NumericMatrix.h"

#include <algorithm>
#include <cstddef>
#include <limits>
#include <memory>
#include <new>
#include <utility>

NumericMatrix::NumericMatrix(std::uint32_t rows, std::uint32_t columns)
    : rows_(rows), columns_(columns), rowTable_(nullptr), storage_(nullptr) {
    allocate();
}

NumericMatrix::NumericMatrix(const NumericMatrix& other)
    : rows_(other.rows_), columns_(other.columns_), rowTable_(nullptr), storage_(nullptr) {
    allocate();
    if (storage_) std::copy(other.storage_, other.storage_ + std::size_t(rows_) * columns_, storage_);
}

NumericMatrix& NumericMatrix::operator=(const NumericMatrix& other) {
    if (this == &other) return *this;
    if (rows_ != other.rows_ || columns_ != other.columns_) {
        // Allocate first, so that a failed allocation leaves this matrix as it was.
        NumericMatrix fresh(other.rows_, other.columns_);
        swapWith(fresh);
    }
    if (storage_) std::copy(other.storage_, other.storage_ + std::size_t(rows_) * columns_, storage_);
    return *this;
}

NumericMatrix::NumericMatrix(NumericMatrix&& other) noexcept
    : rows_(0), columns_(0), rowTable_(nullptr), storage_(nullptr) {
    swapWith(other);
}

NumericMatrix& NumericMatrix::operator=(NumericMatrix&& other) noexcept {
    NumericMatrix taken(std::move(other));  // frees this matrix's block when it goes
    swapWith(taken);
    return *this;
}

void NumericMatrix::swapWith(NumericMatrix& other) noexcept {
    std::swap(rows_, other.rows_);
    std::swap(columns_, other.columns_);
    std::swap(rowTable_, other.rowTable_);
    std::swap(storage_, other.storage_);
}

NumericMatrix::~NumericMatrix() {
    release();
}

void NumericMatrix::allocate() {
    const std::uint64_t elements = std::uint64_t(rows_) * columns_;
    if (elements == 0) return;
    // One block: the elements, then the row table (its offset is a multiple of 8, so the
    // pointers are aligned). The byte count must fit in size_t before anything is allocated (on
    // 32-bit Windows a 70000 x 70000 request would otherwise wrap to a small block).
    const std::uint64_t limit = std::numeric_limits<std::size_t>::max();
    if (elements > limit / sizeof(double) || rows_ > (limit - elements * sizeof(double)) / sizeof(double*))
        throw std::bad_alloc();
    const std::size_t elementBytes = std::size_t(elements) * sizeof(double);
    unsigned char* block =
        static_cast<unsigned char*>(::operator new(elementBytes + std::size_t(rows_) * sizeof(double*)));
    storage_ = reinterpret_cast<double*>(block);
    std::uninitialized_fill_n(storage_, std::size_t(elements), 0.0);
    rowTable_ = reinterpret_cast<double**>(block + elementBytes);
    for (std::uint32_t i = 0; i < rows_; ++i) ::new (rowTable_ + i) double*(storage_ + std::size_t(i) * columns_);
}

void NumericMatrix::release() {
    if (!storage_) return;
    ::operator delete(storage_);
    storage_ = nullptr;
    rowTable_ = nullptr;
}
