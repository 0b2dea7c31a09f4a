#include "AddInModule.h"

#include "ArgumentRecord.h"
#include "Coercion.h"

#include <filesystem>
#include <memory>
#include <optional>
#include <sstream>
#include <utility>

namespace xlhost {

namespace {

template <class Function>
Function as(FARPROC procedure) {
    return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(procedure));
}

bool isRecordCode(char code) { return code == 'P' || code == 'Q' || code == 'R' || code == 'U'; }
bool isExcel12Code(char code) { return code == 'Q' || code == 'U'; }

// One argument as it travels: a record Excel owns (in the code's layout), or a double.
class PassedArgument {
public:
    PassedArgument(char code, Value value) : code_(code) {
        if (code == 'B') {
            number_ = value.number();
        } else if (isExcel12Code(code)) {
            record12_ = std::make_unique<Argument12>(std::move(value));
        } else {
            record4_ = std::make_unique<Argument4>(std::move(value));
        }
    }
    bool isNumber() const { return code_ == 'B'; }
    double number() const { return number_; }
    void* record() const {
        return record12_ ? static_cast<void*>(record12_->get()) : static_cast<void*>(record4_->get());
    }
    bool intact() const { return isNumber() || (record12_ ? record12_->intact() : record4_->intact()); }
    std::string text() const {
        std::ostringstream out;
        if (isNumber())
            out << Value::number(number_);
        else
            out << (record12_ ? record12_->value() : record4_->value());
        return out.str();
    }

private:
    char code_;
    double number_ = 0.0;
    std::unique_ptr<Argument4> record4_;
    std::unique_ptr<Argument12> record12_;
};

// The entry point is called through a pointer typed by the argument list, pointers and doubles in
// order, as a __stdcall function on 32-bit Windows: every list up to maxArguments is instantiated.
template <class... Passed>
void* invoke(FARPROC procedure, const std::vector<PassedArgument>& arguments, Passed... passed) {
    constexpr std::size_t count = sizeof...(Passed);
    if (count == arguments.size()) {
        using Entry = void*(XLCALL_STDCALL*)(Passed...);
        return as<Entry>(procedure)(passed...);
    }
    if constexpr (count < AddInModule::maxArguments) {
        const PassedArgument& next = arguments[count];
        if (next.isNumber()) return invoke(procedure, arguments, passed..., next.number());
        return invoke(procedure, arguments, passed..., next.record());
    } else {
        return nullptr;  // longer lists are refused before the call
    }
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
            return Value::error(xlerrValue);
        }
        case Kind::Invalid:
            call.faults.push_back("returned a record Excel cannot read: " + describe(value));
            return Value::error(xlerrValue);
        default:
            call.limitation = "xllhost does not show a " + std::string(kindName(value.kind())) + " result";
            return Value::error(xlerrValue);
    }
}

template <class L>
Value resultOf(void* returned, ExcelStandIn& host, WorksheetCall& call, FARPROC autoFree) {
    using Record = typename L::Record;
    auto& record = *static_cast<Record*>(returned);
    const std::uint32_t typeWord = record.xltype;
    // Copied before anything else runs: the add-in reuses the memory on its next call.
    if ((typeWord & xlbitXLFree) != 0) return host.takeResult(record);  // Excel's memory, freed by Excel
    Value value = RecordCodec<L>::decode(record);
    if ((typeWord & xlbitDLLFree) != 0) {
        if (autoFree == nullptr)
            call.faults.push_back(std::string("marked its result for xlAutoFree, but exports no ") +
                                  (L::layout == Layout::Excel12 ? "xlAutoFree12" : "xlAutoFree"));
        else
            as<void(XLCALL_STDCALL*)(Record*)>(autoFree)(&record);
    }
    return value;
}

// Excel's reading of one formula argument for the code: nothing when the call cannot be made,
// with the cell's value in `shown` (an error argument to "B", or an argument xllhost cannot pass).
std::optional<Value> argumentValue(char code, const FormulaArgument& argument, const SheetModel& sheets,
                                   Value& shown) {
    if (argument.range && (code == 'R' || code == 'U')) return Value::sheetReference(*argument.range);
    Value value = argument.literal;
    if (argument.range) value = coerce(Value::sheetReference(*argument.range), std::nullopt, sheets).value;
    if (code != 'B') return value;
    if (value.kind() == Kind::Missing) return Value::number(0.0);
    if (value.kind() == Kind::Error) {
        shown = value;  // Excel gives the error without calling
        return std::nullopt;
    }
    // A block of several cells is no number to Excel (no implicit intersection here).
    const Coerced number = coerce(value, xltypeNum, sheets);
    if (value.kind() == Kind::Array || number.code != xlretSuccess) {
        shown = Value::error(xlerrValue);
        return std::nullopt;
    }
    return number.value;
}

}  // namespace

