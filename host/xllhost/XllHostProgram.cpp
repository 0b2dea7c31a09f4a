#include "XllHostProgram.h"

#include "AddInModule.h"
#include "BuiltinFunctions.h"
#include "CalculationThreads.h"
#include "ExcelStandIn.h"
#include "FormulaEvaluator.h"
#include "FormulaText.h"
#include "ResultPrinter.h"
#include "SheetEvaluator.h"
#include "SheetFile.h"
#include "TypeText.h"
#include "XlCall.h"

#ifndef _WIN32
#include "PlatformControl.h"
#endif

#include <algorithm>
#include <cctype>
#include <chrono>
#include <map>
#include <memory>
#include <optional>
#include <ostream>
#include <set>

namespace xlhost {

const char* const xllhostHelp = R"(usage: xllhost [--excel N] ADDIN --list
       xllhost [--excel N] [--threads N] [--async-timeout S] [--csv] [--full] [--debug] ADDIN SHEET
       xllhost --version

Plays Excel for one add-in: loads ADDIN, opens it (xlAutoOpen), lists what it registered or
evaluates SHEET, closes it (xlAutoClose) and reports any Excel memory it did not give back.

  --excel N   the Excel version to play (default 12): 12 and newer pass Excel 12 records,
              older ones Excel 4 records and a 65536 x 256 sheet (and have no MdCallBack12)
  --list      the add-in's name as Excel's Add-in Manager lists it, the registered functions
              as Excel's Insert Function dialog shows them, then the commands (macro type 2),
              which the dialog does not show
  --threads N calculate the cells of thread-safe functions ('$') whose inputs are ready on N
              threads at once, as Excel 12 and newer do (default: the machine's processors);
              all others on the main thread. The results are those of --threads 1
  --async-timeout S  how long, in seconds, to wait for an asynchronous function's result
              (X argument, given back through xlAsyncReturn) before its cell is left showing
              #GETTING_DATA (default 10; Excel 14 and newer)
  --csv       the whole used sheet as CSV (full precision, texts quoted) instead of blocks
  --full      numbers at full precision (the shortest form that reads back exactly)
  --debug     the add-in's diagnostic lines, its status-bar texts, every worksheet call (with
              the calculation thread that made it, when not the main thread) and the cells each
              calculation touched
  --version   xllhost's version
  --help      this text

SHEET is plain text, one cell or range per line ('#' starts a comment line):
  A1:B2 = 4, 2; 2, 3          values: ',' between columns, ';' between rows; numbers,
  A3 = "text", TRUE, #N/A, ,  "texts", TRUE/FALSE, errors (#VALUE!, #N/A, ...), blanks
  A4 = @data.csv              a block from a CSV file beside the sheet
  D1 = mtrx_Cholesky(A1:B2)   a formula: a function's call, or anything after a second '='
  D5 = =ROUND(D1 * 2, 3) + 1  (numbers, "texts", TRUE/FALSE, errors, {1,2;3,4}, cells,
  D6 = mtrx_Row(A1:B2, )      ranges, nested calls, empty arguments, = <> < <= > >= & + - * /
                              ^ % in Excel's order, element by element over arrays)
  run fDance                  runs the add-in's command fDance, as Excel's Run dialog does
  set A1:B2 = 1, 2; 3, 4      changes cells in its turn, as typing them in would
  recalc                      recalculates as Excel's F9 does
Formulas may read any cell, whatever the order of the lines: the formulas between two run, set
or recalc lines are calculated together, each once, in the order their inputs dictate, and shown
in line order (a formula reading the cell of a formula further down, past such a line, reads it
blank until then). Array results spill from their cell (#SPILL! when a cell in the way is filled).
Unknown functions give #NAME?, a null result #NUM!. An asynchronous function (registered with an X
argument and result type '>') is called with a handle and returns at once; its cell, and what
reads it, wait for xlAsyncReturn, from any thread, with that handle (or a row of handles and one of
results), while the other formulas are calculated. Only a formula that is the asynchronous call
alone waits; one inside a larger formula shows #XLLHOST!. Formulas that read each other in a circle show
#REF!, and standard error names their cells.
Excel's functions xllhost computes itself (before the add-in's of the same name): ABS, COLUMNS,
IF, IFERROR, INDEX, ISERROR, MAX, MDETERM, MIN, MINVERSE, MMULT, MUNIT, RAND, ROUND, ROWS, SUM,
TRANSPOSE. A blank cell a formula reads shows 0; an add-in's result shows as it is.
Control characters in result texts show as \xNN.

Recalculation, as Excel's: after a set line, what reads the changed cells is calculated again,
and so is every volatile formula (one calling RAND or a function registered with ! in its type
text) and what depends on those; a recalc line (F9) recalculates the volatile formulas and what
depends on them. Under either line xllhost shows the line, then each formula it calculated, in
line order, with its new result. After a run line, what reads the cells the command set is
recalculated silently (the formulas below see those cells). --debug lists the cells each
calculation touched.

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

Commands: a command runs with no arguments, as from a menu; under its "run" line xllhost shows
what it did, in order: "alert: TEXT" for each xlcAlert, "status: TEXT" for each status-bar
text (xlcMessage), "set A1:B2 = 1, 2; 3, 4" or "clear A1:B2" for the cells it changed with
xlSet. The lines below see those cells; the formulas above are not run again. A cell cannot
call a command, nor "run" a worksheet function. Alerts from anywhere else go to standard error.

What xllhost answers when the add-in calls Excel, as Excel 2007 and newer (or 2003) answers:
  xlCoerce, xlFree, xlGetName, xlGetHwnd, xlGetInst (fails on 64 bits), xlGetInstPtr (Excel
  2010 on), xlStack, xlAbort (no ESC pressed), xlEnableXLMsgs, xlDisableXLMsgs; xlfRegister
  (the macro type may be number-like text; a refused registration answers #VALUE!), xlfUnregister;
  xlfCaller (the formula's cell as a reference, a register id under xlUDF, else #REF!); xlSheetNm,
  xlSheetId (the one sheet, "[Book1]Sheet1"); xlfSetName (the add-in's names; a registered
  function's name stands for its register id); xlfEvaluate (the formulas of a sheet line, with references
  such as !A1 or Sheet1!A1:B2, the add-in's names and its registered functions);
  xlUDF; xlcAlert and xlcMessage; xlSet (from commands and xlAutoOpen/xlAutoClose only);
  xlfGetWorkspace (1, 2, 3, 4, 44) and xlfGetDocument (1, 2, 3, 76, 87, 88); and the menu and
  toolbar functions xlfGetBar, xlfAddMenu, xlfDeleteMenu, xlfGetToolbar, xlfAddToolbar,
  xlfDeleteToolbar (the worksheet menu bar 10 with its built-in menus; custom menus and toolbars
  by name). XLCALL32 exports XLCallVer (0x0C00; 0x0500 before Excel 12), Excel4, Excel4v and
  LPenHelper under Microsoft's ordinals 1 to 4. Anything else is answered with a failure
  (xlretInvXlfn for an unknown function, xlretFailed for an unmodelled question) and #VALUE! in
  the result, and listed once at the end as answered in Excel's place, with how often; so is
  every call of MdCallBack12 under --excel 11, answered xlretFailed as Excel 2003 would.

Exit status: 0 done; 1 the add-in leaked Excel memory or broke Excel's rules (each fault is
listed once, with how often it happened); 2 bad input (arguments, sheet, CSV or add-in file),
reported as FILE:LINE: message; 3 some cell shows #XLLHOST! (and the add-in broke no rule); 4 a
circular reference (and the add-in broke no rule); 5 an asynchronous function gave no result
within --async-timeout (and none of the above).
)";

namespace {

struct Options {
    int excelVersion = 12;
    unsigned threads = 0;        // 0: the machine's processors
    double asyncTimeout = 10.0;  // seconds
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

unsigned threadsOf(const std::string& text) {
    const bool digits = !text.empty() && text.size() <= 4 && std::all_of(text.begin(), text.end(), [](char c) {
        return std::isdigit(static_cast<unsigned char>(c));
    });
    if (!digits || std::stoi(text) < 1 || std::stoi(text) > 1024)
        throw UsageError{"--threads takes a number of threads from 1 to 1024, not '" + text + "'"};
    return unsigned(std::stoi(text));
}

double secondsOf(const std::string& text) {
    std::size_t used = 0;
    double seconds = -1.0;
    try {
        seconds = std::stod(text, &used);
    } catch (const std::exception&) {
    }
    if (text.empty() || used != text.size() || !(seconds > 0.0 && seconds <= 86400.0))
        throw UsageError{"--async-timeout takes a number of seconds above 0, at most 86400, not '" + text + "'"};
    return seconds;
}

int versionOf(const std::string& text) {
    const bool digits = !text.empty() && text.size() <= 2 && std::all_of(text.begin(), text.end(), [](char c) {
        return std::isdigit(static_cast<unsigned char>(c));
    });
    if (!digits || std::stoi(text) < 4)
        throw UsageError{"--excel takes a version number such as 11, 12 or 16, not '" + text + "'"};
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
        } else if (argument == "--threads") {
            if (++i == arguments.size()) throw UsageError{"--threads needs a number of threads"};
            options.threads = threadsOf(arguments[i]);
        } else if (argument.rfind("--threads=", 0) == 0) {
            options.threads = threadsOf(argument.substr(10));
        } else if (argument == "--async-timeout") {
            if (++i == arguments.size()) throw UsageError{"--async-timeout needs a number of seconds"};
            options.asyncTimeout = secondsOf(arguments[i]);
        } else if (argument.rfind("--async-timeout=", 0) == 0) {
            options.asyncTimeout = secondsOf(argument.substr(16));
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
        throw UsageError{options.list ? "--list takes the add-in file only"
                                      : "give the add-in file and the sheet file"};
    return options;
}

// A value as a formula argument: a reference to the active sheet's cells as that range.
FormulaArgument formulaArgument(const Value& value, const SheetModel& sheets) {
    const bool onActiveSheet = value.isSheetReference() || value.sheet() == sheets.activeSheet();
    if (value.kind() == Kind::Reference && onActiveSheet && value.areas().size() == 1)
        return FormulaArgument{value.areas().front(), Value::missing()};
    return FormulaArgument{std::nullopt, value};
}

// A block in the sheet file's own notation: ',' between columns, ';' between rows.
std::string sheetValues(const Value& block, bool fullPrecision) {
    std::string text;
    for (std::int32_t r = 0; r < block.rows(); ++r)
        for (std::int32_t c = 0; c < block.columns(); ++c) {
            const Value& cell = block.element(r, c);
            text += c > 0 ? ", " : r > 0 ? "; " : "";
            if (cell.kind() != Kind::Text) {
                text += cellText(cell, fullPrecision);
                continue;
            }
            text += '"';
            for (char ch : cellText(cell, fullPrecision)) text += ch == '"' ? std::string("\"\"") : std::string(1, ch);
            text += '"';
        }
    return text;
}

// A status-bar text as the bar shows it: up to any zero unit (an Excel 4 text may count its own).
std::string statusText(const Value& text) {
    const std::u16string& units = text.text();
    return toUtf8(units.substr(0, units.find(u'\0')));
}

// The add-in's diagnostic lines, while --debug is on. Windows hands them to a system debugger,
// which xllhost is not; elsewhere the Windows stand-in passes them on.
class DiagnosticCapture {
public:
    DiagnosticCapture(bool enabled, std::ostream& err) : enabled_(enabled) {
        if (!enabled_) return;
#ifdef _WIN32
        err << "xllhost: on Windows the add-in's diagnostic lines go to the system debugger (a debug viewer shows "
               "them)\n";
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
        : options_(options),
          err_(err),
          limits_(SheetLimits::forExcel(options.excelVersion)),
          host_(std::to_string(options.excelVersion) + ".0"),
          capture_(options.debug, err),
          addIn_(options.files[0]) {
        addIn_.traceCalls(options.debug);
        host_.setAddInPath(addIn_.windowsPath());
        host_.setExportLookup([this](const std::string& procedure) { return addIn_.exports(procedure); });
        host_.setFunctionCaller([this](const Registration& function, const std::vector<Value>& arguments) {
            return callFromAddIn(function, arguments);
        });
        host_.setFormulaReader([this](const std::u16string& formula) {
            return evaluateFormulaText(formula, host_, limits_,
                                       [this](const Registration& function, const std::vector<Value>& arguments) {
                                           return callFromAddIn(function, arguments);
                                       });
        });
        if (host_.windows().mainWindow() == nullptr)
            err_ << "xllhost: " << host_.windows().mainWindowFailure()
                 << "; playing Excel without a main window (xlGetHwnd fails, no function wizard)\n";
    }

    void open() {
        addIn_.open();
        showMessages();
    }

    EvaluatedSheet evaluate(const SheetFile& sheet) {
        SheetHooks hooks;
        hooks.run = [this, &sheet](const SheetEntry& command) { return runCommand(sheet, command); };
        hooks.isVolatile = [this](const SheetEntry& formula) {
            return callsVolatileBuiltin(*formula.formula) || callsVolatileFunction(*formula.formula);
        };
        hooks.observer = [this, &sheet](const SheetEntry* after, const Calculation& calculation) {
            showCalculation(sheet, after, calculation);
        };
        ThreadedCalculation threaded;
        if (!calculationThreads_) calculationThreads_.emplace(options_.threads > 0 ? options_.threads : machineCores());
        threaded.threads = &*calculationThreads_;
        threaded.threadSafe = [this](const SheetEntry& formula) { return callableOnThreads(*formula.formula); };
        threaded.calculate = [this, &sheet](const SheetEntry& formula, unsigned thread) {
            return calculateOnThread(sheet, formula, thread + 1);
        };
        hooks.threaded = &threaded;
        AsyncCalculation async;
        async.outstanding = [this](const SheetEntry& formula) { return awaited_.count(&formula) != 0; };
        async.arrived = [this, &sheet] { return asyncResults(sheet); };
        hooks.async = &async;
        return evaluateSheet(
            sheet, host_.sheets(), limits_,
            [this, &sheet](const SheetEntry& formula) {
                CellContext context(*this, sheet, formula);
                return evaluateCell(formula, context);
            },
            hooks);
    }

    // Closes the add-in and reports the faults left and what xllhost answered in Excel's place;
    // true when the add-in made no faults.
    bool close() {
        // Excel's threads end before the add-in goes, so no thread outlives its code.
        calculationThreads_.reset();
        addIn_.close();
        showMessages();
        host_.checkForLeaks();
        for (const Fault& fault : host_.faults().all()) faults_.record(fault.kind, fault.detail, fault.times);
        host_.clearFaults();
        if (!host_.notices().empty()) {
            err_ << "xllhost: answered in Excel's place (no fault of the add-in, but Excel may answer otherwise):\n";
            for (const Notice& notice : host_.notices().all()) err_ << "  " << notice << '\n';
        }
        if (faults_.empty()) return true;
        err_ << "xllhost: faults of the add-in (Excel memory it did not give back, rules it broke):\n";
        for (const Fault& fault : faults_.all()) err_ << "  " << fault << '\n';
        return false;
    }

    const FunctionRegistry& registry() const { return host_.registry(); }

    // The add-in's name as the Add-in Manager shows it; nothing when the add-in does not say.
    std::optional<std::string> addInName() {
        const std::optional<WorksheetCall> info = addIn_.addInManagerInfo(host_);
        if (!info) return std::nullopt;
        for (const std::string& fault : info->faults) faults_.record(FaultKind::BrokenCall, info->trace + " " + fault);
        return cellText(info->shown, false);
    }

    // Formulas xllhost could not call or whose result it could not show.
    std::size_t uncalledCells() const { return uncalledCells_; }
    std::size_t circularReferences() const { return circularReferences_; }
    std::size_t asyncTimeouts() const { return asyncTimeouts_; }
    const SheetModel& sheets() { return host_.sheets(); }

private:
    // A formula line's cells: the sheet's active sheet, its add-in calls made as Excel makes them.
    class CellContext : public FormulaContext {
    public:
        CellContext(Session& session, const SheetFile& sheet, const SheetEntry& formula)
            : session_(session), sheet_(sheet), formula_(formula) {}
        Value reference(const FormulaNode& node) override {
            return activeSheetReference(node, session_.host_.sheets(), true);
        }
        Value cells(const Area& area) override {
            const SheetModel& sheets = session_.host_.sheets();
            return *sheets.valueOf(sheets.activeSheet(), area);
        }
        Value name(const FormulaNode&) override { return Value::error(xlerrName); }  // a sheet file defines none
        std::optional<Value> call(const std::string& function, const std::vector<FormulaArgument>& arguments) override {
            return session_.call(sheet_, formula_, function, arguments);
        }

    private:
        Session& session_;
        const SheetFile& sheet_;
        const SheetEntry& formula_;
    };

    // The add-in's calls of a formula calculated on a calculation thread, kept to be reported on the
    // main thread afterwards; the sheet is only read meanwhile.
    class ThreadContext : public CellContext {
    public:
        ThreadContext(Session& session, const SheetFile& sheet, const SheetEntry& formula)
            : CellContext(session, sheet, formula), session_(session), formula_(formula) {}
        std::optional<Value> call(const std::string& function, const std::vector<FormulaArgument>& arguments) override {
            const Registration& registration = *session_.host_.registry().findFunction(function);
            calls.emplace_back(function, session_.invoke(registration, formula_, arguments));
            return calls.back().second.shown;
        }
        std::vector<std::pair<std::string, WorksheetCall>> calls;

    private:
        Session& session_;
        const SheetEntry& formula_;
    };

    // Whether a calculation thread may calculate the formula: every function it calls is a
    // built-in one that gives the same each time, or the add-in's, registered thread-safe and
    // called with no more arguments than it takes. The add-in's exports are looked up here, on the
    // main thread, so that the threads only read the module's table of them.
    bool callableOnThreads(const FormulaNode& node) {
        if (node.type == FormulaNode::Type::Call && !findBuiltin(node.text)) {
            const Registration* registration = host_.registry().findFunction(node.text);
            if (registration == nullptr) return false;
            const auto typeText = parseTypeText(registration->typeText()).typeText;
            // An asynchronous call's cell waits on the main thread.
            if (!typeText || !typeText->isThreadSafe || typeText->isAsynchronous() ||
                node.operands.size() > typeText->arguments.size())
                return false;
            for (const std::string& procedure :
                 {registration->procedure(), std::string("xlAutoFree12"), std::string("xlAutoFree")})
                addIn_.exports(procedure);
        }
        if (node.type == FormulaNode::Type::Call && callsVolatileBuiltin(node)) return false;
        return std::all_of(node.operands.begin(), node.operands.end(),
                           [this](const FormulaNode& operand) { return callableOnThreads(operand); });
    }

    std::function<Value()> calculateOnThread(const SheetFile& sheet, const SheetEntry& formula, int thread) {
        auto context = std::make_shared<ThreadContext>(*this, sheet, formula);
        auto value = std::make_shared<Value>(evaluateCell(formula, *context));
        return [this, &sheet, &formula, context, value, thread] {
            for (const auto& [function, call] : context->calls) report(sheet, formula, function, call, thread);
            return *value;
        };
    }

    // The add-in's call, on whichever thread makes it.
    WorksheetCall invoke(const Registration& registration, const SheetEntry& formula,
                         const std::vector<FormulaArgument>& arguments) {
        const ExcelStandIn::CallerScope caller(host_, Caller::cellFormula(formula.target));
        const auto typeText = parseTypeText(registration.typeText()).typeText;
        std::optional<ExcelStandIn::ThreadSafeScope> threadSafe;
        if (typeText && typeText->isThreadSafe) threadSafe.emplace();
        return addIn_.call(registration, arguments, host_);
    }

    // What the call did, reported on the main thread; `thread` is the calculation thread that made
    // it, 0 for the main thread.
    Value report(const SheetFile& sheet, const SheetEntry& formula, const std::string& function,
                 const WorksheetCall& call, int thread) {
        const std::string where = sheet.path + ":" + std::to_string(formula.line) + ": ";
        if (options_.debug && !call.trace.empty()) {
            err_ << "call: " << call.trace;
            if (thread > 0)
                err_ << " (" << cellName(formula.target.firstRow, formula.target.firstColumn)
                     << ", on calculation thread " << thread << ")";
            err_ << '\n';
        }
        showMessages();
        if (!call.limitation.empty()) {
            err_ << "xllhost: " << where << function << " gives " << cellText(call.shown, false) << ": "
                 << call.limitation << '\n';
            ++uncalledCells_;
        }
        for (const std::string& fault : call.faults)
            faults_.record(FaultKind::BrokenCall, where + function + " " + fault);
        if (call.asyncHandle) return awaitResult(formula, function, *call.asyncHandle, where);
        return call.shown;
    }

    // The cell of an asynchronous call waits for its result, when the call is the whole formula.
    Value awaitResult(const SheetEntry& formula, const std::string& function, std::uintptr_t handle,
                      const std::string& where) {
        const FormulaNode& node = *formula.formula;
        if (node.type != FormulaNode::Type::Call || !sameIgnoringCase(node.text, function) ||
            awaited_.count(&formula) != 0) {
            host_.asyncReturns().abandon(handle);
            err_ << "xllhost: " << where << function
                 << " gives #XLLHOST!: xllhost waits only for an asynchronous call that is the whole formula\n";
            ++uncalledCells_;
            return Value::error(uncalledCellError);
        }
        const auto deadline =
            std::chrono::steady_clock::now() + std::chrono::duration_cast<std::chrono::steady_clock::duration>(
                                                   std::chrono::duration<double>(options_.asyncTimeout));
        asyncCalls_.emplace(handle, AsyncCall{&formula, function, deadline});
        awaited_.insert(&formula);
        return Value::error(xlerrGettingData);
    }

    // The results of asynchronous calls that have arrived, or, when none arrives before the
    // earliest time limit, the calls past theirs, showing #GETTING_DATA.
    std::vector<std::pair<const SheetEntry*, Value>> asyncResults(const SheetFile& sheet) {
        std::vector<std::pair<const SheetEntry*, Value>> results;
        if (asyncCalls_.empty()) return results;
        auto earliest = asyncCalls_.begin()->second.deadline;
        for (const auto& [handle, call] : asyncCalls_) earliest = std::min(earliest, call.deadline);
        for (auto& [handle, result] : host_.asyncReturns().arrived(earliest)) {
            const auto found = asyncCalls_.find(handle);
            if (found == asyncCalls_.end()) continue;  // a handle given outside the sheet's formulas
            const AsyncCall call = found->second;
            asyncCalls_.erase(found);
            awaited_.erase(call.formula);
            WorksheetCall shown{Value::error(xlerrValue), {}, {}, {}};
            shown.shown = addIn_.shownInCell(result, host_, shown);
            shown.trace = call.function + " result through xlAsyncReturn -> " + describe(shown.shown);
            results.emplace_back(call.formula, report(sheet, *call.formula, call.function, shown, 0));
        }
        if (!results.empty()) return results;
        const auto now = std::chrono::steady_clock::now();
        for (auto call = asyncCalls_.begin(); call != asyncCalls_.end();) {
            if (call->second.deadline > now) {
                ++call;
                continue;
            }
            host_.asyncReturns().abandon(call->first);
            const SheetEntry& formula = *call->second.formula;
            err_ << "xllhost: " << sheet.path << ":" << formula.line << ": "
                 << cellName(formula.target.firstRow, formula.target.firstColumn) << " (" << call->second.function
                 << ") gave no result through xlAsyncReturn within " << options_.asyncTimeout
                 << " s: it shows #GETTING_DATA\n";
            ++asyncTimeouts_;
            awaited_.erase(&formula);
            results.emplace_back(&formula, Value::error(xlerrGettingData));
            call = asyncCalls_.erase(call);
        }
        return results;
    }

    Value evaluateCell(const SheetEntry& formula, FormulaContext& context) {
        const Value value = evaluateFormula(*formula.formula, context);
        // What the add-in gave shows as it is; a blank the formula read shows 0, as in Excel.
        const bool addInResult =
            formula.formula->type == FormulaNode::Type::Call && !findBuiltin(formula.formula->text);
        return addInResult ? value : blanksAsZero(value);
    }

    // The add-in's function `function`, called from the formula; nothing when it has none.
    std::optional<Value> call(const SheetFile& sheet, const SheetEntry& formula, const std::string& function,
                              const std::vector<FormulaArgument>& arguments) {
        const Registration* registration = host_.registry().findFunction(function);
        if (registration == nullptr) {
            if (host_.registry().findCommand(function) != nullptr)
                throw SheetError(
                    sheet.path, formula.line,
                    function + " is a command, which no cell can call; run it on a line of its own: run " + function);
            // #NAME? as in Excel; a refusal says why, which Excel would not.
            for (const Registration& refused : host_.registry().registrations())
                if (!refused.accepted() && sameIgnoringCase(refused.functionName(), function))
                    err_ << "xllhost: " << sheet.path << ":" << formula.line << ": " << function
                         << " was not registered: " << refused.rejection << '\n';
            return std::nullopt;
        }
        const auto typeText = parseTypeText(registration->typeText()).typeText;
        // An asynchronous function's handle argument is Excel's, not the formula's.
        const std::size_t parameters =
            typeText ? std::size_t(std::count_if(typeText->arguments.begin(), typeText->arguments.end(),
                                                 [](const TypeCode& code) { return code.letter != 'X'; }))
                     : 0;
        if (arguments.size() > parameters)
            throw SheetError(sheet.path, formula.line,
                             function + " takes " + std::to_string(parameters) +
                                 (parameters == 1 ? " argument, not " : " arguments, not ") +
                                 std::to_string(arguments.size()));
        return report(sheet, formula, function, invoke(*registration, formula, arguments), 0);
    }

    // A registered function the add-in had Excel call (xlUDF, or a formula it had evaluated).
    Value callFromAddIn(const Registration& function, const std::vector<Value>& arguments) {
        std::vector<FormulaArgument> passed;
        for (const Value& argument : arguments) passed.push_back(formulaArgument(argument, host_.sheets()));
        WorksheetCall call = addIn_.call(function, passed, host_);
        // The add-in asked for the value now: an asynchronous function's result, coming later, is
        // not waited for.
        if (call.asyncHandle) host_.asyncReturns().abandon(*call.asyncHandle);
        if (options_.debug && !call.trace.empty()) err_ << "call: " << call.trace << " (for the add-in)\n";
        const std::string where = "a call of " + function.functionName() + " the add-in asked for: ";
        if (!call.limitation.empty()) err_ << "xllhost: " << where << call.limitation << '\n';
        for (const std::string& fault : call.faults) faults_.record(FaultKind::BrokenCall, where + fault);
        return call.shown;
    }

    CommandRun runCommand(const SheetFile& sheet, const SheetEntry& line) {
        const Registration* command = host_.registry().findCommand(line.function);
        if (command == nullptr)
            throw SheetError(sheet.path, line.line,
                             line.function + (host_.registry().findFunction(line.function) != nullptr
                                                  ? " is a worksheet function, not a command"
                                                  : " is no command the add-in registered"));
        const std::size_t callsBefore = host_.calls().size();
        std::size_t alert = host_.alerts().size();
        std::size_t cells = host_.cellsSet().size();
        std::vector<std::string> faults;
        {
            const ExcelStandIn::CallerScope caller(host_, Caller::command());
            faults = addIn_.runCommand(*command);
        }
        const std::string where = sheet.path + ":" + std::to_string(line.line) + ": ";
        for (const std::string& fault : faults)
            faults_.record(FaultKind::BrokenCall, where + line.function + " " + fault);
        // What a user would have seen, in order: dialogs, the status bar, cells changing.
        CommandRun run;
        for (std::size_t i = callsBefore; i < host_.calls().size(); ++i) {
            const CallRecord& call = host_.calls()[i];
            if (call.returnCode != xlretSuccess) continue;
            if (call.function == xlcAlert && call.arguments[0].kind() != Kind::Error) {  // an error shows nothing
                run.effects.push_back("alert: " + toUtf8(host_.alerts()[alert++]));
            } else if (call.function == xlcMessage) {
                const bool shown = call.arguments[0].boolean();
                run.effects.push_back("status: " + (shown ? statusText(call.arguments[1]) : std::string("(cleared)")));
            } else if (call.function == xlSet) {
                const CellsSet& set = host_.cellsSet()[cells++];
                Value block = *host_.sheets().valueOf(set.sheet, set.area);
                if (block.kind() != Kind::Array) block = Value::array(1, 1, {block});
                const bool cleared = std::all_of(block.elements().begin(), block.elements().end(),
                                                 [](const Value& cell) { return cell.kind() == Kind::Nil; });
                run.effects.push_back(cleared ? "clear " + rangeName(set.area)
                                              : "set " + rangeName(set.area) + " = " +
                                                    sheetValues(block, options_.fullPrecision));
                if (set.sheet == host_.sheets().activeSheet()) run.cellsSet.push_back(set.area);
            }
        }
        if (run.effects.empty()) run.effects.push_back("(nothing to see)");
        alertsShown_ = host_.alerts().size();
        statusShown_ = host_.statusLog().size();
        return run;
    }

    // Whether the formula calls one of the add-in's functions registered volatile ('!').
    bool callsVolatileFunction(const FormulaNode& node) const {
        if (node.type == FormulaNode::Type::Call && !findBuiltin(node.text)) {
            const Registration* registration = host_.registry().findFunction(node.text);
            const auto typeText =
                registration != nullptr ? parseTypeText(registration->typeText()).typeText : std::nullopt;
            if (typeText && typeText->isVolatile) return true;
        }
        return std::any_of(node.operands.begin(), node.operands.end(),
                           [this](const FormulaNode& operand) { return callsVolatileFunction(operand); });
    }

    // Each circular reference, as Excel warns of one; with --debug, the cells each calculation touched.
    void showCalculation(const SheetFile& sheet, const SheetEntry* after, const Calculation& calculation) {
        const auto cellOf = [&sheet](std::size_t formula) { return rangeName(sheet.entries[formula].target); };
        for (const std::vector<std::size_t>& cycle : calculation.cycles) {
            ++circularReferences_;
            err_ << "xllhost: " << sheet.path << ":" << sheet.entries[cycle.front()].line << ": circular reference: ";
            if (cycle.size() == 1) {
                err_ << cellOf(cycle.front()) << " reads itself; it shows #REF!\n";
                continue;
            }
            for (std::size_t formula : cycle)
                err_ << (formula == cycle.front() ? "" : ", ") << cellOf(formula) << " (line "
                     << sheet.entries[formula].line << ")";
            err_ << " read each other; they show #REF!\n";
        }
        if (!options_.debug) return;
        err_ << "calculated";
        if (after != nullptr) err_ << " after line " << after->line << " (" << after->formulaText << ")";
        err_ << ":";
        for (std::size_t formula : calculation.calculated) err_ << ' ' << cellOf(formula);
        if (calculation.calculated.empty()) err_ << " nothing";
        err_ << '\n';
    }

    // The add-in's alerts as Excel would show them, and with --debug its status-bar texts.
    void showMessages() {
        const auto& alerts = host_.alerts();
        for (; alertsShown_ < alerts.size(); ++alertsShown_) err_ << "alert: " << toUtf8(alerts[alertsShown_]) << '\n';
        const auto& log = host_.statusLog();
        for (; statusShown_ < log.size(); ++statusShown_)
            if (options_.debug)
                err_ << "status: " << (log[statusShown_].shown ? toUtf8(log[statusShown_].text) : "(cleared)") << '\n';
    }

    const Options& options_;
    std::ostream& err_;
    SheetLimits limits_;
    ExcelStandIn host_;
    DiagnosticCapture capture_;
    AddInModule addIn_;
    std::optional<CalculationThreads> calculationThreads_;  // destroyed before the add-in
    FaultLog faults_;
    std::size_t uncalledCells_ = 0;
    std::size_t circularReferences_ = 0;
    std::size_t statusShown_ = 0;
    struct AsyncCall {
        const SheetEntry* formula;
        std::string function;
        std::chrono::steady_clock::time_point deadline;
    };
    std::map<std::uintptr_t, AsyncCall> asyncCalls_;  // by handle
    std::set<const SheetEntry*> awaited_;             // the formulas whose results are to come
    std::size_t asyncTimeouts_ = 0;
    std::size_t alertsShown_ = 0;
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
        evaluated = session.evaluate(*sheet);
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
    if (session.circularReferences() != 0) return xllhostCircularReference;
    if (session.uncalledCells() != 0) return xllhostUncalledCells;
    return session.asyncTimeouts() == 0 ? xllhostSucceeded : xllhostAsyncTimeout;
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
