// The numerics checked by their defining identities on a spread of shapes and conditions, and
// their refusals; the answers themselves are compared with an independent library through the
// add-in (MatrixToolbox_test).
#include "ToolboxNumerics.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using toolbox::Matrix;
using toolbox::ToolboxError;

Matrix hilbert(int n) {
    Matrix h(n, n);
    for (int i = 0; i < n; ++i)
        for (int j = 0; j < n; ++j) h(i, j) = 1.0 / (i + j + 1);
    return h;
}

Matrix seeded(int rows, int columns, unsigned seed) {
    std::srand(seed);
    return Matrix::Random(rows, columns);
}

struct Case {
    const char* name;
    Matrix a;
};

std::vector<Case> shapes() {
    Matrix rankTwo = seeded(5, 2, 3) * seeded(2, 4, 4);
    return {{"square", seeded(6, 6, 1)},           {"tall", seeded(7, 3, 2)}, {"wide", seeded(3, 5, 5)},
            {"one", Matrix::Constant(1, 1, -2.5)}, {"hilbert8", hilbert(8)},  {"rank two", rankTwo}};
}

double relativeError(const Matrix& got, const Matrix& want) {
    return (got - want).norm() / std::max(1.0, want.norm());
}

TEST(ToolboxNumerics, DecompositionsReproduceTheirMatrix) {
    for (const Case& c : shapes()) {
        SCOPED_TRACE(c.name);
        const Matrix& a = c.a;
        const toolbox::Svd svd = toolbox::singularValueDecomposition(a);
        EXPECT_LT(relativeError(svd.u * svd.singularValues.asDiagonal() * svd.v.transpose(), a), 1e-12);
        for (Eigen::Index i = 1; i < svd.singularValues.size(); ++i)
            EXPECT_GE(svd.singularValues(i - 1), svd.singularValues(i));
        for (bool full : {false, true}) {
            const toolbox::Qr qr = toolbox::qrDecomposition(a, full);
            EXPECT_LT(relativeError(qr.q * qr.r, a), 1e-12);
            EXPECT_LT(relativeError(qr.q.transpose() * qr.q, Matrix::Identity(qr.q.cols(), qr.q.cols())), 1e-12);
            EXPECT_EQ(qr.q.cols(), full ? a.rows() : std::min(a.rows(), a.cols()));
            for (Eigen::Index i = 0; i < std::min(qr.r.rows(), qr.r.cols()); ++i) EXPECT_GE(qr.r(i, i), 0);
        }
        const Matrix pinv = toolbox::pseudoInverse(a);
        EXPECT_LT(relativeError(a * pinv * a, a), 1e-6);  // hilbert8 is conditioned 1.5e10
        EXPECT_LT(relativeError(pinv * a * pinv, pinv), 1e-6);
        if (a.rows() != a.cols()) continue;
        const toolbox::Lu lu = toolbox::luDecomposition(a);
        EXPECT_LT(relativeError(lu.p * a, lu.l * lu.u), 1e-12);
        const toolbox::GeneralEigen eig = toolbox::generalEigen(a);
        const toolbox::ComplexMatrix ac = a.cast<std::complex<double>>();
        EXPECT_LT((ac * eig.vectors - eig.vectors * eig.values.asDiagonal()).norm(), 1e-10 * std::max(1.0, a.norm()));
        const Matrix symmetric = a + a.transpose();
        const toolbox::SymmetricEigen sym = toolbox::symmetricEigen(symmetric);
        EXPECT_LT(relativeError(sym.vectors * sym.values.asDiagonal() * sym.vectors.transpose(), symmetric), 1e-12);
        const Matrix positive = a * a.transpose() + Matrix::Identity(a.rows(), a.cols());
        const Matrix l = toolbox::cholesky(positive);
        EXPECT_LT(relativeError(l * l.transpose(), positive), 1e-12);
    }
}

TEST(ToolboxNumerics, RankAndNullSpaceFollowTheTolerance) {
    const Matrix rankTwo = seeded(5, 2, 3) * seeded(2, 4, 4);
    EXPECT_EQ(toolbox::rank(rankTwo), 2);
    const Matrix n = toolbox::nullSpace(rankTwo);
    EXPECT_EQ(n.cols(), 2);
    EXPECT_LT((rankTwo * n).norm(), 1e-12);
    EXPECT_EQ(toolbox::rank(hilbert(12)), 11);  // numpy's default cutoff drops one of the twelve
    EXPECT_EQ(toolbox::rank(hilbert(12), 1e-8), 7);
    EXPECT_EQ(toolbox::rank(Matrix::Zero(3, 2)), 0);
}

