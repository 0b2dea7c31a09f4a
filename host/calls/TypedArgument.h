#ifndef HOST_TYPEDARGUMENT_H
#define HOST_TYPEDARGUMENT_H

// Worksheet arguments as Excel passes them for each data type code of a registration, and the
// results it reads back for each code: numbers, integers and booleans by value or by pointer,
// byte and wide texts counted or NUL-terminated, arrays of doubles (FP, FP12, and the three
// arguments of O), and value records (P, Q, R, U).

#include "ArgumentRecord.h"
#include "NativeCall.h"
#include "SheetFile.h"
#include "SheetModel.h"
#include "TypeText.h"
#include "Value.h"

#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace xlhost {

// Why Excel does not call the function with this argument: the cell shows `shown` (an error argument,
// an integer out of its type's range), or xllhost cannot pass it and `limitation` says why.
struct NotPassed {
    Value shown = Value::error(xlerrValue);
    std::string limitation;
};

class TypedArgument {
public:
    // Excel's reading of one formula argument (`position` counts from 1) for the code: the argument as
    // it travels, or why the function is not called.
    static std::unique_ptr<TypedArgument> make(const TypeCode& code, int position, const FormulaArgument& argument,
                                               const SheetModel& sheets, NotPassed& notPassed);
    ~TypedArgument();
    TypedArgument(const TypedArgument&) = delete;
    TypedArgument& operator=(const TypedArgument&) = delete;

    // What the function receives: one native value, or three for O (rows, columns, elements).
    void appendTo(std::vector<NativeArgument>& natives);
    // What the argument holds now, read as the code's value: the result of a function that returns
    // its result in place. Empty, with `fault` set, when the function left something Excel cannot read.
    std::optional<Value> current(std::string& fault) const;
    // False when the function wrote into a value record, which is Excel's and read-only.
    bool intact() const;
    // The value passed, for the call trace.
    const Value& passed() const { return passed_; }

private:
    TypedArgument(const TypeCode& code, Value passed);

    TypeCode code_;
    Value passed_;
    NativeValue scalar_{};                 // by value, or what E, L, M, N point to
    std::vector<unsigned char> bytes_;     // a text's units, or an FP block
    std::vector<double> elements_;         // O's elements
    std::int32_t rows_ = 0, columns_ = 0;  // O's counts (16 bits of each under O)
    std::uint16_t rows16_ = 0, columns16_ = 0;
    std::unique_ptr<Argument4> record4_;
    std::unique_ptr<Argument12> record12_;
};

// The native type a code's result comes back as (Void for a result returned in place).
NativeType resultType(const TypeText& typeText);

// The result a function of a non-record code returned, as Excel reads it: a null pointer shows
// #NUM!; empty, with `fault` set, when it is something Excel cannot read.
std::optional<Value> readResult(const TypeCode& code, NativeValue returned, std::string& fault);

// True for P, Q, R and U, which are value records in and out.
bool isRecordCode(const TypeCode& code);

}  // namespace xlhost

#endif
