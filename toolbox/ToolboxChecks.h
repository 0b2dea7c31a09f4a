#ifndef TOOLBOX_TOOLBOXCHECKS_H
#define TOOLBOX_TOOLBOXCHECKS_H

// The input checks the numerics share; each throws a ToolboxError that names the function.

#include "ToolboxNumerics.h"

namespace toolbox {

void requireMatrix(const Matrix& a, const char* what);  // at least one element
void requireSquare(const Matrix& a, const char* what);
// Symmetric to a relative 1e-10 of the largest element: what a rounded worksheet copy keeps.
void requireSymmetric(const Matrix& a, const char* what);

}  // namespace toolbox

#endif
