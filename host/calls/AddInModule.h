#ifndef HOST_ADDINMODULE_H
#define HOST_ADDINMODULE_H

// One add-in module as Excel drives it: loaded by path, opened with xlAutoOpen, its registered
// worksheet functions called the way Excel calls them, closed with xlAutoClose.

#include "ExcelStandIn.h"
#include "FunctionRegistry.h"
#include "SheetFile.h"
#include "Value.h"
#include "WinApi.h"

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <unordered_map>
#include <vector>

namespace xlhost {

// The module cannot be used at all: no such file, not loadable, no xlAutoOpen.
class AddInLoadError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// One worksheet call as Excel made it.
struct WorksheetCall {
    Value shown;                      // what the formula's cell gets
    std::vector<std::string> faults;  // what the add-in did that Excel would not forgive
    std::string limitation;           // what xllhost cannot pass or read (the cell shows #XLLHOST!)
    std::string trace;                // procedure, passed values and result, while tracing
    // An asynchronous function's call: the handle its result is to come back with (the cell shows
    // #GETTING_DATA meanwhile).
    std::optional<std::uintptr_t> asyncHandle = {};
};

class AddInModule {
public:
    explicit AddInModule(const std::string& path);
    ~AddInModule();
    AddInModule(const AddInModule&) = delete;
    AddInModule& operator=(const AddInModule&) = delete;

    // Whether calls describe their arguments and result in WorksheetCall::trace: every value
    // formatted, which costs more than the call itself on a large block.
    void traceCalls(bool on) { tracing_ = on; }

    // The module's full path as Windows names it, which Excel gives the add-in and registers under.
    const std::string& windowsPath() const { return windowsPath_; }
    bool exports(const std::string& procedure) const;

    int open();
    // xlAutoClose, when the add-in has one.
    void close();

    // Calls the registered function as Excel does: each argument in the form its type code asks for
    // (see TypedArgument), missing arguments as Excel passes them, the result read for its code or
    // from the argument it names; a null pointer result shows #NUM!, as in Excel. The marks after
    // the codes (volatile, macro-sheet equivalent, thread-safe, cluster-safe) change nothing for one
    // call at a time. An asynchronous function's X argument is not the formula's: it gets a new
    // handle of the host's asyncReturns().
    WorksheetCall call(const Registration& registration, const std::vector<FormulaArgument>& arguments,
                       ExcelStandIn& host);

    // An asynchronous function's result, given through xlAsyncReturn, as its cell shows it.
    static Value shownInCell(const Value& result, ExcelStandIn& host, WorksheetCall& call);

    // What Excel's Add-in Manager lists the add-in as: xlAddInManagerInfo12 (Excel 12 and newer, when
    // exported) or xlAddInManagerInfo, asked with the number 1 (a null answer shows #NUM!); nothing
    // when the add-in exports neither.
    std::optional<WorksheetCall> addInManagerInfo(ExcelStandIn& host);
    // Runs a command as Excel runs one from a menu or its Run dialog: with no arguments, ignoring
    // what it returns. Gives what it did that Excel would not forgive.
    std::vector<std::string> runCommand(const Registration& command);

private:
    FARPROC procedure(const std::string& name) const;

    HMODULE module_ = nullptr;
    std::string windowsPath_;
    mutable std::unordered_map<std::string, FARPROC> procedures_;
    bool tracing_ = false;
};

}  // namespace xlhost

#endif
