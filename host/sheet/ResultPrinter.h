#ifndef HOST_RESULTPRINTER_H
#define HOST_RESULTPRINTER_H

// What xllhost prints: each formula's result as a block of cells, the whole sheet as CSV, and the
// registered functions the way Excel's Insert Function dialog presents them.

#include "FunctionRegistry.h"
#include "SheetEvaluator.h"
#include "SheetModel.h"
#include "Value.h"

#include <iosfwd>
#include <string>

namespace xlhost {

// A cell as Excel shows it: numbers in the general format (15 significant digits) or, with
// `fullPrecision`, the shortest form that reads back as the same double; texts as they are, but
// control characters as \xNN.
std::string cellText(const Value& value, bool fullPrecision);

// Each formula as written, where its result went, and the result as an aligned block.
void printFormulaResults(std::ostream& out, const EvaluatedSheet& sheet, bool fullPrecision);

// The used part of the sheet from A1, values and results, one CSV row per sheet row, numbers at
// full precision and texts quoted: a file xllhost reads back with '@'.
void printCsv(std::ostream& out, const EvaluatedSheet& sheet, const SheetModel& sheets);

// By category: each function's signature with its argument names, its help text, each argument's
// description; then the commands; then the registrations Excel refused, with the reason.
void printRegistrations(std::ostream& out, const FunctionRegistry& registry);

}  // namespace xlhost

#endif
