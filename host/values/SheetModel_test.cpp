#include "SheetModel.h"

#include "XlCall.h"

#include <gtest/gtest.h>

#include <stdexcept>

namespace xlhost {
namespace {

// 1..rows*columns row after row, every fifth a blank.
Value numbered(std::int32_t rows, std::int32_t columns) {
    std::vector<Value> elements;
    for (std::int32_t i = 1; i <= rows * columns; ++i) elements.push_back(i % 5 == 0 ? Value::nil() : Value::number(i));
    return Value::array(rows, columns, std::move(elements));
}

TEST(SheetModel, BlocksReadBackWhereverTheyLieAndBlankCellsReadAsNil) {
    SheetModel sheets;
    const SheetId sheet = sheets.activeSheet();
    // Columns 13..52 and 16380..16383: blocks that start, cross and end inside runs of cells.
    const Value block = numbered(3, 40);
    sheets.setCells(sheet, 7, 13, block);
    EXPECT_EQ(sheets.valueOf(sheet, Area{7, 9, 13, 52}), block);
    EXPECT_EQ(sheets.cell(sheet, 8, 13), Value::number(41));
    EXPECT_EQ(sheets.cell(sheet, 9, 51), Value::number(119));
    EXPECT_EQ(sheets.cell(sheet, 7, 17), Value::nil());  // a blank of the block
    const Value edge = numbered(1, 4);
    sheets.setCells(sheet, 1048575, 16380, edge);
    EXPECT_EQ(sheets.valueOf(sheet, Area{1048575, 1048575, 16380, 16383}), edge);

    // A read reaching past a block: blank around it, including at negative positions.
    const auto around = sheets.cells(sheet, Area{6, 7, 10, 14});
    ASSERT_EQ(around.size(), 10u);
    EXPECT_EQ(around[0], Value::nil());
    EXPECT_EQ(around[8], Value::number(1));
    EXPECT_EQ(around[9], Value::number(2));
    EXPECT_EQ(sheets.cells(sheet, Area{-1, 7, -2, 13}).back(), Value::number(1));
    EXPECT_EQ(sheets.cell(sheet, -1, 13), Value::nil());

    EXPECT_EQ(sheets.filledCount(sheet, Area{7, 9, 13, 52}), 96u);
    EXPECT_EQ(sheets.filledCount(sheet, Area{0, 8, 0, 14}), 4u);
    EXPECT_EQ(sheets.filledCount(sheet, Area{0, 1048575, 0, 12}), 0u);
}

TEST(SheetModel, CellsAreOverwrittenAndBlankedOneByOneOrByBlock) {
    SheetModel sheets;
    const SheetId sheet = sheets.activeSheet();
    sheets.setCells(sheet, 0, 0, numbered(2, 20));
    sheets.setCell(sheet, 0, 15, Value::text("x"));
    sheets.setCell(sheet, 0, 16, Value::nil());
    sheets.setCell(sheet, 500, 500, Value::nil());  // blanking a blank cell changes nothing
    EXPECT_EQ(sheets.cell(sheet, 0, 15), Value::text("x"));
    EXPECT_EQ(sheets.cell(sheet, 0, 16), Value::nil());
    EXPECT_EQ(sheets.filledCount(sheet, Area{0, 1, 0, 19}), 31u);
    EXPECT_EQ(sheets.filledCount(sheet, Area{0, 1048575, 0, 16383}), 31u);

    // A block's blanks blank what was there.
    sheets.setCells(sheet, 1, 14, Value::array(1, 2, {Value::nil(), Value::boolean(true)}));
    EXPECT_EQ(sheets.cell(sheet, 1, 14), Value::nil());
    EXPECT_EQ(sheets.cell(sheet, 1, 15), Value::boolean(true));
}

TEST(SheetModel, SheetsKeepTheirOwnCells) {
    SheetModel sheets;
    const SheetId first = sheets.activeSheet();
    const SheetId second = sheets.addSheet("Other");
    sheets.setCell(first, 3, 3, Value::number(1));
    sheets.setCell(second, 3, 3, Value::error(xlerrNA));
    EXPECT_EQ(sheets.cell(first, 3, 3), Value::number(1));
    EXPECT_EQ(sheets.cell(second, 3, 3), Value::error(xlerrNA));
    EXPECT_EQ(sheets.valueOf(second + 1, Area{0, 1, 0, 1}), std::nullopt);
    EXPECT_THROW(sheets.cell(second + 1, 0, 0), std::out_of_range);
}

TEST(SheetModel, WhatNoCellCanHoldIsRefusedAndWhatWentBeforeStays) {
    SheetModel sheets;
    const SheetId sheet = sheets.activeSheet();
    EXPECT_THROW(sheets.setCell(sheet, -1, 0, Value::number(1)), std::out_of_range);
    EXPECT_THROW(sheets.setCells(sheet, 0, -3, numbered(1, 2)), std::out_of_range);
    EXPECT_THROW(sheets.setCells(sheet, 0, INT32_MAX, numbered(1, 2)), std::out_of_range);
    EXPECT_THROW(sheets.setCell(sheet, 0, 0, Value::integer(1)), std::invalid_argument);
    EXPECT_THROW(sheets.setCells(sheet, 0, 0, Value::number(1)), std::invalid_argument);
    EXPECT_THROW(
        sheets.setCells(sheet, 4, 4, Value::array(1, 3, {Value::number(1), Value::missing(), Value::number(3)})),
        std::invalid_argument);
    EXPECT_EQ(sheets.cell(sheet, 4, 4), Value::number(1));
    EXPECT_EQ(sheets.cell(sheet, 4, 6), Value::nil());
}

}  // namespace
}  // namespace xlhost
