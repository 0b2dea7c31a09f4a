// Registered functions and the add-in's names: xlfRegister, xlfSetName, xlfEvaluate, xlUDF.

#include "CallbackSupport.h"
#include "Coercion.h"
#include "ExcelStandIn.h"
#include "XlCall.h"

#include <algorithm>
#include <cctype>
#include <utility>

namespace xlhost {

namespace {

// Excel's rules for a defined name: a letter, '_' or '\\' first, then letters, digits, '.', '_'.
bool isValidName(const std::u16string& name) {
    const auto letter = [](char16_t c) { return c >= 0x80 || std::isalpha(static_cast<int>(c)); };
    if (name.empty() || !(letter(name[0]) || name[0] == u'_' || name[0] == u'\\')) return false;
    return std::all_of(name.begin(), name.end(), [&letter](char16_t c) {
        return letter(c) || (c < 0x80 && std::isdigit(static_cast<int>(c))) || c == u'.' || c == u'_' || c == u'\\';
    });
}

}  // namespace

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

}  // namespace xlhost
