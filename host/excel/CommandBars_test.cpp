#include "CommandBars.h"

#include "XlCall.h"

#include <gtest/gtest.h>

namespace xlhost {
namespace {

const Value worksheetBar = Value::number(10);

Value menuOf(const char* title, std::vector<std::pair<const char*, const char*>> commands) {
    std::vector<Value> cells{Value::text(title), Value::nil()};
    for (const auto& [name, macro] : commands) {
        cells.push_back(Value::text(name));
        cells.push_back(Value::text(macro));
    }
    return Value::array(std::int32_t(commands.size() + 1), 2, std::move(cells));
}

TEST(CommandBars, TheWorksheetBarHasItsBuiltInMenusAndTheActiveBarIsIt) {
    CommandBars bars;
    EXPECT_EQ(bars.getBar({}), Value::number(10));
    EXPECT_EQ(bars.getBar({worksheetBar, Value::text("file"), Value::number(0)}), Value::number(1))
        << "no '&', any case";
    EXPECT_EQ(bars.getBar({worksheetBar, Value::number(5), Value::number(0)}), Value::text("F&ormat"));
    EXPECT_EQ(bars.getBar({worksheetBar, Value::text("Graphs"), Value::number(0)}), Value::error(xlerrNA));
    EXPECT_EQ(bars.getBar({Value::number(99), Value::text("File"), Value::number(0)}), Value::error(xlerrValue));
    // The commands of the built-in menus, and other bars' menus, are not modelled.
    EXPECT_EQ(bars.getBar({worksheetBar, Value::text("File"), Value::text("Print...")}), std::nullopt);
    EXPECT_EQ(bars.getBar({Value::number(2), Value::text("Chart"), Value::number(0)}), std::nullopt);
}

TEST(CommandBars, CustomMenusAreAddedFoundAndDeleted) {
    CommandBars bars;
    const Value menu = menuOf("&Generic", {{"&Dance", "fDance"}, {"&Dialog...", "fDialog"}});
    EXPECT_EQ(bars.addMenu({worksheetBar, menu}), Value::number(10));
    EXPECT_EQ(bars.getBar({worksheetBar, Value::text("Generic"), Value::text("dialog...")}), Value::number(2));
    EXPECT_EQ(bars.getBar({worksheetBar, Value::text("Generic"), Value::number(1)}), Value::text("&Dance"));
    EXPECT_EQ(bars.getBar({worksheetBar, Value::text("Generic"), Value::text("Sing")}), Value::error(xlerrNA));
    EXPECT_EQ(bars.getBar({worksheetBar, Value::text("Generic"), Value::number(1), Value::number(1)}),
              Value::error(xlerrNA))
        << "no submenus";
    const std::vector<CommandBars::Menu>& menus = *bars.menusOf(10);
    EXPECT_EQ(menus.back().commands.front().macro, u"fDance");
    // Placed before a menu by name; the menus after it move right.
    EXPECT_EQ(bars.addMenu({worksheetBar, menuOf("Other", {{"Go", "fGo"}}), Value::text("Help")}), Value::number(9));
    EXPECT_EQ(bars.getBar({worksheetBar, Value::text("Generic"), Value::number(0)}), Value::number(11));
    EXPECT_EQ(bars.deleteMenu({worksheetBar, Value::text("generic")}), Value::boolean(true));
    EXPECT_EQ(bars.deleteMenu({worksheetBar, Value::text("Generic")}), Value::error(xlerrValue));
    // A deleted built-in menu comes back by its name.
    EXPECT_EQ(bars.deleteMenu({worksheetBar, Value::text("Data")}), Value::boolean(true));
    EXPECT_EQ(bars.addMenu({worksheetBar, Value::text("Data"), Value::number(7)}), Value::number(7));
    EXPECT_EQ(bars.addMenu({worksheetBar, Value::text("Data")}), Value::error(xlerrValue)) << "already there";
    EXPECT_EQ(bars.addMenu({worksheetBar, Value::array(1, 2, {Value::text("t"), Value::nil()})}),
              Value::error(xlerrValue));
    EXPECT_EQ(bars.addMenu({worksheetBar, menu, Value::missing(), Value::number(1)}), std::nullopt) << "submenus";
}

TEST(CommandBars, CustomToolbarsAreKeptByName) {
    CommandBars bars;
    const Value tools = Value::array(2, 2, {Value::number(211), Value::text("fDance"), Value::number(0), Value::nil()});
    EXPECT_EQ(bars.addToolbar({Value::text("Generic"), tools}), Value::boolean(true));
    EXPECT_EQ(bars.addToolbar({Value::text("generic")}), Value::error(xlerrValue)) << "the name is taken";
    EXPECT_EQ(bars.getToolbar({Value::number(1), Value::text("Generic")}),
              Value::array(1, 2, {Value::number(211), Value::number(0)}));
    EXPECT_EQ(bars.getToolbar({Value::number(7), Value::text("Generic")}), Value::boolean(false)) << "not shown yet";
    const Value all = *bars.getToolbar({Value::number(8)});
    EXPECT_EQ(all.element(0, all.columns() - 1), Value::text("Generic"));
    EXPECT_EQ(bars.getToolbar({Value::number(1), Value::text("Nope")}), Value::error(xlerrValue));
    EXPECT_EQ(bars.getToolbar({Value::number(4), Value::text("Generic")}), std::nullopt) << "sizes are not modelled";
    EXPECT_EQ(bars.deleteToolbar({Value::number(1)}), Value::error(xlerrValue)) << "built-in toolbars stay";
    EXPECT_EQ(bars.deleteToolbar({Value::text("Generic")}), Value::boolean(true));
    EXPECT_TRUE(bars.toolbars().empty());
}

}  // namespace
}  // namespace xlhost
