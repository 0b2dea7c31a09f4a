#ifndef TOOLBOX_SVD_H
#define TOOLBOX_SVD_H

// Eigen's divide-and-conquer SVD of a dynamic double matrix, instantiated in Svd.cpp alone: it is
// the costliest template the toolbox compiles, and six functions in three units use it.

#include "ToolboxNumerics.h"

#include <Eigen/SVD>

namespace toolbox {

// options: Eigen's ComputeThinU, ComputeThinV, ComputeFullV... or 0 for the singular values only.
Eigen::BDCSVD<Matrix> computeSvd(const Matrix& a, unsigned int options);

}  // namespace toolbox

#endif
