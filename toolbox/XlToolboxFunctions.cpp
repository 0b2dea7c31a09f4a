// MatrixToolbox's worksheet functions: each entry point reads Excel's values into Eigen matrices,
// runs the numerics and writes the answer back. A failure is an error value that ISERROR knows:
// #VALUE! when an argument is not what the function takes, #NUM! when the request is numerically
// impossible. MTX.WHY runs any of them on the same arguments and says why it fails, which keeps
// every function free of shared state. Optional arguments are value records that Excel passes as
// "missing" when left out.
#include "ComplexText.h"
#include "ToolboxNumerics.h"

#include <zep/WorksheetFunction.h>
#include <zep/XlfOperImpl.h>

#include <Eigen/Core>

#include <array>
#include <cctype>
#include <cmath>
#include <limits>
#include <string>

namespace {

using toolbox::Matrix;
using toolbox::ToolboxError;
using zep::ValueArgument;
using zep::WorksheetResult;
using zep::XlfOper;

const char category[] = "Matrix Toolbox";

// The arguments of one call, in order; those the function does not take, or Excel left out, are
// empty records.
using Arguments = std::array<XlfOper, 6>;
using Body = WorksheetResult (*)(const Arguments&);

[[noreturn]] void badArgument(const char* name, const std::string& why) {
    throw ToolboxError(ToolboxError::badInput, std::string(name) + " " + why);
}

bool omitted(const XlfOper& value) {
    return (value.Type() & (xltypeMissing | xltypeNil)) != 0;
}

using RowMajor = Eigen::Matrix<double, Eigen::Dynamic, Eigen::Dynamic, Eigen::RowMajor>;

// Every cell a number, as MINVERSE takes it: an empty or text cell is refused.
Matrix matrixOf(const XlfOper& value, const char* name) {
    if (omitted(value)) badArgument(name, "is missing");
    int err = 0;
    const NumericMatrix cells = value.ReadMatrix(&err);
    if (err != 0) badArgument(name, "is not a matrix of numbers: an empty, text or error cell");
    return Eigen::Map<const RowMajor>(cells.data(), cells.rows(), cells.columns());
}

// A number, flag, selector or name is one value: an array is refused before Excel is asked to
// convert it.
void requireOneValue(const XlfOper& value, const char* name) {
    if ((value.Type() & xltypeMulti) != 0) badArgument(name, "is an array, not one value");
}

double numberOf(const XlfOper& value, const char* name) {
    requireOneValue(value, name);
    int err = 0;
    const double number = value.ReadDouble(&err);
    if (err != 0 || !std::isfinite(number)) badArgument(name, "is not a number");
    return number;
}

bool flagOf(const XlfOper& value, const char* name) {
    if (omitted(value)) return false;
    requireOneValue(value, name);
    int err = 0;
    const bool flag = value.ReadBool(&err);
    if (err != 0) badArgument(name, "is not TRUE or FALSE");
    return flag;
}

// The relative tolerance; left out, the documented default.
double toleranceOf(const XlfOper& value) {
    if (omitted(value)) return toolbox::defaultTolerance;
    const double tolerance = numberOf(value, "tolerance");
    if (tolerance < 0) badArgument("tolerance", "is negative");
    return tolerance;
}

std::string upper(std::string text) {
    for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return text;
}

// Which of the choices: its number from 1, or its name in any case; left out, the first.
template <std::size_t count>
std::size_t selectorOf(const XlfOper& value, const char* name, const std::array<const char*, count>& choices) {
    if (omitted(value)) return 0;
    requireOneValue(value, name);
    int err = 0;
    const double number = value.ReadDouble(&err);
    if (err == 0) {
        if (number >= 1 && number <= static_cast<double>(count) && number == std::floor(number)) {
            return static_cast<std::size_t>(number) - 1;
        }
    } else {
        const char* text = value.ReadCString(&err);
        if (err == 0) {
            for (std::size_t i = 0; i < count; ++i)
                if (upper(text) == choices[i]) return i;
        }
    }
    std::string wanted;
    for (std::size_t i = 0; i < count; ++i) wanted += (i == 0 ? "" : ", ") + std::string(choices[i]);
    badArgument(name, "is none of 1 to " + std::to_string(count) + " or " + wanted);
}

// The framework cuts an array result to the columns the running Excel's records hold (255 in
// Excel 4 records): a wider answer is refused whole rather than shown in part.
void requireArrayWidth(Eigen::Index columns) {
    const std::uint32_t most = zep::XlfOperImpl::Current().MaxResultColumns();
    if (columns > static_cast<Eigen::Index>(most)) {
        throw ToolboxError(ToolboxError::impossible, "the result has " + std::to_string(columns) +
                                                         " columns, more than the " + std::to_string(most) +
                                                         " an array result can have in this Excel");
    }
}

WorksheetResult numbers(const Matrix& a) {
    requireArrayWidth(a.cols());
    NumericMatrix result(static_cast<std::uint32_t>(a.rows()), static_cast<std::uint32_t>(a.cols()));
    Eigen::Map<RowMajor>(result.data(), a.rows(), a.cols()) = a;
    return result;
}

// Wide cells are written as the text alone in both layouts; a narrow one would carry its closing
// zero into an Excel 4 text.
zep::WideString wide(const std::string& text) {
    return zep::WidenText(text.data(), text.size());
}

// Complex values as Excel's complex texts, or each as two columns of numbers, real and imaginary.
WorksheetResult complexNumbers(const toolbox::ComplexMatrix& z, bool pairs) {
    if (pairs) {
        Matrix split(z.rows(), 2 * z.cols());
        for (Eigen::Index j = 0; j < z.cols(); ++j) {
            split.col(2 * j) = z.col(j).real();
            split.col(2 * j + 1) = z.col(j).imag();
        }
        return numbers(split);
    }
    requireArrayWidth(z.cols());
    zep::CellMatrix cells(static_cast<std::uint32_t>(z.rows()), static_cast<std::uint32_t>(z.cols()));
    for (Eigen::Index i = 0; i < z.rows(); ++i)
        for (Eigen::Index j = 0; j < z.cols(); ++j)
            cells.Cell(static_cast<std::uint32_t>(i), static_cast<std::uint32_t>(j)) =
                zep::MatrixCell(wide(toolbox::complexText(z(i, j))));
    return cells;
}

// ---- The bodies, on their arguments in order.

WorksheetResult inverse(const Arguments& a) {
    return numbers(toolbox::inverse(matrixOf(a[0], "matrix")));
}

WorksheetResult determinant(const Arguments& a) {
    return toolbox::determinant(matrixOf(a[0], "matrix"));
}

WorksheetResult solve(const Arguments& a) {
    return numbers(toolbox::solve(matrixOf(a[0], "matrix"), matrixOf(a[1], "rhs")));
}

WorksheetResult product(const Arguments& a) {
    static const char* const names[] = {"matrix1", "matrix2", "matrix3", "matrix4", "matrix5", "matrix6"};
    std::vector<Matrix> factors;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (i >= 2 && omitted(a[i])) break;
        factors.push_back(matrixOf(a[i], names[i]));
    }
    for (std::size_t i = factors.size(); i < a.size(); ++i)
        if (!omitted(a[i])) badArgument(names[i], "follows a missing matrix");
    return numbers(toolbox::product(factors));
}

