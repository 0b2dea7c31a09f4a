#ifndef HOST_SHEET_BUILTINFUNCTIONS_H
#define HOST_SHEET_BUILTINFUNCTIONS_H

// Excel's own worksheet functions that xllhost computes, as Microsoft documents them: errors pass
// through, blank cells are 0 in arithmetic and skipped by SUM, MAX and MIN over ranges, functions
// of one number apply to each element of an array.

#include "Value.h"

#include <cstddef>
#include <functional>
#include <optional>
#include <string_view>
#include <vector>

namespace xlhost {

// A call's arguments, each computed when first asked for (IF and IFERROR leave the branch they do
// not take alone). A reference stays a reference (Value::sheetReference) until cells() reads it.
class BuiltinArguments {
public:
    using Evaluate = std::function<Value(std::size_t index)>;
    using ReadCells = std::function<Value(const Value& reference)>;
    BuiltinArguments(std::size_t count, Evaluate evaluate, ReadCells readCells);

    std::size_t size() const { return values_.size(); }
    // Whether the argument is absent or left empty ("f(1,)").
    bool omitted(std::size_t index);
    const Value& operator[](std::size_t index);
    // The argument with a reference read: a cell's value (nil when blank) or an array of them.
    Value cells(std::size_t index);
    Value cellsOf(const Value& value) const;

private:
    std::vector<std::optional<Value>> values_;
    Evaluate evaluate_;
    ReadCells readCells_;
};

struct BuiltinFunction {
    const char* name;
    std::size_t minArguments;
    std::size_t maxArguments;
    bool recalculatesAlways;
    Value (*compute)(BuiltinArguments& arguments);
};

// By name, in any case; null for a function xllhost does not compute.
const BuiltinFunction* findBuiltin(std::string_view name);
const std::vector<BuiltinFunction>& builtinFunctions();

}  // namespace xlhost

#endif
