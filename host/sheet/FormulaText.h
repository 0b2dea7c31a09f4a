#ifndef HOST_FORMULATEXT_H
#define HOST_FORMULATEXT_H

// The formula texts xlfEvaluate reads, as far as xllhost understands them: a number, a "text",
// TRUE/FALSE, an error, a reference to the active sheet's cells ("!B2", "Sheet1!A1:B3",
// "[Book1]Sheet1!B2"; a reference with no '!' means the current macro sheet, which an add-in has
// none of: #REF!), a name the add-in defined (a registered function's name gives its register id;
// "!Name" is a worksheet name, of which xllhost has none), or a call of a registered function,
// whose arguments are any of these. A leading '=' is optional.

#include "ExcelStandIn.h"
#include "SheetFile.h"
#include "Value.h"

#include <optional>
#include <string>

namespace xlhost {

// The formula's value as xlfEvaluate gives it (a reference gives its cells' values), or nothing
// for a text xllhost does not understand (operators, built-in functions, array constants).
std::optional<Value> evaluateFormulaText(const std::u16string& formula, const ExcelStandIn& host,
                                         const SheetLimits& limits, const ExcelStandIn::FunctionCaller& callFunction);

}  // namespace xlhost

#endif
