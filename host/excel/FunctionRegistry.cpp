#include "FunctionRegistry.h"

#include "Coercion.h"
#include "TypeText.h"

#include <algorithm>
#include <cctype>

namespace xlhost {

namespace {

bool isAbsent(const Value& value) {
    return value.kind() == Kind::Missing || value.kind() == Kind::Nil;
}

}  // namespace

std::string Registration::text(std::size_t index) const {
    if (index >= arguments.size() || arguments[index].kind() != Kind::Text) return std::string();
    // Excel hands these texts on as C strings: an Excel 4 text whose count includes a closing
    // zero byte reads as the text before it.
    std::string text = arguments[index].narrowText();
    text.resize(std::min(text.find('\0'), text.size()));
    return text;
}

std::optional<double> Registration::macroType() const {
    if (arguments.size() <= 5 || isAbsent(arguments[5])) return 1.0;
    const Value& given = arguments[5];
    if (given.kind() == Kind::Text) return textToNumber(given.text());
    if (given.kind() == Kind::Boolean) return given.boolean() ? 1.0 : 0.0;
    return given.numeric();
}

std::optional<std::string> typeTextProblem(const std::string& typeText, int majorVersion) {
    const ParsedTypeText parsed = parseTypeText(typeText);
    if (!parsed.typeText) return parsed.problem;
    return versionProblem(*parsed.typeText, majorVersion);
}

std::string FunctionRegistry::rejectionOf(const Registration& registration, const Rules& rules) const {
    const std::vector<Value>& arguments = registration.arguments;
    if (arguments.size() < 3) return "fewer than three arguments";
    const auto macroType = registration.macroType();
    if (!macroType || (*macroType != 0 && *macroType != 1 && *macroType != 2))
        return "macro type " + describe(arguments[5]);
    for (std::size_t i = 0; i < arguments.size(); ++i)
        if (i != 5 && arguments[i].kind() != Kind::Text && (i < 3 || !isAbsent(arguments[i])))
            return "argument " + std::to_string(i + 1) + " is " + describe(arguments[i]) + ", not a text";
    const std::string module = registration.module();
    if (!sameIgnoringCase(module, rules.addInPath)) return "module " + module + " is not the loaded add-in";
    const std::string procedure = registration.procedure();
    if (rules.exportExists && !rules.exportExists(procedure)) return "the add-in exports no " + procedure;
    if (const auto problem = typeTextProblem(registration.typeText(), rules.majorVersion))
        return "type text " + registration.typeText() + ": " + *problem;
    return std::string();
}

Value FunctionRegistry::registerFunction(std::vector<Value> arguments, Layout layout, const Rules& rules) {
    Registration registration{std::move(arguments), layout, std::nullopt, std::string(), false};
    registration.rejection = rejectionOf(registration, rules);
    if (!registration.rejection.empty()) {
        registrations_.push_back(std::move(registration));
        return Value::error(xlerrValue);
    }
    for (Registration& earlier : registrations_) {
        if (earlier.accepted() && sameIgnoringCase(earlier.module(), registration.module()) &&
            earlier.procedure() == registration.procedure()) {
            registration.id = earlier.id;
            earlier.active = false;  // superseded by this one
        }
    }
    if (!registration.id) {
        registration.id = nextId_;
        nextId_ += 7.0;
    }
    registration.active = true;
    const double id = *registration.id;
    registrations_.push_back(std::move(registration));
    return Value::number(id);
}

Value FunctionRegistry::unregister(const Value& id) {
    const auto number = id.numeric();
    bool found = false;
    for (Registration& registration : registrations_) {
        if (number && registration.active && registration.id == *number) {
            registration.active = false;
            found = true;
        }
    }
    return Value::boolean(found);
}

const Registration* FunctionRegistry::find(std::string_view functionName) const {
    for (auto it = registrations_.rbegin(); it != registrations_.rend(); ++it)
        if (it->accepted() && it->functionName() == functionName) return &*it;
    return nullptr;
}

const Registration* FunctionRegistry::findActive(std::string_view name, bool command) const {
    for (auto it = registrations_.rbegin(); it != registrations_.rend(); ++it)
        if (it->active && it->isCommand() == command && sameIgnoringCase(it->functionName(), name)) return &*it;
    return nullptr;
}

const Registration* FunctionRegistry::findFunction(std::string_view name) const {
    return findActive(name, false);
}
const Registration* FunctionRegistry::findCommand(std::string_view name) const {
    return findActive(name, true);
}

const Registration* FunctionRegistry::findById(double id) const {
    for (const Registration& registration : registrations_)
        if (registration.active && registration.id == id) return &registration;
    return nullptr;
}

bool FunctionRegistry::isActive(double id) const {
    return std::any_of(registrations_.begin(), registrations_.end(),
                       [id](const Registration& registration) { return registration.active && registration.id == id; });
}

}  // namespace xlhost
