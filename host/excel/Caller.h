#ifndef HOST_CALLER_H
#define HOST_CALLER_H

#include "Value.h"

namespace xlhost {

// What Excel is running when the add-in calls back: Excel itself (xlAutoOpen, xlAutoClose, the
// add-in manager), a command, a cell's formula, or a function another add-in called with xlUDF.
// It decides what xlfCaller gives and whether the command-only functions (xlSet) may run.
struct Caller {
    enum class Kind { Excel, Command, Cell, Function };
    Kind kind = Kind::Excel;
    Area cell;              // the formula's cell, for Kind::Cell
    double registerId = 0;  // the function's register id, for Kind::Function

    static Caller excel() { return Caller{}; }
    static Caller command() { return Caller{Kind::Command, {}, 0}; }
    static Caller cellFormula(const Area& cell) { return Caller{Kind::Cell, cell, 0}; }
    static Caller function(double registerId) { return Caller{Kind::Function, {}, registerId}; }
};

}  // namespace xlhost

#endif
