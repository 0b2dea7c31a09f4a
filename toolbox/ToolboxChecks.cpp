// The input and result checks every toolbox function shares.
#include "ToolboxChecks.h"

#include <string>

namespace toolbox {

void requireMatrix(const Matrix& a, const char* what) {
    if (a.size() == 0) throw ToolboxError(ToolboxError::badInput, std::string(what) + ": the matrix is empty");
}

void requireSquare(const Matrix& a, const char* what) {
    requireMatrix(a, what);
    if (a.rows() != a.cols()) {
        throw ToolboxError(ToolboxError::badInput, std::string(what) + ": the matrix is not square (" +
                                                       std::to_string(a.rows()) + " x " + std::to_string(a.cols()) +
                                                       ")");
    }
}

void requireSymmetric(const Matrix& a, const char* what) {
    const double scale = a.cwiseAbs().maxCoeff();
    if ((a - a.transpose()).cwiseAbs().maxCoeff() > 1e-10 * scale) {
        throw ToolboxError(ToolboxError::impossible, std::string(what) + ": the matrix is not symmetric");
    }
}

void requireFinite(const Eigen::Ref<const Matrix>& result, const char* what) {
    if (!result.allFinite()) {
        throw ToolboxError(ToolboxError::impossible, std::string(what) + ": the result overflows");
    }
}

}  // namespace toolbox
