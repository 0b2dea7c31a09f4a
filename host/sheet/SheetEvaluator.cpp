#include "SheetEvaluator.h"

#include "CalculationThreads.h"
#include "Formula.h"
#include "XlCall.h"

#include <algorithm>
#include <atomic>
#include <map>
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

// Whether `range` reaches the cells a result anchored at `anchor` could spill into.
bool reachesSpillOf(const Area& range, const Area& anchor) {
    return range.lastRow >= anchor.firstRow && range.lastColumn >= anchor.firstColumn;
}

// The formulas from `first` on that can be calculated together: thread-safe, with inputs no
// earlier one of them writes. Value lines between them are placed already; a command ends it. A
// batch is bounded, as each formula's ranges are checked against every earlier one's cell.
std::vector<std::size_t> readyBatch(const SheetFile& sheet, std::size_t first, const ThreadedCalculation& threaded) {
    constexpr std::size_t largestBatch = 1024;
    std::vector<std::size_t> batch;
    for (std::size_t index = first; index < sheet.entries.size() && batch.size() < largestBatch; ++index) {
        const SheetEntry& entry = sheet.entries[index];
        if (entry.isCommand) break;
        if (!entry.isFormula) continue;
        if (!threaded.threadSafe(entry)) break;
        for (const Area& area : formulaAreas(*entry.formula))
            for (const std::size_t earlier : batch)
                if (reachesSpillOf(area, sheet.entries[earlier].target)) return batch;
        batch.push_back(index);
    }
    return batch;
}

// Calculates the batch on the threads, each taking the next formula as it is free.
std::vector<std::function<Value()>> calculateBatch(const SheetFile& sheet, const std::vector<std::size_t>& batch,
                                                   const ThreadedCalculation& threaded) {
    std::vector<std::function<Value()>> finished(batch.size());
    std::atomic<std::size_t> next{0};
    const unsigned threads = unsigned(std::min<std::size_t>(threaded.threads, batch.size()));
    runOnThreads(threads, [&](unsigned thread) {
        for (std::size_t i = next++; i < batch.size(); i = next++)
            finished[i] = threaded.calculate(sheet.entries[batch[i]], thread);
    });
    return finished;
}

}  // namespace

EvaluatedSheet evaluateSheet(const SheetFile& sheet, SheetModel& sheets, const SheetLimits& limits,
                             const FormulaFunction& evaluate, const CommandFunction& run,
                             const ThreadedCalculation* threaded) {
    EvaluatedSheet evaluated;
    const SheetId active = sheets.activeSheet();
    for (const SheetEntry& entry : sheet.entries) {
        if (entry.isCommand) continue;
        widen(evaluated.usedArea, entry.target);
        if (!entry.isFormula) sheets.setCells(active, entry.target.firstRow, entry.target.firstColumn, entry.values);
    }
    const FormulaCells formulaCells(sheet.entries);
    // Formulas calculated ahead on the threads, by entry index, each given when its turn comes.
    std::map<std::size_t, std::function<Value()>> calculated;
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
        if (threaded != nullptr && threaded->threads > 1 && calculated.empty()) {
            const std::vector<std::size_t> batch = readyBatch(sheet, index, *threaded);
            if (batch.size() > 1) {
                std::vector<std::function<Value()>> finished = calculateBatch(sheet, batch, *threaded);
                for (std::size_t i = 0; i < batch.size(); ++i) calculated.emplace(batch[i], std::move(finished[i]));
            }
        }
        const auto ahead = calculated.find(index);
        Value value = Value::nil();
        if (ahead != calculated.end()) {
            value = ahead->second();
            calculated.erase(ahead);
        } else {
            value = evaluate(entry);
        }
        FormulaResult result{&entry, entry.target, std::move(value), false};
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
