// What Excel shows its user: the status bar (xlcMessage), alerts, menus and toolbars.

#include "Coercion.h"
#include "ExcelStandIn.h"
#include "XlCall.h"

#include <utility>

namespace xlhost {

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

}  // namespace xlhost
