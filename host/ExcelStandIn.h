#ifndef HOST_EXCELSTANDIN_H
#define HOST_EXCELSTANDIN_H

// The stand-in Excel: the functions an add-in calls back into, in both record layouts, with the
// sheets behind references, the windows, the status bar, the function registry, the accounting of
// every block of memory it hands out, and a log of every call. One exists at a time; the host
// program's exports (MdCallBack12, and XLCALL32 through them) reach the current one.

#include "ArgumentRecord.h"
#include "FunctionRegistry.h"
#include "HostEntryPoints.h"
#include "HostFaults.h"
#include "HostWindows.h"
#include "MemoryLedger.h"
#include "RecordCodec.h"
#include "SheetModel.h"
#include "Value.h"

#include <functional>
#include <iosfwd>
#include <optional>
#include <string>
#include <vector>

namespace xlhost {

const char* entryName(Entry entry);

// One call into Excel as Excel saw it.
struct CallRecord {
    Entry entry;
    Layout layout;
    int function;
    std::vector<Value> arguments;  // decoded; an unreadable record appears as an invalid value
    int returnCode;
    std::optional<Value> result;   // what Excel wrote into the result record, if anything
};
std::ostream& operator<<(std::ostream& out, const CallRecord& call);

// One xlcMessage: a text shown in the status bar, or the status bar given back to Excel.
struct StatusEntry {
    bool shown;
    std::u16string text;
};
bool operator==(const StatusEntry& a, const StatusEntry& b);
std::ostream& operator<<(std::ostream& out, const StatusEntry& entry);

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
    // The add-in's full path, which xlGetName gives and xlfRegister's module must name.
    void setAddInPath(std::string path) { addInPath_ = std::move(path); }
    const std::string& addInPath() const { return addInPath_; }
    // How xlfRegister checks that the add-in exports a procedure; unchecked when not set.
    void setExportLookup(std::function<bool(const std::string& procedure)> lookup) { exportLookup_ = std::move(lookup); }

    SheetModel& sheets() { return sheets_; }
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
    const FaultLog& faults() const { return faults_; }
    void clearFaults() { faults_.clear(); }
    std::size_t outstandingAllocations() const { return ledger_.outstanding(); }
    // Records a leak fault for every block still handed out (and takes it back); returns their count.
    std::size_t checkForLeaks() { return ledger_.checkForLeaks(); }
    void report(std::ostream& out) const;

private:
    struct Answer {
        int code;
        std::optional<Value> value;
    };

    template <class L>
    int dispatch(Entry entry, int function, typename L::Record* result, int count, typename L::Record** argv);
    template <class L>
    int serve(CallRecord& call, typename L::Record* result, int count, typename L::Record** argv);
    template <class L>
    int freeRecords(CallRecord& call, int count, typename L::Record** argv);
    template <class L>
    Value takeResultOf(typename L::Record& result);

    Answer answer(int function, const std::vector<Value>& arguments, Layout layout);
    Answer coerceCall(const std::vector<Value>& arguments);
    Answer messageCall(const std::vector<Value>& arguments);
    void malformed(const CallRecord& call, std::string detail);

    std::string versionText_;
    int majorVersion_;
    std::string addInPath_ = defaultAddInPath;
    std::function<bool(const std::string&)> exportLookup_;
    FaultLog faults_;
    MemoryLedger ledger_;
    SheetModel sheets_;
    HostWindows windows_;
    FunctionRegistry registry_;
    std::vector<CallRecord> calls_;
    std::vector<StatusEntry> statusLog_;
};

}  // namespace xlhost

#endif