WorksheetResult lu(const Arguments& a) {
    const std::size_t part = selectorOf(a[1], "part", std::array<const char*, 3>{"L", "U", "P"});
    const toolbox::Lu result = toolbox::luDecomposition(matrixOf(a[0], "matrix"));
    return numbers(part == 0 ? result.l : part == 1 ? result.u : result.p);
}

WorksheetResult qr(const Arguments& a) {
    const std::size_t part = selectorOf(a[1], "part", std::array<const char*, 2>{"Q", "R"});
    const toolbox::Qr result = toolbox::qrDecomposition(matrixOf(a[0], "matrix"), flagOf(a[2], "full"));
    return numbers(part == 0 ? result.q : result.r);
}

WorksheetResult cholesky(const Arguments& a) {
    return numbers(toolbox::cholesky(matrixOf(a[0], "matrix")));
}

WorksheetResult svd(const Arguments& a) {
    const std::size_t part = selectorOf(a[1], "part", std::array<const char*, 3>{"U", "S", "V"});
    const toolbox::Svd result = toolbox::singularValueDecomposition(matrixOf(a[0], "matrix"));
    return numbers(part == 0 ? result.u : part == 1 ? Matrix(result.singularValues) : result.v);
}

WorksheetResult symmetricEigen(const Arguments& a) {
    const std::size_t part = selectorOf(a[1], "part", std::array<const char*, 2>{"VALUES", "VECTORS"});
    const toolbox::SymmetricEigen result = toolbox::symmetricEigen(matrixOf(a[0], "matrix"));
    return numbers(part == 0 ? Matrix(result.values) : result.vectors);
}

