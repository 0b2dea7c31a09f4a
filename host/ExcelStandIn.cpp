#include "ExcelStandIn.h"

#include "Coercion.h"
#include "XlCall.h"

#include <algorithm>
#include <cctype>
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

std::uint32_t typeOf(std::uint32_t typeWord) {
    return typeWord & ~(xlbitXLFree | xlbitDLLFree);
}

bool holdsMemory(std::uint32_t typeWord) {
    const std::uint32_t type = typeOf(typeWord);
    return type == xltypeStr || type == xltypeMulti || type == xltypeRef;
}

bool isGiven(const std::vector<Value>& arguments, std::size_t index) {
    return index < arguments.size() && arguments[index].kind() != Kind::Missing;
}

std::u16string upper(std::u16string text) {
    for (char16_t& c : text)
        if (c < 0x80) c = char16_t(std::toupper(static_cast<int>(c)));
    return text;
}

bool sameText(const std::u16string& a, const std::u16string& b) {
    return upper(a) == upper(b);
}

std::u16string wide(const std::string& bytes) {
    return Value::text(bytes).text();
}

// Excel's rules for a defined name: a letter, '_' or '\\' first, then letters, digits, '.', '_'.
bool isValidName(const std::u16string& name) {
    const auto letter = [](char16_t c) { return c >= 0x80 || std::isalpha(static_cast<int>(c)); };
    if (name.empty() || !(letter(name[0]) || name[0] == u'_' || name[0] == u'\\')) return false;
    return std::all_of(name.begin(), name.end(), [&letter](char16_t c) {
        return letter(c) || (c < 0x80 && std::isdigit(static_cast<int>(c))) || c == u'.' || c == u'_' || c == u'\\';
    });
}

}  // namespace

