#ifndef HOST_RECALCULATION_H
#define HOST_RECALCULATION_H

// The sheet's formulas calculated as Excel calculates them: in the order their inputs dictate,
// whatever the order of their lines, each once per calculation; after a change, only what reads
// the changed cells; volatile formulas in every recalculation; a circular reference found, its
// formulas showing #REF!.
//
// The formulas and what they read form a graph. A formula reading one cell has an edge from the
// formula whose cell or spill area holds it; a formula reading a block has one edge from the
// block's node, which has an edge from each formula in the block, so that many formulas reading
// the same large block share its edges. A calculation counts, for each formula to calculate, its
// inputs not yet calculated, and calculates the formulas whose count is zero, the first line first
// (a sheet whose formulas read only the lines above is calculated in line order). A spill is known
// only once its formula is calculated: a formula found to read it that was calculated before, or
// that is not part of the calculation, is calculated again after it.
//
// An array result spills from its formula's cell unless a cell it would cover is filled (a value,
// any formula's cell, or the spill of a formula calculated before) or lies beyond the sheet: then
// the formula's cell shows #SPILL! (#VALUE! to formulas reading it) and nothing spills.

#include "SheetFile.h"
#include "SheetModel.h"
#include "Value.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <queue>
#include <string>
#include <unordered_map>
#include <vector>

namespace xlhost {

// What a formula's cell gets: a number, text, boolean, error or an array of those.
using FormulaFunction = std::function<Value(const SheetEntry& formula)>;
// Whether a formula is calculated in every recalculation (it calls a volatile function).
using VolatileFunction = std::function<bool(const SheetEntry& formula)>;

class CalculationThreads;

// Excel's multi-threaded recalculation: formulas whose function is thread-safe, and whose inputs
// are ready, are calculated at once on the `threads`. `calculate` runs on those threads and
// may only read the sheet; what it returns runs afterwards on the calling thread, in line order,
// and gives the cell. The results are those of the formula function, formula by formula.
struct ThreadedCalculation {
    CalculationThreads* threads = nullptr;
    std::function<bool(const SheetEntry& formula)> threadSafe;  // on the calling thread
    std::function<std::function<Value()>(const SheetEntry& formula, unsigned thread)> calculate;
};

// Asynchronous functions: a formula whose call gives its result later from another thread. Its
// cell, and what reads it, wait for the result; other ready formulas are calculated meanwhile.
struct AsyncCalculation {
    // Right after the formula was calculated: whether its result is still to come.
    std::function<bool(const SheetEntry& formula)> outstanding;
    // Waits for results of outstanding formulas: at least one while any is outstanding (those not
    // given in time come back with what their cells show then).
    std::function<std::vector<std::pair<const SheetEntry*, Value>>()> arrived;
};

struct FormulaResult {
    const SheetEntry* entry;
    Area area;                              // the cells the result fills: the formula's own, or the whole spill area
    Value value;                            // what the function gave: a number, text, boolean, error or array
    bool spillBlocked;                      // the array had no room; the cell shows #SPILL!
    std::vector<std::string> effects = {};  // for a command or change line: what it did, in order
};

// One calculation: the formulas it calculated (indexes of the sheet's entries) in the order it
// calculated them, a formula calculated again appearing again; and each circular reference found,
// its formulas in line order.
struct Calculation {
    std::vector<std::size_t> calculated;
    std::vector<std::vector<std::size_t>> cycles;
};

class Recalculation {
public:
    // Over the sheet's formulas (none entered yet) on the active sheet of `sheets`. The sheet,
    // the model and the functions must outlive the object.
    Recalculation(const SheetFile& sheet, SheetModel& sheets, const SheetLimits& limits, FormulaFunction evaluate,
                  VolatileFunction isVolatile, const ThreadedCalculation* threaded = nullptr,
                  const AsyncCalculation* async = nullptr);

