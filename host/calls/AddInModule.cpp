#include "AddInModule.h"

#include "Coercion.h"
#include "NativeCall.h"
#include "TypeText.h"
#include "TypedArgument.h"

#include <filesystem>
#include <memory>
#include <optional>
#include <sstream>
#include <utility>

namespace xlhost {

namespace {

void (*entryPoint(FARPROC procedure))() {
    return reinterpret_cast<void (*)()>(procedure);
}

// A value as a cell holds it: Excel shows an empty result or element as 0, a reference as its values.
Value cellValue(const Value& value, const SheetModel& sheets, WorksheetCall& call) {
    switch (value.kind()) {
        case Kind::Number:
        case Kind::Text:
        case Kind::Boolean:
        case Kind::Error:
            return value;
        case Kind::Integer:
            return Value::number(value.integer());
        case Kind::Nil:
        case Kind::Missing:
            return Value::number(0.0);
        case Kind::Array: {
            std::vector<Value> elements;
            for (const Value& element : value.elements()) elements.push_back(cellValue(element, sheets, call));
            return Value::array(value.rows(), value.columns(), std::move(elements));
        }
        case Kind::Reference: {
            const Coerced contents = coerce(value, std::nullopt, sheets);
            if (contents.code == xlretSuccess) return cellValue(contents.value, sheets, call);
            call.limitation = "the result " + describe(value) + " refers to no cells of this sheet";
            return Value::error(uncalledCellError);
        }
        case Kind::Invalid:
            call.faults.push_back("returned a record Excel cannot read: " + describe(value));
            return Value::error(xlerrValue);
        default:
            call.limitation = "xllhost does not show a " + std::string(kindName(value.kind())) + " result";
            return Value::error(uncalledCellError);
    }
}

// A result record as Excel reads it: copied before anything else runs, as the add-in reuses the
// memory on its next call; then Excel's own memory (xlbitXLFree) is freed by Excel, and the add-in's
// (xlbitDLLFree) handed back to its xlAutoFree or xlAutoFree12, called like any export.
template <class L>
Value resultOf(void* returned, ExcelStandIn& host, WorksheetCall& call, FARPROC autoFree) {
    using Record = typename L::Record;
    auto& record = *static_cast<Record*>(returned);
    const std::uint32_t typeWord = record.xltype;
    if ((typeWord & xlbitXLFree) != 0) return host.takeResult(record);
    Value value = RecordCodec<L>::decode(record);
    if ((typeWord & xlbitDLLFree) != 0) {
        if (autoFree == nullptr)
            call.faults.push_back(std::string("marked its result for xlAutoFree, but exports no ") +
                                  (L::layout == Layout::Excel12 ? "xlAutoFree12" : "xlAutoFree"));
        else
            callNative(entryPoint(autoFree), NativeType::Void, {{NativeType::Pointer, nativePointer(&record)}});
    }
    return value;
}

}  // namespace

AddInModule::AddInModule(const std::string& path) {
    std::error_code error;
    if (!std::filesystem::is_regular_file(path, error)) throw AddInLoadError(path + ": no such add-in file");
    const std::string full = std::filesystem::absolute(path, error).string();
    module_ = LoadLibraryA(full.c_str());
    if (module_ == nullptr)
        throw AddInLoadError(path + ": cannot be loaded as an add-in (error " + std::to_string(GetLastError()) + ")");
    char name[1024] = {};
    const DWORD length = GetModuleFileNameA(module_, name, sizeof name);
    windowsPath_ = length > 0 && length < sizeof name ? std::string(name, length) : full;
    if (!exports("xlAutoOpen")) {
        FreeLibrary(module_);
        throw AddInLoadError(path + ": exports no xlAutoOpen, so it is no add-in");
    }
}

// Left loaded until the program ends, as Excel keeps an add-in until it quits: what the module
// keeps for good (the matrix library's message buffer, for one) stays reachable rather than being
// reported as lost when the module is unmapped under a leak checker.
AddInModule::~AddInModule() = default;

// A module's exports never change while it is loaded; a look-up may cost more than a small call.
FARPROC AddInModule::procedure(const std::string& name) const {
    const auto found = procedures_.find(name);
    if (found != procedures_.end()) return found->second;
    return procedures_.emplace(name, GetProcAddress(module_, name.c_str())).first->second;
}

bool AddInModule::exports(const std::string& name) const {
    return procedure(name) != nullptr;
}

// Through the call path of every other entry point, which survives one exported as __cdecl by mistake.
int AddInModule::open() {
    return callNative(entryPoint(procedure("xlAutoOpen")), NativeType::Int32, {}).int32;
}

void AddInModule::close() {
    if (const FARPROC autoClose = procedure("xlAutoClose")) callNative(entryPoint(autoClose), NativeType::Int32, {});
}

std::vector<std::string> AddInModule::runCommand(const Registration& command) {
    const FARPROC entry = procedure(command.procedure());
    const ParsedTypeText parsed = parseTypeText(command.typeText());
    // Called as it returns (a double comes back on the x87 stack, which the caller must clear),
    // through the same call path as worksheet functions, which survives a __cdecl export.
    const NativeType result = parsed.typeText ? resultType(*parsed.typeText) : NativeType::Pointer;
    try {
        callNative(entryPoint(entry), result, {});
    } catch (...) {
        return {"let an exception out of " + command.procedure()};
    }
    return {};
}

WorksheetCall AddInModule::call(const Registration& registration, const std::vector<FormulaArgument>& arguments,
                                ExcelStandIn& host) {
    WorksheetCall call{Value::error(uncalledCellError), {}, {}, registration.procedure()};
    const ParsedTypeText parsed = parseTypeText(registration.typeText());
    if (!parsed.typeText) {  // Excel accepted it, so it reads: a registry that disagrees is xllhost's fault
        call.limitation = "xllhost cannot read the type text " + registration.typeText() + ": " + parsed.problem;
        return call;
    }
    const TypeText& type = *parsed.typeText;
    // The handle travels in a bigdata record of Excel's, read-only to the function.
    XLOPER12 asyncHandle{};
    std::vector<std::unique_ptr<TypedArgument>> passed;
    std::size_t given = 0;  // the formula's arguments used so far: an X argument is none of them
    for (std::size_t i = 0; i < type.arguments.size(); ++i) {
        if (type.arguments[i].letter == 'X') {
            passed.push_back(nullptr);
            continue;
        }
        const FormulaArgument argument = given < arguments.size() ? arguments[given] : FormulaArgument{};
        ++given;
        NotPassed notPassed;
        passed.push_back(TypedArgument::make(type.arguments[i], int(i + 1), argument, host.sheets(), notPassed));
        if (!passed.back()) {
            call.shown = notPassed.shown;
            call.limitation = notPassed.limitation;
            call.trace += " not called: argument " + std::to_string(i + 1) + " gives " + describe(call.shown);
            return call;
        }
    }
    if (type.isAsynchronous()) {
        call.asyncHandle = host.asyncReturns().open();
        asyncHandle.xltype = xltypeBigData;
        asyncHandle.val.bigdata.h.hdata = reinterpret_cast<void*>(*call.asyncHandle);
    }
    std::vector<NativeArgument> natives;
    for (const auto& argument : passed)
        if (argument)
            argument->appendTo(natives);
        else
            natives.push_back({NativeType::Pointer, nativePointer(&asyncHandle)});
    NativeValue returned{};
    try {
        returned = callNative(entryPoint(procedure(registration.procedure())), resultType(type), natives);
    } catch (const std::invalid_argument& cannotCall) {
        call.limitation = cannotCall.what();
    } catch (...) {
        call.faults.push_back("let an exception out of " + registration.procedure());
        call.shown = Value::error(xlerrValue);
    }
    if (!call.limitation.empty() || !call.faults.empty()) {
        if (call.asyncHandle) host.asyncReturns().abandon(*call.asyncHandle);
        call.asyncHandle.reset();
        return call;
    }
    std::string fault;
    std::optional<Value> result;
    if (call.asyncHandle) {
        result = Value::error(xlerrGettingData);
    } else if (type.inPlaceArgument != 0) {
        result = passed[std::size_t(type.inPlaceArgument) - 1]->current(fault);
    } else if (!isRecordCode(type.result)) {
        result = readResult(type.result, returned, fault);
    } else if (returned.pointer == nullptr) {
        result = Value::error(xlerrNum);  // as in Excel
    } else if (type.result.letter == 'Q' || type.result.letter == 'U') {
        result = resultOf<Layout12>(returned.pointer, host, call, procedure("xlAutoFree12"));
    } else {
        result = resultOf<Layout4>(returned.pointer, host, call, procedure("xlAutoFree"));
    }
    if (!result) call.faults.push_back(fault);
    call.shown = result ? cellValue(*result, host.sheets(), call) : Value::error(xlerrValue);
    for (std::size_t i = 0; i < passed.size(); ++i)
        if (passed[i] && int(i + 1) != type.inPlaceArgument && !passed[i]->intact())
            call.faults.push_back("wrote into its argument " + std::to_string(i + 1) + ", which is Excel's");
    if (!tracing_) return call;
    std::ostringstream trace;
    trace << registration.procedure() << " [" << registration.typeText() << "](";
    for (std::size_t i = 0; i < passed.size(); ++i)
        trace << (i > 0 ? ", " : "") << (passed[i] ? passed[i]->passed() : Value::handle(*call.asyncHandle));
    trace << ") -> " << call.shown;
    call.trace = trace.str();
    return call;
}

Value AddInModule::shownInCell(const Value& result, ExcelStandIn& host, WorksheetCall& call) {
    return cellValue(result, host.sheets(), call);
}

std::optional<WorksheetCall> AddInModule::addInManagerInfo(ExcelStandIn& host) {
    // Excel 2007 and later prefer the Excel 12 form; earlier ones know only the other.
    const bool excel12 = host.majorVersion() >= 12 && exports("xlAddInManagerInfo12");
    const std::string name = excel12 ? "xlAddInManagerInfo12" : "xlAddInManagerInfo";
    const FARPROC entry = procedure(name);
    if (entry == nullptr) return std::nullopt;
    WorksheetCall call{Value::error(xlerrValue), {}, {}, name + "(1)"};
    NotPassed notPassed;
    const auto action = TypedArgument::make(
        TypeCode{excel12 ? 'Q' : 'P'}, 1, FormulaArgument{std::nullopt, Value::number(1.0)}, host.sheets(), notPassed);
    std::vector<NativeArgument> natives;
    action->appendTo(natives);
    void* returned = nullptr;
    try {
        returned = callNative(entryPoint(entry), NativeType::Pointer, natives).pointer;
    } catch (...) {
        call.faults.push_back("let an exception out of " + name);
        return call;
    }
    if (!action->intact()) call.faults.push_back("wrote into the action argument of " + name + ", which is Excel's");
    if (returned == nullptr) {
        call.shown = Value::error(xlerrNum);
        return call;
    }
    const FARPROC autoFree = procedure(excel12 ? "xlAutoFree12" : "xlAutoFree");
    const Value result = excel12 ? resultOf<Layout12>(returned, host, call, autoFree)
                                 : resultOf<Layout4>(returned, host, call, autoFree);
    call.shown = cellValue(result, host.sheets(), call);
    return call;
}

}  // namespace xlhost
