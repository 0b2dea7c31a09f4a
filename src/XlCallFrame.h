#ifndef SRC_XLCALLFRAME_H
#define SRC_XLCALLFRAME_H

// The procedure every exported worksheet function follows, written once: reclaim the previous
// call's temporary memory, answer the function wizard with TRUE, convert the arguments in order,
// run the function's body, turn its result into the record handed back to Excel, and turn
// whatever is thrown into a cell value. Nothing is ever thrown back into Excel.

#include "CellMatrix.h"
#include "NumericMatrix.h"
#include "PendingRegistrations.h"
#include "WideText.h"
#include "XlfExcel.h"
#include "XlfOper.h"

#include <cstdint>
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
// the argument). Excel coerces a "B" argument to a number and an "A" one to a boolean before the
// call; a value record ("XLF_OPER") arrives as the cell, range or constant the formula gave.
// The Optional... kinds take the default written after the help text as a third Read argument.
struct NoDefault {};

struct NumberKind {
    using Raw = double;
    using Default = NoDefault;
    static constexpr const char* typeTag = "B";
};

struct RecordKind {
    using Raw = void*;
    using Default = NoDefault;
    static constexpr const char* typeTag = "XLF_OPER";
};

struct NumberArgument : NumberKind {
    using Value = double;
    static double Read(double number, const char*) { return number; }
    static double ReadRecord(void* record, const char* name);
};

struct IntegerArgument : NumberKind {
    using Value = int;
    static int Read(double number, const char*) { return WorksheetInteger(number); }
    static int ReadRecord(void* record, const char* name);
};

// TRUE or FALSE; Excel turns a number into FALSE for 0 and TRUE for any other.
struct BooleanArgument {
    using Raw = std::int16_t;
    using Default = NoDefault;
    using Value = bool;
    static constexpr const char* typeTag = "A";
    static bool Read(std::int16_t value, const char*) { return value != 0; }
    static bool ReadRecord(void* record, const char* name);
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

// A text, or a number or boolean as Excel writes it. From Excel 12 on it arrives as UTF-8,
// whatever it holds; under Excel 4 records it is the bytes Excel passed, in its code page.
struct TextArgument : RecordKind {
    using Value = std::string;
    static std::string Read(void* record, const char* name);
    static std::string ReadRecord(void* record, const char* name) { return Read(record, name); }
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

// A cell or range as a reference ("XLF_XLOPER": R, or U from Excel 12 on), not its values, or a
// constant as given: ReferenceAddress() names it, XlfOper's Read... conversions read its values.
struct ReferenceArgument : RecordKind {
    using Value = XlfOper;
    static constexpr const char* typeTag = "XLF_XLOPER";
    static XlfOper Read(void* record, const char*) { return XlfOper(record); }
};

// True for a missing argument and for a blank cell.
bool IsLeftOut(void* record);

// An argument the formula may leave out: left out, or a blank cell, gives the default written
// after the help text (0, FALSE or an empty text when none is written); anything else is read
// as Kind reads a value record.
template <class Kind>
struct OptionalArgument : RecordKind {
    using Value = typename Kind::Value;
    using Default = Value;
    static Value Read(void* record, const char* name, const Default& fallback) {
        return IsLeftOut(record) ? fallback : Kind::ReadRecord(record, name);
    }
};
using OptionalNumber = OptionalArgument<NumberArgument>;
using OptionalInteger = OptionalArgument<IntegerArgument>;
using OptionalBoolean = OptionalArgument<BooleanArgument>;
using OptionalText = OptionalArgument<TextArgument>;

// Where the formula being calculated stands, as "Sheet1!H5"; empty when Excel was not called
// from a cell (a command, the function wizard).
std::string CallerAddress();
// A reference as "Sheet1!A1:B2" ("Sheet1!A1" for one cell); empty for a value that is no
// reference.
std::string ReferenceAddress(const XlfOper& reference);

// A text for Excel, as a text result is written: from Excel 12 on the UTF-8 decoded, in Excel 4
// records the bytes as they are, counted without a closing zero, the first 255 of them (a longer
// text is cut with a diagnostic line).
XlfOper TextValue(const std::string& text);

// What a worksheet function's body returns. The record Excel gets is built as soon as the body
// returns, inside the call frame, in the call's temporary memory: a number, a boolean, a text
// (UTF-8 from Excel 12 on; under Excel 4 records the bytes go as they are, 255 of them, and the
// rest is cut off with a diagnostic line), an array of numbers (a vector as one column; an empty
// matrix or vector leaves the cell empty) or of cells of every kind, blank ones included, or any
// value built with XlfOper, such as XlfOper::Error(xlerrNA).
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
    // Blank cells stay blank, and texts are written as a text result is.
    WorksheetResult(const CellMatrix& cells);
    WorksheetResult(const XlfOper& value);

    void* Record() const { return record_; }

private:
    void* record_;
};

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
            if (excel.InFunctionWizard()) return XlfOper(true).Pointer();
            return body();
        } catch (...) {
            return FailureRecord();
        }
    } catch (...) {
        return nullptr;
    }
}

// One argument as the entry point received it, converted only when the call frame asks.
template <class Kind>
struct PendingArgument {
    typename Kind::Raw raw;
    const char* name;
    typename Kind::Default fallback;
    typename Kind::Value Read() const {
        if constexpr (std::is_same_v<typename Kind::Default, NoDefault>)
            return Kind::Read(raw, name);
        else
            return Kind::Read(raw, name, fallback);
    }
};

// One worksheet call of a function body: each argument's Read() gives the body's parameter; the
// braced list runs the conversions left to right, so the first bad argument is the one reported.
template <std::uint32_t flagBits, class... Parameters, class... Kinds>
void* CallWorksheetFunction(WorksheetResult (*body)(Parameters...),
                            const PendingArgument<Kinds>&... arguments) noexcept {
    static_assert(sizeof...(Parameters) == sizeof...(Kinds), "one argument per parameter");
    // The one place where a thread-safe function would take a call path of its own.
    constexpr bool threadSafe = (flagBits & ThreadSafe.bits) != 0;
    static_assert(!threadSafe,
                  "zep::ThreadSafe is not available yet: the framework's temporary memory and Excel calls are "
                  "not safe from several threads at once");
    return RunWorksheetCall([&] {
        std::tuple<typename Kinds::Value...> converted{arguments.Read()...};
        return std::apply(body, std::move(converted)).Record();
    });
}

// One run of a command's body, with the previous call's temporary memory reclaimed: 1 when it
// returns, 0 after an alert with the text of what it threw.
int RunCommand(void (*body)()) noexcept;

}  // namespace zep

#endif
