#ifndef TOOLBOX_TOOLBOXNUMERICS_H
#define TOOLBOX_TOOLBOXNUMERICS_H

// The toolbox's matrix functions on Eigen's dense double matrices. Knows nothing of Excel: a
// failure is a ToolboxError that says whether the input was unusable or the request numerically
// impossible, and why. No result ever holds a NaN or an infinity.

#include <Eigen/Core>

#include <complex>
#include <stdexcept>
#include <string>
#include <vector>

namespace toolbox {

using Matrix = Eigen::MatrixXd;
using ComplexMatrix = Eigen::MatrixXcd;

class ToolboxError : public std::runtime_error {
public:
    enum Kind {
        badInput,    // not what the function takes: #VALUE! in a cell
        impossible,  // numerically impossible (singular, not positive definite, overflow): #NUM!
    };
    ToolboxError(Kind kind, const std::string& reason) : std::runtime_error(reason), kind_(kind) {}
    Kind kind() const { return kind_; }

private:
    Kind kind_;
};

// Singular values at or below tolerance x the largest count as zero in pinv, leastSquares, rank
// and nullSpace. A negative tolerance asks for the default, max(rows, columns) x machine epsilon.
constexpr double defaultTolerance = -1.0;

// Basics.
Matrix inverse(const Matrix& a);  // #NUM! when singular to working precision
double determinant(const Matrix& a);
Matrix solve(const Matrix& a, const Matrix& b);  // A X = B, A square and not singular
Matrix product(const std::vector<Matrix>& factors);
Matrix kronecker(const Matrix& a, const Matrix& b);
double trace(const Matrix& a);
Matrix power(const Matrix& a, long long exponent);  // a negative exponent through the inverse
Matrix exponential(const Matrix& a);

enum class Norm { one, two, infinity, frobenius };
double norm(const Matrix& a, Norm which);
double conditionNumber(const Matrix& a);  // in the 2-norm, rectangular matrices included

// Least squares and rank, through the singular value decomposition.
Matrix pseudoInverse(const Matrix& a, double tolerance = defaultTolerance);
Matrix leastSquares(const Matrix& a, const Matrix& b, double tolerance = defaultTolerance);  // minimum norm
int rank(const Matrix& a, double tolerance = defaultTolerance);
Matrix nullSpace(const Matrix& a, double tolerance = defaultTolerance);  // orthonormal columns

// Factorisations. Signs are fixed so that answers are reproducible: R's diagonal, and each
// singular and eigenvector's component of largest magnitude (the first such), are non-negative.
struct Lu {
    Matrix l, u, p;  // P A = L U, L unit lower triangular
};
Lu luDecomposition(const Matrix& a);  // partial pivoting, square A

struct Qr {
    Matrix q, r;  // A = Q R
};
Qr qrDecomposition(const Matrix& a, bool full);  // thin: Q m x k, R k x n, k = min(m, n)

Matrix cholesky(const Matrix& a);  // lower L with A = L Lᵀ; A symmetric positive definite

struct Svd {
    Matrix u, v;
    Eigen::VectorXd singularValues;  // descending
};
Svd singularValueDecomposition(const Matrix& a);  // thin: A = U diag(s) Vᵀ

struct SymmetricEigen {
    Eigen::VectorXd values;  // ascending
    Matrix vectors;          // orthonormal columns, A V = V diag(values)
};
SymmetricEigen symmetricEigen(const Matrix& a);

struct GeneralEigen {
    Eigen::VectorXcd values;  // by descending real part, then descending imaginary part
    ComplexMatrix vectors;    // unit columns, largest component real and positive
};
GeneralEigen generalEigen(const Matrix& a);

// Throws #NUM! when a result holds a NaN or an infinity; the what names the function.
void requireFinite(const Eigen::Ref<const Matrix>& result, const char* what);

}  // namespace toolbox

#endif
