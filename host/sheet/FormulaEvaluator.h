#ifndef HOST_SHEET_FORMULAEVALUATOR_H
#define HOST_SHEET_FORMULAEVALUATOR_H

// A parsed formula's value, over what the place it is evaluated in provides: the cells of the
// sheet, names, and the add-in's functions. Built-in functions (BuiltinFunctions.h) come first;
// any other function is the add-in's, or #NAME?.

#include "Formula.h"
#include "SheetFile.h"
#include "Value.h"

#include <optional>
#include <string>
#include <vector>

namespace xlhost {

class FormulaContext {
public:
    virtual ~FormulaContext() = default;

    // The reference as cells of the active sheet (Value::sheetReference), or the error it gives
    // where it names cells the place has not.
    virtual Value reference(const FormulaNode& reference) = 0;
    // The area's values: a cell's (nil when blank), or an array of them.
    virtual Value cells(const Area& area) = 0;
    // A name's value (#NAME? when it names nothing).
    virtual Value name(const FormulaNode& name) = 0;
    // The add-in's function called with the arguments (a plain reference as its range, anything
    // else as a value); nothing when the add-in has no function of that name.
    virtual std::optional<Value> call(const std::string& function, const std::vector<FormulaArgument>& arguments) = 0;
};

// The formula's value; a reference it gives is read as its cells' values.
Value evaluateFormula(const FormulaNode& formula, FormulaContext& context);

// The value as a formula's cells show it: a blank, or a blank element of an array, as 0.
Value blanksAsZero(const Value& value);

}  // namespace xlhost

#endif
