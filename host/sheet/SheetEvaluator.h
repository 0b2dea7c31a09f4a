#ifndef HOST_SHEETEVALUATOR_H
#define HOST_SHEETEVALUATOR_H

// A sheet file played on the stand-in Excel's active sheet: every value block is placed first, as
// typed-in cells exist all at once; then the lines run in their turn. The formulas between two
// run, set or recalc lines (or the sheet's ends) are entered together and calculated in the order
// their inputs dictate (see Recalculation.h), whatever the order of their lines; a formula reading
// the cell of a formula entered later reads it blank until then, and is calculated again when it
// is entered. A command line runs in its turn; what reads the cells it set is recalculated. A set
// line changes cells and a recalc line recalculates, as Excel's F9 does: each then calculates what
// reads the changed cells, every volatile formula, and what depends on those.

#include "Recalculation.h"
#include "SheetFile.h"
#include "SheetModel.h"
#include "Value.h"

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace xlhost {

// In the order of the lines: each formula with its result when first calculated; a run line with
// what the command did; a set or recalc line, then every formula it calculated, in line order,
// with its new result.
struct EvaluatedSheet {
    std::vector<FormulaResult> formulas;
    std::optional<Area> usedArea;  // from A1 to the last row and column holding anything
};

// What running a command did: lines for the output, and the areas of the active sheet it set.
struct CommandRun {
    std::vector<std::string> effects;
    std::vector<Area> cellsSet;
};
using CommandFunction = std::function<CommandRun(const SheetEntry& command)>;

// Told of each calculation: the run, set or recalc line it followed, or none for the formulas
// entered since the last such line.
using CalculationObserver = std::function<void(const SheetEntry* after, const Calculation& calculation)>;

struct SheetHooks {
    CommandFunction run;                            // needed only when the sheet has command lines
    VolatileFunction isVolatile;                    // none: no formula is volatile
    CalculationObserver observer;                   // optional
    const ThreadedCalculation* threaded = nullptr;  // none: every formula on the calling thread
    const AsyncCalculation* async = nullptr;        // none: no formula's result comes later
};

EvaluatedSheet evaluateSheet(const SheetFile& sheet, SheetModel& sheets, const SheetLimits& limits,
                             const FormulaFunction& evaluate, const SheetHooks& hooks = {});

}  // namespace xlhost

#endif
