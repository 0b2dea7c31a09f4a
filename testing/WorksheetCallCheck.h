#ifndef TESTING_WORKSHEETCALLCHECK_H
#define TESTING_WORKSHEETCALLCHECK_H

// What every worksheet call must leave true, whatever its arguments, written once for the
// bad-input battery and the fuzz target: a result record Excel can read, no Excel memory kept or
// freed wrongly, no argument written to. Also the eleven entry points behind one signature, so
// that a table or a fuzzer byte can pick any of them.

#include "ArgumentRecord.h"
#include "ExcelStandIn.h"
#include "HostLayouts.h"

#include <array>
#include <string>
#include <vector>

namespace worksheetcheck {

struct EntryPoint {
    const char* name;
    int records;       // record arguments: 1 or 2
    bool takesNumber;  // a double after the first record
    // Calls the entry point; `second` and `number` are ignored where it takes no such argument.
    void* (*call)(void* first, void* second, double number);
};

const std::array<EntryPoint, 11>& EntryPoints();

// Makes the framework connect afresh to the current stand-in Excel.
void ConnectToCurrentHost();

// Why Excel could not read `record` as a worksheet result in layout L; empty when it can.
template <class L>
std::string ResultProblem(const void* record);

// Everything wrong after one call that returned `result`: the result's problem, host memory still
// handed out or freed wrongly, arguments changed. Empty when the call left all well. Takes back
// whatever host memory was leaked, so that the next call is checked on its own.
template <class L>
std::string CallProblems(xlhost::ExcelStandIn& host, const void* result,
                         const std::vector<const xlhost::ArgumentRecord<L>*>& arguments);

extern template std::string ResultProblem<xlhost::Layout4>(const void*);
extern template std::string ResultProblem<xlhost::Layout12>(const void*);
extern template std::string CallProblems<xlhost::Layout4>(xlhost::ExcelStandIn&, const void*,
                                                          const std::vector<const xlhost::Argument4*>&);
extern template std::string CallProblems<xlhost::Layout12>(xlhost::ExcelStandIn&, const void*,
                                                           const std::vector<const xlhost::Argument12*>&);

}  // namespace worksheetcheck

#endif
