#ifndef HOST_ADDINMODULE_H
#define HOST_ADDINMODULE_H

// One add-in module as Excel drives it: loaded by path, opened with xlAutoOpen, its registered
// worksheet functions called the way Excel calls them, closed with xlAutoClose.

#include "ExcelStandIn.h"
#include "FunctionRegistry.h"
#include "HostWinApi.h"
#include "SheetFile.h"
#include "Value.h"

#include <stdexcept>
#include <string>
#include <vector>

namespace xlhost {

// The type codes of a registration's type text, result first, without the marks after them
// (volatile, macro-sheet, thread-safe) that change nothing for one call at a time.
std::string typeCodes(const std::string& typeText);

// The module cannot be used at all: no such file, not loadable, no xlAutoOpen.
class AddInLoadError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// One worksheet call as Excel made it.
struct WorksheetCall {
    Value shown;                      // what the formula's cell gets
    std::vector<std::string> faults;  // what the add-in did that Excel would not forgive
    std::string limitation;           // what xllhost cannot pass or read (the cell shows #VALUE!)
    std::string trace;                // procedure, passed values and result, for diagnostics
};

class AddInModule {
public:
    // The functions with at most this many arguments can be called.
    static constexpr std::size_t maxArguments = 4;

    explicit AddInModule(const std::string& path);
    ~AddInModule();
    AddInModule(const AddInModule&) = delete;
    AddInModule& operator=(const AddInModule&) = delete;

    // The module's full path as Windows names it, which Excel gives the add-in and registers under.
    const std::string& windowsPath() const { return windowsPath_; }
    bool exports(const std::string& procedure) const;

    int open();
    // xlAutoClose, when the add-in has one.
    void close();

    // Calls the registered function as Excel does: each argument in the form the registration's
    // type text asks for ("P"/"Q" values, "R"/"U" references on the active sheet, "B" doubles);
    // missing arguments as Excel passes them. A null result shows #NUM!, as in Excel.
    WorksheetCall call(const Registration& registration, const std::vector<FormulaArgument>& arguments,
                       ExcelStandIn& host);

    // Runs a command as Excel runs one from a menu or its Run dialog: with no arguments, ignoring
    // what it returns. Gives what it did that Excel would not forgive.
    std::vector<std::string> runCommand(const Registration& command);

private:
    FARPROC procedure(const std::string& name) const;

    HMODULE module_ = nullptr;
    std::string windowsPath_;
};

}  // namespace xlhost

#endif
