#include "DecompositionFunctions.h"

#include "MatrixTestSupport.h"

#include <climits>
#include <cmath>
#include <new>
#include <utility>

namespace {

// Zero wherever i > j (for a diagonal matrix also wherever i < j), the diagonal not negative.
::testing::AssertionResult triangularWithNonNegativeDiagonal(const NumericMatrix& m, bool diagonal) {
    for (std::uint32_t i = 0; i < m.rows(); ++i)
        for (std::uint32_t j = 0; j < m.columns(); ++j)
            if ((i > j || (diagonal && i < j)) ? m[i][j] != 0.0 : (i == j && !(m[i][j] >= 0.0)))
                return ::testing::AssertionFailure() << "element " << i << ", " << j << " of " << m;
    return ::testing::AssertionSuccess();
}

NumericMatrix symmetricRandom(std::uint32_t n, unsigned seed) {
    const NumericMatrix a = randomMatrix(n, n, seed);
    NumericMatrix s = a;
    for (std::uint32_t i = 0; i < n; ++i)
        for (std::uint32_t j = 0; j < n; ++j) s[i][j] = a[i][j] + a[j][i];
    return s;
}

// A = U D V' with U (m x m) and V orthogonal, D (m x n) diagonal and not negative.
void expectSingularValueDecomposition(const NumericMatrix& a, double tolerance) {
    const NumericMatrix u = mtrx_SVDDecomposition(a, 1), d = mtrx_SVDDecomposition(a, 2),
                        v = mtrx_SVDDecomposition(a, 3);
    ASSERT_EQ(a.rows(), u.rows());
    ASSERT_EQ(a.rows(), u.columns());
    EXPECT_TRUE(orthonormalColumns(u, tolerance));
    EXPECT_TRUE(orthonormalColumns(v, tolerance));
    EXPECT_TRUE(triangularWithNonNegativeDiagonal(d, true));
    EXPECT_TRUE(matricesNear(a, product(u, product(d, transposed(v))), tolerance));
}

// S = V D V' with V orthogonal and D diagonal, ascending.
void expectEigenDecomposition(const NumericMatrix& s, double tolerance) {
    const NumericMatrix v = mtrx_EVDecomposition(s, 1), d = mtrx_EVDecomposition(s, 2);
    EXPECT_TRUE(orthonormalColumns(v, tolerance));
    for (std::uint32_t i = 0; i < d.rows(); ++i)
        for (std::uint32_t j = 0; j < d.columns(); ++j)
            if (i != j) {
                EXPECT_EQ(0.0, d[i][j]) << d;
            }
    for (std::uint32_t i = 1; i < d.rows(); ++i) EXPECT_LE(d[i - 1][i - 1], d[i][i]) << d;
    EXPECT_TRUE(matricesNear(s, product(v, product(d, transposed(v))), tolerance));
}

}  // namespace

TEST(QRDecomposition, WorkedCases) {
    EXPECT_TRUE(
        matricesNear(matrixOf({{5, 2.2}, {0, 0.4}}), mtrx_QRDecomposition_R(matrixOf({{3, 1}, {4, 2}})), 1e-14));
    EXPECT_TRUE(
        matricesNear(matrixOf({{5, -2.2}, {0, 0.4}}), mtrx_QRDecomposition_R(matrixOf({{-3, 1}, {-4, 2}})), 1e-14));
    EXPECT_EQ(Outcome::Value, classify([] { mtrx_QRDecomposition_R(matrixOf({{0, 1}, {0, 2}, {0, 3}})); }));
    EXPECT_EQ(Outcome::Value, classify([] { mtrx_QRDecomposition_R(matrixOf({{-0.0, 1}, {0, 2}})); }));
    EXPECT_TRUE(matricesNear(NumericMatrix(0, 0), mtrx_QRDecomposition_R(NumericMatrix(0, 0)), 0));
    EXPECT_TRUE(returnedOrValue(classify([] { mtrx_QRDecomposition_R(matrixOf({{notANumber, 1}, {1, 1}, {2, 3}})); })));
    EXPECT_TRUE(returnedOrValue(classify([] { mtrx_QRDecomposition_R(matrixOf({{infinity, 1}, {1, 1}, {2, 3}})); })));
}

