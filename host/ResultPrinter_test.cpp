#include "ResultPrinter.h"

#include "XlCall.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace xlhost {
namespace {

TEST(CellText, NumbersInExcelsGeneralFormatOrReadingBackExactly) {
    EXPECT_EQ(cellText(Value::number(0.1 + 0.2), false), "0.3");
    EXPECT_EQ(cellText(Value::number(0.1 + 0.2), true), "0.30000000000000004");
    EXPECT_EQ(cellText(Value::number(1e20), false), "1E+20");
    EXPECT_EQ(cellText(Value::number(-0.0), true), "0");
    // What a cell cannot hold shows as #NUM!, as in Excel.
    EXPECT_EQ(cellText(Value::number(std::numeric_limits<double>::quiet_NaN()), true), "#NUM!");
    EXPECT_EQ(cellText(Value::number(-HUGE_VAL), false), "#NUM!");
}

TEST(CellText, TextsShowTheirControlCharactersAndOtherValuesAsExcelNamesThem) {
    EXPECT_EQ(cellText(Value::text(std::u16string(u"square\0", 7)), false), "square\\x00");
    EXPECT_EQ(cellText(Value::text(u"a\nb\u00e9"), false), "a\\x0Ab\xc3\xa9");
    EXPECT_EQ(cellText(Value::boolean(false), false), "FALSE");
    EXPECT_EQ(cellText(Value::error(xlerrDiv0), false), "#DIV/0!");
    EXPECT_EQ(cellText(Value::nil(), false), "");
}

}  // namespace
}  // namespace xlhost