const char* entryName(Entry entry) {
    switch (entry) {
        case Entry::Excel4:
            return "Excel4";
        case Entry::Excel4v:
            return "Excel4v";
        case Entry::MdCallBack12:
            return "MdCallBack12";
        case Entry::Direct:
            return "a direct call";
        case Entry::LPenHelper:
            return "LPenHelper";
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

bool operator==(const StatusEntry& a, const StatusEntry& b) {
    return a.shown == b.shown && a.text == b.text;
}

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

ExcelStandIn* ExcelStandIn::current() {
    return currentHost;
}

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

ExcelStandIn::Answer ExcelStandIn::registerCall(const std::vector<Value>& arguments, Layout layout) {
    // A refused registration answers #VALUE! and still xlretSuccess: Excel reports a function's
    // outcome in its value, and the return code only says that the call could be made.
    Value id = registry_.registerFunction(arguments, layout, {majorVersion(), addInPath_, exportLookup_});
    const Registration& registered = registry_.registrations().back();
    // The function text also becomes a hidden name standing for the register id.
    if (id.kind() == Kind::Number && !registered.functionName().empty())
        names_.insert_or_assign(upper(wide(registered.functionName())), id);
    return {xlretSuccess, std::move(id)};
}

ExcelStandIn::Answer ExcelStandIn::workspaceCall(const std::vector<Value>& arguments) {
    if (arguments.size() != 1) return {xlretInvCount, std::nullopt};
    const auto type = arguments[0].numeric();
    switch (type ? int(*type) : 0) {
        case 1:  // the environment and its version, as Excel on Windows 10 gives them
            return {xlretSuccess,
                    Value::text(sizeof(void*) == 8 ? "Windows (64-bit) NT 10.00" : "Windows (32-bit) NT 10.00")};
        case 2:
            return {xlretSuccess, Value::text(versionText_)};
        case 3:  // no fixed decimals
            return {xlretSuccess, Value::number(0)};
        case 4:  // A1 references, not R1C1
            return {xlretSuccess, Value::boolean(false)};
        case 44: {  // every registered procedure: module, procedure, type text
            std::vector<Value> rows;
            for (const Registration& registration : registry_.registrations())
                if (registration.active)
                    for (const std::string& text :
                         {registration.module(), registration.procedure(), registration.typeText()})
                        rows.push_back(Value::text(text));
            if (rows.empty()) return {xlretSuccess, Value::error(xlerrNA)};
            const auto count = std::int32_t(rows.size() / 3);
            return {xlretSuccess, Value::array(count, 3, std::move(rows))};
        }
        default:
            return notModelled(xlretFailed, "xlfGetWorkspace(" + describe(arguments[0]) + ")");
    }
}

ExcelStandIn::Answer ExcelStandIn::documentCall(const std::vector<Value>& arguments) {
    if (arguments.empty() || arguments.size() > 2) return {xlretInvCount, std::nullopt};
    const auto type = arguments[0].numeric();
    switch (type ? int(*type) : 0) {
        case 1:   // the book and sheet of a book with several sheets
        case 76:  // the active sheet
            return {xlretSuccess, Value::text(wide(sheetTitle(sheets_.activeSheet())))};
        case 2:  // the folder of a book never saved
            return {xlretSuccess, Value::error(xlerrNA)};
        case 3:  // a worksheet
            return {xlretSuccess, Value::number(1)};
        case 87:  // the active sheet's position in the book
            return {xlretSuccess, Value::number(1)};
        case 88:
            return {xlretSuccess, Value::text(workbookName)};
        default:
            return notModelled(xlretFailed, "xlfGetDocument(" + describe(arguments[0]) + ")");
    }
}

ExcelStandIn::Answer ExcelStandIn::callerCall() const {
    switch (caller_.kind) {
        case Caller::Kind::Cell:
            // A worksheet cell comes as an external reference, with its sheet's id.
            return {xlretSuccess, Value::reference(sheets_.activeSheet(), caller_.cell)};
        case Caller::Kind::Function:
            return {xlretSuccess, Value::number(caller_.registerId)};
        case Caller::Kind::Command:
        case Caller::Kind::Excel:
            break;
    }
    return {xlretSuccess, Value::error(xlerrRef)};  // "other methods": no cell, menu or object called
}

std::string ExcelStandIn::sheetTitle(SheetId sheet) const {
    return std::string("[") + workbookName + "]" + sheets_.sheetName(sheet);
}

std::optional<SheetId> ExcelStandIn::sheetOf(const Value& reference) const {
    if (reference.kind() != Kind::Reference) return std::nullopt;
    // A sheet reference, and an external one with id 0, mean the current sheet.
    const SheetId sheet =
        reference.isSheetReference() || reference.sheet() == 0 ? sheets_.activeSheet() : reference.sheet();
    if (!sheets_.hasSheet(sheet)) return std::nullopt;
    return sheet;
}

ExcelStandIn::Answer ExcelStandIn::sheetNameCall(const std::vector<Value>& arguments) const {
    if (arguments.size() != 1) return {xlretInvCount, std::nullopt};
    if (arguments[0].kind() != Kind::Reference) return {xlretInvXloper, std::nullopt};
    const auto sheet = sheetOf(arguments[0]);
    if (!sheet) return {xlretFailed, std::nullopt};
    return {xlretSuccess, Value::text(wide(sheetTitle(*sheet)))};
}

ExcelStandIn::Answer ExcelStandIn::sheetIdCall(const std::vector<Value>& arguments) const {
    if (arguments.size() > 1) return {xlretInvCount, std::nullopt};
    if (!isGiven(arguments, 0)) return {xlretSuccess, Value::reference(sheets_.activeSheet(), std::vector<Area>())};
    if (arguments[0].kind() != Kind::Text) return {xlretInvXloper, std::nullopt};
    // "[Book1]Sheet1", "[BOOK1.XLSX]Sheet1" or "Sheet1", whatever the case.
    std::u16string name = arguments[0].text();
    if (!name.empty() && name[0] == u'[') {
        const auto close = name.find(u']');
        if (close == std::u16string::npos) return {xlretFailed, std::nullopt};
        std::u16string book = name.substr(1, close - 1);
        book = book.substr(0, book.find(u'.'));
        if (!sameText(book, wide(workbookName))) return {xlretFailed, std::nullopt};
        name.erase(0, close + 1);
    }
    if (!sameText(name, wide(sheets_.sheetName(sheets_.activeSheet())))) return {xlretFailed, std::nullopt};
    return {xlretSuccess, Value::reference(sheets_.activeSheet(), std::vector<Area>())};
}

ExcelStandIn::Answer ExcelStandIn::instanceCall(int function, Layout layout) const {
    const auto instance = reinterpret_cast<std::uintptr_t>(GetModuleHandleA(nullptr));
    if (function == xlGetInstPtr) {
        // New in Excel 2010; a bigdata record holds the whole handle in either layout.
        if (majorVersion() < 14) return {xlretInvXlfn, std::nullopt};
        return {xlretSuccess, Value::handle(instance)};
    }
    // An integer cannot hold a 64-bit Excel's handle: there xlGetInst fails.
    if (sizeof(void*) == 8) return {xlretFailed, std::nullopt};
    if (layout == Layout::Excel4) return {xlretSuccess, Value::integer(std::int16_t(instance & 0xFFFF))};
    return {xlretSuccess, Value::integer(std::int32_t(instance & 0xFFFFFFFFu))};
}

std::optional<Value> ExcelStandIn::nameValue(const std::u16string& name) const {
    const auto found = names_.find(upper(name));
    if (found == names_.end()) return std::nullopt;
    if (found->second.kind() != Kind::Reference) return found->second;
    const Coerced contents = coerce(found->second, std::nullopt, sheets_);
    return contents.code == xlretSuccess ? contents.value : Value::error(xlerrRef);
}

ExcelStandIn::Answer ExcelStandIn::setNameCall(const std::vector<Value>& arguments) {
    if (arguments.empty() || arguments.size() > 2) return {xlretInvCount, std::nullopt};
    if (arguments[0].kind() != Kind::Text || !isValidName(arguments[0].text()))
        return {xlretSuccess, Value::error(xlerrValue)};
    const std::u16string key = upper(arguments[0].text());
    if (!isGiven(arguments, 1) || arguments[1].kind() == Kind::Nil) {
        // Deleting a registered function's name is how an add-in unregisters it; Excel's known
        // fault leaves it in the Insert Function dialog, and here in the registry.
        return {xlretSuccess, Value::boolean(names_.erase(key) != 0)};
    }
    Value definition = arguments[1];
    switch (definition.kind()) {
        case Kind::Integer:
            definition = Value::number(definition.integer());
            break;
        case Kind::Reference: {
            // A sheet reference means the current sheet: the name keeps that sheet.
            const auto sheet = sheetOf(definition);
            if (!sheet) return {xlretSuccess, Value::error(xlerrValue)};
            definition = Value::reference(*sheet, definition.areas());
            break;
        }
        case Kind::Number:
        case Kind::Text:
        case Kind::Boolean:
        case Kind::Error:
        case Kind::Array:
            break;
        default:
            return {xlretSuccess, Value::error(xlerrValue)};
    }
    names_.insert_or_assign(key, std::move(definition));
    return {xlretSuccess, Value::boolean(true)};
}

ExcelStandIn::Answer ExcelStandIn::evaluateCall(const std::vector<Value>& arguments) {
    if (arguments.size() != 1) return {xlretInvCount, std::nullopt};
    if (arguments[0].kind() != Kind::Text) return {xlretSuccess, Value::error(xlerrValue)};
    std::optional<Value> value;
    if (formulaReader_) value = formulaReader_(arguments[0].text());
    if (!value) return notModelled(xlretFailed, "xlfEvaluate(" + describe(arguments[0]) + ")");
    return {xlretSuccess, std::move(*value)};
}

ExcelStandIn::Answer ExcelStandIn::udfCall(const std::vector<Value>& arguments) {
    if (arguments.empty()) return {xlretInvCount, std::nullopt};
    const Value& target = arguments[0];
    const Registration* function = nullptr;
    if (target.kind() == Kind::Text) {
        function = registry_.findFunction(target.narrowText());
    } else if (const auto id = target.numeric()) {
        function = registry_.findById(*id);
    } else {
        return notModelled(xlretFailed, "xlUDF of " + describe(target));  // a macro sheet's cell
    }
    if (function == nullptr) return {xlretSuccess, Value::error(xlerrName)};
    if (!functionCaller_) return notModelled(xlretFailed, "xlUDF of " + function->functionName());
    const CallerScope scope(*this, Caller::function(*function->id));
    return {xlretSuccess, functionCaller_(*function, std::vector<Value>(arguments.begin() + 1, arguments.end()))};
}

ExcelStandIn::Answer ExcelStandIn::alertCall(const std::vector<Value>& arguments) {
    if (arguments.empty() || arguments.size() > 3) return {xlretInvCount, std::nullopt};
    if (arguments[0].kind() == Kind::Error) return {xlretSuccess, arguments[0]};
    // The message is shown as text, whatever it is; an OK click answers TRUE (the stand-in's
    // user clicks OK in the OK/Cancel form too).
    const Coerced text = coerce(arguments[0], xltypeStr, sheets_);
    if (text.code != xlretSuccess) return {xlretSuccess, Value::error(xlerrValue)};
    alerts_.push_back(text.value.text());
    return {xlretSuccess, Value::boolean(true)};
}

ExcelStandIn::Answer ExcelStandIn::setCall(const std::vector<Value>& arguments) {
    if (arguments.empty() || arguments.size() > 2) return {xlretInvCount, std::nullopt};
    // A command equivalent: a worksheet function cannot change cells.
    if (caller_.kind != Caller::Kind::Command && caller_.kind != Caller::Kind::Excel)
        return {xlretInvXlfn, std::nullopt};
    const Value& target = arguments[0];
    if (target.kind() != Kind::Reference || target.areas().size() != 1) return {xlretInvXloper, std::nullopt};
    const auto sheet = sheetOf(target);
    if (!sheet) return {xlretFailed, std::nullopt};
    const Area& area = target.areas().front();
    Value source = isGiven(arguments, 1) ? arguments[1] : Value::nil();  // nothing clears the cells
    if (source.kind() == Kind::Integer) source = Value::number(source.integer());
    const bool isArray = source.kind() == Kind::Array;
    for (std::int32_t r = 0; r < area.rows(); ++r)
        for (std::int32_t c = 0; c < area.columns(); ++c) {
            // A row is repeated down, a column to the right; a smaller block leaves #N/A.
            Value cell = source;
            if (isArray) {
                const std::int32_t row = source.rows() == 1 ? 0 : r;
                const std::int32_t column = source.columns() == 1 ? 0 : c;
                cell = row < source.rows() && column < source.columns() ? source.element(row, column)
                                                                        : Value::error(xlerrNA);
            }
            if (cell.kind() == Kind::Integer) cell = Value::number(cell.integer());
            if (cell.kind() == Kind::Missing) cell = Value::nil();
            if (cell.kind() != Kind::Number && cell.kind() != Kind::Text && cell.kind() != Kind::Boolean &&
                cell.kind() != Kind::Error && cell.kind() != Kind::Nil)
                return {xlretInvXloper, std::nullopt};
            sheets_.setCell(*sheet, area.firstRow + r, area.firstColumn + c, cell);
        }
    cellsSet_.push_back(CellsSet{*sheet, area});
    return {xlretSuccess, Value::boolean(true)};
}

ExcelStandIn::Answer ExcelStandIn::menuCall(int function, const std::vector<Value>& arguments) {
    std::optional<Value> answer;
    switch (function) {
        case xlfGetBar:
            answer = commandBars_.getBar(arguments);
            break;
        case xlfAddMenu:
            answer = commandBars_.addMenu(arguments);
            break;
        case xlfDeleteMenu:
            answer = commandBars_.deleteMenu(arguments);
            break;
        case xlfGetToolbar:
            answer = commandBars_.getToolbar(arguments);
            break;
        case xlfAddToolbar:
            answer = commandBars_.addToolbar(arguments);
            break;
        default:
            answer = commandBars_.deleteToolbar(arguments);
            break;
    }
    if (!answer) {
        std::string call = functionName(function) + "(";
        for (std::size_t i = 0; i < arguments.size(); ++i) call += (i > 0 ? ", " : "") + describe(arguments[i]);
        return notModelled(xlretFailed, call + ")");
    }
    return {xlretSuccess, std::move(*answer)};
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
