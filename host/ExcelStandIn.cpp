#include "ExcelStandIn.h"

#include "Coercion.h"

#include <cstdlib>
#include <iostream>
#include <stdexcept>
#include <utility>

namespace xlhost {

namespace {

ExcelStandIn* currentHost = nullptr;

// Every type bit of the interface; anything else in a type word is not Excel's.
constexpr std::uint32_t allTypeBits = xltypeNum | xltypeStr | xltypeBool | xltypeRef | xltypeErr | xltypeFlow |
                                      xltypeMulti | xltypeMissing | xltypeNil | xltypeSRef | xltypeInt;

bool holdsMemory(std::uint32_t typeWord) {
    const std::uint32_t type = typeWord & ~(xlbitXLFree | xlbitDLLFree);
    return type == xltypeStr || type == xltypeMulti || type == xltypeRef;
}

}  // namespace

const char* entryName(Entry entry) {
    switch (entry) {
        case Entry::Excel4: return "Excel4";
        case Entry::Excel4v: return "Excel4v";
        case Entry::MdCallBack12: return "MdCallBack12";
        case Entry::Direct: return "a direct call";
    }
    return "an unknown entry";
}

std::ostream& operator<<(std::ostream& out, const CallRecord& call) {
    out << functionName(call.function) << '(';
    for (std::size_t i = 0; i < call.arguments.size(); ++i) out << (i > 0 ? ", " : "") << call.arguments[i];
    out << ") through " << entryName(call.entry) << " [" << layoutName(call.layout) << "] -> " << call.returnCode;
    if (call.result) out << ", result " << *call.result;
    return out;
}

bool operator==(const StatusEntry& a, const StatusEntry& b) { return a.shown == b.shown && a.text == b.text; }

std::ostream& operator<<(std::ostream& out, const StatusEntry& entry) {
    if (!entry.shown) return out << "<status bar cleared>";
    return out << Value::text(entry.text);
}

ExcelStandIn::ExcelStandIn(std::string versionText)
    : versionText_(std::move(versionText)), majorVersion_(std::atoi(versionText_.c_str())), ledger_(faults_) {
    if (currentHost != nullptr) throw std::logic_error("only one stand-in Excel can run at a time");
    currentHost = this;
}

ExcelStandIn::~ExcelStandIn() {
    checkForLeaks();
    if (!faults_.empty()) std::cerr << "stand-in Excel: faults of the add-in:\n" << faults_;
    currentHost = nullptr;
}

ExcelStandIn* ExcelStandIn::current() { return currentHost; }

void ExcelStandIn::setVersion(std::string versionText) {
    versionText_ = std::move(versionText);
    majorVersion_ = std::atoi(versionText_.c_str());
}

int ExcelStandIn::excel4(Entry entry, int function, XLOPER* result, int count, XLOPER** argv) {
    return dispatch<Layout4>(entry, function, result, count, argv);
}

int ExcelStandIn::excel12(Entry entry, int function, XLOPER12* result, int count, XLOPER12** argv) {
    return dispatch<Layout12>(entry, function, result, count, argv);
}

Value ExcelStandIn::takeResult(XLOPER& result) { return takeResultOf<Layout4>(result); }
Value ExcelStandIn::takeResult(XLOPER12& result) { return takeResultOf<Layout12>(result); }

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
    CallRecord call{entry, L::layout, function, {}, xlretSuccess, std::nullopt};
    call.returnCode = serve<L>(call, result, count, argv);
    calls_.push_back(std::move(call));
    return calls_.back().returnCode;
}

