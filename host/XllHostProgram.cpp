#include "XllHostProgram.h"

#include "AddInModule.h"
#include "ExcelStandIn.h"
#include "ResultPrinter.h"
#include "SheetEvaluator.h"
#include "SheetFile.h"
#include "TypeText.h"

#ifndef _WIN32
#include "PlatformControl.h"
#endif

#include <algorithm>
#include <cctype>
#include <optional>
#include <ostream>

namespace xlhost {

const char* const xllhostHelp = R"(usage: xllhost [--excel N] ADDIN --list
       xllhost [--excel N] [--csv] [--full] [--debug] ADDIN SHEET
       xllhost --version

Plays Excel for one add-in: loads ADDIN, opens it (xlAutoOpen), lists what it registered or
evaluates SHEET, closes it (xlAutoClose) and reports any Excel memory it did not give back.

  --excel N   the Excel version to play (default 12): 12 and newer pass Excel 12 records,
              older ones Excel 4 records and a 65536 x 256 sheet
  --list      the add-in's name as Excel's Add-in Manager lists it, then the registered
              functions as Excel's Insert Function dialog shows them
  --csv       the whole used sheet as CSV (full precision, texts quoted) instead of blocks
  --full      numbers at full precision (the shortest form that reads back exactly)
  --debug     the add-in's diagnostic lines, its status-bar texts and every worksheet call
  --version   xllhost's version
  --help      this text

SHEET is plain text, one cell or range per line ('#' starts a comment line):
  A1:B2 = 4, 2; 2, 3          values: ',' between columns, ';' between rows; numbers,
  A3 = "text", TRUE, #N/A, ,  "texts", TRUE/FALSE, errors (#VALUE!, #N/A, ...), blanks
  A4 = @data.csv              a block from a CSV file beside the sheet
  D1 = mtrx_Cholesky(A1:B2)   a formula; arguments are ranges, numbers, "texts",
  D5 = mtrx_Row(A1:B2, 2)     TRUE/FALSE, errors or nothing (a missing argument)
Formulas run top to bottom and see the lines above them; array results spill from their cell
(#SPILL! when a cell in the way is filled). Unknown functions give #NAME?, a null result #NUM!.
Control characters in result texts show as \xNN.

Functions are called as Excel calls them, each argument in the form its registration's type text
asks for, up to 255 arguments (30 before Excel 12):
  by value  by pointer
  A         L      boolean as a short: 1 for any non-zero value, TRUE or "TRUE"
  B         E      double
  H                unsigned 16-bit integer   the fraction is dropped; out of the type's
  I         M      signed 16-bit integer     range the cell shows #NUM! and the function
  J         N      signed 32-bit integer     is not called
            C F    byte text ending in a zero byte   at most 255 bytes (longer texts are cut),
            D G    byte text, its count first        units beyond Latin-1 become '?'
            C% F%  the same in 16-bit units (up to 32767); F, G, F% and G% get a buffer of
            D% G%  the longest text's size, which the function may change
            K K%   FP / FP12 array of doubles, row after row (FP: up to 65535 rows)
            O O%   three arguments: the row count, the column count, the elements row after row
            P Q    XLOPER / XLOPER12 values (a range's cell values)
            R U    the same, or a reference
Numbers, texts and array elements convert as in Excel ("12" is 12, a blank cell 0 or an empty
text); an omitted argument is 0, FALSE or an empty text (a missing value for P Q R U, #VALUE! for
K and O). An error for any code but P Q R U, or a block of cells for a single value (#VALUE!), is
shown without calling.
Results take the same codes (not O), or a digit 1-9: the function returns nothing and that
argument, as the function left it, is the result. Marks after the codes: ! volatile, # macro-sheet
equivalent, $ thread-safe (Excel 12), & cluster-safe (Excel 14). Result records marked
xlbitXLFree are freed by Excel, those marked xlbitDLLFree handed to the add-in's xlAutoFree or
xlAutoFree12. Asynchronous functions (X) are not called.

#XLLHOST! marks a cell xllhost could not compute (it cannot pass an argument, call the function or
show its result; so does a formula reading such a cell); the reason goes to standard error. It is
no Excel value: the add-in is not at fault.

Exit status: 0 done; 1 the add-in leaked Excel memory or broke Excel's rules; 2 bad input
(arguments, sheet, CSV or add-in file), reported as FILE:LINE: message; 3 some cell shows
#XLLHOST! (and the add-in broke no rule).
)";

namespace {

struct Options {
    int excelVersion = 12;
    bool list = false;
    bool csv = false;
    bool fullPrecision = false;
    bool debug = false;
    bool help = false;
    bool version = false;
    std::vector<std::string> files;
};

struct UsageError {
    std::string message;
};

int versionOf(const std::string& text) {
    const bool digits = !text.empty() && text.size() <= 2 &&
                        std::all_of(text.begin(), text.end(), [](char c) { return std::isdigit(static_cast<unsigned char>(c)); });
    if (!digits || std::stoi(text) < 4) throw UsageError{"--excel takes a version number such as 11, 12 or 16, not '" + text + "'"};
    return std::stoi(text);
}

Options optionsOf(const std::vector<std::string>& arguments) {
    Options options;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::string& argument = arguments[i];
        if (argument == "--excel") {
            if (++i == arguments.size()) throw UsageError{"--excel needs a version number"};
            options.excelVersion = versionOf(arguments[i]);
        } else if (argument.rfind("--excel=", 0) == 0) {
            options.excelVersion = versionOf(argument.substr(8));
        } else if (argument == "--list") {
            options.list = true;
        } else if (argument == "--csv") {
            options.csv = true;
        } else if (argument == "--full") {
            options.fullPrecision = true;
        } else if (argument == "--debug") {
            options.debug = true;
        } else if (argument == "--help" || argument == "-h") {
            options.help = true;
        } else if (argument == "--version") {
            options.version = true;
        } else if (argument.size() > 1 && argument[0] == '-') {
            throw UsageError{"unknown option " + argument};
        } else {
            options.files.push_back(argument);
        }
    }
    if (options.help || options.version) return options;
    const std::size_t wanted = options.list ? 1 : 2;
    if (options.files.size() != wanted)
        throw UsageError{options.list ? "--list takes the add-in file only" : "give the add-in file and the sheet file"};
    return options;
}

bool sameIgnoringCase(const std::string& a, const std::string& b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::toupper(static_cast<unsigned char>(x)) == std::toupper(static_cast<unsigned char>(y));
           });
}

