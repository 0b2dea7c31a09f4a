// A small add-in for the xllhost tests, independent of the matrix add-in: it registers a few
// functions in the layout of the Excel it finds (Q/U codes under Excel 12 and newer, P/R before),
// shows what reaches it, spills arrays, returns null, and can leak Excel's memory on purpose; and
// a command that marks A1 and says so.

#include "WinApi.h"
#include "XlCall.h"

#include <cstdio>
#include <cstdlib>
#include <string>

#if defined(_WIN32)
#define PROBE_EXPORT extern "C" __declspec(dllexport)
#else
#define PROBE_EXPORT extern "C" __attribute__((visibility("default")))
#endif

namespace {

// Found at run time, as add-ins find Excel: XLCALL32's export by its plain name.
int callExcel(int function, XLOPER* result, int count, XLOPER** argv) {
    static const FARPROC found = GetProcAddress(LoadLibraryA("XLCALL32.DLL"), "Excel4v");
    if (found == nullptr) return xlretFailed;
    return reinterpret_cast<Excel4vFunction>(reinterpret_cast<void (*)()>(found))(function, result, count, argv);
}

int callExcel(int function, XLOPER12* result, int count, XLOPER12** argv) {
    const FARPROC found = GetProcAddress(GetModuleHandleA(nullptr), "MdCallBack12");
    if (found == nullptr) return xlretFailed;
    return reinterpret_cast<MdCallBack12Function>(reinterpret_cast<void (*)()>(found))(function, count, argv, result);
}

template <class Record>
struct TextUnit;
template <>
struct TextUnit<XLOPER> {
    using type = char;
};
template <>
struct TextUnit<XLOPER12> {
    using type = XCHAR;
};

// Result records live here until the next call, as an add-in's usually do.
template <class Record>
struct ResultStore {
    using Unit = typename TextUnit<Record>::type;
    static Record record;
    static Record elements[64];
    static Unit text[256];
};
template <class Record>
Record ResultStore<Record>::record;
template <class Record>
Record ResultStore<Record>::elements[64];
template <class Record>
typename ResultStore<Record>::Unit ResultStore<Record>::text[256];

template <class Record>
Record* textResult(const std::string& text) {
    using Store = ResultStore<Record>;
    const std::size_t length = text.size() < 255 ? text.size() : 255;
    Store::text[0] = static_cast<typename Store::Unit>(length);
    for (std::size_t i = 0; i < length; ++i)
        Store::text[i + 1] = static_cast<typename Store::Unit>(static_cast<unsigned char>(text[i]));
    Store::record.xltype = xltypeStr;
    Store::record.val.str = Store::text;
    return &Store::record;
}

template <class Record>
Record* numberResult(double number) {
    ResultStore<Record>::record.xltype = xltypeNum;
    ResultStore<Record>::record.val.num = number;
    return &ResultStore<Record>::record;
}

template <class Record>
std::string describe(const Record* value) {
    if (value == nullptr) return "null";
    char text[128];
    switch (value->xltype & 0xFFF) {
        case xltypeNum:
            std::snprintf(text, sizeof text, "num %g", value->val.num);
            return text;
        case xltypeStr: {
            std::string s = "str ";
            for (int i = 1; i <= int(value->val.str[0]); ++i) s.push_back(char(value->val.str[i]));
            return s;
        }
        case xltypeBool:
            return value->val.xbool ? "bool TRUE" : "bool FALSE";
        case xltypeErr:
            return "err " + std::to_string(int(value->val.err));
        case xltypeMulti: {
            std::string s = "multi " + std::to_string(int(value->val.array.rows)) + "x" +
                            std::to_string(int(value->val.array.columns));
            const int count = int(value->val.array.rows) * int(value->val.array.columns);
            for (int i = 0; i < count; ++i) s += (i == 0 ? ": " : ", ") + describe(&value->val.array.lparray[i]);
            return s;
        }
        case xltypeMissing:
            return "missing";
        case xltypeNil:
            return "nil";
        case xltypeSRef:
            std::snprintf(text, sizeof text, "sref R%dC%d:R%dC%d", int(value->val.sref.ref.rwFirst) + 1,
                          int(value->val.sref.ref.colFirst) + 1, int(value->val.sref.ref.rwLast) + 1,
                          int(value->val.sref.ref.colLast) + 1);
            return text;
        default:
            return "type " + std::to_string(int(value->xltype));
    }
}

// rows x columns of (row*10 + column), 1-based; null for no rows.
template <class Record>
Record* grid(double rows, double columns) {
    using Store = ResultStore<Record>;
    const int r = int(rows), c = int(columns);
    if (r <= 0 || c <= 0 || r * c > 64) return nullptr;
    for (int i = 0; i < r * c; ++i) {
        Store::elements[i].xltype = xltypeNum;
        Store::elements[i].val.num = (i / c + 1) * 10 + (i % c + 1);
    }
    Store::record.xltype = xltypeMulti;
    Store::record.val.array.lparray = Store::elements;
    Store::record.val.array.rows = r;
    Store::record.val.array.columns = c;
    return &Store::record;
}

// The sum of the numbers in a reference, read through xlCoerce and given back with xlFree.
template <class Record>
Record* sum(Record* reference) {
    Record values{};
    Record wanted{};
    wanted.xltype = xltypeInt;
    wanted.val.w = xltypeMulti;
    Record* argv[] = {reference, &wanted};
    if (callExcel(xlCoerce, &values, 2, argv) != xlretSuccess) return textResult<Record>("coerce failed");
    double total = 0.0;
    for (int i = 0; i < int(values.val.array.rows) * int(values.val.array.columns); ++i)
        if (values.val.array.lparray[i].xltype == xltypeNum) total += values.val.array.lparray[i].val.num;
    Record* freed[] = {&values};
    callExcel(xlFree, nullptr, 1, freed);
    return numberResult<Record>(total);
}

// Asks Excel for the add-in's name and never gives the text back.
template <class Record>
Record* leak() {
    Record name{};
    callExcel(xlGetName, &name, 0, nullptr);
    return numberResult<Record>(1.0);
}

struct Narrow {
    XLOPER record{};
    char text[256];
    explicit Narrow(const char* value) {
        const std::size_t length = std::string(value).size();
        text[0] = char(length);
        for (std::size_t i = 0; i < length; ++i) text[i + 1] = value[i];
        record.xltype = xltypeStr;
        record.val.str = text;
    }
};

int excelVersion() {
    XLOPER two{};
    two.xltype = xltypeNum;
    two.val.num = 2;
    XLOPER version{};
    XLOPER* argv[] = {&two};
    if (callExcel(xlfGetWorkspace, &version, 1, argv) != xlretSuccess) return 0;
    const std::string text(version.val.str + 1, std::size_t(static_cast<unsigned char>(version.val.str[0])));
    XLOPER* freed[] = {&version};
    callExcel(xlFree, nullptr, 1, freed);
    return std::atoi(text.c_str());
}

void showStatus(const char* text) {
    XLOPER show{};
    show.xltype = xltypeBool;
    show.val.xbool = text != nullptr;
    Narrow message(text != nullptr ? text : "");
    XLOPER* argv[] = {&show, &message.record};
    callExcel(xlcMessage, nullptr, text != nullptr ? 2 : 1, argv);
}

void registerFunction(const std::string& module, const char* procedure, const char* typeText, const char* name,
                      const char* arguments, const char* help, const char* argumentHelp,
                      const char* macroType = nullptr) {
    Narrow texts[] = {Narrow(module.c_str()), Narrow(procedure),   Narrow(typeText),
                      Narrow(name),           Narrow(arguments),   Narrow(macroType != nullptr ? macroType : ""),
                      Narrow("Probe"),        Narrow(""),          Narrow(""),
                      Narrow(help),           Narrow(argumentHelp)};
    if (macroType == nullptr) {  // a function, by number; a command's type comes as text
        texts[5].record.xltype = xltypeNum;
        texts[5].record.val.num = 1;
    }
    XLOPER* argv[11];
    for (int i = 0; i < 11; ++i) argv[i] = &texts[i].record;
    XLOPER id{};
    callExcel(xlfRegister, &id, argumentHelp[0] != '\0' ? 11 : 10, argv);
}

}  // namespace

