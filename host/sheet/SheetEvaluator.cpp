#include "SheetEvaluator.h"

#include "XlCall.h"

#include <algorithm>
#include <utility>

namespace xlhost {

namespace {

// Whether the spill area, its top-left the formula's own cell, holds no other formula's cell and
// nothing filled.
bool hasRoom(const Area& area, std::size_t formula, const SheetModel& sheets, const FormulaCells& formulaCells) {
    if (formulaCells.anyIn(area, [formula](std::size_t other) { return other != formula; })) return false;
    const SheetId sheet = sheets.activeSheet();
    const bool anchorFilled = sheets.cell(sheet, area.firstRow, area.firstColumn).kind() != Kind::Nil;
    return sheets.filledCount(sheet, area) == (anchorFilled ? 1u : 0u);
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
    for (const SheetEntry& entry : sheet.entries) {
        if (entry.isCommand) continue;
        widen(evaluated.usedArea, entry.target);
        if (!entry.isFormula) sheets.setCells(active, entry.target.firstRow, entry.target.firstColumn, entry.values);
    }
    const FormulaCells formulaCells(sheet.entries);
    for (std::size_t index = 0; index < sheet.entries.size(); ++index) {
        const SheetEntry& entry = sheet.entries[index];
        if (entry.isCommand) {
            CommandRun done = run(entry);
            for (const Area& area : done.cellsSet) widen(evaluated.usedArea, area);
            evaluated.formulas.push_back(
                FormulaResult{&entry, entry.target, Value::nil(), false, std::move(done.effects)});
            continue;
        }
        if (!entry.isFormula) continue;
        FormulaResult result{&entry, entry.target, evaluate(entry), false};
        const std::int32_t row = entry.target.firstRow;
        const std::int32_t column = entry.target.firstColumn;
        if (result.value.kind() == Kind::Array) {
            result.area.lastRow =
                std::int32_t(std::min<std::int64_t>(std::int64_t(row) + result.value.rows() - 1, limits.rows - 1));
            result.area.lastColumn = std::int32_t(
                std::min<std::int64_t>(std::int64_t(column) + result.value.columns() - 1, limits.columns - 1));
            const bool fits =
                result.area.rows() == result.value.rows() && result.area.columns() == result.value.columns();
            result.spillBlocked = !fits || !hasRoom(result.area, index, sheets, formulaCells);
        }
        if (result.spillBlocked) {
            result.area = entry.target;
            // The C interface has no code for #SPILL!; a formula reading the cell gets #VALUE!.
            sheets.setCell(active, row, column, Value::error(xlerrValue));
        } else if (result.value.kind() == Kind::Array) {
            sheets.setCells(active, row, column, result.value);
        } else {
            sheets.setCell(active, row, column, result.value);
        }
        widen(evaluated.usedArea, result.area);
        evaluated.formulas.push_back(std::move(result));
    }
    return evaluated;
}

}  // namespace xlhost