// Excel finds worksheet functions by name whatever the case; the latest active registration wins.
const Registration* registeredFunction(const FunctionRegistry& registry, const std::string& name) {
    const auto& all = registry.registrations();
    for (auto it = all.rbegin(); it != all.rend(); ++it)
        if (it->active && sameIgnoringCase(it->functionName(), name)) return &*it;
    return nullptr;
}

// The add-in's diagnostic lines, while --debug is on. Windows hands them to a system debugger,
// which xllhost is not; elsewhere the Windows stand-in passes them on.
class DiagnosticCapture {
public:
    DiagnosticCapture(bool enabled, std::ostream& err) : enabled_(enabled) {
        if (!enabled_) return;
#ifdef _WIN32
        err << "xllhost: on Windows the add-in's diagnostic lines go to the system debugger (a debug viewer shows them)\n";
#else
        platform::AttachDebugger([&err](const std::string& text) {
            std::string line = text;
            while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.pop_back();
            err << "debug: " << line << '\n';
        });
#endif
    }
    ~DiagnosticCapture() {
#ifndef _WIN32
        if (enabled_) platform::DetachDebugger();
#endif
    }
    DiagnosticCapture(const DiagnosticCapture&) = delete;
    DiagnosticCapture& operator=(const DiagnosticCapture&) = delete;

private:
    bool enabled_;
};

// One run: the host, the add-in, and what the add-in got wrong.
class Session {
public:
    Session(const Options& options, std::ostream& err)
        : options_(options), err_(err), host_(std::to_string(options.excelVersion) + ".0"),
          capture_(options.debug, err), addIn_(options.files[0]) {
        addIn_.traceCalls(options.debug);
        host_.setAddInPath(addIn_.windowsPath());
        host_.setExportLookup([this](const std::string& procedure) { return addIn_.exports(procedure); });
        if (host_.windows().mainWindow() == nullptr)
            err_ << "xllhost: " << host_.windows().mainWindowFailure()
                 << "; playing Excel without a main window (xlGetHwnd fails, no function wizard)\n";
    }

    void open() {
        addIn_.open();
        showStatus();
    }

    EvaluatedSheet evaluate(const SheetFile& sheet, const SheetLimits& limits) {
        return evaluateSheet(sheet, host_.sheets(), limits,
                             [this, &sheet](const SheetEntry& formula) { return call(sheet, formula); });
    }

    // Closes the add-in and reports the faults left; true when there were none.
    bool close() {
        addIn_.close();
        showStatus();
        host_.checkForLeaks();
        for (const Fault& fault : host_.faults().all()) faults_.push_back(faultKindName(fault.kind) + (": " + fault.detail));
        host_.clearFaults();
        if (faults_.empty()) return true;
        err_ << "xllhost: faults of the add-in (Excel memory it did not give back, rules it broke):\n";
        for (const std::string& fault : faults_) err_ << "  " << fault << '\n';
        return false;
    }

