#ifndef ADDIN_NEWMATCOPY_H
#define ADDIN_NEWMATCOPY_H

#include <zep/NumericMatrix.h>

#include <newmat/newmat.h>

#include <cstdint>

// The copies between the add-in's matrices and Newmat's, shared by every matrix function.
// NumericMatrix counts from 0, Newmat from 1. Internal to the matrix layer.

// Newmat counts rows, columns and elements in int: a larger shape cannot be held, so it is
// refused as an allocation that cannot succeed (std::bad_alloc) before anything is built.
void requireNewmatShape(std::uint64_t rows, std::uint64_t columns);

// A Newmat Matrix of the same shape and elements. The storage of an empty matrix is null and is
// neither read nor handed to Newmat.
NEWMAT::Matrix toNewmat(const NumericMatrix& matrix);

// An n x 1 Newmat Matrix of the vector's elements, in order.
NEWMAT::Matrix toNewmatColumn(const NumericVector& vector);

// The factor in its own shape. A triangular or diagonal factor is first loaded into a general
// Matrix, which fills the elements outside its structure with zeros.
NumericMatrix fromNewmat(const NEWMAT::BaseMatrix& factor);

// The elements (1, 1) .. (n, 1) of an n x 1 Newmat matrix, in order.
NumericVector columnToVector(const NEWMAT::Matrix& column);

#endif
