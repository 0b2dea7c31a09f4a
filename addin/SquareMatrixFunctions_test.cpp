#include "SquareMatrixFunctions.h"

#include "MatrixTestSupport.h"

#include <newmat/newmat.h>

#include <cmath>

namespace {

double binomial(int n, int k) {
    double result = 1.0;
    for (int i = 1; i <= k; ++i) result = result * (n - k + i) / i;
    return result;
}

// A well-conditioned symmetric positive definite matrix: B B' + n I.
NumericMatrix positiveDefinite(std::uint32_t n, unsigned seed) {
    const NumericMatrix b = randomMatrix(n, n, seed);
    NumericMatrix a = product(b, transposed(b));
    for (std::uint32_t i = 0; i < n; ++i) a[i][i] += n;
    return a;
}

}  // namespace

TEST(Invert, WorkedCasesAndFailures) {
    EXPECT_TRUE(matricesNear(matrixOf({{0.5}}), mtrx_Invert(matrixOf({{2}})), 0));
    EXPECT_EQ("Input should be a square matrix", thrownText([] { mtrx_Invert(NumericMatrix(2, 3)); }));
    EXPECT_EQ(Outcome::Value, classify([] { mtrx_Invert(matrixOf({{1, 2}, {2, 4}})); }));
    EXPECT_EQ(Outcome::Value, classify([] { mtrx_Invert(matrixOf({{-0.0}})); }));
    EXPECT_TRUE(matricesNear(NumericMatrix(0, 0), mtrx_Invert(NumericMatrix(0, 0)), 0));
    EXPECT_TRUE(returnedOrValue(classify([] { mtrx_Invert(matrixOf({{notANumber, 1}, {1, 1}})); })));
    EXPECT_TRUE(returnedOrValue(classify([] { mtrx_Invert(matrixOf({{infinity, 1}, {1, -infinity}})); })));
}

TEST(Invert, TimesTheMatrixGivesTheIdentity) {
    for (std::uint32_t n : {1u, 2u, 5u, 13u, 40u}) {
        const NumericMatrix a = randomMatrix(n, n, 100 + n);
        EXPECT_TRUE(matricesNear(identity(n), product(a, mtrx_Invert(a)), 1e-9)) << "n = " << n;
    }
    const NumericMatrix nearlySingular = matrixOf({{1, 1}, {1, 1 + 1e-10}});
    EXPECT_TRUE(matricesNear(identity(2), product(nearlySingular, mtrx_Invert(nearlySingular)), 1e-5));
}

TEST(Invert, HilbertMatrixGivesItsIntegerInverse) {
    const int n = 6;
    const NumericMatrix inverse = mtrx_Invert(hilbert(n));
    for (int i = 1; i <= n; ++i)
        for (int j = 1; j <= n; ++j) {
            const double exact = ((i + j) % 2 ? -1 : 1) * (i + j - 1) * binomial(n + i - 1, n - j) *
                                 binomial(n + j - 1, n - i) * std::pow(binomial(i + j - 2, i - 1), 2);
            EXPECT_NEAR(exact, inverse[i - 1][j - 1], 1e-6 * std::fabs(exact)) << i << ", " << j;
        }
}

TEST(Transpose, SwapsShapeAndKeepsEveryValueExactly) {
    const NumericMatrix a = matrixOf({{1, -0.0, notANumber}, {infinity, -infinity, 6}});
    const NumericMatrix t = mtrx_Transpose(a);
    EXPECT_TRUE(matricesNear(matrixOf({{1, infinity}, {-0.0, -infinity}, {notANumber, 6}}), t, 0));
    EXPECT_TRUE(std::signbit(t[1][0]));
    EXPECT_TRUE(matricesNear(matrixOf({{1}, {2}, {3}, {4}}), mtrx_Transpose(matrixOf({{1, 2, 3, 4}})), 0));
    EXPECT_TRUE(matricesNear(NumericMatrix(0, 0), mtrx_Transpose(NumericMatrix(0, 0)), 0));
    EXPECT_TRUE(matricesNear(NumericMatrix(3, 0), mtrx_Transpose(NumericMatrix(0, 3)), 0));
}

TEST(Determinant, WorkedCasesAndFailures) {
    EXPECT_NEAR(-2.0, mtrx_Determinant(matrixOf({{1, 2}, {3, 4}})), 1e-12);
    EXPECT_EQ(0.0, mtrx_Determinant(matrixOf({{1, 2}, {2, 4}})));
    EXPECT_EQ(0.0, mtrx_Determinant(matrixOf({{-0.0}})));
    EXPECT_NEAR(1.0 / 6048000, mtrx_Determinant(hilbert(4)), 1e-9 / 6048000);
    EXPECT_EQ(Outcome::Value, classify([] { mtrx_Determinant(NumericMatrix(2, 3)); }));
    EXPECT_EQ(Outcome::Value, classify([] { mtrx_Determinant(matrixOf({{1e300, 0}, {0, 1e300}})); }));
    EXPECT_TRUE(returnedOrValue(classify([] { mtrx_Determinant(matrixOf({{notANumber, 1}, {infinity, 1}})); })));
}

