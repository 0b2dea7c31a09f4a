#include "WorksheetCallCheck.h"

#include "AddInModule.h"
#include "TypeText.h"

#include <algorithm>
#include <optional>
#include <sstream>
#include <stdexcept>

namespace worksheetcheck {

using xlhost::Kind;
using xlhost::Value;

std::size_t EntryPoint::records() const {
    return static_cast<std::size_t>(std::count(parameters.begin(), parameters.end(), Parameter::Record));
}

bool EntryPoint::takesNumber() const {
    return std::find(parameters.begin(), parameters.end(), Parameter::Number) != parameters.end();
}

namespace {

// The entry point called with the parameters chosen so far, or with one more: each call is made
// through the function type its parameters spell, for every combination up to maxParameters.
template <class... Chosen>
void* CallWith(const EntryPoint& entry, const std::vector<void*>& records, std::size_t nextRecord, double number,
               Chosen... chosen) {
    const std::size_t next = sizeof...(Chosen);
    if (next == entry.parameters.size()) {
        using Function = void*(XLCALL_STDCALL*)(Chosen...);
        return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(entry.address))(chosen...);
    }
    if constexpr (sizeof...(Chosen) < EntryPoint::maxParameters) {
        if (entry.parameters[next] == Parameter::Record)
            return CallWith(entry, records, nextRecord + 1, number, chosen..., records.at(nextRecord));
        return CallWith(entry, records, nextRecord, number, chosen..., number);
    }
    throw std::logic_error(entry.name + " takes more parameters than a call can be made with");
}

bool IsRecordCode(const xlhost::TypeCode& code) {
    return !code.percent && (code.letter == 'P' || code.letter == 'Q');
}

}  // namespace

void* EntryPoint::call(const std::vector<void*>& records, double number) const {
    return CallWith(*this, records, 0, number);
}

RegisteredFunctions Classify(const std::vector<xlhost::Registration>& registrations,
                             const std::function<FARPROC(const std::string& procedure)>& address) {
    RegisteredFunctions functions;
    for (const xlhost::Registration& registration : registrations) {
        const std::string described = registration.procedure() + " (type " + registration.typeText() + ")";
        if (!registration.accepted()) {
            functions.uncovered.push_back(described + ": refused, " + registration.rejection);
            continue;
        }
        const xlhost::ParsedTypeText parsed = xlhost::parseTypeText(registration.typeText());
        EntryPoint entry{registration.procedure(), {}, address(registration.procedure())};
        std::string problem;
        if (!parsed.typeText || !IsRecordCode(parsed.typeText->result)) problem = "no record result";
        for (std::size_t i = 0; problem.empty() && i < parsed.typeText->arguments.size(); ++i) {
            const xlhost::TypeCode& code = parsed.typeText->arguments[i];
            if (IsRecordCode(code))
                entry.parameters.push_back(Parameter::Record);
            else if (code.letter == 'B')
                entry.parameters.push_back(Parameter::Number);
            else
                problem = "an argument of type " + code.text();
        }
        if (problem.empty() && entry.parameters.size() > EntryPoint::maxParameters)
            problem = "more than " + std::to_string(EntryPoint::maxParameters) + " arguments";
        if (problem.empty() && entry.address == nullptr) problem = "not exported";
        if (problem.empty())
            functions.covered.push_back(std::move(entry));
        else
            functions.uncovered.push_back(described + ": " + problem);
    }
    return functions;
}

namespace {

std::optional<std::string> PathVariable() {
    const DWORD size = GetEnvironmentVariableA("Path", nullptr, 0);
    if (size == 0) return std::nullopt;
    std::string value(size, '\0');
    value.resize(GetEnvironmentVariableA("Path", &value[0], size));
    return value;
}

template <typename Function>
Function Export(HMODULE module, const char* name) {
    return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(GetProcAddress(module, name)));
}

using AutoFunction = int(XLCALL_STDCALL*)();

}  // namespace

AddIn::AddIn(const char* file) : module_(LoadLibraryA(file)) {
    if (module_ == nullptr || GetProcAddress(module_, "xlAutoOpen") == nullptr ||
        GetProcAddress(module_, "xlAutoClose") == nullptr)
        throw std::runtime_error(std::string(file) + " cannot be loaded as an add-in beside the program");
}

int AddIn::open() {
    pathBeforeOpen_ = PathVariable();
    return Export<AutoFunction>(module_, "xlAutoOpen")();
}

void AddIn::close() {
    Export<AutoFunction>(module_, "xlAutoClose")();
    SetEnvironmentVariableA("Path", pathBeforeOpen_ ? pathBeforeOpen_->c_str() : nullptr);
}

RegisteredFunctions AddIn::registered(const xlhost::ExcelStandIn& host) const {
    return Classify(host.registry().registrations(),
                    [this](const std::string& procedure) { return GetProcAddress(module_, procedure.c_str()); });
}

namespace {

// What a worksheet function may hand back: the values a cell can show, and arrays of them.
bool IsCellValue(Kind kind) {
    return kind == Kind::Number || kind == Kind::Text || kind == Kind::Boolean || kind == Kind::Error ||
           kind == Kind::Nil;
}

}  // namespace

template <class L>
std::string ResultProblem(const void* record) {
    if (record == nullptr) return "null result";
    const Value result = xlhost::RecordCodec<L>::decode(*static_cast<const typename L::Record*>(record));
    // The decoder checks type words, text counts, error codes and array shapes, elements included.
    if (const Value* invalid = result.firstInvalid()) return "unreadable result: " + describe(*invalid);
    if (result.kind() == Kind::Array) {
        // Excel 2003's sheets show 255 columns of an array; Excel 2007's grid and later ones, all of theirs.
        const std::int64_t maxColumns = L::sheetColumns == 256 ? 255 : L::sheetColumns;
        if (result.columns() > maxColumns) return "array of " + std::to_string(result.columns()) + " columns";
        return "";
    }
    if (!IsCellValue(result.kind())) return "result of kind " + std::string(kindName(result.kind()));
    return "";
}

template <class L>
std::string CallProblems(xlhost::ExcelStandIn& host, const void* result,
                         const std::vector<const xlhost::ArgumentRecord<L>*>& arguments) {
    std::ostringstream problems;
    const std::string resultProblem = ResultProblem<L>(result);
    if (!resultProblem.empty()) problems << resultProblem << "\n";
    if (host.checkForLeaks() != 0 || !host.faults().empty()) problems << host.faults();
    host.clearFaults();
    for (const auto* argument : arguments)
        if (!argument->intact()) problems << "argument " << argument->value() << " was written to\n";
    return problems.str();
}

template std::string ResultProblem<xlhost::Layout4>(const void*);
template std::string ResultProblem<xlhost::Layout12>(const void*);
template std::string CallProblems<xlhost::Layout4>(xlhost::ExcelStandIn&, const void*,
                                                   const std::vector<const xlhost::Argument4*>&);
template std::string CallProblems<xlhost::Layout12>(xlhost::ExcelStandIn&, const void*,
                                                    const std::vector<const xlhost::Argument12*>&);

}  // namespace worksheetcheck
