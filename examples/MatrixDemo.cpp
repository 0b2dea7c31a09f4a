// A tour of the eleven matrix functions on small matrices, each once with good input and once
// with input it refuses. Runs natively and, built for Windows, under Wine.
#include "DecompositionFunctions.h"
#include "NumericMatrix.h"
#include "RowColumnFunctions.h"
#include "SortFunctions.h"
#include "SquareMatrixFunctions.h"

#include <cstdio>
#include <functional>
#include <initializer_list>
#include <string>

namespace {

NumericMatrix matrix(std::uint32_t rows, std::uint32_t columns, std::initializer_list<double> values) {
    NumericMatrix m(rows, columns);
    auto v = values.begin();
    for (std::uint32_t i = 0; i < rows; ++i)
        for (std::uint32_t j = 0; j < columns; ++j) m[i][j] = *v++;
    return m;
}

void print(const NumericMatrix& m) {
    for (std::uint32_t i = 0; i < m.rows(); ++i) {
        std::printf("    ");
        for (std::uint32_t j = 0; j < m.columns(); ++j) std::printf("%12.6g", m[i][j]);
        std::printf("\n");
    }
}

void print(const NumericVector& v) {
    for (double x : v) std::printf("    %12.6g\n", x);
}

void print(double x) { std::printf("    %12.6g\n", x); }

// What a worksheet cell would show: the result, the function's own message, or #VALUE! for a
// numerical failure inside Newmat.
template <typename Result>
void show(const char* formula, const std::function<Result()>& call) {
    std::printf("%s\n", formula);
    try {
        print(call());
    } catch (const char* message) {
        std::printf("    \"%s\"\n", message);
    } catch (...) {
        std::printf("    #VALUE!\n");
    }
}

}  // namespace

int main() {
    const NumericMatrix a = matrix(3, 3, {4, 2, 0.6, 2, 3, 0.4, 0.6, 0.4, 2});
    const NumericMatrix wide = matrix(2, 3, {1, 2, 3, 4, 5, 6});
    const NumericMatrix singular = matrix(2, 2, {1, 2, 2, 4});
    const NumericMatrix rhs = matrix(3, 1, {1, 2, 3});

    std::printf("A =\n");
    print(a);
    show<NumericMatrix>("mtrx_Invert(A)", [&] { return mtrx_Invert(a); });
    show<NumericMatrix>("mtrx_Invert(2 x 3)", [&] { return mtrx_Invert(wide); });
    show<NumericMatrix>("mtrx_Transpose(2 x 3)", [&] { return mtrx_Transpose(wide); });
    show<double>("mtrx_Determinant(A)", [&] { return mtrx_Determinant(a); });
    show<double>("mtrx_Determinant(2 x 3)", [&] { return mtrx_Determinant(wide); });
    show<NumericMatrix>("mtrx_Row(2 x 3, 2)", [&] { return mtrx_Row(wide, 2); });
    show<NumericMatrix>("mtrx_Row(2 x 3, 3)", [&] { return mtrx_Row(wide, 3); });
    show<NumericMatrix>("mtrx_Column(2 x 3, 3)", [&] { return mtrx_Column(wide, 3); });
    show<NumericMatrix>("mtrx_Column(2 x 3, 0)", [&] { return mtrx_Column(wide, 0); });
    show<NumericVector>("mtrx_LinEqSolve(A, (1, 2, 3))", [&] { return mtrx_LinEqSolve(a, rhs); });
    show<NumericVector>("mtrx_LinEqSolve(singular, (1, 2))", [&] { return mtrx_LinEqSolve(singular, matrix(2, 1, {1, 2})); });
    show<NumericMatrix>("mtrx_Cholesky(A)", [&] { return mtrx_Cholesky(a); });
    show<NumericMatrix>("mtrx_Cholesky(singular)", [&] { return mtrx_Cholesky(singular); });
    show<NumericMatrix>("mtrx_QRDecomposition_R(A)", [&] { return mtrx_QRDecomposition_R(a); });
    show<NumericMatrix>("mtrx_QRDecomposition_R(zero first column)",
                        [&] { return mtrx_QRDecomposition_R(matrix(2, 2, {0, 1, 0, 2})); });
    show<NumericMatrix>("mtrx_SVDDecomposition(A, 2)", [&] { return mtrx_SVDDecomposition(a, 2); });
    show<NumericMatrix>("mtrx_SVDDecomposition(A, 4)", [&] { return mtrx_SVDDecomposition(a, 4); });
    show<NumericMatrix>("mtrx_EVDecomposition(A, 2)", [&] { return mtrx_EVDecomposition(a, 2); });
    show<NumericMatrix>("mtrx_EVDecomposition(2 x 3, 1)", [&] { return mtrx_EVDecomposition(wide, 1); });
    show<NumericVector>("mtrx_quickSort((3, 1, 2), 2)", [&] { return mtrx_quickSort({3, 1, 2}, 2); });
    show<NumericVector>("mtrx_quickSort((3, 1, 2), 0)", [&] { return mtrx_quickSort({3, 1, 2}, 0); });
    return 0;
}