TEST(Determinant, OfNoMatrixIsANewmatErrorNotOne) {
    EXPECT_EQ(Outcome::Value, classify([] { mtrx_Determinant(NumericMatrix(0, 0)); }));
    EXPECT_THROW(mtrx_Determinant(NumericMatrix(0, 0)), NEWMAT::BaseException);
    EXPECT_EQ(Outcome::Value, classify([] { mtrx_Determinant(NumericMatrix(0, 4)); }));
}

TEST(Cholesky, WorkedCasesAndFailures) {
    const NumericMatrix expected = matrixOf({{2, 0}, {1, std::sqrt(2.0)}});
    EXPECT_TRUE(matricesNear(expected, mtrx_Cholesky(matrixOf({{4, 2}, {2, 3}})), 1e-15));
    EXPECT_TRUE(matricesNear(expected, mtrx_Cholesky(matrixOf({{4, 100}, {2, 3}})), 1e-15));
    EXPECT_EQ(Outcome::Value, classify([] { mtrx_Cholesky(matrixOf({{1, 2}, {2, 1}})); }));
    EXPECT_EQ("Operation requires square matrix.", thrownText([] { mtrx_Cholesky(NumericMatrix(2, 3)); }));
    EXPECT_TRUE(matricesNear(NumericMatrix(0, 0), mtrx_Cholesky(NumericMatrix(0, 0)), 0));
    EXPECT_TRUE(returnedOrValue(classify([] { mtrx_Cholesky(matrixOf({{notANumber, 0}, {0, 1}})); })));
}

TEST(Cholesky, LowerFactorReproducesTheMatrix) {
    for (std::uint32_t n : {1u, 4u, 17u}) {
        const NumericMatrix a = positiveDefinite(n, 400 + n);
        const NumericMatrix l = mtrx_Cholesky(a);
        EXPECT_TRUE(matricesNear(a, product(l, transposed(l)), 1e-12 * n)) << "n = " << n;
        for (std::uint32_t i = 0; i < n; ++i) {
            EXPECT_GT(l[i][i], 0.0);
            for (std::uint32_t j = i + 1; j < n; ++j) EXPECT_EQ(0.0, l[i][j]);
        }
    }
    const NumericMatrix l = mtrx_Cholesky(hilbert(8));
    EXPECT_TRUE(matricesNear(hilbert(8), product(l, transposed(l)), 1e-14));
}

TEST(LinEqSolve, WorkedCasesAndShapeChecks) {
    EXPECT_EQ((NumericVector{1, 1}), mtrx_LinEqSolve(matrixOf({{2, 0}, {0, 4}}), matrixOf({{2}, {4}})));
    const NumericMatrix a = matrixOf({{2, 0}, {0, 4}});
    EXPECT_EQ("Incompatible matrices", thrownText([&] { mtrx_LinEqSolve(a, matrixOf({{2, 4}})); }));
    EXPECT_EQ("Incompatible matrices", thrownText([&] { mtrx_LinEqSolve(a, NumericMatrix(0, 0)); }));
    EXPECT_EQ("Incompatible matrices", thrownText([] { mtrx_LinEqSolve(NumericMatrix(0, 0), NumericMatrix(2, 1)); }));
    EXPECT_EQ("Incompatible matrices", thrownText([] { mtrx_LinEqSolve(NumericMatrix(2, 3), NumericMatrix(2, 1)); }));
    EXPECT_TRUE(mtrx_LinEqSolve(NumericMatrix(0, 0), NumericMatrix(0, 1)).empty());
    EXPECT_EQ(Outcome::Value, classify([] { mtrx_LinEqSolve(matrixOf({{1, 2}, {2, 4}}), matrixOf({{1}, {2}})); }));
    EXPECT_TRUE(returnedOrValue(classify([] {
        mtrx_LinEqSolve(matrixOf({{notANumber, 1}, {1, 1}}), matrixOf({{1}, {infinity}}));
    })));
}

TEST(LinEqSolve, SolutionSatisfiesTheSystem) {
    for (std::uint32_t n : {1u, 3u, 10u, 30u}) {
        const NumericMatrix a = randomMatrix(n, n, 500 + n), y = randomMatrix(n, 1, 600 + n);
        const NumericVector x = mtrx_LinEqSolve(a, y);
        ASSERT_EQ(n, x.size());
        NumericMatrix column(n, 1);
        for (std::uint32_t i = 0; i < n; ++i) column[i][0] = x[i];
        EXPECT_TRUE(matricesNear(y, product(a, column), 1e-10)) << "n = " << n;
    }
}
