#include "CommandBars.h"

#include "XlCall.h"

#include <algorithm>
#include <cctype>

namespace xlhost {

namespace {

// The worksheet and macro sheet menu bar, and the numbers of the built-in bars that exist.
constexpr int worksheetMenuBar = 10;
constexpr int firstBuiltInBar = 1;
constexpr int lastBuiltInBar = 12;
constexpr int lastBuiltInToolbar = 13;

const char16_t* const worksheetMenus[] = {u"&File",  u"&Edit", u"&View",   u"&Insert", u"F&ormat",
                                          u"&Tools", u"&Data", u"&Window", u"&Help"};

Value errorValue() {
    return Value::error(xlerrValue);
}
Value notAvailable() {
    return Value::error(xlerrNA);
}

// Menu and command names match whatever their case and access-key ampersands.
std::u16string plain(const std::u16string& name) {
    std::u16string folded;
    for (char16_t c : name)
        if (c != u'&') folded.push_back(c < 0x80 ? char16_t(std::tolower(static_cast<int>(c))) : c);
    return folded;
}

bool isGiven(const std::vector<Value>& arguments, std::size_t index) {
    return index < arguments.size() && arguments[index].kind() != Kind::Missing;
}

std::u16string textAt(const Value& array, std::int32_t row, std::int32_t column) {
    if (column >= array.columns()) return std::u16string();
    const Value& element = array.element(row, column);
    return element.kind() == Kind::Text ? element.text() : std::u16string();
}

// A 1-based position from a number or a name among `names`; nothing when it names none.
template <class Item>
std::optional<std::size_t> positionOf(const Value& key, const std::vector<Item>& items) {
    if (const auto number = key.numeric()) {
        if (*number >= 1 && *number <= double(items.size())) return std::size_t(*number);
        return std::nullopt;
    }
    if (key.kind() != Kind::Text) return std::nullopt;
    for (std::size_t i = 0; i < items.size(); ++i)
        if (plain(items[i].name) == plain(key.text())) return i + 1;
    return std::nullopt;
}

}  // namespace

CommandBars::CommandBars() {
    for (int id = firstBuiltInBar; id <= lastBuiltInBar; ++id) bars_.push_back(Bar{id, {}});
    for (const char16_t* name : worksheetMenus)
        barOf(Value::number(worksheetMenuBar))->menus.push_back(Menu{name, {}, false});
}

CommandBars::Bar* CommandBars::barOf(const Value& id) {
    return const_cast<Bar*>(static_cast<const CommandBars&>(*this).barOf(id));
}

const CommandBars::Bar* CommandBars::barOf(const Value& id) const {
    const auto number = id.numeric();
    if (!number) return nullptr;
    for (const Bar& bar : bars_)
        if (bar.id == *number) return &bar;
    return nullptr;
}

const std::vector<CommandBars::Menu>* CommandBars::menusOf(int bar) const {
    const Bar* found = barOf(Value::number(bar));
    return found ? &found->menus : nullptr;
}

std::optional<Value> CommandBars::getBar(const std::vector<Value>& arguments) const {
    if (arguments.empty()) return Value::number(worksheetMenuBar);  // the bar of the active worksheet
    if (arguments.size() < 3) return errorValue();
    const Bar* bar = barOf(arguments[0]);
    if (bar == nullptr) return errorValue();
    // Only the worksheet menu bar's menus are modelled; the other bars' built-in menus are not.
    const auto menuAt = positionOf(arguments[1], bar->menus);
    if (!menuAt) return bar->id == worksheetMenuBar ? std::optional<Value>(notAvailable()) : std::nullopt;
    const Menu& menu = bar->menus[*menuAt - 1];
    const Value& command = arguments[2];
    if (command.numeric() == 0.0) {
        if (arguments[1].kind() == Kind::Text) return Value::number(double(*menuAt));
        return Value::text(menu.name);
    }
    if (!menu.custom) return std::nullopt;  // the commands of built-in menus are not modelled
    const auto commandAt = positionOf(command, menu.commands);
    if (!commandAt || isGiven(arguments, 3)) return notAvailable();  // custom menus have no submenus
    if (command.kind() == Kind::Text) return Value::number(double(*commandAt));
    return Value::text(menu.commands[*commandAt - 1].name);
}

std::optional<Value> CommandBars::addMenu(const std::vector<Value>& arguments) {
    if (arguments.size() < 2) return errorValue();
    Bar* bar = barOf(arguments[0]);
    if (bar == nullptr) return errorValue();
    if (isGiven(arguments, 3)) return std::nullopt;  // placing a submenu is not modelled
    std::size_t position = bar->menus.size() + 1;
    if (isGiven(arguments, 2)) {
        const auto before = positionOf(arguments[2], bar->menus);
        if (!before) return errorValue();
        position = *before;
    }
    const Value& description = arguments[1];
    Menu menu;
    if (description.kind() == Kind::Text) {
        // The name of a deleted built-in menu restores it.
        const auto builtIn =
            std::find_if(std::begin(worksheetMenus), std::end(worksheetMenus),
                         [&description](const char16_t* name) { return plain(name) == plain(description.text()); });
        if (bar->id != worksheetMenuBar || builtIn == std::end(worksheetMenus) || positionOf(description, bar->menus))
            return errorValue();
        menu = Menu{*builtIn, {}, false};
    } else if (description.kind() == Kind::Array) {
        if (description.rows() < 2 || description.columns() < 2 || description.element(0, 0).kind() != Kind::Text)
            return errorValue();
        menu = Menu{description.element(0, 0).text(), {}, true};
        for (std::int32_t r = 1; r < description.rows(); ++r)
            menu.commands.push_back(
                Command{textAt(description, r, 0), textAt(description, r, 1), textAt(description, r, 3)});
    } else if (description.kind() == Kind::Reference) {
        return std::nullopt;  // a description on a macro sheet is not modelled
    } else {
        return errorValue();
    }
    bar->menus.insert(bar->menus.begin() + std::ptrdiff_t(position - 1), std::move(menu));
    return Value::number(double(position));
}

std::optional<Value> CommandBars::deleteMenu(const std::vector<Value>& arguments) {
    if (arguments.size() != 2) return errorValue();
    Bar* bar = barOf(arguments[0]);
    if (bar == nullptr) return errorValue();
    const auto menuAt = positionOf(arguments[1], bar->menus);
    if (!menuAt) return errorValue();
    bar->menus.erase(bar->menus.begin() + std::ptrdiff_t(*menuAt - 1));
    return Value::boolean(true);
}

const CommandBars::Toolbar* CommandBars::toolbarNamed(const Value& id) const {
    if (id.kind() != Kind::Text) return nullptr;
    for (const Toolbar& toolbar : toolbars_)
        if (plain(toolbar.name) == plain(id.text())) return &toolbar;
    return nullptr;
}

std::optional<Value> CommandBars::getToolbar(const std::vector<Value>& arguments) const {
    if (arguments.empty() || !arguments[0].numeric()) return errorValue();
    const double type = *arguments[0].numeric();
    if (type == 8) {  // every toolbar: the built-in ones by number, then the custom ones by name
        std::vector<Value> ids;
        for (int id = 1; id <= lastBuiltInToolbar; ++id) ids.push_back(Value::number(id));
        for (const Toolbar& toolbar : toolbars_) ids.push_back(Value::text(toolbar.name));
        const auto count = std::int32_t(ids.size());
        return Value::array(1, count, std::move(ids));
    }
    if (type != 1 && type != 7) return std::nullopt;  // positions, sizes and visibility lists are not modelled
    if (arguments.size() < 2) return errorValue();
    if (arguments[1].numeric()) {
        const double id = *arguments[1].numeric();
        if (id >= 1 && id <= lastBuiltInToolbar) return std::nullopt;  // the built-in toolbars' tools are not modelled
        return errorValue();
    }
    const Toolbar* toolbar = toolbarNamed(arguments[1]);
    if (toolbar == nullptr) return errorValue();
    if (type == 7) return Value::boolean(false);  // a toolbar shows only after SHOW.TOOLBAR
    if (toolbar->toolIds.empty()) return notAvailable();
    return Value::array(1, std::int32_t(toolbar->toolIds.size()), toolbar->toolIds);
}

Value CommandBars::addToolbar(const std::vector<Value>& arguments) {
    if (arguments.empty() || arguments.size() > 2 || arguments[0].kind() != Kind::Text || arguments[0].text().empty() ||
        toolbarNamed(arguments[0]) != nullptr)
        return errorValue();
    Toolbar toolbar{arguments[0].text(), {}};
    if (isGiven(arguments, 1)) {
        const Value& tools = arguments[1];
        if (tools.kind() == Kind::Array) {
            for (std::int32_t r = 0; r < tools.rows(); ++r) toolbar.toolIds.push_back(tools.element(r, 0));
        } else if (tools.numeric()) {
            toolbar.toolIds.push_back(Value::number(*tools.numeric()));
        } else {
            return errorValue();
        }
    }
    toolbars_.push_back(std::move(toolbar));
    return Value::boolean(true);
}

Value CommandBars::deleteToolbar(const std::vector<Value>& arguments) {
    if (arguments.size() != 1) return errorValue();
    const Toolbar* toolbar = toolbarNamed(arguments[0]);
    if (toolbar == nullptr) return errorValue();  // built-in toolbars cannot be deleted
    toolbars_.erase(toolbars_.begin() + (toolbar - toolbars_.data()));
    return Value::boolean(true);
}

}  // namespace xlhost