WorksheetResult generalEigen(const Arguments& a) {
    const std::size_t part = selectorOf(a[1], "part", std::array<const char*, 2>{"VALUES", "VECTORS"});
    const bool pairs = flagOf(a[2], "pairs");
    const toolbox::GeneralEigen result = toolbox::generalEigen(matrixOf(a[0], "matrix"));
    return complexNumbers(part == 0 ? toolbox::ComplexMatrix(result.values) : result.vectors, pairs);
}

WorksheetResult pseudoInverse(const Arguments& a) {
    return numbers(toolbox::pseudoInverse(matrixOf(a[0], "matrix"), toleranceOf(a[1])));
}

WorksheetResult leastSquares(const Arguments& a) {
    return numbers(toolbox::leastSquares(matrixOf(a[0], "matrix"), matrixOf(a[1], "rhs"), toleranceOf(a[2])));
}

WorksheetResult rank(const Arguments& a) {
    return toolbox::rank(matrixOf(a[0], "matrix"), toleranceOf(a[1]));
}

WorksheetResult nullSpace(const Arguments& a) {
    return numbers(toolbox::nullSpace(matrixOf(a[0], "matrix"), toleranceOf(a[1])));
}

WorksheetResult conditionNumber(const Arguments& a) {
    return toolbox::conditionNumber(matrixOf(a[0], "matrix"));
}

WorksheetResult norm(const Arguments& a) {
    using toolbox::Norm;
    const Norm kinds[] = {Norm::one, Norm::two, Norm::infinity, Norm::frobenius};
    const std::size_t kind =
        omitted(a[1]) ? 3 : selectorOf(a[1], "kind", std::array<const char*, 4>{"1", "2", "INF", "FRO"});
    return toolbox::norm(matrixOf(a[0], "matrix"), kinds[kind]);
}

WorksheetResult trace(const Arguments& a) {
    return toolbox::trace(matrixOf(a[0], "matrix"));
}

WorksheetResult power(const Arguments& a) {
    const Matrix m = matrixOf(a[0], "matrix");
    const double exponent = numberOf(a[1], "exponent");
    if (exponent != std::floor(exponent) || std::fabs(exponent) > 1e15) badArgument("exponent", "is not an integer");
    return numbers(toolbox::power(m, static_cast<long long>(exponent)));
}

WorksheetResult exponential(const Arguments& a) {
    return numbers(toolbox::exponential(matrixOf(a[0], "matrix")));
}

WorksheetResult kronecker(const Arguments& a) {
    return numbers(toolbox::kronecker(matrixOf(a[0], "matrix1"), matrixOf(a[1], "matrix2")));
}

// Every function MTX.WHY can explain, by its worksheet name.
struct Explained {
    const char* name;
    Body body;
};
const Explained explained[] = {
    {"MTX.INV", inverse},
    {"MTX.DET", determinant},
    {"MTX.SOLVE", solve},
    {"MTX.MMULT", product},
    {"MTX.LU", lu},
    {"MTX.QR", qr},
    {"MTX.CHOL", cholesky},
    {"MTX.SVD", svd},
    {"MTX.EIGSYM", symmetricEigen},
    {"MTX.EIG", generalEigen},
    {"MTX.PINV", pseudoInverse},
    {"MTX.LSTSQ", leastSquares},
    {"MTX.RANK", rank},
    {"MTX.NULL", nullSpace},
    {"MTX.COND", conditionNumber},
    {"MTX.NORM", norm},
    {"MTX.TRACE", trace},
    {"MTX.POWER", power},
    {"MTX.EXPM", exponential},
    {"MTX.KRON", kronecker},
};

// A toolbox failure becomes its error value; anything else (Excel's own faults, memory) goes
// on to the call frame.
WorksheetResult evaluate(Body body, const Arguments& arguments) {
    try {
        return body(arguments);
    } catch (const ToolboxError& failure) {
        return XlfOper::Error(failure.kind() == ToolboxError::badInput ? xlerrValue : xlerrNum);
    }
}

}  // namespace

ZEP_ADDIN_NAME("Matrix Toolbox");

