#ifndef HOST_EXCELSTANDIN_H
#define HOST_EXCELSTANDIN_H

// The stand-in Excel: the functions an add-in calls back into, in both record layouts, with the
// sheets behind references, the windows, the status bar, alerts, menus and toolbars, the function
// registry and the add-in's names, the accounting of every block of memory it hands out, and a
// log of every call. One exists at a time; the host program's exports (MdCallBack12, and XLCALL32
// through them) reach the current one.

#include "ArgumentRecord.h"
#include "AsyncReturns.h"
#include "CallRecord.h"
#include "Caller.h"
#include "CommandBars.h"
#include "FunctionRegistry.h"
#include "HostEntryPoints.h"
#include "HostFaults.h"
#include "HostWindows.h"
#include "MemoryLedger.h"
#include "RecordCodec.h"
#include "RecursiveLock.h"
#include "SheetModel.h"
#include "Value.h"

#include <functional>
#include <iosfwd>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace xlhost {

// One xlcMessage: a text shown in the status bar, or the status bar given back to Excel.
struct StatusEntry {
    bool shown;
    std::u16string text;
};
bool operator==(const StatusEntry& a, const StatusEntry& b);
std::ostream& operator<<(std::ostream& out, const StatusEntry& entry);

// Cells a command set with xlSet, in the order it set them.
struct CellsSet {
    SheetId sheet;
    Area area;
};

class ExcelStandIn {
public:
    static constexpr const char* defaultAddInPath = "C:\\AddIns\\MatrixFunctions.xll";

    // Becomes the current host; throws std::logic_error while another one exists. Runs without a
    // main window where none can be created (see windows()).
    explicit ExcelStandIn(std::string versionText = "12.0");
    // Checks for leaks, reports every fault not cleared to standard error, stops being current.
    ~ExcelStandIn();
    ExcelStandIn(const ExcelStandIn&) = delete;
    ExcelStandIn& operator=(const ExcelStandIn&) = delete;

    static ExcelStandIn* current();

    // ---- configuration
    // The text xlfGetWorkspace(2) gives: "12.0", "16.0", "11.0", ... Its leading number is the
    // major version, which also decides what an older Excel lacks: MdCallBack12 and the Excel 12
    // registration codes before 12, more than 30 arguments per call before 12.
    void setVersion(std::string versionText);
    const std::string& versionText() const { return versionText_; }
    int majorVersion() const { return majorVersion_; }
    // What XLCallVer answers: the C API's version, 0x0C00 from Excel 2007 on and 0x0500 before,
    // the same for every earlier Excel.
    int callVersion() const { return majorVersion_ >= 12 ? 0x0C00 : 0x0500; }
    // The add-in's full path, which xlGetName gives and xlfRegister's module must name.
    void setAddInPath(std::string path) { addInPath_ = std::move(path); }
    const std::string& addInPath() const { return addInPath_; }
    // How xlfRegister checks that the add-in exports a procedure; unchecked when not set.
    void setExportLookup(std::function<bool(const std::string& procedure)> lookup) {
        exportLookup_ = std::move(lookup);
    }
    // How Excel calls a registered function for xlUDF (and a formula xlfEvaluate reads): what the
    // cell would show. Without it such calls are answered as not modelled.
    using FunctionCaller = std::function<Value(const Registration& function, const std::vector<Value>& arguments)>;
    void setFunctionCaller(FunctionCaller caller) { functionCaller_ = std::move(caller); }
    // How xlfEvaluate reads a formula text: the value, or nothing for a text the reader does not
    // understand (which is then answered as not modelled, as it is when there is no reader).
    using FormulaReader = std::function<std::optional<Value>(const std::u16string& formula)>;
    void setFormulaReader(FormulaReader reader) { formulaReader_ = std::move(reader); }

    // What Excel is running now on the calling thread; the previous caller comes back when the
    // scope ends. Each calculation thread has its own.
    class CallerScope {
    public:
        CallerScope(ExcelStandIn& host, Caller caller);
        ~CallerScope();
        CallerScope(const CallerScope&) = delete;
        CallerScope& operator=(const CallerScope&) = delete;

    private:
        Caller previous_;
    };
    const Caller& caller() const;

    // While it lives, the calling thread runs a function registered thread-safe ('$'): the
    // callbacks Excel runs only on its main thread are refused with Excel's codes (see
    // threadSafeRefusal), whichever thread calls.
    class ThreadSafeScope {
    public:
        ThreadSafeScope();
        ~ThreadSafeScope();
        ThreadSafeScope(const ThreadSafeScope&) = delete;
        ThreadSafeScope& operator=(const ThreadSafeScope&) = delete;

    private:
        bool previous_;
    };
    static bool inThreadSafeFunction();

    // The workbook's name, as xlSheetNm and xlfGetDocument give it.
    static constexpr const char* workbookName = "Book1";
    // The value a name defined for the add-in (xlfSetName, or a registered function's name, which
    // stands for its register id) has now: a reference gives its cells' values. Nothing for no such name.
    std::optional<Value> nameValue(const std::u16string& name) const;

    SheetModel& sheets() { return sheets_; }
    const SheetModel& sheets() const { return sheets_; }
    HostWindows& windows() { return windows_; }