template <class L>
int ExcelStandIn::serve(CallRecord& call, typename L::Record* result, int count, typename L::Record** argv) {
    if (call.entry == Entry::MdCallBack12 && majorVersion() < 12) {
        faults_.record(FaultKind::UnavailableEntry, "MdCallBack12 called under Excel " + versionText_ +
                                                        ", which does not have it");
        return xlretFailed;
    }
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
    Answer answered = answer(call.function, call.arguments, L::layout);
    if (answered.code != xlretSuccess || result == nullptr || !answered.value) return answered.code;
    // A value the caller's layout cannot carry (a long text, a wide integer) fails the call and
    // leaves the result record as it was.
    const auto bytes = RecordCodec<L>::blockSize(*answered.value, nullptr);
    if (!bytes) return xlretFailed;
    unsigned char* block = nullptr;
    if (*bytes > 0) block = ledger_.allocate(*bytes, functionName(call.function) + " through " + entryName(call.entry));
    RecordCodec<L>::encode(*answered.value, *result, block);
    call.result = std::move(answered.value);
    return xlretSuccess;
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

ExcelStandIn::Answer ExcelStandIn::answer(int function, const std::vector<Value>& arguments, Layout layout) {
    const std::size_t count = arguments.size();
    switch (function) {
        case xlfGetWorkspace: {
            if (count != 1) return {xlretInvCount, std::nullopt};
            const Value& type = arguments[0];
            const bool asksVersion = (type.kind() == Kind::Integer && type.integer() == 2) ||
                                     (type.kind() == Kind::Number && type.number() == 2.0);
            // Only the version is modelled; other workspace questions fail rather than mislead.
            if (!asksVersion) return {xlretFailed, std::nullopt};
            return {xlretSuccess, Value::text(versionText_)};
        }
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
        case xlGetName:
            if (count != 0) return {xlretInvCount, std::nullopt};
            return {xlretSuccess, Value::text(addInPath_)};
        case xlcMessage:
            return messageCall(arguments);
        case xlfRegister:
            return {xlretSuccess,
                    registry_.registerFunction(arguments, layout, {majorVersion(), addInPath_, exportLookup_})};
        case xlfUnregister:
            if (count != 1) return {xlretInvCount, std::nullopt};
            return {xlretSuccess, registry_.unregister(arguments[0])};
        default:
            return {xlretInvXlfn, std::nullopt};
    }
}

ExcelStandIn::Answer ExcelStandIn::coerceCall(const std::vector<Value>& arguments) {
    if (arguments.empty() || arguments.size() > 2) return {xlretInvCount, std::nullopt};
    std::optional<std::uint32_t> wanted;
    if (arguments.size() == 2 && arguments[1].kind() != Kind::Missing) {
        // The wanted types come as an integer of type bits, nothing else.
        if (arguments[1].kind() != Kind::Integer) return {xlretInvXloper, std::nullopt};
        const auto mask = static_cast<std::uint32_t>(arguments[1].integer()) & 0xFFFFu;
        if ((mask & ~allTypeBits) != 0) return {xlretInvXloper, std::nullopt};
        wanted = mask;
    }
    Coerced coerced = coerce(arguments[0], wanted, sheets_);
    if (coerced.code != xlretSuccess) return {coerced.code, std::nullopt};
    return {xlretSuccess, std::move(coerced.value)};
}

ExcelStandIn::Answer ExcelStandIn::messageCall(const std::vector<Value>& arguments) {
    if (arguments.empty() || arguments.size() > 2) return {xlretInvCount, std::nullopt};
    if (arguments[0].kind() != Kind::Boolean) return {xlretInvXloper, std::nullopt};
    if (!arguments[0].boolean()) {
        statusLog_.push_back(StatusEntry{false, std::u16string()});
        return {xlretSuccess, Value::boolean(true)};
    }
    if (arguments.size() != 2) return {xlretInvCount, std::nullopt};
    if (arguments[1].kind() != Kind::Text) return {xlretInvXloper, std::nullopt};
    statusLog_.push_back(StatusEntry{true, arguments[1].text()});
    return {xlretSuccess, Value::boolean(true)};
}

std::vector<CallRecord> ExcelStandIn::callsTo(int function) const {
    std::vector<CallRecord> found;
    for (const CallRecord& call : calls_)
        if (call.function == function) found.push_back(call);
    return found;
}

std::optional<std::u16string> ExcelStandIn::statusBar() const {
    if (statusLog_.empty() || !statusLog_.back().shown) return std::nullopt;
    const std::u16string& text = statusLog_.back().text;
    return text.substr(0, text.find(u'\0'));
}

void ExcelStandIn::report(std::ostream& out) const {
    out << "stand-in Excel " << versionText_ << ": " << calls_.size() << " calls, " << ledger_.outstanding()
        << " blocks outstanding, " << faults_.all().size() << " faults\n"
        << faults_;
}

}  // namespace xlhost
