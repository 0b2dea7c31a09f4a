// The decompositions: LU, QR, Cholesky, SVD and both eigenproblems, each with its signs fixed.
#include "Svd.h"
#include "ToolboxChecks.h"
#include "ToolboxNumerics.h"

#include <Eigen/Cholesky>
#include <Eigen/Eigenvalues>
#include <Eigen/LU>
#include <Eigen/QR>

#include <algorithm>
#include <numeric>

namespace toolbox {

namespace {

// The index of the first component of largest magnitude.
template <class Column>
Eigen::Index largestComponent(const Column& column) {
    Eigen::Index at = 0;
    column.cwiseAbs().maxCoeff(&at);
    return at;
}

// Flips each column of a (and the same column of b, when given) so that a's largest component
// is non-negative: decompositions are unique only up to these signs.
void fixColumnSigns(Matrix& a, Matrix* b) {
    for (Eigen::Index j = 0; j < a.cols(); ++j) {
        if (a.col(j)(largestComponent(a.col(j))) >= 0) continue;
        a.col(j) = -a.col(j);
        if (b != nullptr) b->col(j) = -b->col(j);
    }
}

}  // namespace

Lu luDecomposition(const Matrix& a) {
    requireSquare(a, "LU");
    const Eigen::PartialPivLU<Matrix> lu(a);
    const Eigen::Index n = a.rows();
    Lu result;
    result.l = Matrix::Identity(n, n);
    result.l.triangularView<Eigen::StrictlyLower>() = lu.matrixLU();
    result.u = lu.matrixLU().triangularView<Eigen::Upper>();
    result.p = lu.permutationP().toDenseMatrix().cast<double>();
    requireFinite(result.u, "LU");
    return result;
}

Qr qrDecomposition(const Matrix& a, bool full) {
    requireMatrix(a, "QR");
    const Eigen::HouseholderQR<Matrix> qr(a);
    const Eigen::Index m = a.rows(), k = full ? m : std::min(a.rows(), a.cols());
    Qr result;
    result.q = qr.householderQ() * Matrix::Identity(m, k);
    result.r = qr.matrixQR().topRows(k).triangularView<Eigen::Upper>();
    // R's diagonal non-negative: flip each row of R with a negative pivot, and Q's column with it.
    for (Eigen::Index i = 0; i < std::min(k, a.cols()); ++i) {
        if (result.r(i, i) >= 0) continue;
        result.r.row(i) = -result.r.row(i);
        result.q.col(i) = -result.q.col(i);
    }
    return result;
}

Matrix cholesky(const Matrix& a) {
    requireSquare(a, "Cholesky");
    requireSymmetric(a, "Cholesky");
    const Eigen::LLT<Matrix> llt(a);
    if (llt.info() != Eigen::Success) {
        throw ToolboxError(ToolboxError::impossible, "Cholesky: the matrix is not positive definite");
    }
    Matrix l = llt.matrixL();
    requireFinite(l, "Cholesky");
    return l;
}

Svd singularValueDecomposition(const Matrix& a) {
    requireMatrix(a, "SVD");
    const auto svd = computeSvd(a, Eigen::ComputeThinU | Eigen::ComputeThinV);
    Svd result{svd.matrixU(), svd.matrixV(), svd.singularValues()};
    requireFinite(result.singularValues, "SVD");
    fixColumnSigns(result.v, &result.u);
    return result;
}

SymmetricEigen symmetricEigen(const Matrix& a) {
    requireSquare(a, "symmetric eigen");
    requireSymmetric(a, "symmetric eigen");
    const Eigen::SelfAdjointEigenSolver<Matrix> solver(a);
    if (solver.info() != Eigen::Success) {
        throw ToolboxError(ToolboxError::impossible, "symmetric eigen: the iteration did not converge");
    }
    SymmetricEigen result{solver.eigenvalues(), solver.eigenvectors()};
    fixColumnSigns(result.vectors, nullptr);
    return result;
}

GeneralEigen generalEigen(const Matrix& a) {
    requireSquare(a, "eigen");
    const Eigen::EigenSolver<Matrix> solver(a);
    if (solver.info() != Eigen::Success) {
        throw ToolboxError(ToolboxError::impossible, "eigen: the iteration did not converge");
    }
    const Eigen::VectorXcd values = solver.eigenvalues();
    const ComplexMatrix vectors = solver.eigenvectors();
    std::vector<Eigen::Index> order(static_cast<std::size_t>(values.size()));
    std::iota(order.begin(), order.end(), Eigen::Index{0});
    std::stable_sort(order.begin(), order.end(), [&](Eigen::Index x, Eigen::Index y) {
        if (values(x).real() != values(y).real()) return values(x).real() > values(y).real();
        return values(x).imag() > values(y).imag();
    });
    GeneralEigen result{Eigen::VectorXcd(values.size()), ComplexMatrix(a.rows(), a.cols())};
    for (Eigen::Index j = 0; j < values.size(); ++j) {
        result.values(j) = values(order[static_cast<std::size_t>(j)]);
        Eigen::VectorXcd column = vectors.col(order[static_cast<std::size_t>(j)]);
        column.normalize();
        // Turn the column so that its largest component is real and positive.
        const std::complex<double> largest = column(largestComponent(column));
        if (std::abs(largest) > 0) column *= std::abs(largest) / largest;
        result.vectors.col(j) = column;
    }
    requireFinite(result.vectors.real(), "eigen");
    requireFinite(result.vectors.imag(), "eigen");
    return result;
}

}  // namespace toolbox
