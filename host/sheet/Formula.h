#ifndef HOST_SHEET_FORMULA_H
#define HOST_SHEET_FORMULA_H

// Formula texts as a tree: constants ("texts", numbers, TRUE/FALSE, errors, array constants such as
// {1,2;3,4}), references (A1, $A$1:B2, Sheet1!A1, 'My sheet'!A1, [Book1]Sheet1!A1, !A1), names,
// function calls with nested and omitted arguments, and the operators, loosest first:
//   = <> < <= > >=    comparison
//   &                 joining texts
//   + -               addition, subtraction
//   * /               multiplication, division
//   ^                 power (left to right: 2^3^2 is 64)
//   %                 percent (after its operand)
//   - +               sign (before its operand: -2^2 is 4)
// as Excel ranks them. A leading '=' is optional.

#include "SheetFile.h"
#include "Value.h"

#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace xlhost {

struct FormulaNode {
    enum class Type { Constant, Reference, Name, Prefix, Percent, Infix, Call };
    Type type = Type::Constant;
    // Constant: a number, text, boolean, error or array; missing for an omitted argument.
    Value constant = Value::missing();
    // Infix and Prefix: the operator ("+", "<=", ...); Call: the function; Name: the name.
    std::string text;
    // Reference: its cells.
    Area area;
    // Reference and Name: whether a '!' qualified it, and the sheet and book it named ("" for none:
    // "!A1" names the active sheet).
    bool qualified = false;
    std::string sheet;
    std::string book;
    // Call: the arguments; Prefix and Percent: one operand; Infix: two.
    std::vector<FormulaNode> operands;
};

// A formula text that is no formula; what() says what is wrong and where.
class FormulaSyntaxError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Throws FormulaSyntaxError. Built-in functions are checked for their argument counts here, as
// Excel refuses such a formula when it is typed.
FormulaNode parseFormula(std::string_view text, const SheetLimits& limits);

// Every area the formula's references name, in the order written (a sheet-qualified one too).
std::vector<Area> formulaAreas(const FormulaNode& formula);
// Whether it calls a built-in function that recalculates every time (RAND).
bool callsVolatileBuiltin(const FormulaNode& formula);

}  // namespace xlhost

#endif
