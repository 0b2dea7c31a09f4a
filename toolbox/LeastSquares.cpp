// Everything decided by the singular values and the tolerance: pseudo-inverse, minimum-norm
// least squares, rank, null space and condition number.
#include "Svd.h"
#include "ToolboxChecks.h"
#include "ToolboxNumerics.h"

#include <algorithm>
#include <limits>
#include <string>

namespace toolbox {

namespace {

// The singular values above this count; the largest one scales the relative tolerance.
double cutoff(const Matrix& a, const Eigen::VectorXd& singularValues, double tolerance) {
    const double relative =
        tolerance < 0 ? static_cast<double>(std::max(a.rows(), a.cols())) * std::numeric_limits<double>::epsilon()
                      : tolerance;
    return relative * (singularValues.size() == 0 ? 0.0 : singularValues(0));
}

int countAbove(const Eigen::VectorXd& singularValues, double limit) {
    int count = 0;
    for (Eigen::Index i = 0; i < singularValues.size(); ++i) count += singularValues(i) > limit ? 1 : 0;
    return count;
}

// V diag(1/s) Uᵀ over the singular values above the cutoff, applied to b (the identity for pinv).
Matrix pseudoInverseTimes(const Matrix& a, const Matrix* b, double tolerance, const char* what) {
    const auto svd = computeSvd(a, Eigen::ComputeThinU | Eigen::ComputeThinV);
    const Eigen::VectorXd& s = svd.singularValues();
    requireFinite(s, what);
    const int kept = countAbove(s, cutoff(a, s, tolerance));
    const Eigen::VectorXd inverted = s.head(kept).cwiseInverse();
    const auto v = svd.matrixV().leftCols(kept);
    const auto uT = svd.matrixU().leftCols(kept).transpose();
    Matrix result =
        b == nullptr ? Matrix(v * inverted.asDiagonal() * uT) : Matrix(v * (inverted.asDiagonal() * (uT * *b)));
    requireFinite(result, what);
    return result;
}

}  // namespace

Matrix pseudoInverse(const Matrix& a, double tolerance) {
    requireMatrix(a, "pseudo-inverse");
    return pseudoInverseTimes(a, nullptr, tolerance, "pseudo-inverse");
}

Matrix leastSquares(const Matrix& a, const Matrix& b, double tolerance) {
    requireMatrix(a, "least squares");
    requireMatrix(b, "least squares");
    if (b.rows() != a.rows()) {
        throw ToolboxError(ToolboxError::badInput, "least squares: the right-hand side has " +
                                                       std::to_string(b.rows()) + " rows, the matrix " +
                                                       std::to_string(a.rows()));
    }
    return pseudoInverseTimes(a, &b, tolerance, "least squares");
}

int rank(const Matrix& a, double tolerance) {
    requireMatrix(a, "rank");
    const Eigen::VectorXd s = computeSvd(a, 0).singularValues();
    requireFinite(s, "rank");
    return countAbove(s, cutoff(a, s, tolerance));
}

Matrix nullSpace(const Matrix& a, double tolerance) {
    requireMatrix(a, "null space");
    const auto svd = computeSvd(a, Eigen::ComputeFullV);
    const Eigen::VectorXd& s = svd.singularValues();
    requireFinite(s, "null space");
    const int r = countAbove(s, cutoff(a, s, tolerance));
    if (r == a.cols()) {
        throw ToolboxError(ToolboxError::impossible, "null space: the columns are independent, only 0 maps to 0");
    }
    return svd.matrixV().rightCols(a.cols() - r);
}

double conditionNumber(const Matrix& a) {
    requireMatrix(a, "condition number");
    const Eigen::VectorXd s = computeSvd(a, 0).singularValues();
    requireFinite(s, "condition number");
    const double smallest = s(s.size() - 1);
    if (!(smallest > 0) || !std::isfinite(s(0) / smallest)) {
        throw ToolboxError(ToolboxError::impossible, "condition number: the matrix is singular");
    }
    return s(0) / smallest;
}

}  // namespace toolbox
