#ifndef ADDIN_XLCALLFRAME_H
#define ADDIN_XLCALLFRAME_H

// The procedure every exported worksheet function follows, written once: reclaim the previous
// call's temporary memory, answer the function wizard with TRUE, convert the arguments in order,
// call the matrix function, turn its result into the record handed back to Excel, and turn
// whatever is thrown into a cell value. Nothing is ever thrown back into Excel.

#include "NumericMatrix.h"
#include "XlfExcel.h"
#include "XlfOper.h"

#include <tuple>
#include <utility>

namespace zep {

// A worksheet number as the int a matrix function takes: truncated toward zero. NaN and numbers
// outside the signed 32-bit range become 0, which every function taking a row, a column or a
// param rejects (never INT_MIN, whose one-based index wraps inside Newmat).
int WorksheetInteger(double number);

// Lazy argument conversions, run inside the protected region in the order they are given.
struct MatrixArgument {
    void* record;
    const char* name;
    NumericMatrix Read() const;
};

struct VectorArgument {
    void* record;
    const char* name;
    NumericVector Read() const;
};

struct IntegerArgument {
    double number;
    int Read() const { return WorksheetInteger(number); }
};

// The record handed back for a matrix or vector result; an empty one leaves the fresh xltypeNil.
template <class Values>
void* ResultRecord(const Values& result) {
    XlfOper record;
    record.Set(result);
    return record.Pointer();
}

inline void* ResultRecord(double result) { return XlfOper(result).Pointer(); }

// The cell value for the exception in flight; to be called from a catch block only.
void* FailureRecord();

// Steps around the body: ReleaseTemp(false) for every call (the wizard's included) before the
// handler table applies, then the wizard short cut, then the body. A failure that the handler
// table itself cannot report (the connection cannot be set up, the lock cannot be taken, memory
// runs out while building the failure value) gives the null pointer rather than an exception
// inside Excel. The temporary-memory lock is held for the whole call, failure value included,
// so that the call's many allocations cost one kernel round trip rather than one each.
template <class Body>
void* RunWorksheetCall(Body body) noexcept {
    try {
        XlfExcel& excel = XlfExcel::Current();
        const XlfExcel::TempLockHold lock(excel);
        excel.ReleaseTemp(false);
        try {
            if (excel.InFunctionWizard())
                return XlfOper(true).Pointer();
            return body();
        } catch (...) {
            return FailureRecord();
        }
    } catch (...) {
        return nullptr;
    }
}

// One worksheet call of a matrix function: each argument's Read() gives the function's
// parameter; the braced list runs the conversions left to right, so the first bad argument is
// the one reported.
template <class Result, class... Parameters, class... Arguments>
void* CallMatrixFunction(Result (*function)(Parameters...), const Arguments&... arguments) noexcept {
    static_assert(sizeof...(Parameters) == sizeof...(Arguments), "one argument per parameter");
    return RunWorksheetCall([&] {
        std::tuple<Parameters...> converted{arguments.Read()...};
        return ResultRecord(std::apply(function, std::move(converted)));
    });
}

}  // namespace zep

#endif