// clang-format off
#define TOOLBOX_MATRIX (ValueArgument, matrix, "a range or array of numbers")
#define TOOLBOX_TOLERANCE (ValueArgument, tolerance, "optional: singular values up to tolerance x the largest count as 0; default max(rows, columns) x 2.2E-16")
#define TOOLBOX_SELECTOR(choices) (ValueArgument, part, "optional: " choices)
// clang-format on

ZEP_FUNCTION(xlmtx_Inv, "MTX.INV", "The inverse of a square matrix; #NUM! when it is singular", category,
             zep::ThreadSafe, TOOLBOX_MATRIX) {
    return evaluate(inverse, {matrix});
}

ZEP_FUNCTION(xlmtx_Det, "MTX.DET", "The determinant of a square matrix", category, zep::ThreadSafe, TOOLBOX_MATRIX) {
    return evaluate(determinant, {matrix});
}

ZEP_FUNCTION(xlmtx_Solve, "MTX.SOLVE", "X with A X = B, for a square A and any number of columns in B", category,
             zep::ThreadSafe, TOOLBOX_MATRIX, (ValueArgument, rhs, "the right-hand sides B, one per column")) {
    return evaluate(solve, {matrix, rhs});
}

ZEP_FUNCTION(xlmtx_MMult, "MTX.MMULT", "The product of two to six matrices, left to right", category, zep::ThreadSafe,
             (ValueArgument, matrix1, "the first matrix"), (ValueArgument, matrix2, "the second matrix"),
             (ValueArgument, matrix3, "optional: the third"), (ValueArgument, matrix4, "optional: the fourth"),
             (ValueArgument, matrix5, "optional: the fifth"), (ValueArgument, matrix6, "optional: the sixth")) {
    return evaluate(product, {matrix1, matrix2, matrix3, matrix4, matrix5, matrix6});
}

ZEP_FUNCTION(xlmtx_LU, "MTX.LU", "LU with partial pivoting, P A = L U: L (unit lower), U or P", category,
             zep::ThreadSafe, TOOLBOX_MATRIX, TOOLBOX_SELECTOR("1 or \"L\" (default), 2 or \"U\", 3 or \"P\"")) {
    return evaluate(lu, {matrix, part});
}

ZEP_FUNCTION(xlmtx_QR, "MTX.QR", "QR, A = Q R with R's diagonal non-negative: Q or R, thin or full", category,
             zep::ThreadSafe, TOOLBOX_MATRIX, TOOLBOX_SELECTOR("1 or \"Q\" (default), 2 or \"R\""),
             (ValueArgument, full, "optional: TRUE for the full m x m Q and m x n R; default thin")) {
    return evaluate(qr, {matrix, part, full});
}

ZEP_FUNCTION(xlmtx_Chol, "MTX.CHOL", "Cholesky: lower L with A = L L' for a symmetric positive definite A", category,
             zep::ThreadSafe, TOOLBOX_MATRIX) {
    return evaluate(cholesky, {matrix});
}

ZEP_FUNCTION(xlmtx_SVD, "MTX.SVD", "Thin SVD, A = U diag(S) V': U, S (a descending column) or V", category,
             zep::ThreadSafe, TOOLBOX_MATRIX, TOOLBOX_SELECTOR("1 or \"U\" (default), 2 or \"S\", 3 or \"V\"")) {
    return evaluate(svd, {matrix, part});
}

ZEP_FUNCTION(xlmtx_EigSym, "MTX.EIGSYM", "Eigenvalues (ascending column) or eigenvectors of a symmetric matrix",
             category, zep::ThreadSafe, TOOLBOX_MATRIX,
             TOOLBOX_SELECTOR("1 or \"values\" (default), 2 or \"vectors\"")) {
    return evaluate(symmetricEigen, {matrix, part});
}

ZEP_FUNCTION(xlmtx_Eig, "MTX.EIG",
             "Eigenvalues or unit eigenvectors of any square matrix, as complex texts (\"3+4i\") or real and "
             "imaginary column pairs",
             category, zep::ThreadSafe, TOOLBOX_MATRIX, TOOLBOX_SELECTOR("1 or \"values\" (default), 2 or \"vectors\""),
             (ValueArgument, pairs, "optional: TRUE for real and imaginary columns; default complex texts")) {
    return evaluate(generalEigen, {matrix, part, pairs});
}

