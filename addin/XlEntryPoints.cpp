// The eleven worksheet functions as Excel calls them and as its function wizard presents them,
// each written once: exported entry point, registration and body. They are registered in the
// order they stand here. The help texts are shown as stored, blanks and spellings included.
#include "XlEntryPoints.h"

#include "DecompositionFunctions.h"
#include "RowColumnFunctions.h"
#include "SortFunctions.h"
#include "SquareMatrixFunctions.h"

#include <zep/WorksheetFunction.h>
#include <zep/XlfExcel.h>

#include <cstddef>
#include <utility>

namespace {

using zep::IntegerArgument;
using zep::MatrixArgument;
using zep::VectorArgument;
using zep::XlfExcel;

const char category[] = "MatrixFunctions";
const char addInName[] = MATRIXFUNCTIONS_ADDIN_NAME;

template <class Record>
struct RecordLayout;
template <>
struct RecordLayout<XLOPER> {
    using Unit = char;
    static int Coerce(XlfExcel& excel, XLOPER* result, XLOPER* argv[]) {
        return excel.CallExcel4v(xlCoerce, result, 2, argv);
    }
    static int Free(XlfExcel& excel, XLOPER* argv[]) { return excel.CallExcel4v(xlFree, nullptr, 1, argv); }
};
template <>
struct RecordLayout<XLOPER12> {
    using Unit = XCHAR;
    static int Coerce(XlfExcel& excel, XLOPER12* result, XLOPER12* argv[]) {
        return excel.CallExcel12v(xlCoerce, result, 2, argv);
    }
    static int Free(XlfExcel& excel, XLOPER12* argv[]) { return excel.CallExcel12v(xlFree, nullptr, 1, argv); }
};

// Excel passes the action as a number; anything else counts only if Excel coerces it to 1.
template <class Record>
bool AsksForName(XlfExcel& excel, Record* action) {
    if (action == nullptr) return false;
    const auto type = action->xltype & ~(xlbitXLFree | xlbitDLLFree);
    if (type == xltypeNum) return action->val.num == 1.0;
    if (type == xltypeInt) return action->val.w == 1;
    Record wanted{};
    wanted.xltype = xltypeInt;
    wanted.val.w = xltypeNum;
    Record number{};
    Record* coerceArguments[] = {action, &wanted};
    if (RecordLayout<Record>::Coerce(excel, &number, coerceArguments) != xlretSuccess) return false;
    const bool one = (number.xltype & xltypeNum) != 0 && number.val.num == 1.0;
    // Excel's memory in an answer of another kind than asked for goes back to Excel.
    Record* freeArguments[] = {&number};
    if ((number.xltype & zep::xlbitHostOwned) != 0) RecordLayout<Record>::Free(excel, freeArguments);
    return one;
}

// The answer in the layout of the entry point Excel called, carved from the temporary memory
// after the previous call's is reclaimed, as for a worksheet result.
template <class Record>
Record* AddInManagerAnswer(Record* action) noexcept {
    using Unit = typename RecordLayout<Record>::Unit;
    try {
        XlfExcel& excel = XlfExcel::Current();
        const XlfExcel::TempLockHold lock(excel);
        excel.ReleaseTemp(false);
        auto* answer = static_cast<Record*>(excel.TempAlloc(sizeof(Record)));
        if (!AsksForName(excel, action)) {
            answer->xltype = xltypeErr;
            answer->val.err = xlerrValue;
            return answer;
        }
        constexpr std::size_t length = sizeof addInName - 1;
        static_assert(length < 256, "a counted Excel 4 text holds at most 255 characters");
        auto* text = static_cast<Unit*>(excel.TempAlloc((length + 1) * sizeof(Unit)));
        text[0] = static_cast<Unit>(length);
        for (std::size_t i = 0; i < length; ++i) text[i + 1] = static_cast<Unit>(addInName[i]);
        answer->xltype = xltypeStr;
        answer->val.str = text;
        return answer;
    } catch (...) {
        return nullptr;
    }
}

}  // namespace

ZEP_WORKSHEET_FUNCTION(xlmtrx_Invert, "mtrx_Invert", " Performs the Matrix inversion ", category,
                       (MatrixArgument, mtrx, " Matrix to be inverted ")) {
    return mtrx_Invert(std::move(mtrx));
}

