// Inverse, determinant, solve, products, powers, the exponential, norms and traces.
#include "Svd.h"
#include "ToolboxChecks.h"
#include "ToolboxNumerics.h"

#include <Eigen/LU>
#include <unsupported/Eigen/KroneckerProduct>
#include <unsupported/Eigen/MatrixFunctions>

#include <cmath>
#include <limits>
#include <string>

namespace toolbox {

namespace {

// Eigen's LU does not refuse a singular matrix: its reciprocal condition estimate decides.
Eigen::PartialPivLU<Matrix> nonSingularLu(const Matrix& a, const char* what) {
    Eigen::PartialPivLU<Matrix> lu(a);
    const double reciprocalCondition = lu.rcond();
    if (!(reciprocalCondition >= std::numeric_limits<double>::epsilon())) {
        throw ToolboxError(ToolboxError::impossible,
                           std::string(what) + ": the matrix is singular to working precision");
    }
    return lu;
}

}  // namespace

Matrix inverse(const Matrix& a) {
    requireSquare(a, "inverse");
    Matrix result = nonSingularLu(a, "inverse").inverse();
    requireFinite(result, "inverse");
    return result;
}

double determinant(const Matrix& a) {
    requireSquare(a, "determinant");
    const double result = Eigen::PartialPivLU<Matrix>(a).determinant();
    if (!std::isfinite(result)) throw ToolboxError(ToolboxError::impossible, "determinant: the result overflows");
    return result;
}

Matrix solve(const Matrix& a, const Matrix& b) {
    requireSquare(a, "solve");
    requireMatrix(b, "solve");
    if (b.rows() != a.rows()) {
        throw ToolboxError(ToolboxError::badInput, "solve: the right-hand side has " + std::to_string(b.rows()) +
                                                       " rows, the matrix " + std::to_string(a.rows()));
    }
    Matrix result = nonSingularLu(a, "solve").solve(b);
    requireFinite(result, "solve");
    return result;
}

Matrix product(const std::vector<Matrix>& factors) {
    if (factors.empty()) throw ToolboxError(ToolboxError::badInput, "product: no matrices");
    Matrix result = factors.front();
    requireMatrix(result, "product");
    for (std::size_t i = 1; i < factors.size(); ++i) {
        requireMatrix(factors[i], "product");
        if (factors[i].rows() != result.cols()) {
            throw ToolboxError(ToolboxError::badInput, "product: matrix " + std::to_string(i + 1) + " has " +
                                                           std::to_string(factors[i].rows()) + " rows, " +
                                                           std::to_string(result.cols()) + " wanted");
        }
        result = result * factors[i];
    }
    requireFinite(result, "product");
    return result;
}

Matrix kronecker(const Matrix& a, const Matrix& b) {
    requireMatrix(a, "Kronecker");
    requireMatrix(b, "Kronecker");
    Matrix result = Eigen::kroneckerProduct(a, b);
    requireFinite(result, "Kronecker");
    return result;
}

double trace(const Matrix& a) {
    requireSquare(a, "trace");
    const double result = a.trace();
    if (!std::isfinite(result)) throw ToolboxError(ToolboxError::impossible, "trace: the result overflows");
    return result;
}

Matrix power(const Matrix& a, long long exponent) {
    requireSquare(a, "power");
    Matrix base = exponent < 0 ? inverse(a) : a;
    unsigned long long remaining =
        exponent < 0 ? 0ULL - static_cast<unsigned long long>(exponent) : static_cast<unsigned long long>(exponent);
    Matrix result = Matrix::Identity(a.rows(), a.cols());
    // Squaring: 2 log2(k) products rather than k.
    while (remaining != 0) {
        if ((remaining & 1U) != 0) result = result * base;
        remaining >>= 1U;
        if (remaining != 0) base = base * base;
        requireFinite(base, "power");
    }
    requireFinite(result, "power");
    return result;
}

Matrix exponential(const Matrix& a) {
    requireSquare(a, "exponential");
    Matrix result = a.exp();
    requireFinite(result, "exponential");
    return result;
}

double norm(const Matrix& a, Norm which) {
    requireMatrix(a, "norm");
    double result = 0;
    switch (which) {
        case Norm::one:
            result = a.cwiseAbs().colwise().sum().maxCoeff();
            break;
        case Norm::infinity:
            result = a.cwiseAbs().rowwise().sum().maxCoeff();
            break;
        case Norm::frobenius:
            result = a.norm();
            break;
        case Norm::two:
            result = computeSvd(a, 0).singularValues()(0);
            break;
    }
    if (!std::isfinite(result)) throw ToolboxError(ToolboxError::impossible, "norm: the result overflows");
    return result;
}

}  // namespace toolbox
