#ifndef HOST_FORMULATEXT_H
#define HOST_FORMULATEXT_H

// The formula texts xlfEvaluate reads: the formula language of the sheet files (see Formula.h), as
// from a macro sheet. A reference reaches the active sheet's cells only with a '!' ("!B2",
// "Sheet1!A1:B3", "[Book1]Sheet1!B2"); without one it means the current macro sheet, which an
// add-in has none of: #REF!. Names are those the add-in defined (a registered function's name
// gives its register id; "!Name" is a worksheet name, of which xllhost has none). A leading '=' is
// optional.

#include "ExcelStandIn.h"
#include "Formula.h"
#include "SheetFile.h"
#include "Value.h"

#include <optional>
#include <string>

namespace xlhost {

// The formula's value as xlfEvaluate gives it (a reference gives its cells' values), or nothing
// for a text that is no formula.
// A reference as cells of the active sheet, or #REF! where it names another sheet or book; one
// without '!' names the active sheet's cells when `bareIsActiveSheet` (a worksheet formula's), else
// the macro sheet's (xlfEvaluate's).
Value activeSheetReference(const FormulaNode& reference, const SheetModel& sheets, bool bareIsActiveSheet);

std::optional<Value> evaluateFormulaText(const std::u16string& formula, const ExcelStandIn& host,
                                         const SheetLimits& limits, const ExcelStandIn::FunctionCaller& callFunction);

}  // namespace xlhost

#endif