std::string typeCodes(const std::string& typeText) {
    std::string codes = typeText;
    while (!codes.empty() && std::string("!#$&").find(codes.back()) != std::string::npos) codes.pop_back();
    return codes;
}

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

FARPROC AddInModule::procedure(const std::string& name) const { return GetProcAddress(module_, name.c_str()); }

bool AddInModule::exports(const std::string& name) const { return procedure(name) != nullptr; }

int AddInModule::open() { return as<int(XLCALL_STDCALL*)()>(procedure("xlAutoOpen"))(); }

void AddInModule::close() {
    if (const FARPROC autoClose = procedure("xlAutoClose")) as<int(XLCALL_STDCALL*)()>(autoClose)();
}

std::vector<std::string> AddInModule::runCommand(const Registration& command) {
    const FARPROC entry = procedure(command.procedure());
    const std::string codes = typeCodes(command.typeText());
    try {
        // A double comes back on the x87 stack, which the caller must clear; anything else in a register.
        if (!codes.empty() && codes[0] == 'B')
            as<double(XLCALL_STDCALL*)()>(entry)();
        else
            as<std::intptr_t(XLCALL_STDCALL*)()>(entry)();
    } catch (...) {
        return {"let an exception out of " + command.procedure()};
    }
    return {};
}

WorksheetCall AddInModule::call(const Registration& registration, const std::vector<FormulaArgument>& arguments,
                                ExcelStandIn& host) {
    WorksheetCall call{Value::error(xlerrValue), {}, {}, registration.procedure()};
    const std::string codes = typeCodes(registration.typeText());
    for (std::size_t i = 0; i < codes.size(); ++i)
        if (!isRecordCode(codes[i]) && (i == 0 || codes[i] != 'B')) {
            call.limitation = "xllhost calls functions of the type codes P, Q, R, U (and B for arguments) only, not " +
                              registration.typeText();
            return call;
        }
    if (codes.empty()) return call;  // a registration Excel accepted always has a result code
    const std::size_t count = codes.size() - 1;
    if (count > maxArguments) {
        call.limitation = "xllhost calls functions of up to " + std::to_string(maxArguments) + " arguments only";
        return call;
    }
    std::vector<PassedArgument> passed;
    try {
        for (std::size_t i = 0; i < count; ++i) {
            const FormulaArgument given = i < arguments.size() ? arguments[i] : FormulaArgument{};
            const auto value = argumentValue(codes[i + 1], given, host.sheets(), call.shown);
            if (!value) {
                call.trace += " not called: argument " + std::to_string(i + 1) + " gives " + describe(call.shown);
                return call;
            }
            passed.emplace_back(codes[i + 1], *value);
        }
    } catch (const std::exception& tooLarge) {  // a value the layout cannot carry, a range beyond memory
        call.limitation = std::string("the arguments cannot be passed: ") + tooLarge.what();
        return call;
    }
    void* returned = nullptr;
    try {
        returned = invoke(procedure(registration.procedure()), passed);
    } catch (...) {
        call.faults.push_back("let an exception out of " + registration.procedure());
        return call;
    }
    const bool excel12 = isExcel12Code(codes[0]);
    if (returned == nullptr) {
        call.shown = Value::error(xlerrNum);
    } else {
        const FARPROC autoFree = procedure(excel12 ? "xlAutoFree12" : "xlAutoFree");
        const Value result = excel12 ? resultOf<Layout12>(returned, host, call, autoFree)
                                     : resultOf<Layout4>(returned, host, call, autoFree);
        call.shown = cellValue(result, host.sheets(), call);
    }
    for (std::size_t i = 0; i < passed.size(); ++i)
        if (!passed[i].intact()) call.faults.push_back("wrote into its argument " + std::to_string(i + 1) + ", which is Excel's");
    std::ostringstream trace;
    trace << registration.procedure() << " [" << registration.typeText() << "](";
    for (std::size_t i = 0; i < passed.size(); ++i) trace << (i > 0 ? ", " : "") << passed[i].text();
    trace << ") -> ";
    if (returned == nullptr)
        trace << "null";
    else
        trace << call.shown;
    call.trace = trace.str();
    return call;
}

}  // namespace xlhost