ZEP_FUNCTION(xlmtx_PInv, "MTX.PINV", "The pseudo-inverse of any matrix", category, zep::ThreadSafe, TOOLBOX_MATRIX,
             TOOLBOX_TOLERANCE) {
    return evaluate(pseudoInverse, {matrix, tolerance});
}

ZEP_FUNCTION(xlmtx_LstSq, "MTX.LSTSQ",
             "The minimum-norm least-squares X of A X = B, for rank-deficient and rectangular A", category,
             zep::ThreadSafe, TOOLBOX_MATRIX, (ValueArgument, rhs, "the right-hand sides B, one per column"),
             TOOLBOX_TOLERANCE) {
    return evaluate(leastSquares, {matrix, rhs, tolerance});
}

ZEP_FUNCTION(xlmtx_Rank, "MTX.RANK", "The rank: how many singular values exceed the tolerance", category,
             zep::ThreadSafe, TOOLBOX_MATRIX, TOOLBOX_TOLERANCE) {
    return evaluate(rank, {matrix, tolerance});
}

ZEP_FUNCTION(xlmtx_Null, "MTX.NULL", "An orthonormal basis of the null space, one vector per column", category,
             zep::ThreadSafe, TOOLBOX_MATRIX, TOOLBOX_TOLERANCE) {
    return evaluate(nullSpace, {matrix, tolerance});
}

ZEP_FUNCTION(xlmtx_Cond, "MTX.COND", "The condition number in the 2-norm; #NUM! for a singular matrix", category,
             zep::ThreadSafe, TOOLBOX_MATRIX) {
    return evaluate(conditionNumber, {matrix});
}

ZEP_FUNCTION(xlmtx_Norm, "MTX.NORM", "A matrix norm: 1, 2, infinity or Frobenius", category, zep::ThreadSafe,
             TOOLBOX_MATRIX, (ValueArgument, kind, "optional: 1, 2, \"inf\" or \"fro\" (default)")) {
    return evaluate(norm, {matrix, kind});
}

ZEP_FUNCTION(xlmtx_Trace, "MTX.TRACE", "The sum of the diagonal of a square matrix", category, zep::ThreadSafe,
             TOOLBOX_MATRIX) {
    return evaluate(trace, {matrix});
}

ZEP_FUNCTION(xlmtx_Power, "MTX.POWER", "A square matrix to an integer power; a negative one inverts", category,
             zep::ThreadSafe, TOOLBOX_MATRIX, (ValueArgument, exponent, "an integer")) {
    return evaluate(power, {matrix, exponent});
}

ZEP_FUNCTION(xlmtx_Expm, "MTX.EXPM", "The matrix exponential of a square matrix", category, zep::ThreadSafe,
             TOOLBOX_MATRIX) {
    return evaluate(exponential, {matrix});
}

ZEP_FUNCTION(xlmtx_Kron, "MTX.KRON", "The Kronecker product of two matrices", category, zep::ThreadSafe,
             (ValueArgument, matrix1, "the left matrix"), (ValueArgument, matrix2, "the right matrix")) {
    return evaluate(kronecker, {matrix1, matrix2});
}

ZEP_FUNCTION(xlmtx_Why, "MTX.WHY",
             "Why a toolbox function gives an error on these arguments: its reason, or \"no error\"", category,
             zep::ThreadSafe, (ValueArgument, function, "the function's name, as \"MTX.INV\""),
             (ValueArgument, argument1, "its first argument"), (ValueArgument, argument2, "optional"),
             (ValueArgument, argument3, "optional"), (ValueArgument, argument4, "optional"),
             (ValueArgument, argument5, "optional"), (ValueArgument, argument6, "optional")) {
    int err = (function.Type() & xltypeMulti) != 0 ? 1 : 0;
    const char* name = err == 0 ? function.ReadCString(&err) : "";
    const std::string wanted = err == 0 ? upper(name) : std::string();
    for (const Explained& candidate : explained) {
        if (wanted != candidate.name && "MTX." + wanted != candidate.name) continue;
        try {
            candidate.body({argument1, argument2, argument3, argument4, argument5, argument6});
            return "no error";
        } catch (const ToolboxError& failure) {
            return std::string(candidate.name) +
                   (failure.kind() == ToolboxError::badInput ? " #VALUE!: " : " #NUM!: ") + failure.what();
        }
    }
    return "MTX.WHY: no toolbox function is named \"" + std::string(err == 0 ? name : "") + "\"";
}
