#include "DecompositionFunctions.h"

#include "NewmatCopy.h"

#include <newmat/newmatap.h>

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <vector>

namespace {

// The factor cut or padded to `rows` rows: its leading rows, with zero rows below if it has fewer.
NEWMAT::Matrix withRowCount(const NEWMAT::BaseMatrix& factor, int rows) {
    NEWMAT::Matrix full;
    full << factor;  // zeros outside a triangular or diagonal structure
    if (rows <= full.Nrows()) return full.Rows(1, rows);
    NEWMAT::Matrix padded(rows, full.Ncols());
    padded = 0.0;
    padded.Rows(1, full.Nrows()) = full;
    return padded;
}

// The m x n matrix u with orthonormal columns (m >= n), completed to an m x m orthogonal matrix
// that begins with u's columns. The n Householder reflections that make u upper triangular
// multiply to an orthogonal Q whose first n columns span what u's span; Q's other m - n columns,
// accumulated from the reflections without forming Q itself, complete the basis. About 4 m n (m - n)
// operations, all along rows.
NumericMatrix completeOrthonormalBasis(const NEWMAT::Matrix& u) {
    const std::size_t m = std::size_t(u.Nrows());
    const std::size_t n = std::size_t(u.Ncols());
    requireNewmatShape(m, m);
    const std::size_t extra = m - n;
    NumericMatrix q{std::uint32_t(m), std::uint32_t(m)};

    // Reflection k acts on rows k.. with the unit vector reflections[k], stored from row k on.
    std::vector<double> work(u.Store(), u.Store() + m * n);  // row-major, reduced column by column
    std::vector<std::vector<double>> reflections(n);
    for (std::size_t k = 0; k < n; ++k) {
        std::vector<double>& v = reflections[k];
        v.resize(m - k);
        double length = 0;
        for (std::size_t i = k; i < m; ++i) {
            v[i - k] = work[i * n + k];
            length += v[i - k] * v[i - k];
        }
        length = std::sqrt(length);
        v[0] += v[0] < 0 ? -length : length;  // away from x, so nothing cancels
        double vLength = 0;
        for (const double x : v) vLength += x * x;
        vLength = std::sqrt(vLength);
        if (vLength == 0) {  // nothing to reflect: the identity
            v.assign(v.size(), 0.0);
            continue;
        }
        for (double& x : v) x /= vLength;
        for (std::size_t j = k; j < n; ++j) {
            double dot = 0;
            for (std::size_t i = k; i < m; ++i) dot += v[i - k] * work[i * n + j];
            for (std::size_t i = k; i < m; ++i) work[i * n + j] -= 2 * dot * v[i - k];
        }
    }

    // Q's last m - n columns: the identity's, reflected by H(n-1), ..., H(0) in turn.
    std::vector<double> tail(m * extra, 0.0), dots(extra);
    for (std::size_t j = 0; j < extra; ++j) tail[(n + j) * extra + j] = 1.0;
    for (std::size_t k = n; k-- > 0;) {
        const std::vector<double>& v = reflections[k];
        std::fill(dots.begin(), dots.end(), 0.0);
        for (std::size_t i = k; i < m; ++i)
            for (std::size_t j = 0; j < extra; ++j) dots[j] += v[i - k] * tail[i * extra + j];
        for (std::size_t i = k; i < m; ++i)
            for (std::size_t j = 0; j < extra; ++j) tail[i * extra + j] -= 2 * v[i - k] * dots[j];
    }

    for (std::size_t i = 0; i < m; ++i) {
        double* row = q[std::uint32_t(i)];
        std::copy(u.Store() + i * n, u.Store() + (i + 1) * n, row);
        std::copy(tail.begin() + std::ptrdiff_t(i * extra), tail.begin() + std::ptrdiff_t((i + 1) * extra), row + n);
    }
    return q;
}

}  // namespace

// A missing matrix gets an empty result without Newmat being asked: Newmat rejects some shapes
// without elements and faults on others.

NumericMatrix mtrx_QRDecomposition_R(NumericMatrix mtrx) {
    if (mtrx.empty()) return NumericMatrix(0, 0);
    NEWMAT::Matrix x = toNewmat(mtrx);
    const int m = x.Nrows();
    NEWMAT::UpperTriangularMatrix r;
    NEWMAT::QRZ(x, r);  // x becomes Q, which is not returned
    return fromNewmat(withRowCount(r, m));
}

NumericMatrix mtrx_SVDDecomposition(NumericMatrix mtrx, int param) {
    if (param < 1 || param > 3) throw "Invalid value of param";
    if (mtrx.empty()) return NumericMatrix(0, 0);
    const NEWMAT::Matrix a = toNewmat(mtrx);
    NEWMAT::DiagonalMatrix d;
    NEWMAT::Matrix u, v;
    NEWMAT::SVD(a, d, u, v);  // Newmat refuses fewer rows than columns
    switch (param) {
        case 1:
            return completeOrthonormalBasis(u);
        case 2:
            return fromNewmat(withRowCount(d, a.Nrows()));
        default:
            return fromNewmat(v);
    }
}

NumericMatrix mtrx_EVDecomposition(NumericMatrix mtrx, int param) {
    if (param != 1 && param != 2) throw "Invalid value of param";
    if (mtrx.rows() != mtrx.columns()) throw "Operation requires a symmetric square Matrix";
    if (mtrx.empty()) return NumericMatrix(0, 0);
    NEWMAT::SymmetricMatrix s;
    s << toNewmat(mtrx);  // keeps the lower triangle; symmetry is not checked
    NEWMAT::DiagonalMatrix d;
    NEWMAT::Matrix v;
    NEWMAT::EigenValues(s, d, v);  // sorted ascending, columns of v moved with them
    return param == 1 ? fromNewmat(v) : fromNewmat(d);
}
