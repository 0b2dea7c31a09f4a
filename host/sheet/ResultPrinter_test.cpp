#include "ResultPrinter.h"

#include "XlCall.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <sstream>

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

// A formula's result as the evaluator leaves it.
FormulaResult resultOf(const SheetEntry& formula, const Area& area, Value value, bool spillBlocked = false) {
    return FormulaResult{&formula, area, std::move(value), spillBlocked};
}

TEST(PrintedResults, ColumnsAreAsWideAsTheirWidestCellNumbersRightOtherValuesLeft) {
    SheetEntry formula;
    formula.formulaText = "f(A1:B2)";
    EvaluatedSheet sheet;
    sheet.formulas.push_back(resultOf(
        formula, Area{0, 2, 3, 5},
        Value::array(
            3, 3,
            {Value::number(1.5), Value::text(u"\u00e9"), Value::nil(), Value::number(-20), Value::text("long text  "),
             Value::boolean(true), Value::error(xlerrNA), Value::number(1.0 / 3), Value::text("x")})));
    sheet.formulas.push_back(resultOf(formula, Area{4, 4, 0, 0}, Value::number(7)));
    sheet.formulas.push_back(
        resultOf(formula, Area{5, 5, 0, 0}, Value::array(2, 3, std::vector<Value>(6, Value::nil())), true));
    std::ostringstream out;
    printFormulaResults(out, sheet, false);
    EXPECT_EQ(out.str(),
              "D1:F3 = f(A1:B2)\n"
              "      1.5  \xc3\xa9\n"
              "      -20  long text          TRUE\n"
              "     #N/A  0.333333333333333  x\n"
              "A5 = f(A1:B2)\n"
              "     7\n"
              "A6 = f(A1:B2)\n"
              "     #SPILL!  (the 2 x 3 result has no room to spill)\n");
}

TEST(PrintedResults, TheSheetAsCsvFromA1WithTextsQuotedAndBlockedSpills) {
    SheetModel sheets;
    const Value block =
        Value::array(2, 2, {Value::number(0.1 + 0.2), Value::text("a\"b,c"), Value::nil(), Value::error(xlerrDiv0)});
    sheets.setCells(sheets.activeSheet(), 1, 1, block);
    SheetEntry formula;
    EvaluatedSheet sheet;
    sheet.formulas.push_back(
        resultOf(formula, Area{0, 0, 3, 3}, Value::array(1, 2, {Value::nil(), Value::nil()}), true));
    sheet.usedArea = Area{0, 2, 0, 3};
    std::ostringstream out;
    printCsv(out, sheet, sheets);
    EXPECT_EQ(out.str(), ",,,#SPILL!\n,0.30000000000000004,\"a\"\"b,c\",\n,,#DIV/0!,\n");
}

}  // namespace
}  // namespace xlhost
