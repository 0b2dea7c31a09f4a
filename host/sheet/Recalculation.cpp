#include "Recalculation.h"

#include "CalculationThreads.h"

#include "XlCall.h"

#include <algorithm>
#include <atomic>
#include <functional>
#include <iterator>
#include <queue>
#include <utility>

namespace xlhost {

namespace {

constexpr int bandShift = 8;  // 256 rows to a band of an area index

std::uint64_t cellKey(std::int32_t row, std::int32_t column) {
    return (std::uint64_t(std::uint32_t(row)) << 32) | std::uint32_t(column);
}

bool meets(const Area& a, const Area& b) {
    return a.firstRow <= b.lastRow && b.firstRow <= a.lastRow && a.firstColumn <= b.lastColumn &&
           b.firstColumn <= a.lastColumn;
}

bool holds(const Area& area, std::int32_t row, std::int32_t column) {
    return area.firstRow <= row && row <= area.lastRow && area.firstColumn <= column && column <= area.lastColumn;
}

bool isOneCell(const Area& area) {
    return area.firstRow == area.lastRow && area.firstColumn == area.lastColumn;
}

// The cells of a spill area but its formula's own (top-left) cell, as at most two areas.
std::vector<Area> beyondAnchor(const Area& spill) {
    std::vector<Area> parts;
    if (spill.lastColumn > spill.firstColumn)
        parts.push_back(Area{spill.firstRow, spill.firstRow, spill.firstColumn + 1, spill.lastColumn});
    if (spill.lastRow > spill.firstRow)
        parts.push_back(Area{spill.firstRow + 1, spill.lastRow, spill.firstColumn, spill.lastColumn});
    return parts;
}

void eraseOne(std::vector<std::size_t>& nodes, std::size_t node) {
    const auto found = std::find(nodes.begin(), nodes.end(), node);
    if (found != nodes.end()) nodes.erase(found);
}

}  // namespace

// ---- the area index

void Recalculation::AreaIndex::add(const Area& area, std::size_t node) {
    for (std::int32_t band = area.firstRow >> bandShift; band <= area.lastRow >> bandShift; ++band)
        bands_[band].push_back(Entry{area, node});
}

void Recalculation::AreaIndex::remove(const Area& area, std::size_t node) {
    for (std::int32_t band = area.firstRow >> bandShift; band <= area.lastRow >> bandShift; ++band) {
        std::vector<Entry>& entries = bands_[band];
        const auto found = std::find_if(entries.begin(), entries.end(),
                                        [&](const Entry& entry) { return entry.node == node && entry.area == area; });
        if (found != entries.end()) entries.erase(found);
    }
}

template <class Visit>
void Recalculation::AreaIndex::meeting(const Area& area, Visit visit) const {
    const std::int32_t firstBand = area.firstRow >> bandShift;
    for (std::int32_t band = firstBand; band <= area.lastRow >> bandShift; ++band) {
        const auto found = bands_.find(band);
        if (found == bands_.end()) continue;
        for (const Entry& entry : found->second)
            // An area in several bands is reported from the first band both share only.
            if (meets(entry.area, area) && band == std::max(firstBand, entry.area.firstRow >> bandShift))
                visit(entry.node);
    }
}

// ---- the graph

Recalculation::Recalculation(const SheetFile& sheet, SheetModel& sheets, const SheetLimits& limits,
                             FormulaFunction evaluate, VolatileFunction isVolatile, const ThreadedCalculation* threaded,
                             const AsyncCalculation* async)
    : sheet_(sheet),
      sheets_(sheets),
      limits_(limits),
      evaluate_(std::move(evaluate)),
      isVolatile_(std::move(isVolatile)),
      threaded_(threaded != nullptr && threaded->threads != nullptr && threaded->threads->size() > 1 ? threaded
                                                                                                     : nullptr),
      async_(async),
      formulaCells_(sheet.entries),
      formulaCount_(sheet.entries.size()),
      nodes_(sheet.entries.size()),
      results_(sheet.entries.size()) {}

void Recalculation::addEdge(std::size_t from, std::size_t to) {
    nodes_[from].dependents.push_back(to);
    nodes_[to].precedents.push_back(from);
}

void Recalculation::removeEdge(std::size_t from, std::size_t to) {
    eraseOne(nodes_[from].dependents, to);
    eraseOne(nodes_[to].precedents, from);
}

std::size_t Recalculation::blockNode(const Area& area) {
    const std::array<std::int32_t, 4> key{area.firstRow, area.lastRow, area.firstColumn, area.lastColumn};
    const auto found = blockNodes_.find(key);
    if (found != blockNodes_.end()) return found->second;
    const std::size_t block = nodes_.size();
    nodes_.emplace_back();
    nodes_[block].block = area;
    nodes_[block].entered = true;
    blockNodes_.emplace(key, block);
    blocks_.add(area, block);
    formulaCells_.anyIn(area, [&](std::size_t formula) {
        if (nodes_[formula].entered) addEdge(formula, block);
        return false;
    });
    spills_.meeting(area, [&](std::size_t owner) {
        addEdge(owner, block);
        nodes_[owner].spillDependents.push_back(block);
    });
    return block;
}

template <class Visit>
void Recalculation::readersOf(const Area& area, Visit visit) const {
    if (std::uint64_t(area.rows()) * std::uint64_t(area.columns()) <= cellReaders_.size()) {
        for (std::int32_t row = area.firstRow; row <= area.lastRow; ++row)
            for (std::int32_t column = area.firstColumn; column <= area.lastColumn; ++column) {
                const auto found = cellReaders_.find(cellKey(row, column));
                if (found != cellReaders_.end())
                    for (std::size_t reader : found->second) visit(reader);
            }
    } else {
        for (const auto& [key, readers] : cellReaders_)
            if (holds(area, std::int32_t(key >> 32), std::int32_t(key & 0xFFFFFFFFu)))
                for (std::size_t reader : readers) visit(reader);
    }
    blocks_.meeting(area, visit);
}

void Recalculation::mark(std::size_t node) {
    if (nodes_[node].marked) return;  // and so is all that depends on it
    markPending_.assign(1, node);
    while (!markPending_.empty()) {
        const std::size_t next = markPending_.back();
        markPending_.pop_back();
        if (nodes_[next].marked) continue;
        nodes_[next].marked = true;
        markedNodes_.push_back(next);
        markPending_.insert(markPending_.end(), nodes_[next].dependents.begin(), nodes_[next].dependents.end());
    }
}

Calculation Recalculation::enter(const std::vector<std::size_t>& formulas) {
    for (std::size_t formula : formulas) {
        nodes_[formula].entered = true;
        nodes_[formula].isVolatile = isVolatile_ && isVolatile_(sheet_.entries[formula]);
    }
    // Formulas entered before that read a new formula's cell: they read it blank until now. (The
    // readers and blocks known yet are the old ones.)
    std::vector<std::size_t> toCalculate = formulas;
    for (std::size_t formula : formulas) {
        const Area& cell = sheet_.entries[formula].target;
        const auto readers = cellReaders_.find(cellKey(cell.firstRow, cell.firstColumn));
        if (readers != cellReaders_.end())
            for (std::size_t reader : readers->second) {
                addEdge(formula, reader);
                toCalculate.push_back(reader);
            }
        blocks_.meeting(cell, [&](std::size_t block) { addEdge(formula, block); });
    }
    // What each new formula reads, from formulas old and new.
    for (std::size_t formula : formulas) {
        for (const Area& area : formulaReferences(sheet_.entries[formula])) {
            if (!isOneCell(area)) {
                addEdge(blockNode(area), formula);
                continue;
            }
            cellReaders_[cellKey(area.firstRow, area.firstColumn)].push_back(formula);
            formulaCells_.anyIn(area, [&](std::size_t writer) {
                if (nodes_[writer].entered) addEdge(writer, formula);
                return false;
            });
            spills_.meeting(area, [&](std::size_t owner) {
                addEdge(owner, formula);
                nodes_[owner].spillDependents.push_back(formula);
            });
        }
    }
    for (std::size_t formula : toCalculate) mark(formula);
    return calculate();
}

void Recalculation::changed(const Area& area) {
    // A spill the change overwrites: its formula shows #SPILL! now (or spills afresh), and its
    // other cells are no longer its result.
    std::vector<std::size_t> owners;
    spills_.meeting(area, [&owners](std::size_t owner) { owners.push_back(owner); });
    for (std::size_t owner : owners) {
        mark(owner);
        clearSpill(owner, &area);
        std::vector<std::size_t> marked;  // its readers are marked with it
        setSpill(owner, std::nullopt, marked);
    }
    readersOf(area, [this](std::size_t reader) { mark(reader); });
}

Calculation Recalculation::recalculate(bool volatileToo) {
    if (volatileToo)
        for (std::size_t formula = 0; formula < formulaCount_; ++formula)
            if (nodes_[formula].entered && nodes_[formula].isVolatile) mark(formula);
    return calculate();
}

// ---- calculating

Calculation Recalculation::calculate() {
    Calculation calculation;
    std::vector<std::uint32_t> waiting;  // per node of the pass: its inputs not yet calculated
    std::vector<std::size_t> stale;
    // A pass calculates the marked nodes; a formula found stale by a spill is marked for the next.
    while (!markedNodes_.empty()) {
        const std::vector<std::size_t> pass = std::move(markedNodes_);
        markedNodes_.clear();
        waiting.assign(nodes_.size(), 0);
        std::priority_queue<std::size_t, std::vector<std::size_t>, std::greater<>> readyFormulas;
        std::vector<std::size_t> readyBlocks;
        const auto release = [&](std::size_t node) {
            if (isFormula(node))
                readyFormulas.push(node);
            else
                readyBlocks.push_back(node);
        };
        for (std::size_t node : pass) {
            for (std::size_t precedent : nodes_[node].precedents)
                if (nodes_[precedent].marked) ++waiting[node];
            if (waiting[node] == 0) release(node);
        }
        std::size_t left = pass.size();
        std::size_t outstanding = 0;  // asynchronous formulas whose results are still to come
        while (left > 0) {
            const auto done = [&](std::size_t node, const std::optional<Area>& spill) {
                nodes_[node].marked = false;
                --left;
                for (std::size_t dependent : nodes_[node].dependents)
                    if (nodes_[dependent].marked && --waiting[dependent] == 0) release(dependent);
                // The edges of a changed spill change only now: the waiting counts were made with the old.
                if (isFormula(node)) setSpill(node, spill, stale);
            };
            if (readyFormulas.empty() && readyBlocks.empty() && outstanding > 0) {
                for (auto& [entry, value] : async_->arrived()) {
                    const std::size_t node = std::size_t(entry - sheet_.entries.data());
                    --outstanding;
                    done(node, placeResult(node, std::move(value)));
                }
                continue;
            }
            if (readyFormulas.empty() && readyBlocks.empty()) {
                // Every node left waits on a circular reference: its nodes are done, showing #REF!.
                const std::vector<std::vector<std::size_t>> cycles = cyclesAmong(pass);
                for (const std::vector<std::size_t>& cycle : cycles)
                    for (std::size_t node : cycle) {
                        nodes_[node].marked = false;
                        --left;
                    }
                for (const std::vector<std::size_t>& cycle : cycles) {
                    std::vector<std::size_t> formulas;
                    std::copy_if(cycle.begin(), cycle.end(), std::back_inserter(formulas),
                                 [this](std::size_t node) { return isFormula(node); });
                    std::sort(formulas.begin(), formulas.end());
                    for (std::size_t node : cycle)
                        for (std::size_t dependent : nodes_[node].dependents)
                            if (nodes_[dependent].marked && --waiting[dependent] == 0) release(dependent);
                    for (std::size_t formula : formulas) {
                        showCycle(formula, stale);
                        calculation.calculated.push_back(formula);
                    }
                    if (!formulas.empty()) calculation.cycles.push_back(std::move(formulas));
                }
                continue;
            }
            if (!readyBlocks.empty()) {
                // A block costs nothing to calculate: its readers are released at once.
                const std::size_t node = readyBlocks.back();
                readyBlocks.pop_back();
                done(node, std::nullopt);
                continue;
            }
            if (threaded_ != nullptr && readyFormulas.size() > 1) {
                // Ready formulas read nothing another ready one is still to write, but for a spill
                // not known yet: all of the batch count as calculated before any result is placed,
                // so that setSpill finds a reader of a new spill among them and calculates it again.
                auto batch = calculateReadyOnThreads(readyFormulas);
                for (const auto& formula : batch) nodes_[formula.first].marked = false;
                for (auto& [node, result] : batch) {
                    const std::optional<Area> spill = placeResult(node, result());
                    calculation.calculated.push_back(node);
                    done(node, spill);
                }
                if (!batch.empty()) continue;
            }
            const std::size_t node = readyFormulas.top();
            readyFormulas.pop();
            Value value = evaluate_(sheet_.entries[node]);
            calculation.calculated.push_back(node);
            if (async_ != nullptr && async_->outstanding(sheet_.entries[node])) {
                ++outstanding;
                continue;
            }
            done(node, placeResult(node, std::move(value)));
        }
        for (std::size_t node : stale) mark(node);
        stale.clear();
    }
    return calculation;
}

std::vector<std::pair<std::size_t, std::function<Value()>>> Recalculation::calculateReadyOnThreads(
    std::priority_queue<std::size_t, std::vector<std::size_t>, std::greater<>>& readyFormulas) {
    // A batch is bounded so that the results of one wait on the calling thread no longer than
    // needed; each ends with the threads waiting while this one places its results, so it is
    // large (1024 left 10,000 cells of 50 us some 4% slower on two threads).
    constexpr std::size_t largestBatch = 8192;
    std::vector<std::pair<std::size_t, std::function<Value()>>> batch;
    std::vector<std::size_t> onCallingThread;
    while (!readyFormulas.empty() && batch.size() < largestBatch) {
        const std::size_t formula = readyFormulas.top();
        readyFormulas.pop();
        if (threaded_->threadSafe(sheet_.entries[formula]))
            batch.emplace_back(formula, nullptr);
        else
            onCallingThread.push_back(formula);
    }
    for (std::size_t formula : onCallingThread) readyFormulas.push(formula);
    if (batch.size() < 2) {
        for (const auto& [formula, unused] : batch) readyFormulas.push(formula);
        return {};
    }
    std::atomic<std::size_t> next{0};
    threaded_->threads->run([&](unsigned thread) {
        for (std::size_t i = next++; i < batch.size(); i = next++)
            batch[i].second = threaded_->calculate(sheet_.entries[batch[i].first], thread);
    });
    return batch;
}

std::optional<Area> Recalculation::placeResult(std::size_t formula, Value value) {
    const SheetEntry& entry = sheet_.entries[formula];
    FormulaResult result{&entry, entry.target, std::move(value), false};
    const SheetId active = sheets_.activeSheet();
    const std::int32_t row = entry.target.firstRow;
    const std::int32_t column = entry.target.firstColumn;
    // The old spill goes before the new one is placed: it neither blocks it nor stays behind.
    clearSpill(formula);
    if (result.value.kind() == Kind::Array) {
        result.area.lastRow =
            std::int32_t(std::min<std::int64_t>(std::int64_t(row) + result.value.rows() - 1, limits_.rows - 1));
        result.area.lastColumn = std::int32_t(
            std::min<std::int64_t>(std::int64_t(column) + result.value.columns() - 1, limits_.columns - 1));
        const bool fits = result.area.rows() == result.value.rows() && result.area.columns() == result.value.columns();
        result.spillBlocked = !fits || !hasRoom(result.area, formula);
    }
    std::optional<Area> spill;
    if (result.spillBlocked) {
        result.area = entry.target;
        // The C interface has no code for #SPILL!; a formula reading the cell gets #VALUE!.
        sheets_.setCell(active, row, column, Value::error(xlerrValue));
    } else if (result.value.kind() == Kind::Array) {
        sheets_.setCells(active, row, column, result.value);
        if (result.area != entry.target) spill = result.area;
    } else {
        sheets_.setCell(active, row, column, result.value);
    }
    results_[formula] = std::move(result);
    return spill;
}

void Recalculation::clearSpill(std::size_t formula, const Area* keep) {
    if (!nodes_[formula].spill) return;
    const SheetId active = sheets_.activeSheet();
    for (const Area& part : beyondAnchor(*nodes_[formula].spill))
        for (std::int32_t row = part.firstRow; row <= part.lastRow; ++row)
            for (std::int32_t column = part.firstColumn; column <= part.lastColumn; ++column)
                if (keep == nullptr || !holds(*keep, row, column)) sheets_.setCell(active, row, column, Value::nil());
}

// Whether the spill area, its top-left the formula's own cell, holds no other formula's cell and
// nothing filled.
bool Recalculation::hasRoom(const Area& area, std::size_t formula) const {
    if (formulaCells_.anyIn(area, [formula](std::size_t other) { return other != formula; })) return false;
    const SheetId sheet = sheets_.activeSheet();
    const bool anchorFilled = sheets_.cell(sheet, area.firstRow, area.firstColumn).kind() != Kind::Nil;
    return sheets_.filledCount(sheet, area) == (anchorFilled ? 1u : 0u);
}

void Recalculation::setSpill(std::size_t formula, const std::optional<Area>& spill, std::vector<std::size_t>& stale) {
    Node& node = nodes_[formula];
    if (node.spill == spill) return;
    // Whatever read the old spill or reads the new one has read the wrong cells, unless it is
    // still to be calculated.
    const std::vector<std::size_t> oldReaders = std::move(node.spillDependents);
    nodes_[formula].spillDependents.clear();
    for (std::size_t reader : oldReaders) {
        removeEdge(formula, reader);
        if (!nodes_[reader].marked) stale.push_back(reader);
    }
    if (nodes_[formula].spill) spills_.remove(*nodes_[formula].spill, formula);
    nodes_[formula].spill = spill;
    if (!spill) return;
    spills_.add(*spill, formula);
    std::vector<std::size_t> readers;
    for (const Area& part : beyondAnchor(*spill))
        readersOf(part, [&readers](std::size_t reader) { readers.push_back(reader); });
    std::sort(readers.begin(), readers.end());
    readers.erase(std::unique(readers.begin(), readers.end()), readers.end());
    for (std::size_t reader : readers) {
        addEdge(formula, reader);
        nodes_[formula].spillDependents.push_back(reader);
        if (!nodes_[reader].marked) stale.push_back(reader);
    }
}

void Recalculation::showCycle(std::size_t formula, std::vector<std::size_t>& stale) {
    const SheetEntry& entry = sheet_.entries[formula];
    clearSpill(formula);
    setSpill(formula, std::nullopt, stale);
    sheets_.setCell(sheets_.activeSheet(), entry.target.firstRow, entry.target.firstColumn, Value::error(xlerrRef));
    results_[formula] = FormulaResult{&entry, entry.target, Value::error(xlerrRef), false};
}

// The strongly connected components among the pass's nodes still marked that are cycles (more
// than one node, or one that reads itself), by Tarjan's algorithm without recursion.
std::vector<std::vector<std::size_t>> Recalculation::cyclesAmong(const std::vector<std::size_t>& pass) const {
    constexpr std::size_t unvisited = std::size_t(-1);
    std::unordered_map<std::size_t, std::size_t> index, low;
    std::unordered_map<std::size_t, bool> onStack;
    std::vector<std::size_t> stack;
    std::vector<std::vector<std::size_t>> cycles;
    struct Frame {
        std::size_t node;
        std::size_t next;
    };
    std::vector<Frame> frames;
    std::size_t counter = 0;
    const auto indexOf = [&index, unvisited](std::size_t node) {
        const auto found = index.find(node);
        return found == index.end() ? unvisited : found->second;
    };
    const auto visit = [&](std::size_t node) {
        index[node] = low[node] = counter++;
        stack.push_back(node);
        onStack[node] = true;
        frames.push_back(Frame{node, 0});
    };
    for (std::size_t start : pass) {
        if (!nodes_[start].marked || indexOf(start) != unvisited) continue;
        visit(start);
        while (!frames.empty()) {
            const std::size_t node = frames.back().node;
            const std::vector<std::size_t>& dependents = nodes_[node].dependents;
            if (frames.back().next < dependents.size()) {
                const std::size_t dependent = dependents[frames.back().next++];
                if (!nodes_[dependent].marked) continue;
                if (indexOf(dependent) == unvisited)
                    visit(dependent);
                else if (onStack[dependent])
                    low[node] = std::min(low[node], index[dependent]);
                continue;
            }
            frames.pop_back();
            if (!frames.empty()) low[frames.back().node] = std::min(low[frames.back().node], low[node]);
            if (low[node] != index[node]) continue;
            std::vector<std::size_t> component;
            std::size_t member;
            do {
                member = stack.back();
                stack.pop_back();
                onStack[member] = false;
                component.push_back(member);
            } while (member != node);
            const bool readsItself = std::find(dependents.begin(), dependents.end(), node) != dependents.end();
            if (component.size() > 1 || readsItself) cycles.push_back(std::move(component));
        }
    }
    return cycles;
}

}  // namespace xlhost
