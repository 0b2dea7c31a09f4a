#ifndef HOST_SHEETEVALUATOR_H
#define HOST_SHEETEVALUATOR_H

// A sheet file played on the stand-in Excel's active sheet: every value block is placed first, as
// typed-in cells exist all at once; then the formulas run top to bottom, each seeing the values
// and the results above it. An array result spills from its formula's cell as in today's Excel,
// unless a cell it would cover is filled (a value, any formula's cell, or an earlier spill) or lies
// beyond the sheet: then the formula's cell shows #SPILL! and nothing spills. A command line runs
// in its turn: the lines below see the cells it set (the formulas above are not run again).

#include "SheetFile.h"
#include "SheetModel.h"
#include "Value.h"

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace xlhost {

struct FormulaResult {
    const SheetEntry* entry;
    Area area;                              // the cells the result fills: the formula's own, or the whole spill area
    Value value;                            // what the function gave: a number, text, boolean, error or array
    bool spillBlocked;                      // the array had no room; the cell shows #SPILL!
    std::vector<std::string> effects = {};  // for a command line: what it did, in order
};

struct EvaluatedSheet {
    std::vector<FormulaResult> formulas;
    std::optional<Area> usedArea;  // from A1 to the last row and column holding anything
};

// What a formula's cell gets: a number, text, boolean, error or an array of those.
using FormulaFunction = std::function<Value(const SheetEntry& formula)>;

// What running a command did: lines for the output, and the areas of the active sheet it set.
struct CommandRun {
    std::vector<std::string> effects;
    std::vector<Area> cellsSet;
};
using CommandFunction = std::function<CommandRun(const SheetEntry& command)>;

// `run` is needed only when the sheet has command lines.
EvaluatedSheet evaluateSheet(const SheetFile& sheet, SheetModel& sheets, const SheetLimits& limits,
                             const FormulaFunction& evaluate, const CommandFunction& run = nullptr);

}  // namespace xlhost

#endif
