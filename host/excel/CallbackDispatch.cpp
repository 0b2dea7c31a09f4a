// The stand-in's doors: records decoded, the call answered by its family, the answer encoded
// into memory the ledger hands out, xlFree taken apart record by record; every call logged.

#include "CallbackSupport.h"
#include "ExcelStandIn.h"
#include "TypeText.h"
#include "XlCall.h"

#include <string>
#include <utility>

namespace xlhost {

namespace {

std::uint32_t typeOf(std::uint32_t typeWord) {
    return typeWord & ~(xlbitXLFree | xlbitDLLFree);
}

bool holdsMemory(std::uint32_t typeWord) {
    const std::uint32_t type = typeOf(typeWord);
    return type == xltypeStr || type == xltypeMulti || type == xltypeRef;
}

}  // namespace

int ExcelStandIn::excel4(Entry entry, int function, XLOPER* result, int count, XLOPER** argv) {
    return dispatch<Layout4>(entry, function, result, count, argv);
}

int ExcelStandIn::excel12(Entry entry, int function, XLOPER12* result, int count, XLOPER12** argv) {
    return dispatch<Layout12>(entry, function, result, count, argv);
}

Value ExcelStandIn::takeResult(XLOPER& result) {
    return takeResultOf<Layout4>(result);
}
Value ExcelStandIn::takeResult(XLOPER12& result) {
    return takeResultOf<Layout12>(result);
}

template <class L>
Value ExcelStandIn::takeResultOf(typename L::Record& result) {
    Value value = RecordCodec<L>::decode(result);
    typename L::Record* freed[] = {&result};
    dispatch<L>(Entry::Direct, xlFree, nullptr, 1, freed);
    return value;
}

template <class L>
int ExcelStandIn::dispatch(Entry entry, int function, typename L::Record* result, int count,
                           typename L::Record** argv) {
    const RecursiveLock::Hold hold(callbacks_);
    CallRecord call{entry, L::layout, function, {}, xlretSuccess, std::nullopt};
    call.returnCode = serve<L>(call, result, count, argv);
    calls_.push_back(std::move(call));
    return calls_.back().returnCode;
}

template <class L>
int ExcelStandIn::serve(CallRecord& call, typename L::Record* result, int count, typename L::Record** argv) {
    if (call.entry == Entry::MdCallBack12 && majorVersion() < 12) {
        // Excel 2003 exports no MdCallBack12, so an add-in's lookup of it fails and its Excel12
        // answers xlretFailed: the same answer, once noticed however often the add-in tries.
        notices_.record(NoticeKind::MissingEntry, "MdCallBack12 called under Excel " + versionText_ +
                                                      ", which has no such entry: answered xlretFailed");
        return xlretFailed;
    }
    if (call.entry == Entry::LPenHelper)  // formula-bar editing, which the stand-in has none of
        return notModelled(xlretFailed, "LPenHelper(" + functionName(call.function) + ")").code;
    const int maxCount = majorVersion() >= 12 ? 255 : 30;
    if (count < 0 || count > maxCount) return xlretInvCount;
    for (int i = 0; i < count; ++i) {
        if (argv == nullptr || argv[i] == nullptr) {
            malformed(call, "argument " + std::to_string(i + 1) + " is a null pointer");
            return xlretInvXloper;
        }
    }
    if (call.function == xlFree) return freeRecords<L>(call, count, argv);
    for (int i = 0; i < count; ++i) {
        call.arguments.push_back(RecordCodec<L>::decode(*argv[i]));
        if (const Value* bad = call.arguments.back().firstInvalid()) {
            malformed(call, "argument " + std::to_string(i + 1) + " is " + describe(*bad));
            return xlretInvXloper;
        }
    }
    if (inThreadSafeFunction())
        if (const std::optional<int> refused = threadSafeRefusal(call.function, call.arguments)) return *refused;
    Answer answered = answer(call.function, call.arguments, L::layout);
    if (result == nullptr || !answered.value) return answered.code;
    // A value the caller's layout cannot carry (a long text, a wide integer) fails the call and
    // leaves the result record as it was.
    const auto bytes = RecordCodec<L>::blockSize(*answered.value, nullptr);
    if (!bytes) return xlretFailed;
    unsigned char* block = nullptr;
    if (*bytes > 0) block = ledger_.allocate(*bytes, functionName(call.function) + " through " + entryName(call.entry));
    RecordCodec<L>::encode(*answered.value, *result, block);
    call.result = std::move(answered.value);
    return answered.code;
}

template <class L>
int ExcelStandIn::freeRecords(CallRecord& call, int count, typename L::Record** argv) {
    int code = xlretSuccess;
    for (int i = 0; i < count; ++i) {
        const typename L::Record& record = *argv[i];
        const std::uint32_t typeWord = record.xltype;
        if ((typeWord & ~(allTypeBits | xlbitXLFree | xlbitDLLFree)) != 0) {
            call.arguments.push_back(Value::invalid(typeWord, "type word with bits Excel does not know"));
            malformed(call, "xlFree of a record whose type word has bits Excel does not know");
            code = xlretInvXloper;
            continue;
        }
        const void* owned = RecordCodec<L>::ownedPointer(record);
        if (typeOf(typeWord) == xltypeRef && owned == nullptr) {
            // xlSheetId's reference names a sheet alone; freeing it is safe and does nothing.
            call.arguments.push_back(RecordCodec<L>::decode(record));
            continue;
        }
        if (holdsMemory(typeWord) && owned == nullptr) {
            call.arguments.push_back(RecordCodec<L>::decode(record));
            malformed(call, "xlFree of a record with a null memory pointer");
            code = xlretInvXloper;
            continue;
        }
        if (!holdsMemory(typeWord) || ledger_.isOutstanding(owned)) {
            // Safe to read: either no memory at all, or the host's own live block.
            call.arguments.push_back(RecordCodec<L>::decode(record));
            if (owned != nullptr) ledger_.release(owned, "xlFree through " + std::string(entryName(call.entry)));
            continue;
        }
        call.arguments.push_back(Value::invalid(typeWord, "memory the host does not hold"));
        ledger_.release(owned, "xlFree through " + std::string(entryName(call.entry)));
        code = xlretFailed;
    }
    return code;
}

void ExcelStandIn::malformed(const CallRecord& call, std::string detail) {
    faults_.record(FaultKind::MalformedArgument,
                   functionName(call.function) + " through " + entryName(call.entry) + ": " + std::move(detail));
}

// ---- the calls Excel answers
//
// Each answer follows Microsoft's description of the function in the Excel C API reference (or,
// for the XLM functions, the Excel 4.0 macro functions reference); where that leaves the answer
// open, the comment says what Excel is known to do or what the stand-in chose.

ExcelStandIn::Answer ExcelStandIn::notModelled(int code, const std::string& what) {
    notices_.record(NoticeKind::NotModelled,
                    what + ": answered " + (code == xlretInvXlfn ? "xlretInvXlfn" : "xlretFailed"));
    return {code, Value::error(xlerrValue)};
}

// Microsoft's "Multithreaded Recalculation in Excel": a function registered thread-safe may not
// run the XLM information functions (xlretFailed), nor define names, register, change menus or
// toolbars, set cells, run commands, or call through xlUDF a function not registered
// thread-safe (xlretNotThreadSafe). The C interface's own functions but xlSet are thread-safe.
std::optional<int> ExcelStandIn::threadSafeRefusal(int function, const std::vector<Value>& arguments) const {
    switch (function) {
        case xlfGetFormula:
        case xlfGetName:
        case xlfGetDef:
        case xlfGetBar:
        case xlfGetCell:
        case xlfGetWorkspace:
        case xlfGetWindow:
        case xlfGetDocument:
        case xlfGetNote:
        case xlfGetToolbar:
        case xlfGetTool:
        case xlfGetWorkbook:
            return xlretFailed;
        case xlSet:
        case xlfSetName:
        case xlfRegister:
        case xlfUnregister:
        case xlfAddMenu:
        case xlfDeleteMenu:
        case xlfAddToolbar:
        case xlfDeleteToolbar:
            return xlretNotThreadSafe;
        case xlUDF: {
            if (arguments.empty()) return std::nullopt;
            const Registration* target =
                arguments[0].kind() == Kind::Text
                    ? registry_.findFunction(arguments[0].narrowText())
                    : (arguments[0].numeric() ? registry_.findById(*arguments[0].numeric()) : nullptr);
            if (target == nullptr) return std::nullopt;
            const ParsedTypeText parsed = parseTypeText(target->typeText());
            if (!parsed.typeText || !parsed.typeText->isThreadSafe) return xlretNotThreadSafe;
            return std::nullopt;
        }
        default:
            return (function & xlCommand) != 0 ? std::optional<int>(xlretNotThreadSafe) : std::nullopt;
    }
}

ExcelStandIn::Answer ExcelStandIn::answer(int function, const std::vector<Value>& arguments, Layout layout) {
    const std::size_t count = arguments.size();
    switch (function) {
        case xlfGetWorkspace:
            return workspaceCall(arguments);
        case xlfGetDocument:
            return documentCall(arguments);
        case xlCoerce:
            return coerceCall(arguments);
        case xlGetHwnd: {
            if (count != 0) return {xlretInvCount, std::nullopt};
            // Without a main window there is no handle to give, and no function wizard to find.
            if (windows_.mainWindow() == nullptr) return {xlretFailed, std::nullopt};
            const auto handle = reinterpret_cast<std::uintptr_t>(windows_.mainWindow());
            // The Excel 4 layout has room for the low 16 bits only; Excel 12 gives 32.
            if (layout == Layout::Excel4) return {xlretSuccess, Value::integer(std::int16_t(handle & 0xFFFF))};
            return {xlretSuccess, Value::integer(std::int32_t(handle & 0xFFFFFFFFu))};
        }
        case xlGetInst:
        case xlGetInstPtr:
            if (count != 0) return {xlretInvCount, std::nullopt};
            return instanceCall(function, layout);
        case xlAsyncReturn:
            return asyncReturnCall(arguments, layout);
        case xlGetName:
            if (count != 0) return {xlretInvCount, std::nullopt};
            return {xlretSuccess, Value::text(addInPath_)};
        case xlStack:
            if (count != 0) return {xlretInvCount, std::nullopt};
            // Through Excel 12 records: the stack left or 64 KB, whichever is less. The Excel 4
            // record's 16 bits cannot hold 64 KB, and Excel's answer there wraps; the stand-in
            // gives the largest positive value instead, plenty however the add-in reads it.
            return {xlretSuccess, Value::integer(layout == Layout::Excel4 ? 0x7FFF : 0x10000)};
        case xlAbort:
            if (count > 1) return {xlretInvCount, std::nullopt};
            return {xlretSuccess, Value::boolean(false)};  // nobody presses ESC here
        case xlEnableXLMsgs:
        case xlDisableXLMsgs:
            if (count != 0) return {xlretInvCount, std::nullopt};
            return {xlretSuccess, std::nullopt};
        case xlfCaller:
            if (count != 0) return {xlretInvCount, std::nullopt};
            return callerCall();
        case xlSheetNm:
            return sheetNameCall(arguments);
        case xlSheetId:
            return sheetIdCall(arguments);
        case xlcMessage:
            return messageCall(arguments);
        case xlcAlert:
            return alertCall(arguments);
        case xlSet:
            return setCall(arguments);
        case xlfRegister:
            return registerCall(arguments, layout);
        case xlfUnregister:
            if (count != 1) return {xlretInvCount, std::nullopt};
            return {xlretSuccess, registry_.unregister(arguments[0])};
        case xlfSetName:
            return setNameCall(arguments);
        case xlfEvaluate:
            return evaluateCall(arguments);
        case xlUDF:
            return udfCall(arguments);
        case xlfGetBar:
        case xlfAddMenu:
        case xlfDeleteMenu:
        case xlfGetToolbar:
        case xlfAddToolbar:
        case xlfDeleteToolbar:
            return menuCall(function, arguments);
        default:
            return notModelled(xlretInvXlfn, functionName(function));
    }
}

}  // namespace xlhost
