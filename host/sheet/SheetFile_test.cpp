#include "SheetFile.h"

#include "Formula.h"
#include "XlCall.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

namespace xlhost {
namespace {

const SheetLimits excel12 = SheetLimits::forExcel(12);

SheetFile parsed(const std::string& text, const std::string& path = "book.sheet") {
    std::istringstream in(text);
    return parseSheet(in, path, excel12);
}

// The message of the SheetError the text raises, or a note that it raised none.
std::string failure(const std::string& text, const std::string& path = "book.sheet") {
    try {
        parsed(text, path);
    } catch (const SheetError& error) {
        return error.what();
    }
    return "(no error)";
}

Value row(std::vector<Value> values) {
    const auto columns = std::int32_t(values.size());
    return Value::array(1, columns, std::move(values));
}

TEST(SheetRanges, CellsAndRangesParseEitherCornerFirstWithinTheSheet) {
    EXPECT_EQ(parseRange("A1", excel12), (Area{0, 0, 0, 0}));
    EXPECT_EQ(parseRange("b3:a1", excel12), (Area{0, 2, 0, 1}));
    EXPECT_EQ(parseRange("$AA$10", excel12), (Area{9, 9, 26, 26}));
    EXPECT_EQ(parseRange("XFD1048576", excel12), (Area{1048575, 1048575, 16383, 16383}));
    for (const char* bad : {"", "A", "1", "A0", "A1:", "XFE1", "A1048577", "A1B", "ABCD1", "A1:B2:C3", "A 1"})
        EXPECT_EQ(parseRange(bad, excel12), std::nullopt) << bad;
    // Excel before 12 has 65536 rows and 256 columns.
    EXPECT_EQ(parseRange("IV65536", SheetLimits::forExcel(11)), (Area{65535, 65535, 255, 255}));
    EXPECT_EQ(parseRange("IW1", SheetLimits::forExcel(11)), std::nullopt);
    EXPECT_EQ(rangeName(Area{9, 10, 26, 16383}), "AA10:XFD11");
    EXPECT_EQ(cellName(0, 25), "Z1");
}

TEST(SheetValues, EveryKindOfValueAndTheShapeOfTheBlock) {
    const SheetFile sheet =
        parsed("# comment\n\n  A1:C2 = 1.5, \"a, \"\"b\"\"\", TRUE; -2e3, #N/A, \r\nB5 = false, #div/0!; , +7\n");
    ASSERT_EQ(sheet.entries.size(), 2u);
    EXPECT_EQ(sheet.entries[0].line, 3);
    EXPECT_EQ(sheet.entries[0].values, Value::array(2, 3,
                                                    {Value::number(1.5), Value::text("a, \"b\""), Value::boolean(true),
                                                     Value::number(-2000), Value::error(xlerrNA), Value::nil()}));
    EXPECT_EQ(sheet.entries[1].target, (Area{4, 5, 1, 2}));  // one cell takes the block's shape
    EXPECT_EQ(sheet.entries[1].values,
              Value::array(2, 2, {Value::boolean(false), Value::error(xlerrDiv0), Value::nil(), Value::number(7)}));
    EXPECT_EQ(parsed("A1 = \"h\xc3\xa9\"").entries[0].values, row({Value::text(u"h\u00e9")}));
}

TEST(SheetValues, FaultsNameTheFileAndLine) {
    EXPECT_EQ(failure("A1 = 1\nA1:B2 = 1, 2\n"), "book.sheet:2: A1:B2 has 2 x 2 cells, the values 1 x 2");
    EXPECT_EQ(failure("\nA1 = abc"),
              "book.sheet:2: 'abc' is no value (texts need quotes; errors are #NULL!, #DIV/0!, #VALUE!, #REF!, #NAME?, "
              "#NUM!, #N/A; a formula starts with '=' or a function's name)");
    EXPECT_EQ(failure("A1 = 1, 2; 3"), "book.sheet:1: row 2 has 1 values, row 1 has 2");
    EXPECT_EQ(failure("A1 = \"open"), "book.sheet:1: a text has no closing quote");
    EXPECT_EQ(failure("A1 1"), "book.sheet:1: expected 'CELL = ...' or 'RANGE = ...'");
    EXPECT_EQ(failure("A0:B = 1"), "book.sheet:1: 'A0:B' is no cell or range");
    EXPECT_EQ(failure("XFD1 = 1, 2"), "book.sheet:1: the values reach beyond the sheet's last row or column");
    EXPECT_EQ(failure("A1 = 1, 2\nB1 = 3"), "book.sheet:2: B1 is already given on line 1");
    EXPECT_EQ(failure("A1 = 1 2").substr(0, 31), "book.sheet:1: '1 2' is no value");
}

TEST(SheetValues, ABlocksBlanksAreNotGivenAndAClashNamesItsFirstCellWithTheLineThatGaveIt) {
    EXPECT_EQ(failure("A1:D1 = 1, , , 4\nB1 = 2\nC1 = f(A1:B1)\n"), "(no error)");
    EXPECT_EQ(failure("B2:D3 = 1, 2, 3; 4, 5, 6\nA3:C3 = 7, , 9\n"), "book.sheet:2: C3 is already given on line 1");
    // The first cell given twice in row order, whichever earlier line gave it.
    EXPECT_EQ(failure("B3 = 1\nC2 = 2\nA2:C3 = 1, , 3; 4, 5, 6\n"), "book.sheet:3: C2 is already given on line 2");
    EXPECT_EQ(failure("A1:C3 = 1, 2, 3; 4, , 6; 7, 8, 9\nB2 = f(A9)\nA5:C5 = 1, 2, 3\nB4:B6 = 1; 2; 3\n"),
              "book.sheet:4: B5 is already given on line 3");
}

TEST(SheetFormulas, AFunctionOrASecondEqualSignStartsAFormulaKeptAsWritten) {
    const SheetFile sheet = parsed("D1 = mtrx_Row(A1:B2, 2.5, \"t\", , TRUE, #N/A)\nD2 =  =SUM(A1, $C$3:b4) * 2 \n");
    const SheetEntry& formula = sheet.entries[0];
    ASSERT_TRUE(formula.isFormula);
    EXPECT_EQ(formula.formulaText, "mtrx_Row(A1:B2, 2.5, \"t\", , TRUE, #N/A)");
    ASSERT_TRUE(formula.formula);
    EXPECT_EQ(formula.formula->text, "mtrx_Row");
    EXPECT_EQ(formula.formula->operands.size(), 6u);
    EXPECT_EQ(formulaReferences(formula), (std::vector<Area>{{0, 1, 0, 1}}));
    EXPECT_EQ(sheet.entries[1].formulaText, "=SUM(A1, $C$3:b4) * 2");
    EXPECT_EQ(formulaReferences(sheet.entries[1]), (std::vector<Area>{{0, 0, 0, 0}, {2, 3, 1, 2}}));
}

TEST(SheetFormulas, FaultsNameTheFileAndLine) {
    EXPECT_EQ(failure("D1 = f(A1:B2"), "book.sheet:1: expected ',' or ')' in the arguments of f");
    EXPECT_EQ(failure("D1 = f(A1:ZZZZ2)"), "book.sheet:1: 'A1:ZZZZ2' is no range on the sheet");
    EXPECT_EQ(failure("D1 = =1 +"), "book.sheet:1: an operand is missing");
    EXPECT_EQ(
        failure("D1 = f(g(1, E1))\nE1 = h()"),
        "book.sheet:1: the formula uses E1, which the formula on line 2 computes later (formulas run top to bottom)");
    EXPECT_EQ(failure("D1:D2 = f(A1)"),
              "book.sheet:1: a formula goes into one cell, from which its result spills; not into D1:D2");
    EXPECT_EQ(failure("D1 = f(A1) x"), "book.sheet:1: unexpected 'x' after the formula");
    EXPECT_EQ(failure("D1 = f(C1:D4)"), "book.sheet:1: the formula uses its own cell D1");
    EXPECT_EQ(
        failure("D1 = f(E1)\n\nE1 = g(A1)"),
        "book.sheet:1: the formula uses E1, which the formula on line 3 computes later (formulas run top to bottom)");
    EXPECT_EQ(failure("A1 = 1\nA1 = f(B1)"), "book.sheet:2: A1 is already given on line 1");
}

TEST(SheetFormulas, ARangeMayHoldEarlierFormulasOnlyAndTheFirstLaterOneIsNamed) {
    EXPECT_EQ(failure("E1 = g()\nE9 = g()\nD2 = f(E1:E9, A3)\nA1 = f(B1:XFD1048576)\n"), "(no error)");
    // Later formulas beside the range's rows or below its columns are outside it.
    EXPECT_EQ(failure("A1 = f(B1:C9)\nA5 = g()\nD5 = g()\nB10 = g()\n"), "(no error)");
    EXPECT_EQ(
        failure("A1 = f(B1:C9)\nA5 = g()\nD5 = g()\nC7 = g()\n"),
        "book.sheet:1: the formula uses C7, which the formula on line 4 computes later (formulas run top to bottom)");
    // In the order of the lines, not of the cells; its own cell first.
    EXPECT_EQ(
        failure("D1 = f(E1:E2)\nE2 = g()\nE1 = g()\n"),
        "book.sheet:1: the formula uses E2, which the formula on line 2 computes later (formulas run top to bottom)");
    EXPECT_EQ(
        failure("D2 = f(D3, D1:D3)\nD3 = g()\n"),
        "book.sheet:1: the formula uses D3, which the formula on line 2 computes later (formulas run top to bottom)");
    EXPECT_EQ(failure("D2 = f(D1:D3)\nD3 = g()\n"), "book.sheet:1: the formula uses its own cell D2");
}

TEST(SheetCommands, RunLinesNameACommandAndHaveNoCell) {
    const SheetFile sheet = parsed("run fDance\nRUN1 = 5\n  Run   Other.Cmd\nA2 = f(A1)\n");
    ASSERT_EQ(sheet.entries.size(), 4u);
    EXPECT_TRUE(sheet.entries[0].isCommand);
    EXPECT_EQ(sheet.entries[0].function, "fDance");
    EXPECT_EQ(sheet.entries[0].formulaText, "run fDance");
    EXPECT_FALSE(sheet.entries[1].isCommand) << "RUN1 is a cell";
    EXPECT_EQ(sheet.entries[2].function, "Other.Cmd");
    EXPECT_EQ(failure("run"), "book.sheet:1: 'run' takes the name of a command, not ''");
    EXPECT_EQ(failure("run f(A1)"), "book.sheet:1: 'run' takes the name of a command, not 'f(A1)'");
}

class SheetCsv : public ::testing::Test {
protected:
    void SetUp() override {
        folder = std::filesystem::temp_directory_path() /
                 ("xllhost_csv_" + std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
        std::filesystem::create_directories(folder);
    }
    void TearDown() override { std::filesystem::remove_all(folder); }
    std::string write(const std::string& name, const std::string& text) {
        std::ofstream(folder / name, std::ios::binary) << text;
        return (folder / name).string();
    }
    std::filesystem::path folder;
};

TEST_F(SheetCsv, FilesBesideTheSheetFillABlockPaddedWithBlanks) {
    write("data.csv", "1,\"x,y\",plain text\r\n2.5\r\n TRUE , #N/A,\"\"\"q\"\"\"\n\n");
    const std::string sheetPath = write("book.sheet", "B2 = @data.csv\n");
    const SheetFile sheet = readSheetFile(sheetPath, excel12);
    ASSERT_EQ(sheet.entries.size(), 1u);
    EXPECT_EQ(sheet.entries[0].target, (Area{1, 3, 1, 3}));
    EXPECT_EQ(
        sheet.entries[0].values,
        Value::array(3, 3,
                     {Value::number(1), Value::text("x,y"), Value::text("plain text"), Value::number(2.5), Value::nil(),
                      Value::nil(), Value::boolean(true), Value::error(xlerrNA), Value::text("\"q\"")}));
}

TEST(SheetCsvText, BlankRowsInsideAreRowsOfTheBlockAndBlankRowsAtTheEndAreNot) {
    std::istringstream text("1,2\n\n,\n3\n,,\n \n");
    EXPECT_EQ(parseCsv(text, "data.csv"), Value::array(4, 2,
                                                       {Value::number(1), Value::number(2), Value::nil(), Value::nil(),
                                                        Value::nil(), Value::nil(), Value::number(3), Value::nil()}));
    // A zero byte is part of its field, not the end of the row.
    std::istringstream zero(std::string("ab\0cd,1\n", 8));
    EXPECT_EQ(parseCsv(zero, "data.csv"),
              Value::array(1, 2, {Value::text(std::u16string(u"ab\0cd", 5)), Value::number(1)}));
    std::istringstream blank(",\n\n");
    try {
        parseCsv(blank, "data.csv");
        FAIL() << "no error";
    } catch (const SheetError& error) {
        EXPECT_EQ(std::string(error.what()), "data.csv:2: no values");
    }
}

TEST_F(SheetCsv, FaultsNameTheCsvFileAndLineOrTheSheetLine) {
    const std::string csv = write("bad.csv", "1,2\n3,\"open\n");
    const std::string sheetPath = write("book.sheet", "A1 = 0\nB2 = @bad.csv\nC9 = @none.csv\n");
    try {
        readSheetFile(sheetPath, excel12);
        FAIL() << "no error";
    } catch (const SheetError& error) {
        EXPECT_EQ(std::string(error.what()), csv + ":2: a text has no closing quote");
    }
    write("bad.csv", "1\n");
    try {
        readSheetFile(sheetPath, excel12);
        FAIL() << "no error";
    } catch (const SheetError& error) {
        EXPECT_EQ(std::string(error.what()),
                  sheetPath + ":3: cannot read the CSV file " + (folder / "none.csv").string());
    }
    EXPECT_EQ(failure("A1 = @data.csv\nB1 = @", sheetPath),
              sheetPath + ":1: cannot read the CSV file " + (folder / "data.csv").string());
}

}  // namespace
}  // namespace xlhost
