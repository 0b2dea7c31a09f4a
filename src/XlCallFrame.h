#ifndef SRC_XLCALLFRAME_H
#define SRC_XLCALLFRAME_H

// The procedure every exported worksheet function follows, written once: reclaim the previous
// call's temporary memory, answer the function wizard with TRUE, convert the arguments in order,
// run the function's body, turn its result into the record handed back to Excel, and turn
// whatever is thrown into a cell value. Nothing is ever thrown back into Excel.

#include "CellMatrix.h"
#include "NumericMatrix.h"
#include "WideText.h"
#include "XlfExcel.h"
#include "XlfOper.h"

#include <string>
#include <tuple>
#include <type_traits>
#include <utility>

namespace zep {

// A worksheet number as the int a function takes: truncated toward zero. NaN and numbers outside
// the signed 32-bit range become 0, which a function taking a row, a column or a choice can
// reject (never INT_MIN, whose one-based index wraps when 1 is taken from it).
int WorksheetInteger(double number);

// The kinds of argument a worksheet function takes. Each says what Excel passes (Raw, the
// parameter of the exported entry point), how it is registered (typeTag, see ArgumentSpec) and
// what the function's body receives (Value, made by Read; a failed read throws a text that names
// the argument). Excel coerces a "B" argument to a number before the call; a value record
// ("XLF_OPER") arrives as the cell, range or constant the formula gave.
struct NumberKind {
    using Raw = double;
    static constexpr const char* typeTag = "B";
};

struct RecordKind {
    using Raw = void*;
    static constexpr const char* typeTag = "XLF_OPER";
};

struct NumberArgument : NumberKind {
    using Value = double;
    static double Read(double number, const char*) { return number; }
};

struct IntegerArgument : NumberKind {
    using Value = int;
    static int Read(double number, const char*) { return WorksheetInteger(number); }
};

// Every cell a number; an omitted argument gives a 0 x 0 matrix, an empty or text cell fails.
struct MatrixArgument : RecordKind {
    using Value = NumericMatrix;
    static NumericMatrix Read(void* record, const char* name);
};

// One row or one column of numbers, in order.
struct VectorArgument : RecordKind {
    using Value = NumericVector;
    static NumericVector Read(void* record, const char* name);
};

// A text, or a number or boolean as Excel writes it, in the runtime's narrow encoding.
struct TextArgument : RecordKind {
    using Value = std::string;
    static std::string Read(void* record, const char* name);
};

// Any cells: numbers, texts, booleans, errors and empty cells.
struct CellsArgument : RecordKind {
    using Value = CellMatrix;
    static CellMatrix Read(void* record, const char* name);
};

// The value as Excel passed it, unconverted: read it with XlfOper's Read... conversions.
struct ValueArgument : RecordKind {
    using Value = XlfOper;
    static XlfOper Read(void* record, const char*) { return XlfOper(record); }
};

// What a worksheet function's body returns. The record Excel gets is built as soon as the body
// returns, inside the call frame, in the call's temporary memory: a number, a boolean, a text (a
// narrow one in the runtime's encoding; an Excel 4 record holds 255 bytes of it, and the rest is
// cut off with a diagnostic line), an array of numbers (a vector as one column; an
// empty matrix or vector leaves the cell empty) or of cells, or any value built with XlfOper, such
// as XlfOper::Error(xlerrNA).
class WorksheetResult {
public:
    template <class Number, std::enable_if_t<std::is_arithmetic_v<Number> && !std::is_same_v<Number, bool>, int> = 0>
    WorksheetResult(Number number) : WorksheetResult(XlfOper(static_cast<double>(number))) {}
    WorksheetResult(bool value);
    WorksheetResult(const char* text);
    WorksheetResult(const std::string& text);
    WorksheetResult(const WideString& text);
    WorksheetResult(const NumericMatrix& numbers);
    WorksheetResult(const NumericVector& numbers);
    WorksheetResult(const CellMatrix& cells);
    WorksheetResult(const XlfOper& value);

    void* Record() const { return record_; }

private:
    void* record_;
};

// The cell value for the exception in flight; to be called from a catch block only.
void* FailureRecord();

// The wizard short cut, then the body; whatever they throw becomes the cell's value.
template <class Body>
void* RunBodyInFrame(XlfExcel& excel, Body& body) {
    try {
        if (excel.InFunctionWizard()) return XlfOper(true).Pointer();
        return body();
    } catch (...) {
        return FailureRecord();
    }
}

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
        return RunBodyInFrame(excel, body);
    } catch (...) {
        return nullptr;
    }
}

// The same steps for a function registered thread-safe, which Excel may call on several threads
// at once: no lock, and the call's temporary memory, the record handed back included, is the
// calling thread's own (XlfExcel::ThreadSafeCall). The connection exists already: xlAutoOpen made
// it on Excel's main thread, registering the function, before any thread could call it.
template <class Body>
void* RunThreadSafeWorksheetCall(Body body) noexcept {
    try {
        XlfExcel& excel = XlfExcel::Current();
        const XlfExcel::ThreadSafeCall call(excel);
        return RunBodyInFrame(excel, body);
    } catch (...) {
        return nullptr;
    }
}

// One argument as the entry point received it, converted only when the call frame asks.
template <class Kind>
struct PendingArgument {
    typename Kind::Raw raw;
    const char* name;
    typename Kind::Value Read() const { return Kind::Read(raw, name); }
};

// Each argument's Read() gives the body's parameter; the braced list runs the conversions left to
// right, so the first bad argument is the one reported.
template <class... Parameters, class... Kinds>
void* ConvertAndRun(WorksheetResult (*body)(Parameters...), const PendingArgument<Kinds>&... arguments) {
    static_assert(sizeof...(Parameters) == sizeof...(Kinds), "one argument per parameter");
    std::tuple<typename Kinds::Value...> converted{arguments.Read()...};
    return std::apply(body, std::move(converted)).Record();
}

// One worksheet call of a function body, in the frame of a function registered thread-safe or not.
template <class... Parameters, class... Kinds>
void* CallWorksheetFunction(WorksheetResult (*body)(Parameters...),
                            const PendingArgument<Kinds>&... arguments) noexcept {
    return RunWorksheetCall([&] { return ConvertAndRun(body, arguments...); });
}

template <class... Parameters, class... Kinds>
void* CallThreadSafeWorksheetFunction(WorksheetResult (*body)(Parameters...),
                                      const PendingArgument<Kinds>&... arguments) noexcept {
    return RunThreadSafeWorksheetCall([&] { return ConvertAndRun(body, arguments...); });
}

}  // namespace zep

#endif
