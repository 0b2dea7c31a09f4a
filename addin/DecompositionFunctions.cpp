#include "DecompositionFunctions.h"

#include "NewmatCopy.h"

#include <newmat/newmatap.h>

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
// that begins with u's columns. Each new column starts from the unit vector that the columns so
// far represent least (its residual is then at least 1/sqrt(m) long), is orthogonalised against
// them twice (a single Gram-Schmidt pass loses orthogonality when the residual is short) and
// normalised.
NEWMAT::Matrix completeOrthonormalBasis(const NEWMAT::Matrix& u) {
    const int m = u.Nrows();
    const int n = u.Ncols();
    requireNewmatShape(std::uint64_t(m), std::uint64_t(m));
    NEWMAT::Matrix q(m, m);
    q = 0.0;
    q.Columns(1, n) = u;
    NEWMAT::ColumnVector represented(m);  // squared length of each row of the columns so far
    for (int i = 1; i <= m; ++i) represented(i) = u.Row(i).SumSquare();
    for (int c = n + 1; c <= m; ++c) {
        int k = 0;
        represented.Minimum1(k);
        NEWMAT::ColumnVector v(m);
        v = 0.0;
        v(k) = 1.0;
        const NEWMAT::Matrix basis = q.Columns(1, c - 1);
        for (int pass = 0; pass < 2; ++pass) v -= basis * (basis.t() * v);
        v /= v.NormFrobenius();
        q.Column(c) = v;
        represented += NEWMAT::SP(v, v);
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
    case 1: return fromNewmat(completeOrthonormalBasis(u));
    case 2: return fromNewmat(withRowCount(d, a.Nrows()));
    default: return fromNewmat(v);
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