// With more rows than columns the R of the full decomposition: the triangle over zero rows.
TEST(QRDecomposition, RIsTriangularAndRtRIsAtA) {
    for (auto shape : {std::pair<std::uint32_t, std::uint32_t>{1, 1}, {4, 4}, {6, 4}, {10, 3}, {25, 1}}) {
        const NumericMatrix a = randomMatrix(shape.first, shape.second, 700 + shape.first);
        const NumericMatrix r = mtrx_QRDecomposition_R(a);
        EXPECT_TRUE(triangularWithNonNegativeDiagonal(r, false));
        const NumericMatrix ata = product(transposed(a), a);
        EXPECT_TRUE(matricesNear(ata, product(transposed(r), r), 1e-12)) << a.rows() << " x " << a.columns();
    }
    const NumericMatrix h = hilbert(8);
    const NumericMatrix r = mtrx_QRDecomposition_R(h);
    EXPECT_TRUE(matricesNear(product(h, h), product(transposed(r), r), 1e-14));
}

TEST(QRDecomposition, FewerRowsThanColumnsGivesTheLeadingRows) {
    const NumericMatrix r = mtrx_QRDecomposition_R(matrixOf({{3, 1, 7}, {4, 2, 1}}));
    EXPECT_TRUE(matricesNear(matrixOf({{5, 2.2, 5}, {0, 0.4, -5}}), r, 1e-14));
}

TEST(SVDDecomposition, WorkedCasesAndFailures) {
    EXPECT_TRUE(matricesNear(identity(2), mtrx_SVDDecomposition(identity(2), 2), 0));
    for (int param : {0, 4, -1, INT_MIN}) {
        EXPECT_EQ("Invalid value of param", thrownText([=] { mtrx_SVDDecomposition(identity(2), param); }));
        EXPECT_EQ("Invalid value of param", thrownText([=] { mtrx_SVDDecomposition(NumericMatrix(0, 0), param); }));
    }
    EXPECT_EQ(Outcome::Value, classify([] { mtrx_SVDDecomposition(NumericMatrix(2, 3), 3); }));
    const NumericMatrix v = mtrx_SVDDecomposition(matrixOf({{1, 2}, {3, 4}, {5, 6}}), 3);
    EXPECT_EQ(2u, v.rows());
    EXPECT_TRUE(orthonormalColumns(v, 1e-14));
    for (int param : {1, 2, 3}) {
        EXPECT_TRUE(matricesNear(NumericMatrix(0, 0), mtrx_SVDDecomposition(NumericMatrix(0, 0), param), 0));
        EXPECT_TRUE(returnedOrValue(classify([=] {
            mtrx_SVDDecomposition(matrixOf({{notANumber, 1}, {1, 1}, {2, 3}}), param);
        })));
        EXPECT_TRUE(returnedOrValue(classify([=] {
            mtrx_SVDDecomposition(matrixOf({{infinity, 1}, {1, 1}, {2, 3}}), param);
        })));
    }
}

// For m > n, U is completed to m x m and D padded to m x n, so A = U D V' holds in full.
TEST(SVDDecomposition, FactorsReproduceTheMatrix) {
    for (auto shape :
         {std::pair<std::uint32_t, std::uint32_t>{1, 1}, {4, 4}, {7, 3}, {12, 1}, {30, 29}, {60, 1}, {200, 40}})
        expectSingularValueDecomposition(randomMatrix(shape.first, shape.second, 800 + shape.first), 1e-12);
    expectSingularValueDecomposition(hilbert(8), 1e-13);
    // A column that is nearly a unit vector leaves that unit vector nothing to complete with.
    NumericMatrix spike(9, 1);
    spike[4][0] = 1.0;
    spike[0][0] = 1e-9;
    expectSingularValueDecomposition(spike, 1e-14);
}

