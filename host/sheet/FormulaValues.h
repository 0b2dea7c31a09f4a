#ifndef HOST_SHEET_FORMULAVALUES_H
#define HOST_SHEET_FORMULAVALUES_H

// How formulas treat values: the conversions Excel's operators and functions make, and arrays of
// different shapes brought to one, element by element.

#include "Value.h"

#include <cstddef>
#include <functional>
#include <vector>

namespace xlhost {

// The most elements an array a formula computes, or a range it reads as values, may have; a
// larger one gives #NUM! (it would take gigabytes). A reference itself has no such bound.
constexpr std::size_t largestComputedArray = std::size_t(1) << 22;

// A number for arithmetic: numbers, booleans (1, 0), blanks (0) and texts that read as numbers;
// an error passes through; anything else is #VALUE!. The result is a number or an error.
Value arithmeticOperand(const Value& value);
// A condition: numbers (non-zero), booleans, blanks (FALSE), "TRUE"/"FALSE"; else #VALUE!.
Value conditionOperand(const Value& value);
// A finite number, or #NUM! (Excel has no infinities or NaNs).
Value numberResult(double number);

// Calls compute with one element of each operand (a single value for a non-array) for each
// position of the result: an array with the most rows and the most columns of the operands. An
// operand of one row or column is stretched across; other positions beyond an operand's size get
// #N/A. No operand an array: one call, its value.
Value elementwise(const std::vector<Value>& operands, const std::function<Value(const std::vector<Value>&)>& compute);

// The operators on single values: "+", "-", "*", "/", "^", "&", "=", "<>", "<", "<=", ">", ">=".
Value applyOperator(const std::string& op, const Value& left, const Value& right);

}  // namespace xlhost

#endif
