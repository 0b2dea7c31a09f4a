#include "SheetEvaluator.h"

#include <algorithm>
#include <utility>

namespace xlhost {

namespace {

void widen(std::optional<Area>& used, const Area& area) {
    if (!used) used = Area{0, area.lastRow, 0, area.lastColumn};
    used->lastRow = std::max(used->lastRow, area.lastRow);
    used->lastColumn = std::max(used->lastColumn, area.lastColumn);
}

}  // namespace

EvaluatedSheet evaluateSheet(const SheetFile& sheet, SheetModel& sheets, const SheetLimits& limits,
                             const FormulaFunction& evaluate, const SheetHooks& hooks) {
    EvaluatedSheet evaluated;
    const SheetId active = sheets.activeSheet();
    for (const SheetEntry& entry : sheet.entries) {
        if (entry.isCommand || entry.isRecalculation || entry.isChange) continue;
        widen(evaluated.usedArea, entry.target);
        if (!entry.isFormula) sheets.setCells(active, entry.target.firstRow, entry.target.firstColumn, entry.values);
    }
    Recalculation recalculation(sheet, sheets, limits, evaluate, hooks.isVolatile, hooks.threaded, hooks.async);
    const auto observe = [&hooks](const SheetEntry* after, const Calculation& calculation) {
        if (hooks.observer) hooks.observer(after, calculation);
    };
    const auto show = [&](std::size_t formula) {
        const FormulaResult& result = *recalculation.result(formula);
        widen(evaluated.usedArea, result.area);
        evaluated.formulas.push_back(result);
    };
    std::vector<std::size_t> entered;
    const auto enter = [&]() {
        if (entered.empty()) return;
        observe(nullptr, recalculation.enter(entered));
        for (std::size_t formula : entered) show(formula);
        entered.clear();
    };
    for (std::size_t index = 0; index < sheet.entries.size(); ++index) {
        const SheetEntry& entry = sheet.entries[index];
        if (entry.isFormula) {
            entered.push_back(index);
            continue;
        }
        if (!entry.isCommand && !entry.isChange && !entry.isRecalculation) continue;
        enter();
        if (entry.isCommand) {
            CommandRun done = hooks.run(entry);
            for (const Area& area : done.cellsSet) {
                widen(evaluated.usedArea, area);
                recalculation.changed(area);
            }
            observe(&entry, recalculation.recalculate(false));
            evaluated.formulas.push_back(
                FormulaResult{&entry, entry.target, Value::nil(), false, std::move(done.effects)});
            continue;
        }
        if (entry.isChange) {
            sheets.setCells(active, entry.target.firstRow, entry.target.firstColumn, entry.values);
            widen(evaluated.usedArea, entry.target);
            recalculation.changed(entry.target);
        }
        const Calculation calculation = recalculation.recalculate(true);
        observe(&entry, calculation);
        std::vector<std::size_t> calculated = calculation.calculated;
        std::sort(calculated.begin(), calculated.end());
        calculated.erase(std::unique(calculated.begin(), calculated.end()), calculated.end());
        std::vector<std::string> effects;
        if (calculated.empty()) effects.push_back("(no formula to recalculate)");
        evaluated.formulas.push_back(FormulaResult{&entry, entry.target, Value::nil(), false, std::move(effects)});
        for (std::size_t formula : calculated) show(formula);
    }
    enter();
    return evaluated;
}

}  // namespace xlhost