TEST(SVDDecomposition, RankDeficientMatrixHasZeroSingularValues) {
    const NumericMatrix a = product(randomMatrix(8, 2, 901), randomMatrix(2, 5, 902));
    expectSingularValueDecomposition(a, 1e-12);
    const NumericMatrix d = mtrx_SVDDecomposition(a, 2);
    int nonZero = 0;
    for (std::uint32_t i = 0; i < 5; ++i) nonZero += d[i][i] > 1e-12;
    EXPECT_EQ(2, nonZero) << d;
}

TEST(SVDDecomposition, CompletedUTooLargeForNewmatIsOutOfMemory) {
    const NumericMatrix tall(100000, 1);
    EXPECT_THROW(mtrx_SVDDecomposition(tall, 1), std::bad_alloc);
}

TEST(EVDecomposition, WorkedCasesAndFailures) {
    const NumericMatrix s = matrixOf({{2, 0}, {0, 1}});
    EXPECT_TRUE(matricesNear(matrixOf({{1, 0}, {0, 2}}), mtrx_EVDecomposition(s, 2), 1e-15));
    const NumericMatrix v = mtrx_EVDecomposition(s, 1);
    EXPECT_EQ(1.0, std::fabs(v[1][0]));
    EXPECT_EQ(1.0, std::fabs(v[0][1]));
    const NumericMatrix upperIgnored = matrixOf({{2, 9}, {0, 1}});
    EXPECT_TRUE(matricesNear(mtrx_EVDecomposition(s, 1), mtrx_EVDecomposition(upperIgnored, 1), 0));
    EXPECT_TRUE(matricesNear(mtrx_EVDecomposition(s, 2), mtrx_EVDecomposition(upperIgnored, 2), 0));
    EXPECT_EQ("Operation requires a symmetric square Matrix",
              thrownText([] { mtrx_EVDecomposition(NumericMatrix(2, 3), 1); }));
    EXPECT_EQ("Invalid value of param", thrownText([] { mtrx_EVDecomposition(NumericMatrix(2, 3), 5); }));
    EXPECT_EQ("Invalid value of param", thrownText([&] { mtrx_EVDecomposition(s, 0); }));
    for (int param : {1, 2}) {
        EXPECT_TRUE(matricesNear(NumericMatrix(0, 0), mtrx_EVDecomposition(NumericMatrix(0, 0), param), 0));
        EXPECT_TRUE(returnedOrValue(classify([=] {
            mtrx_EVDecomposition(matrixOf({{1, 0}, {notANumber, 1}}), param);
        })));
        EXPECT_TRUE(returnedOrValue(classify([=] { mtrx_EVDecomposition(matrixOf({{infinity, 0}, {1, 1}}), param); })));
    }
}

TEST(EVDecomposition, FactorsReproduceTheMatrix) {
    for (std::uint32_t n : {1u, 2u, 5u, 16u}) expectEigenDecomposition(symmetricRandom(n, 1000 + n), 1e-12);
    expectEigenDecomposition(hilbert(8), 1e-14);
    // Rank one: b b' has the eigenvalue |b|^2 once and 0 otherwise.
    const NumericMatrix b = randomMatrix(6, 1, 1100);
    const NumericMatrix s = product(b, transposed(b));
    expectEigenDecomposition(s, 1e-14);
    const NumericMatrix d = mtrx_EVDecomposition(s, 2);
    EXPECT_NEAR(product(transposed(b), b)[0][0], d[5][5], 1e-14);
    for (std::uint32_t i = 0; i < 5; ++i) EXPECT_NEAR(0.0, d[i][i], 1e-14);
}
