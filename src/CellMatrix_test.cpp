#include "CellMatrix.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <stdexcept>
#include <string>

namespace zep {
namespace {

// What a cell operation threw as its bare text, or "" when it threw nothing.
template <typename Operation>
std::string ThrownText(Operation operation) {
    try {
        operation();
    } catch (const char* text) {
        return text;
    }
    return "";
}

WideString Units(std::initializer_list<unsigned> units) {
    WideString out;
    for (unsigned unit : units) out.push_back(static_cast<XCHAR>(unit));
    return out;
}

const char* const kNotString = "non string cell asked to be a string";
const char* const kNotNumber = "non number cell asked to be a number";

TEST(MatrixCell, ConstructorsSetTheKindAndLeaveOtherFieldsNeutral) {
    EXPECT_TRUE(MatrixCell().IsEmpty());
    EXPECT_EQ(MatrixCell(std::string("ab")).Text(), "ab");
    EXPECT_EQ(MatrixCell("cd").Text(), "cd");
    EXPECT_EQ(MatrixCell(static_cast<const char*>(nullptr)).Text(), "");
    EXPECT_EQ(MatrixCell(Units({'w'})).WideText(), Units({'w'}));
    EXPECT_EQ(MatrixCell(2.5).Number(), 2.5);
    EXPECT_EQ(MatrixCell(std::int32_t{-7}).Number(), -7.0);
    EXPECT_TRUE(MatrixCell(true).Boolean());
    EXPECT_FALSE(MatrixCell(false).Boolean());

    MatrixCell number(42u, false);
    EXPECT_TRUE(number.IsNumber());
    EXPECT_EQ(number.Number(), 42.0);
    MatrixCell error(42u, true);
    EXPECT_TRUE(error.IsError());
    EXPECT_EQ(error.ErrorCode(), 42u);
    EXPECT_EQ(ThrownText([&] { error.Number(); }), kNotNumber);
}

TEST(MatrixCell, ClearResetsEveryField) {
    MatrixCell cell(9u, true);
    cell.Clear();
    EXPECT_TRUE(cell.IsEmpty());
    EXPECT_EQ(ThrownText([&] { cell.ErrorCode(); }), "non error cell asked to be an error");
    // A cleared cell rebuilt as an error carries the new code only.
    cell = MatrixCell(3u, true);
    EXPECT_EQ(cell.ErrorCode(), 3u);
}

TEST(MatrixCell, AccessorsThrowTheirTextOnAnotherKind) {
    const MatrixCell text("t"), wide(Units({'w'})), number(1.0), boolean(true), error(2u, true), empty;
    for (const MatrixCell* cell : {&error, &number, &boolean, &empty}) {
        EXPECT_EQ(ThrownText([&] { cell->Text(); }), kNotString);
        EXPECT_EQ(ThrownText([&] { cell->LowerText(); }), kNotString);
        EXPECT_EQ(ThrownText([&] { cell->LowerWideText(); }), kNotString);
    }
    EXPECT_EQ(ThrownText([&] { text.WideText(); }), "non wstring cell asked to be a wstring");
    EXPECT_EQ(ThrownText([&] { wide.Number(); }), kNotNumber);
    EXPECT_EQ(ThrownText([&] { number.Boolean(); }), "non boolean cell asked to be a bool");
    EXPECT_EQ(ThrownText([&] { boolean.ErrorCode(); }), "non error cell asked to be an error");
    EXPECT_EQ(ThrownText([&] { empty.Number(); }), kNotNumber);
}

TEST(MatrixCell, ConversionsAcceptExactlyOneKind) {
    const MatrixCell text("t"), wide(Units({'w'})), number(3.9), boolean(true);
    EXPECT_EQ(static_cast<std::string>(text), "t");
    EXPECT_EQ(ThrownText([&] { static_cast<std::string>(wide); }), kNotString);
    EXPECT_EQ(static_cast<WideString>(wide), Units({'w'}));
    EXPECT_EQ(ThrownText([&] { static_cast<WideString>(text); }), kNotString);
    EXPECT_EQ(static_cast<double>(number), 3.9);
    EXPECT_EQ(ThrownText([&] { static_cast<double>(boolean); }), kNotNumber);
    EXPECT_TRUE(static_cast<bool>(boolean));
    EXPECT_EQ(ThrownText([&] { static_cast<bool>(number); }), "non boolean cell asked to be a bool");
    EXPECT_EQ(ThrownText([&] { static_cast<std::int32_t>(text); }), kNotNumber);
}

TEST(MatrixCell, IntegerConversionKeepsTheLowBitsOfTheTruncation) {
    auto asInt = [](double value) { return static_cast<std::int32_t>(MatrixCell(value)); };
    EXPECT_EQ(asInt(3.9), 3);
    EXPECT_EQ(asInt(7.0), 7);
    EXPECT_EQ(asInt(-3.9), -3);
    EXPECT_EQ(asInt(4294967296.0 + 5.0), 5);
    EXPECT_EQ(asInt(2147483648.0), std::numeric_limits<std::int32_t>::min());
    // No 64-bit truncation exists: the integer-indefinite value, whose low bits are 0.
    EXPECT_EQ(asInt(1e300), 0);
    EXPECT_EQ(asInt(-std::numeric_limits<double>::infinity()), 0);
    EXPECT_EQ(asInt(std::nan("")), 0);
}

TEST(MatrixCell, WideTextNarrowsToTheLowByteOfEachUnit) {
    EXPECT_EQ(MatrixCell(Units({0x0141})).Text(), "\x41");
    EXPECT_EQ(MatrixCell(Units({0xFF80, 0x00E9, 'z'})).Text(), "\x80\xE9z");
}

TEST(MatrixCell, LowerCasingOfBothTextKinds) {
    EXPECT_EQ(MatrixCell("AbD").LowerText(), "abd");
    EXPECT_EQ(MatrixCell(Units({'A', 'b', 'D'})).LowerText(), "abd");
    EXPECT_EQ(MatrixCell(Units({'A', 'b', 'D'})).LowerWideText(), Units({'a', 'b', 'd'}));
    // Lower-cased first, then widened by sign extension: 0x80..0xFF become 0xFF80..0xFFFF.
    EXPECT_EQ(MatrixCell(std::string("Q\x80\xFF\x7F", 4)).LowerWideText(), Units({'q', 0xFF80, 0xFFFF, 0x7F}));
    // Lower-cased first, then narrowed: 0x0141 keeps its low byte 'A', which is not lower-cased.
    EXPECT_EQ(MatrixCell(Units({0x0141, 'Z'})).LowerText(), "Az");
    EXPECT_EQ(MatrixCell(Units({0x0141})).LowerWideText(), Units({0x0141}));
    // The cell itself is unchanged.
    MatrixCell cell("MiXed");
    cell.LowerText();
    EXPECT_EQ(cell.Text(), "MiXed");
}

std::string Picture(const CellMatrix& matrix) {
    std::string out = std::to_string(matrix.Rows()) + "x" + std::to_string(matrix.Columns()) + ":";
    for (std::uint32_t i = 0; i < matrix.Rows(); ++i) {
        out += i ? "|" : "";
        for (std::uint32_t j = 0; j < matrix.Columns(); ++j) {
            const MatrixCell& cell = matrix.Cell(i, j);
            out += cell.IsEmpty()    ? "."
                   : cell.IsNumber() ? std::to_string(static_cast<int>(cell.Number()))
                                     : cell.Text();
        }
    }
    return out;
}

TEST(CellMatrix, ConstructorsGiveTheirShapes) {
    EXPECT_EQ(Picture(CellMatrix()), "0x0:");
    EXPECT_EQ(Picture(CellMatrix(3u, 2u)), "3x2:..|..|..");
    EXPECT_EQ(Picture(CellMatrix(4.0)), "1x1:4");
    EXPECT_EQ(Picture(CellMatrix(std::int32_t{-5})), "1x1:-5");
    EXPECT_EQ(CellMatrix(std::uint32_t{4000000000u}).Cell(0, 0).Number(), 4000000000.0);
    EXPECT_EQ(Picture(CellMatrix("p")), "1x1:p");
    EXPECT_EQ(Picture(CellMatrix(std::string("q"))), "1x1:q");
    EXPECT_TRUE(CellMatrix(Units({'w'})).Cell(0, 0).IsWideString());
    EXPECT_EQ(Picture(CellMatrix(NumericVector{1, 2, 3})), "3x1:1|2|3");
    EXPECT_EQ(Picture(CellMatrix(NumericVector{})), "0x1:");

    NumericMatrix numbers(2, 3);
    for (std::uint32_t i = 0; i < 2; ++i)
        for (std::uint32_t j = 0; j < 3; ++j) numbers[i][j] = 10 * i + j;
    EXPECT_EQ(Picture(CellMatrix(numbers)), "2x3:012|101112");
    EXPECT_EQ(Picture(CellMatrix(NumericMatrix(0, 0))), "0x0:");
}

TEST(CellMatrix, CellAccessIsBoundsTestedAndWritable) {
    CellMatrix matrix(3u, 2u);
    const CellMatrix& readOnly = matrix;
    EXPECT_THROW(matrix.Cell(3, 0), std::out_of_range);
    EXPECT_THROW(matrix.Cell(0, 2), std::out_of_range);
    EXPECT_THROW(readOnly.Cell(3, 0), std::out_of_range);
    EXPECT_THROW(readOnly.Cell(0, 2), std::out_of_range);
    EXPECT_THROW(CellMatrix(NumericVector{}).Cell(0, 0), std::out_of_range);

    matrix.Cell(2, 1) = MatrixCell(8.0);
    EXPECT_EQ(readOnly.Cell(2, 1).Number(), 8.0);
    CellMatrix copy(matrix);
    matrix.Cell(2, 1) = MatrixCell("changed");
    EXPECT_EQ(copy.Cell(2, 1).Number(), 8.0);  // deep copy
}

TEST(CellMatrix, AppendBelowPadsTheNarrowerSide) {
    CellMatrix matrix(2u, 2u);
    matrix.Cell(0, 0) = MatrixCell(1.0);
    CellMatrix row(1u, 3u);
    row.Cell(0, 2) = MatrixCell("r");
    matrix.AppendBelow(row);
    EXPECT_EQ(Picture(matrix), "3x3:1..|...|..r");

    CellMatrix narrow(1.0);
    narrow.AppendBelow(CellMatrix(2u, 2u));
    EXPECT_EQ(Picture(narrow), "3x2:1.|..|..");

    CellMatrix self("s");
    self.AppendBelow(self);
    EXPECT_EQ(Picture(self), "2x1:s|s");

    CellMatrix fromEmptyVector{NumericVector{}};
    fromEmptyVector.AppendBelow(CellMatrix(5.0));
    EXPECT_EQ(Picture(fromEmptyVector), "1x1:5");
}

TEST(CellMatrix, StackCellMatricesLeavesItsArgumentsAlone) {
    EXPECT_EQ(Picture(StackCellMatrices(CellMatrix(), CellMatrix())), "0x0:");

    CellMatrix top(NumericVector{1, 2});
    CellMatrix bottom(1u, 3u);
    bottom.Cell(0, 1) = MatrixCell(7.0);
    EXPECT_EQ(Picture(StackCellMatrices(top, bottom)), "3x3:1..|2..|.7.");
    EXPECT_EQ(Picture(StackCellMatrices(bottom, top)), "3x3:.7.|1..|2..");
    EXPECT_EQ(Picture(top), "2x1:1|2");
    EXPECT_EQ(Picture(bottom), "1x3:.7.");
}

}  // namespace
}  // namespace zep