    const FunctionRegistry& registry() const { return host_.registry(); }

    // The add-in's name as the Add-in Manager shows it; nothing when the add-in does not say.
    std::optional<std::string> addInName() {
        const std::optional<WorksheetCall> info = addIn_.addInManagerInfo(host_);
        if (!info) return std::nullopt;
        for (const std::string& fault : info->faults) faults_.push_back(info->trace + " " + fault);
        return cellText(info->shown, false);
    }

    // Formulas xllhost could not call or whose result it could not show.
    std::size_t uncalledCells() const { return uncalledCells_; }
    const SheetModel& sheets() { return host_.sheets(); }

private:
    Value call(const SheetFile& sheet, const SheetEntry& formula) {
        const Registration* registration = registeredFunction(host_.registry(), formula.function);
        if (registration == nullptr) return Value::error(xlerrName);
        const auto typeText = parseTypeText(registration->typeText()).typeText;
        const std::size_t parameters = typeText ? typeText->arguments.size() : 0;
        if (formula.arguments.size() > parameters)
            throw SheetError(sheet.path, formula.line, formula.function + " takes " + std::to_string(parameters) +
                                                           (parameters == 1 ? " argument, not " : " arguments, not ") +
                                                           std::to_string(formula.arguments.size()));
        WorksheetCall call = addIn_.call(*registration, formula.arguments, host_);
        const std::string where = sheet.path + ":" + std::to_string(formula.line) + ": ";
        if (options_.debug && !call.trace.empty()) err_ << "call: " << call.trace << '\n';
        showStatus();
        if (!call.limitation.empty()) {
            err_ << "xllhost: " << where << formula.function << " gives " << cellText(call.shown, false) << ": "
                 << call.limitation << '\n';
            ++uncalledCells_;
        }
        for (const std::string& fault : call.faults) faults_.push_back(where + formula.function + " " + fault);
        return call.shown;
    }

    void showStatus() {
        const auto& log = host_.statusLog();
        for (; statusShown_ < log.size(); ++statusShown_)
            if (options_.debug)
                err_ << "status: " << (log[statusShown_].shown ? toUtf8(log[statusShown_].text) : "(cleared)") << '\n';
    }

    const Options& options_;
    std::ostream& err_;
    ExcelStandIn host_;
    DiagnosticCapture capture_;
    AddInModule addIn_;
    std::vector<std::string> faults_;
    std::size_t uncalledCells_ = 0;
    std::size_t statusShown_ = 0;
};

int run(const Options& options, std::ostream& out, std::ostream& err) {
    const SheetLimits limits = SheetLimits::forExcel(options.excelVersion);
    std::optional<SheetFile> sheet;
    if (!options.list) sheet = readSheetFile(options.files[1], limits);  // bad input stops before loading
    Session session(options, err);
    session.open();
    if (options.list) {
        if (const std::optional<std::string> name = session.addInName()) out << "Add-in: " << *name << '\n';
        printRegistrations(out, session.registry());
        return session.close() ? xllhostSucceeded : xllhostAddInFaults;
    }
    std::optional<EvaluatedSheet> evaluated;
    std::optional<SheetError> badFormula;
    try {
        evaluated = session.evaluate(*sheet, limits);
    } catch (const SheetError& error) {
        badFormula = error;  // the add-in is still closed as Excel would
    }
    const bool clean = session.close();
    if (badFormula) throw *badFormula;
    if (options.csv)
        printCsv(out, *evaluated, session.sheets());
    else
        printFormulaResults(out, *evaluated, options.fullPrecision);
    if (!clean) return xllhostAddInFaults;
    return session.uncalledCells() == 0 ? xllhostSucceeded : xllhostUncalledCells;
}

}  // namespace

int runXllHost(const std::vector<std::string>& arguments, std::ostream& out, std::ostream& err) {
    try {
        const Options options = optionsOf(arguments);
        if (options.help) {
            out << xllhostHelp;
            return xllhostSucceeded;
        }
        if (options.version) {
            out << "xllhost " << XLLHOST_VERSION << '\n';
            return xllhostSucceeded;
        }
        return run(options, out, err);
    } catch (const UsageError& usage) {
        err << "xllhost: " << usage.message << " (xllhost --help explains)\n";
    } catch (const std::exception& error) {
        // SheetError and AddInLoadError, and a file system or memory failure: one message, no crash.
        err << "xllhost: " << error.what() << '\n';
    }
    return xllhostBadInput;
}

}  // namespace xlhost