PROBE_EXPORT XLOPER12* XLCALL_STDCALL probe_Describe12(XLOPER12* value) {
    return textResult<XLOPER12>(describe(value));
}
PROBE_EXPORT XLOPER* XLCALL_STDCALL probe_Describe4(XLOPER* value) {
    return textResult<XLOPER>(describe(value));
}
PROBE_EXPORT XLOPER12* XLCALL_STDCALL probe_Grid12(double rows, double columns) {
    return grid<XLOPER12>(rows, columns);
}
PROBE_EXPORT XLOPER* XLCALL_STDCALL probe_Grid4(double rows, double columns) {
    return grid<XLOPER>(rows, columns);
}
PROBE_EXPORT XLOPER12* XLCALL_STDCALL probe_Sum12(XLOPER12* reference) {
    return sum(reference);
}
PROBE_EXPORT XLOPER* XLCALL_STDCALL probe_Sum4(XLOPER* reference) {
    return sum(reference);
}
PROBE_EXPORT XLOPER12* XLCALL_STDCALL probe_Leak12() {
    return leak<XLOPER12>();
}
PROBE_EXPORT XLOPER* XLCALL_STDCALL probe_Leak4() {
    return leak<XLOPER>();
}

// Sets A1 to "marked" and tells with an alert.
PROBE_EXPORT int XLCALL_STDCALL probe_Mark() {
    XLOPER a1{};
    a1.xltype = xltypeSRef;
    a1.val.sref.count = 1;
    Narrow marked("marked");
    XLOPER* set[] = {&a1, &marked.record};
    callExcel(xlSet, nullptr, 2, set);
    Narrow alert("Marked");
    XLOPER* argv[] = {&alert.record};
    callExcel(xlcAlert, nullptr, 1, argv);
    return 1;
}

