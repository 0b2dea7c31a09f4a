#include "SheetEvaluator.h"

#include "XlCall.h"

#include <algorithm>
#include <set>
#include <utility>

namespace xlhost {

namespace {

using Cell = std::pair<std::int32_t, std::int32_t>;

bool hasRoom(const Area& area, const Cell& anchor, const SheetModel& sheets, const std::set<Cell>& formulaCells) {
    for (std::int32_t r = area.firstRow; r <= area.lastRow; ++r)
        for (std::int32_t c = area.firstColumn; c <= area.lastColumn; ++c) {
            const Cell cell{r, c};
            if (cell == anchor) continue;
            if (formulaCells.count(cell) != 0 || sheets.cell(sheets.activeSheet(), r, c).kind() != Kind::Nil)
                return false;
        }
    return true;
}

void widen(std::optional<Area>& used, const Area& area) {
    if (!used) used = Area{0, area.lastRow, 0, area.lastColumn};
    used->lastRow = std::max(used->lastRow, area.lastRow);
    used->lastColumn = std::max(used->lastColumn, area.lastColumn);
}

}  // namespace

EvaluatedSheet evaluateSheet(const SheetFile& sheet, SheetModel& sheets, const SheetLimits& limits,
                             const FormulaFunction& evaluate, const CommandFunction& run) {
    EvaluatedSheet evaluated;
    const SheetId active = sheets.activeSheet();
    std::set<Cell> formulaCells;
    for (const SheetEntry& entry : sheet.entries) {
        if (entry.isCommand) continue;
        widen(evaluated.usedArea, entry.target);
        if (entry.isFormula)
            formulaCells.insert({entry.target.firstRow, entry.target.firstColumn});
        else
            sheets.setCells(active, entry.target.firstRow, entry.target.firstColumn, entry.values);
    }
    for (const SheetEntry& entry : sheet.entries) {
        if (entry.isCommand) {
            CommandRun done = run(entry);
            for (const Area& area : done.cellsSet) widen(evaluated.usedArea, area);
            evaluated.formulas.push_back(FormulaResult{&entry, entry.target, Value::nil(), false, std::move(done.effects)});
            continue;
        }
        if (!entry.isFormula) continue;
        FormulaResult result{&entry, entry.target, evaluate(entry), false};
        const Cell anchor{entry.target.firstRow, entry.target.firstColumn};
        if (result.value.kind() == Kind::Array) {
            result.area.lastRow = std::int32_t(std::min<std::int64_t>(
                std::int64_t(anchor.first) + result.value.rows() - 1, limits.rows - 1));
            result.area.lastColumn = std::int32_t(std::min<std::int64_t>(
                std::int64_t(anchor.second) + result.value.columns() - 1, limits.columns - 1));
            const bool fits = result.area.rows() == result.value.rows() && result.area.columns() == result.value.columns();
            result.spillBlocked = !fits || !hasRoom(result.area, anchor, sheets, formulaCells);
        }
        if (result.spillBlocked) {
            result.area = entry.target;
            // The C interface has no code for #SPILL!; a formula reading the cell gets #VALUE!.
            sheets.setCell(active, anchor.first, anchor.second, Value::error(xlerrValue));
        } else if (result.value.kind() == Kind::Array) {
            sheets.setCells(active, anchor.first, anchor.second, result.value);
        } else {
            sheets.setCell(active, anchor.first, anchor.second, result.value);
        }
        widen(evaluated.usedArea, result.area);
        evaluated.formulas.push_back(std::move(result));
    }
    return evaluated;
}

}  // namespace xlhost