    // Enters formulas (indexes of the sheet's formula entries, each entered once) and calculates
    // them, with every formula that reads their cells and every formula marked for calculation.
    Calculation enter(const std::vector<std::size_t>& formulas);
    // Cells of the active sheet were changed from outside (a value typed in, a command's xlSet):
    // every formula reading them is marked for the next calculation, as is a formula whose spill
    // they overwrote (the rest of that spill is cleared).
    void changed(const Area& area);
    // Calculates every formula marked since the last calculation and, with `volatileToo`, every
    // volatile formula, with all that depends on them.
    Calculation recalculate(bool volatileToo);

    // The formula's latest result; nothing before it was first calculated.
    const std::optional<FormulaResult>& result(std::size_t formula) const { return results_[formula]; }

private:
    // The areas of a kind of node, bucketed by bands of rows, to find those that meet an area.
    class AreaIndex {
    public:
        void add(const Area& area, std::size_t node);
        void remove(const Area& area, std::size_t node);
        // Calls visit(node) once for each node whose area meets `area`.
        template <class Visit>
        void meeting(const Area& area, Visit visit) const;

    private:
        struct Entry {
            Area area;
            std::size_t node;
        };
        std::unordered_map<std::int32_t, std::vector<Entry>> bands_;
    };

    struct Node {
        std::vector<std::size_t> dependents;
        std::vector<std::size_t> precedents;
        std::vector<std::size_t> spillDependents;  // of a formula: the dependents that read its spill
        std::optional<Area> spill;                 // of a formula: its spill area beyond its own cell
        Area block;                                // of a block node: its area
        bool entered = false;
        bool isVolatile = false;
        bool marked = false;  // to be calculated (in a calculation: not calculated yet)
    };

    bool isFormula(std::size_t node) const { return node < formulaCount_; }
    void addEdge(std::size_t from, std::size_t to);
    void removeEdge(std::size_t from, std::size_t to);
    std::size_t blockNode(const Area& area);
    // Calls visit(formula) for each formula reading a cell of the area through a one-cell
    // reference, and visit(block node) for each block node meeting it.
    template <class Visit>
    void readersOf(const Area& area, Visit visit) const;
    void mark(std::size_t node);
    Calculation calculate();
    // Places the formula's result; gives its spill area, if it spills.
    std::optional<Area> placeResult(std::size_t formula, Value value);
    // Takes the thread-safe formulas among the ready ones (at most a batch) and calculates them on
    // the threads; what each gives is placed later, in line order, on the calling thread.
    std::vector<std::pair<std::size_t, std::function<Value()>>> calculateReadyOnThreads(
        std::priority_queue<std::size_t, std::vector<std::size_t>, std::greater<>>& readyFormulas);
    // Blanks the cells of the formula's spill but its own and those in `keep`.
    void clearSpill(std::size_t formula, const Area* keep = nullptr);
    bool hasRoom(const Area& area, std::size_t formula) const;
    // Moves the formula's spill and the edges to what reads it; adds to `stale` every reader, old
    // or new, that is not waiting to be calculated.
    void setSpill(std::size_t formula, const std::optional<Area>& spill, std::vector<std::size_t>& stale);
    std::vector<std::vector<std::size_t>> cyclesAmong(const std::vector<std::size_t>& pass) const;
    void showCycle(std::size_t formula, std::vector<std::size_t>& stale);

    const SheetFile& sheet_;
    SheetModel& sheets_;
    SheetLimits limits_;
    FormulaFunction evaluate_;
    VolatileFunction isVolatile_;
    const ThreadedCalculation* threaded_;
    const AsyncCalculation* async_;
    FormulaCells formulaCells_;
    std::size_t formulaCount_;
    std::vector<Node> nodes_;  // one per entry of the sheet, then the block nodes
    std::vector<std::optional<FormulaResult>> results_;
    std::unordered_map<std::uint64_t, std::vector<std::size_t>> cellReaders_;  // one-cell references by cell
    std::map<std::array<std::int32_t, 4>, std::size_t> blockNodes_;            // by area
    AreaIndex blocks_;
    AreaIndex spills_;
    std::vector<std::size_t> markedNodes_;
    std::vector<std::size_t> markPending_;  // mark()'s work list, kept for its capacity
};

}  // namespace xlhost

#endif
