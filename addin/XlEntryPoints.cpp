#include "XlEntryPoints.h"

#include "DecompositionFunctions.h"
#include "RowColumnFunctions.h"
#include "SortFunctions.h"
#include "SquareMatrixFunctions.h"
#include "XlCallFrame.h"
#include "XlfExcel.h"

#include <cstddef>

using zep::CallMatrixFunction;
using zep::IntegerArgument;
using zep::MatrixArgument;
using zep::VectorArgument;
using zep::XlfExcel;

namespace {

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
    if (action == nullptr)
        return false;
    const auto type = action->xltype & ~(xlbitXLFree | xlbitDLLFree);
    if (type == xltypeNum)
        return action->val.num == 1.0;
    if (type == xltypeInt)
        return action->val.w == 1;
    Record wanted{};
    wanted.xltype = xltypeInt;
    wanted.val.w = xltypeNum;
    Record number{};
    Record* coerceArguments[] = {action, &wanted};
    if (RecordLayout<Record>::Coerce(excel, &number, coerceArguments) != xlretSuccess)
        return false;
    const bool one = (number.xltype & xltypeNum) != 0 && number.val.num == 1.0;
    // Excel's memory in an answer of another kind than asked for goes back to Excel.
    Record* freeArguments[] = {&number};
    if ((number.xltype & zep::xlbitHostOwned) != 0)
        RecordLayout<Record>::Free(excel, freeArguments);
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
        for (std::size_t i = 0; i < length; ++i)
            text[i + 1] = static_cast<Unit>(addInName[i]);
        answer->xltype = xltypeStr;
        answer->val.str = text;
        return answer;
    } catch (...) {
        return nullptr;
    }
}

}  // namespace

extern "C" {

void* XLCALL_STDCALL xlmtrx_Invert(void* mtrx) {
    return CallMatrixFunction(mtrx_Invert, MatrixArgument{mtrx, "mtrx"});
}

void* XLCALL_STDCALL xlmtrx_Transpose(void* mtrx) {
    return CallMatrixFunction(mtrx_Transpose, MatrixArgument{mtrx, "mtrx"});
}

void* XLCALL_STDCALL xlmtrx_Determinant(void* mtrx) {
    return CallMatrixFunction(mtrx_Determinant, MatrixArgument{mtrx, "mtrx"});
}

void* XLCALL_STDCALL xlmtrx_Row(void* mtrx, double n) {
    return CallMatrixFunction(mtrx_Row, MatrixArgument{mtrx, "mtrx"}, IntegerArgument{n});
}

void* XLCALL_STDCALL xlmtrx_Column(void* mtrx, double n) {
    return CallMatrixFunction(mtrx_Column, MatrixArgument{mtrx, "mtrx"}, IntegerArgument{n});
}

void* XLCALL_STDCALL xlmtrx_LinEqSolve(void* coeffMtrx, void* rhsVector) {
    return CallMatrixFunction(mtrx_LinEqSolve, MatrixArgument{coeffMtrx, "coeffMtrx"},
                              MatrixArgument{rhsVector, "rhsVector"});
}

void* XLCALL_STDCALL xlmtrx_Cholesky(void* mtrx) {
    return CallMatrixFunction(mtrx_Cholesky, MatrixArgument{mtrx, "mtrx"});
}

void* XLCALL_STDCALL xlmtrx_QRDecomposition_R(void* mtrx) {
    return CallMatrixFunction(mtrx_QRDecomposition_R, MatrixArgument{mtrx, "mtrx"});
}

void* XLCALL_STDCALL xlmtrx_SVDDecomposition(void* mtrx, double param) {
    return CallMatrixFunction(mtrx_SVDDecomposition, MatrixArgument{mtrx, "mtrx"}, IntegerArgument{param});
}

void* XLCALL_STDCALL xlmtrx_quickSort(void* mtrx, double param) {
    return CallMatrixFunction(mtrx_quickSort, VectorArgument{mtrx, "mtrx"}, IntegerArgument{param});
}

void* XLCALL_STDCALL xlmtrx_EVDecomposition(void* mtrx, double param) {
    return CallMatrixFunction(mtrx_EVDecomposition, MatrixArgument{mtrx, "mtrx"}, IntegerArgument{param});
}

XLOPER* XLCALL_STDCALL xlAddInManagerInfo(XLOPER* action) { return AddInManagerAnswer(action); }

XLOPER12* XLCALL_STDCALL xlAddInManagerInfo12(XLOPER12* action) { return AddInManagerAnswer(action); }

}
