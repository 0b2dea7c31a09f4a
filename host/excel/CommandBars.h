#ifndef HOST_COMMANDBARS_H
#define HOST_COMMANDBARS_H

// Excel's menu bars and toolbars as the XLM menu functions see them (ADD.MENU, DELETE.MENU,
// GET.BAR, ADD.TOOLBAR, DELETE.TOOLBAR, GET.TOOLBAR). Since Excel 2007 the menus and toolbars an
// add-in adds show on the ribbon's Add-Ins tab, but the functions answer as before: the worksheet
// menu bar (10) still has its built-in menus, and custom menus and toolbars are kept by name.
// Each answer is Excel's value, or nothing for a question the stand-in does not model.

#include "Value.h"

#include <optional>
#include <string>
#include <vector>

namespace xlhost {

class CommandBars {
public:
    struct Command {
        std::u16string name;
        std::u16string macro;
        std::u16string statusText;
    };
    struct Menu {
        std::u16string name;
        std::vector<Command> commands;  // empty for a built-in menu: its commands are not modelled
        bool custom = false;
    };
    struct Toolbar {
        std::u16string name;
        std::vector<Value> toolIds;
    };

    CommandBars();

    // The functions, with their arguments as Excel received them.
    std::optional<Value> getBar(const std::vector<Value>& arguments) const;
    std::optional<Value> addMenu(const std::vector<Value>& arguments);
    std::optional<Value> deleteMenu(const std::vector<Value>& arguments);
    std::optional<Value> getToolbar(const std::vector<Value>& arguments) const;
    Value addToolbar(const std::vector<Value>& arguments);
    Value deleteToolbar(const std::vector<Value>& arguments);

    // The menus of a bar in order, left to right; nothing for a bar Excel does not have.
    const std::vector<Menu>* menusOf(int bar) const;
    const std::vector<Toolbar>& toolbars() const { return toolbars_; }

private:
    struct Bar {
        int id;
        std::vector<Menu> menus;
    };
    Bar* barOf(const Value& id);
    const Bar* barOf(const Value& id) const;
    const Toolbar* toolbarNamed(const Value& id) const;

    std::vector<Bar> bars_;
    std::vector<Toolbar> toolbars_;
};

}  // namespace xlhost

#endif