TEST(ToolboxNumerics, PowersAndExponentialAgreeWithProducts) {
    const Matrix a = seeded(4, 4, 9);
    EXPECT_LT(relativeError(toolbox::power(a, 5), a * a * a * a * a), 1e-12);
    EXPECT_LT(relativeError(toolbox::power(a, -2) * a * a, Matrix::Identity(4, 4)), 1e-9);
    EXPECT_EQ(toolbox::power(a, 0), Matrix::Identity(4, 4));
    Matrix nilpotent = Matrix::Zero(3, 3);
    nilpotent(0, 1) = 1;
    nilpotent(1, 2) = 1;
    Matrix expected = Matrix::Identity(3, 3) + nilpotent;
    expected(0, 2) = 0.5;
    EXPECT_LT(relativeError(toolbox::exponential(nilpotent), expected), 1e-15);
}

// Each refusal: what kind of error the cell shows.
TEST(ToolboxNumerics, RefusalsSayWhetherTheInputOrTheRequestIsAtFault) {
    Matrix singular(2, 2);
    singular << 1, 2, 2, 4;
    Matrix huge = Matrix::Constant(2, 2, 1e200);
    Matrix notSymmetric(2, 2);
    notSymmetric << 2, 1, 0, 2;
    const struct {
        const char* name;
        void (*call)(const Matrix&, const Matrix&, const Matrix&, const Matrix&);
        ToolboxError::Kind kind;
    } cases[] = {
        {"inverse of singular", [](auto& s, auto&, auto&, auto&) { toolbox::inverse(s); }, ToolboxError::impossible},
        {"inverse of rectangular", [](auto&, auto&, auto&, auto&) { toolbox::inverse(Matrix(2, 3)); },
         ToolboxError::badInput},
        {"empty", [](auto&, auto&, auto&, auto&) { toolbox::rank(Matrix()); }, ToolboxError::badInput},
        {"solve mismatched", [](auto&, auto&, auto&, auto&) { toolbox::solve(Matrix::Identity(2, 2), Matrix(3, 1)); },
         ToolboxError::badInput},
        {"product overflows",
         [](auto&, auto& h, auto&, auto&) {
             toolbox::product({h, h, h});
         },
         ToolboxError::impossible},
        {"product mismatched",
         [](auto&, auto&, auto&, auto&) {
             toolbox::product({Matrix(2, 3), Matrix(2, 3)});
         },
         ToolboxError::badInput},
        {"power overflows", [](auto&, auto& h, auto&, auto&) { toolbox::power(h, 3); }, ToolboxError::impossible},
        {"negative power of singular", [](auto& s, auto&, auto&, auto&) { toolbox::power(s, -1); },
         ToolboxError::impossible},
        {"exponential overflows", [](auto&, auto&, auto&, auto&) { toolbox::exponential(Matrix::Constant(2, 2, 800)); },
         ToolboxError::impossible},
        {"Cholesky of indefinite", [](auto& s, auto&, auto&, auto&) { toolbox::cholesky(s); },
         ToolboxError::impossible},
        {"Cholesky of unsymmetric", [](auto&, auto&, auto& u, auto&) { toolbox::cholesky(u); },
         ToolboxError::impossible},
        {"condition of singular", [](auto& s, auto&, auto&, auto&) { toolbox::conditionNumber(s); },
         ToolboxError::impossible},
        {"null space of regular", [](auto&, auto&, auto&, auto&) { toolbox::nullSpace(Matrix::Identity(2, 2)); },
         ToolboxError::impossible},
        {"determinant overflows", [](auto&, auto&, auto&, auto& d) { toolbox::determinant(d); },
         ToolboxError::impossible},
    };
    const Matrix diagonal = Matrix::Identity(40, 40) * 1e10;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        try {
            c.call(singular, huge, notSymmetric, diagonal);
            ADD_FAILURE() << "no refusal";
        } catch (const ToolboxError& error) {
            EXPECT_EQ(error.kind(), c.kind) << error.what();
        }
    }
}

}  // namespace