PROBE_EXPORT int XLCALL_STDCALL xlAutoOpen() {
    if (IsDebuggerPresent()) OutputDebugStringA("probe: opening\n");
    XLOPER name{};
    callExcel(xlGetName, &name, 0, nullptr);
    const std::string module(name.val.str + 1, std::size_t(static_cast<unsigned char>(name.val.str[0])));
    XLOPER* freed[] = {&name};
    callExcel(xlFree, nullptr, 1, freed);
    showStatus("Registering probe...");
    const bool excel12 = excelVersion() >= 12;
    registerFunction(module, excel12 ? "probe_Describe12" : "probe_Describe4", excel12 ? "QQ" : "PP", "probe_Describe",
                     "value", " What reaches the add-in ", " any value ");
    registerFunction(module, excel12 ? "probe_Grid12" : "probe_Grid4", excel12 ? "QBB" : "PBB", "probe_Grid",
                     "rows,columns", " A block of numbers ", " row count ");
    registerFunction(module, excel12 ? "probe_Sum12" : "probe_Sum4", excel12 ? "QU" : "PR", "probe_Sum", "cells",
                     " Sum through xlCoerce ", " a range ");
    registerFunction(module, excel12 ? "probe_Leak12" : "probe_Leak4", excel12 ? "Q" : "P", "probe_Leak", "",
                     " Keeps Excel's memory ", "");
    registerFunction(module, "probe_Missing", "QQ", "probe_Missing", "value", " Not exported ", " any value ");
    registerFunction(module, "probe_Mark", "J", "probe_Mark", "", "", "", "2");
    showStatus(nullptr);
    return 1;
}

PROBE_EXPORT int XLCALL_STDCALL xlAutoClose() {
    if (IsDebuggerPresent()) OutputDebugStringA("probe: closing\n");
    return 1;
}
