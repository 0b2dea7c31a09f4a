#ifndef HOST_SHEETEVALUATOR_H
#define HOST_SHEETEVALUATOR_H

// A sheet file played on the stand-in Excel's active sheet: every value block is placed first, as
// typed-in cells exist all at once; then the formulas run top to bottom, each seeing the values
// and the results above it. An array result spills from its formula's cell as in today's Excel,
// unless a cell it would cover is filled (a value, any formula's cell, or an earlier spill) or lies
// beyond the sheet: then the formula's cell shows #SPILL! and nothing spills.

#include "SheetFile.h"
#include "SheetModel.h"
#include "Value.h"

#include <functional>
#include <optional>
#include <vector>

namespace xlhost {

struct FormulaResult {
    const SheetEntry* entry;
    Area area;          // the cells the result fills: the formula's own, or the whole spill area
    Value value;        // what the function gave: a number, text, boolean, error or array
    bool spillBlocked;  // the array had no room; the cell shows #SPILL!
};

struct EvaluatedSheet {
    std::vector<FormulaResult> formulas;
    std::optional<Area> usedArea;  // from A1 to the last row and column holding anything
};

// What a formula's cell gets: a number, text, boolean, error or an array of those.
using FormulaFunction = std::function<Value(const SheetEntry& formula)>;

EvaluatedSheet evaluateSheet(const SheetFile& sheet, SheetModel& sheets, const SheetLimits& limits,
                             const FormulaFunction& evaluate);

}  // namespace xlhost

#endif