    // ---- Excel's doors: what XLCALL32 and MdCallBack12 forward to
    int excel4(Entry entry, int function, XLOPER* result, int count, XLOPER** argv);
    int excel12(Entry entry, int function, XLOPER12* result, int count, XLOPER12** argv);
    // A result record's value, after which its memory goes back through xlFree (a Direct call).
    Value takeResult(XLOPER& result);
    Value takeResult(XLOPER12& result);

    // ---- what happened
    const std::vector<CallRecord>& calls() const { return calls_; }
    std::vector<CallRecord> callsTo(int function) const;
    void clearCalls() { calls_.clear(); }
    const std::vector<StatusEntry>& statusLog() const { return statusLog_; }
    // The log keeps each text exactly as sent; the status bar shows it up to any zero unit (an
    // Excel 4 text may count its closing zero). Nothing when the status bar is Excel's own.
    std::optional<std::u16string> statusBar() const;
    const FunctionRegistry& registry() const { return registry_; }
    // The texts of every xlcAlert, in order: Excel would have shown each in a dialog.
    const std::vector<std::u16string>& alerts() const { return alerts_; }
    const std::vector<CellsSet>& cellsSet() const { return cellsSet_; }
    const FaultLog& faults() const { return faults_; }
    // The asynchronous calls out, whose results xlAsyncReturn gives from any thread.
    AsyncReturns& asyncReturns() { return asyncReturns_; }
    void clearFaults() { faults_.clear(); }
    // What the stand-in answered in Excel's place without the add-in being at fault.
    const NoticeLog& notices() const { return notices_; }
    std::size_t outstandingAllocations() const { return ledger_.outstanding(); }
    // Records a leak fault for every block still handed out (and takes it back); returns their count.
    std::size_t checkForLeaks() { return ledger_.checkForLeaks(); }
    void report(std::ostream& out) const;

private:
    struct Answer {
        int code;
        std::optional<Value> value;
    };
    // A function or a question the stand-in does not model: a notice, and an error in the result so
    // that an add-in that frees it regardless does no harm.
    Answer notModelled(int code, const std::string& what);

    // The dispatcher (CallbackDispatch.cpp): records in, the answer out, every call logged.
    template <class L>
    int dispatch(Entry entry, int function, typename L::Record* result, int count, typename L::Record** argv);
    template <class L>
    int serve(CallRecord& call, typename L::Record* result, int count, typename L::Record** argv);
    template <class L>
    int freeRecords(CallRecord& call, int count, typename L::Record** argv);
    template <class L>
    Value takeResultOf(typename L::Record& result);

    Answer answer(int function, const std::vector<Value>& arguments, Layout layout);
    // Excel's code for a callback a thread-safe function may not make, or nothing.
    std::optional<int> threadSafeRefusal(int function, const std::vector<Value>& arguments) const;
    void malformed(const CallRecord& call, std::string detail);

    // What Excel tells of itself and its sheets (WorkspaceCallbacks.cpp).
    Answer workspaceCall(const std::vector<Value>& arguments);
    Answer documentCall(const std::vector<Value>& arguments);
    Answer callerCall() const;
    Answer sheetNameCall(const std::vector<Value>& arguments) const;
    Answer sheetIdCall(const std::vector<Value>& arguments) const;
    Answer instanceCall(int function, Layout layout) const;
    Answer asyncReturnCall(const std::vector<Value>& arguments, Layout layout);
    std::string sheetTitle(SheetId sheet) const;
    std::optional<SheetId> sheetOf(const Value& reference) const;
    // Registered functions, the add-in's names, and calls through them (NameCallbacks.cpp).
    Answer registerCall(const std::vector<Value>& arguments, Layout layout);
    Answer setNameCall(const std::vector<Value>& arguments);
    Answer evaluateCall(const std::vector<Value>& arguments);
    Answer udfCall(const std::vector<Value>& arguments);
    // Cells read and written (CellCallbacks.cpp).
    Answer coerceCall(const std::vector<Value>& arguments);
    Answer setCall(const std::vector<Value>& arguments);
    // The status bar, alerts, menus and toolbars (InterfaceCallbacks.cpp).
    Answer messageCall(const std::vector<Value>& arguments);
    Answer alertCall(const std::vector<Value>& arguments);
    Answer menuCall(int function, const std::vector<Value>& arguments);

    // The state the answers come from (ExcelStandIn.cpp: its life, configuration and logs).
    std::string versionText_;
    int majorVersion_;
    std::string addInPath_ = defaultAddInPath;
    std::function<bool(const std::string&)> exportLookup_;
    FunctionCaller functionCaller_;
    FormulaReader formulaReader_;
    // Held for each callback, whole: calculation threads call back at once, and every answer may
    // read or change the state below.
    RecursiveLock callbacks_;
    FaultLog faults_;
    NoticeLog notices_;
    MemoryLedger ledger_;
    AsyncReturns asyncReturns_;
    SheetModel sheets_;
    HostWindows windows_;
    FunctionRegistry registry_;
    CommandBars commandBars_;
    std::map<std::u16string, Value> names_;  // by upper-case name: Excel's names ignore case
    std::vector<CallRecord> calls_;
    std::vector<StatusEntry> statusLog_;
    std::vector<std::u16string> alerts_;
    std::vector<CellsSet> cellsSet_;
};

}  // namespace xlhost

#endif
