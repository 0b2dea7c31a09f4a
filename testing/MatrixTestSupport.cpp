#include "MatrixTestSupport.h"

#include <cmath>
#include <random>
#include <sstream>

std::ostream& operator<<(std::ostream& out, const NumericMatrix& m) {
    out << m.rows() << " x " << m.columns();
    if (m.empty()) return out;
    out << " {";
    for (std::uint32_t i = 0; i < m.rows(); ++i) {
        out << (i ? "; " : "");
        for (std::uint32_t j = 0; j < m.columns(); ++j) out << (j ? ", " : "") << m[i][j];
    }
    return out << "}";
}

NumericMatrix matrixOf(std::initializer_list<std::initializer_list<double>> rows) {
    NumericMatrix m(std::uint32_t(rows.size()), std::uint32_t(rows.size() ? rows.begin()->size() : 0));
    std::uint32_t i = 0;
    for (const auto& row : rows) {
        std::uint32_t j = 0;
        for (double value : row) m[i][j++] = value;
        ++i;
    }
    return m;
}

NumericMatrix identity(std::uint32_t n) {
    NumericMatrix m(n, n);
    for (std::uint32_t i = 0; i < n; ++i) m[i][i] = 1.0;
    return m;
}

NumericMatrix product(const NumericMatrix& a, const NumericMatrix& b) {
    NumericMatrix p(a.rows(), b.columns());
    for (std::uint32_t i = 0; i < a.rows(); ++i)
        for (std::uint32_t j = 0; j < b.columns(); ++j)
            for (std::uint32_t k = 0; k < a.columns(); ++k) p[i][j] += a[i][k] * b[k][j];
    return p;
}

NumericMatrix transposed(const NumericMatrix& a) {
    NumericMatrix t(a.columns(), a.rows());
    for (std::uint32_t i = 0; i < a.rows(); ++i)
        for (std::uint32_t j = 0; j < a.columns(); ++j) t[j][i] = a[i][j];
    return t;
}

NumericMatrix randomMatrix(std::uint32_t rows, std::uint32_t columns, unsigned seed) {
    std::mt19937 generator(seed);
    std::uniform_real_distribution<double> uniform(-1.0, 1.0);
    NumericMatrix m(rows, columns);
    for (std::uint32_t i = 0; i < rows; ++i)
        for (std::uint32_t j = 0; j < columns; ++j) m[i][j] = uniform(generator);
    return m;
}

NumericMatrix hilbert(std::uint32_t n) {
    NumericMatrix h(n, n);
    for (std::uint32_t i = 0; i < n; ++i)
        for (std::uint32_t j = 0; j < n; ++j) h[i][j] = 1.0 / (i + j + 1);
    return h;
}

::testing::AssertionResult matricesNear(const NumericMatrix& expected, const NumericMatrix& actual, double tolerance) {
    bool same = expected.rows() == actual.rows() && expected.columns() == actual.columns();
    for (std::uint32_t i = 0; same && i < expected.rows(); ++i)
        for (std::uint32_t j = 0; same && j < expected.columns(); ++j) {
            const double e = expected[i][j], a = actual[i][j];
            same = (std::isnan(e) && std::isnan(a)) || e == a || std::fabs(e - a) <= tolerance;
        }
    if (same) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "expected " << expected << "\n     got " << actual << "\n(tolerance "
                                         << tolerance << ")";
}

::testing::AssertionResult orthonormalColumns(const NumericMatrix& m, double tolerance) {
    return matricesNear(identity(m.columns()), product(transposed(m), m), tolerance) << "\nfor the columns of " << m;
}
