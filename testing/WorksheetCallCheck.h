#ifndef TESTING_WORKSHEETCALLCHECK_H
#define TESTING_WORKSHEETCALLCHECK_H

// What every worksheet call must leave true, whatever its arguments, written once for the
// bad-input battery and the fuzz targets: a result record Excel can read, no Excel memory kept or
// freed wrongly, no argument written to. Also the add-in module as Excel drives it, and every
// function it registered behind one signature, so that a table or a fuzzer byte can pick any of
// them: the list comes from the stand-in's registry, not from the add-in's own sources.

#include "ArgumentRecord.h"
#include "ExcelStandIn.h"
#include "FunctionRegistry.h"
#include "HostLayouts.h"
#include "WinApi.h"

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace worksheetcheck {

enum class Parameter { Record, Number };

// One registered worksheet function, callable with any records and numbers.
struct EntryPoint {
    // The most parameters a call can be made with; a function taking more is not covered.
    static constexpr std::size_t maxParameters = 7;

    std::string name;  // the exported procedure
    std::vector<Parameter> parameters;
    FARPROC address = nullptr;

    std::size_t records() const;
    bool takesNumber() const;
    // Record parameters take `records` in order, number parameters all take `number`.
    void* call(const std::vector<void*>& records, double number) const;
};

// The registered functions: those a call can be made to, and those it cannot, each with why.
struct RegisteredFunctions {
    std::vector<EntryPoint> covered;
    std::vector<std::string> uncovered;
};

// Sorts registrations by whether the battery can call them: a record result ("P"/"Q"), record
// and number ("B") arguments, at most EntryPoint::maxParameters of them, and an address for the
// procedure. A registration Excel refused is uncovered too.
RegisteredFunctions Classify(const std::vector<xlhost::Registration>& registrations,
                             const std::function<FARPROC(const std::string& procedure)>& address);

// The add-in module as Excel drives it: loaded from beside the program once per process, opened
// under the current stand-in Excel and closed again.
class AddIn {
public:
    explicit AddIn(const char* file);  // throws std::runtime_error when it cannot be loaded

    // xlAutoOpen; its result (1 on success).
    int open();
    // xlAutoClose, and "Path" as it was before open(): each open appends the add-in's folder, and
    // a fuzzer opens the add-in once per input.
    void close();
    // What it registered with the host, in registration order.
    RegisteredFunctions registered(const xlhost::ExcelStandIn& host) const;

private:
    HMODULE module_;
    std::optional<std::string> pathBeforeOpen_;
};

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