ZEP_WORKSHEET_FUNCTION(xlmtrx_Transpose, "mtrx_Transpose", " Performs the Matrix transpose ", category,
                       (MatrixArgument, mtrx, " input Matrix ")) {
    return mtrx_Transpose(std::move(mtrx));
}

ZEP_WORKSHEET_FUNCTION(xlmtrx_Determinant, "mtrx_Determinant", " Calculates the determinant of the input Matrix ",
                       category, (MatrixArgument, mtrx, " input Matrix ")) {
    return mtrx_Determinant(std::move(mtrx));
}

ZEP_WORKSHEET_FUNCTION(xlmtrx_Row, "mtrx_Row", " Returns the nth row of the input Matrix ", category,
                       (MatrixArgument, mtrx, " input Matrix "), (IntegerArgument, n, " row number ")) {
    return mtrx_Row(std::move(mtrx), n);
}

ZEP_WORKSHEET_FUNCTION(xlmtrx_Column, "mtrx_Column", " Returns the nth column of the input Matrix ", category,
                       (MatrixArgument, mtrx, " input Matrix "), (IntegerArgument, n, " column number ")) {
    return mtrx_Column(std::move(mtrx), n);
}

ZEP_WORKSHEET_FUNCTION(xlmtrx_LinEqSolve, "mtrx_LinEqSolve",
                       " Performs the Matrix solve AX = Y. A = Input coefficient matrix. Y = RHS Vector. ", category,
                       (MatrixArgument, coeffMtrx, " Input coefficient matrix "),
                       (MatrixArgument, rhsVector, " RHS vector ")) {
    return mtrx_LinEqSolve(std::move(coeffMtrx), std::move(rhsVector));
}

ZEP_WORKSHEET_FUNCTION(xlmtrx_Cholesky, "mtrx_Cholesky", " Performs the Cholesky Decomposition of the matrix. ",
                       category, (MatrixArgument, mtrx, " Input matrix ")) {
    return mtrx_Cholesky(std::move(mtrx));
}

ZEP_WORKSHEET_FUNCTION(xlmtrx_QRDecomposition_R, "mtrx_QRDecomposition_R",
                       " Performs the QR Decomposition of the matrix. A = QR. Returns the R matrix. ", category,
                       (MatrixArgument, mtrx, " Input matrix ")) {
    return mtrx_QRDecomposition_R(std::move(mtrx));
}

ZEP_WORKSHEET_FUNCTION(xlmtrx_SVDDecomposition, "mtrx_SVDDecomposition",
                       " Performs the SVD Decomposition of the m X n (where m >= n) matrix A. Input param = 1 will "
                       "return m X m unary matrix, param = 2 will return m X n diagnal matrix and param = 3 will "
                       "return n X n conjugate matrix of a unary matrix. ",
                       category, (MatrixArgument, mtrx, " Input matrix "), (IntegerArgument, param, " 1,2 or 3 ")) {
    return mtrx_SVDDecomposition(std::move(mtrx), param);
}

ZEP_WORKSHEET_FUNCTION(xlmtrx_quickSort, "mtrx_quickSort",
                       " Performs quick sort on the input array. Input param = 1 will sort the array in the ascending "
                       "order.Param = 2 will sort in descending order. ",
                       category, (VectorArgument, mtrx, " Input array "), (IntegerArgument, param, " 1 or 2 ")) {
    return mtrx_quickSort(std::move(mtrx), param);
}

ZEP_WORKSHEET_FUNCTION(xlmtrx_EVDecomposition, "mtrx_EVDecomposition",
                       " Performs the Eigen Value Decomposition of the symmetric m X m matrix A. mtrx = V * D * V'. "
                       "Input param = 1 will return matrix V and param = 2 will return diagnal matrix D. ",
                       category, (MatrixArgument, mtrx, " Input matrix "), (IntegerArgument, param, " 1 or 2 ")) {
    return mtrx_EVDecomposition(std::move(mtrx), param);
}

extern "C" ZEP_EXPORT XLOPER* XLCALL_STDCALL xlAddInManagerInfo(XLOPER* action) {
    return AddInManagerAnswer(action);
}

extern "C" ZEP_EXPORT XLOPER12* XLCALL_STDCALL xlAddInManagerInfo12(XLOPER12* action) {
    return AddInManagerAnswer(action);
}
