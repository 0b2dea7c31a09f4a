#include "TypedArgument.h"

#include <gtest/gtest.h>

namespace xlhost {
namespace {

TypeCode code(const char* text) {
    return parseTypeText(std::string("B") + text).typeText->arguments.at(0);
}

FormulaArgument rangeArgument(const Area& area) {
    return FormulaArgument{area, Value::missing()};
}
FormulaArgument literalArgument(Value value) {
    return FormulaArgument{std::nullopt, std::move(value)};
}

TEST(TypedArgument, AnArrayOfDoublesHoldsAsManyRowsAsItsCountCan) {
    SheetModel sheets;
    const FormulaArgument column = rangeArgument(Area{0, 69999, 0, 0});  // blank cells: zeros
    NotPassed notPassed;
    EXPECT_EQ(TypedArgument::make(code("K"), 1, column, sheets, notPassed), nullptr);
    EXPECT_EQ(notPassed.shown, Value::error(xlerrValue));
    EXPECT_TRUE(notPassed.limitation.empty());
    const auto large = TypedArgument::make(code("K%"), 1, column, sheets, notPassed);
    ASSERT_NE(large, nullptr);
    std::string fault;
    const auto current = large->current(fault);
    ASSERT_TRUE(current) << fault;
    EXPECT_EQ(current->rows(), 70000);
    EXPECT_EQ(current->element(69999, 0), Value::number(0));
}

TEST(TypedArgument, ACellXllhostCouldNotComputeIsNotPassed) {
    SheetModel sheets;
    sheets.setCell(sheets.activeSheet(), 0, 1, Value::error(uncalledCellError));
    for (const char* letter : {"B", "C", "K", "Q", "P"}) {
        NotPassed notPassed;
        EXPECT_EQ(TypedArgument::make(code(letter), 2, rangeArgument(Area{0, 0, 0, 1}), sheets, notPassed), nullptr);
        EXPECT_EQ(notPassed.shown, Value::error(uncalledCellError)) << letter;
        EXPECT_EQ(notPassed.limitation, "argument 2 holds a cell xllhost could not compute") << letter;
    }
    // A reference is passed as it is: the add-in may read what it likes.
    NotPassed notPassed;
    EXPECT_NE(TypedArgument::make(code("U"), 1, rangeArgument(Area{0, 0, 0, 1}), sheets, notPassed), nullptr);
}

TEST(TypedArgument, ARecordChangedInPlaceIsTheResultAndNoLongerIntact) {
    SheetModel sheets;
    NotPassed notPassed;
    const auto argument = TypedArgument::make(code("Q"), 1, literalArgument(Value::number(4)), sheets, notPassed);
    std::vector<NativeArgument> natives;
    argument->appendTo(natives);
    ASSERT_EQ(natives.size(), 1u);
    EXPECT_TRUE(argument->intact());
    static_cast<XLOPER12*>(natives[0].value.pointer)->val.num = 5;
    std::string fault;
    EXPECT_EQ(argument->current(fault), Value::number(5));
    EXPECT_FALSE(argument->intact());
}

TEST(TypedArgument, ResultsExcelCannotReadAreFaults) {
    std::string fault;
    XCHAR tooLong[] = {XCHAR(40000), XCHAR('x')};
    EXPECT_FALSE(readResult(code("D%"), nativePointer(tooLong), fault));
    EXPECT_EQ(fault, "gave a counted text of 40000 units, more than the 32767 Excel reads");
    // A NUL-terminated byte text is read no further than 255 bytes.
    std::string unterminated(300, 'a');
    const auto cut = readResult(code("C"), nativePointer(&unterminated[0]), fault);
    ASSERT_TRUE(cut);
    EXPECT_EQ(cut->text().size(), 255u);
    EXPECT_EQ(readResult(code("E"), nativePointer(nullptr), fault), Value::error(xlerrNum));
}

}  // namespace
}  // namespace xlhost
