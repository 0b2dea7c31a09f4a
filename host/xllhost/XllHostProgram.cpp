#include "XllHostProgram.h"

#include "AddInModule.h"
#include "BuiltinFunctions.h"
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
#include <optional>
#include <ostream>

namespace xlhost {

const char* const xllhostHelp = R"(usage: xllhost [--excel N] ADDIN --list
       xllhost [--excel N] [--csv] [--full] [--debug] ADDIN SHEET
       xllhost --version

Plays Excel for one add-in: loads ADDIN, opens it (xlAutoOpen), lists what it registered or
evaluates SHEET, closes it (xlAutoClose) and reports any Excel memory it did not give back.

  --excel N   the Excel version to play (default 12): 12 and newer pass Excel 12 records,
              older ones Excel 4 records and a 65536 x 256 sheet (and have no MdCallBack12)
  --list      the add-in's name as Excel's Add-in Manager lists it, the registered functions
              as Excel's Insert Function dialog shows them, then the commands (macro type 2),
              which the dialog does not show
  --csv       the whole used sheet as CSV (full precision, texts quoted) instead of blocks
  --full      numbers at full precision (the shortest form that reads back exactly)
  --debug     the add-in's diagnostic lines, its status-bar texts and every worksheet call
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
Formulas run top to bottom and see the lines above them; array results spill from their cell
(#SPILL! when a cell in the way is filled). Unknown functions give #NAME?, a null result #NUM!.
Excel's functions xllhost computes itself (before the add-in's of the same name): ABS, COLUMNS,
IF, IFERROR, INDEX, ISERROR, MAX, MDETERM, MIN, MINVERSE, MMULT, MUNIT, RAND, ROUND, ROWS, SUM,
TRANSPOSE. A blank cell a formula reads shows 0; an add-in's result shows as it is.
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
reported as FILE:LINE: message; 3 some cell shows #XLLHOST! (and the add-in broke no rule).
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
        return evaluateSheet(
            sheet, host_.sheets(), limits_,
            [this, &sheet](const SheetEntry& formula) { return evaluateCell(sheet, formula); },
            [this, &sheet](const SheetEntry& command) { return runCommand(sheet, command); });
    }

    // Closes the add-in and reports the faults left and what xllhost answered in Excel's place;
    // true when the add-in made no faults.
    bool close() {
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

    Value evaluateCell(const SheetFile& sheet, const SheetEntry& formula) {
        CellContext context(*this, sheet, formula);
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
        const std::size_t parameters = typeText ? typeText->arguments.size() : 0;
        if (arguments.size() > parameters)
            throw SheetError(sheet.path, formula.line,
                             function + " takes " + std::to_string(parameters) +
                                 (parameters == 1 ? " argument, not " : " arguments, not ") +
                                 std::to_string(arguments.size()));
        const ExcelStandIn::CallerScope caller(host_, Caller::cellFormula(formula.target));
        WorksheetCall call = addIn_.call(*registration, arguments, host_);
        const std::string where = sheet.path + ":" + std::to_string(formula.line) + ": ";
        if (options_.debug && !call.trace.empty()) err_ << "call: " << call.trace << '\n';
        showMessages();
        if (!call.limitation.empty()) {
            err_ << "xllhost: " << where << function << " gives " << cellText(call.shown, false) << ": "
                 << call.limitation << '\n';
            ++uncalledCells_;
        }
        for (const std::string& fault : call.faults)
            faults_.record(FaultKind::BrokenCall, where + function + " " + fault);
        return call.shown;
    }

    // A registered function the add-in had Excel call (xlUDF, or a formula it had evaluated).
    Value callFromAddIn(const Registration& function, const std::vector<Value>& arguments) {
        std::vector<FormulaArgument> passed;
        for (const Value& argument : arguments) passed.push_back(formulaArgument(argument, host_.sheets()));
        WorksheetCall call = addIn_.call(function, passed, host_);
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
    FaultLog faults_;
    std::size_t uncalledCells_ = 0;
    std::size_t statusShown_ = 0;
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
