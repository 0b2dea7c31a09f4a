#include "SheetEvaluator.h"

#include "Formula.h"
#include "XlCall.h"

#include <gtest/gtest.h>

#include <sstream>

namespace xlhost {
namespace {

// Formulas of a stand-in function: "block(R, C)" gives an R x C array of 1..R*C, "cell(A1)" the value
// of a cell at the time of the call.
class Evaluation : public ::testing::Test {
protected:
    EvaluatedSheet evaluate(const std::string& text, SheetLimits limits = SheetLimits::forExcel(12)) {
        std::istringstream in(text);
        sheet = parseSheet(in, "book.sheet", limits);
        // The command "fill" sets C5 to 9; every command tells which line it ran on.
        const auto run = [this](const SheetEntry& command) {
            calls.push_back(command.line);
            if (command.function != "fill") return CommandRun{{"nothing"}, {}};
            sheets.setCell(sheets.activeSheet(), 4, 2, Value::number(9));
            return CommandRun{{"set C5 = 9"}, {Area{4, 4, 2, 2}}};
        };
        return evaluateSheet(
            sheet, sheets, limits,
            [this](const SheetEntry& formula) {
                calls.push_back(formula.line);
                const FormulaNode& call = *formula.formula;
                if (call.text == "cell") {
                    const Area& from = call.operands[0].area;
                    return sheets.cell(sheets.activeSheet(), from.firstRow, from.firstColumn);
                }
                const auto rows = std::int32_t(call.operands[0].constant.number());
                const auto columns = std::int32_t(call.operands[1].constant.number());
                std::vector<Value> elements;
                for (std::int32_t i = 1; i <= rows * columns; ++i) elements.push_back(Value::number(i));
                return Value::array(rows, columns, std::move(elements));
            },
            run);
    }
    Value at(const std::string& cell) {
        const Area area = *parseRange(cell, SheetLimits::forExcel(12));
        return sheets.cell(sheets.activeSheet(), area.firstRow, area.firstColumn);
    }

    SheetFile sheet;
    SheetModel sheets;
    std::vector<int> calls;
};

TEST_F(Evaluation, ArraysSpillFromTheirCellAndLaterFormulasSeeThem) {
    const EvaluatedSheet evaluated = evaluate("A1 = 7\nB2 = block(2, 3)\nF1 = cell(D3)\nF2 = cell(A1)\n");
    ASSERT_EQ(evaluated.formulas.size(), 3u);
    EXPECT_EQ(evaluated.formulas[0].area, (Area{1, 2, 1, 3}));
    EXPECT_FALSE(evaluated.formulas[0].spillBlocked);
    EXPECT_EQ(at("D3"), Value::number(6));
    EXPECT_EQ(evaluated.formulas[1].value, Value::number(6));
    EXPECT_EQ(evaluated.formulas[2].value, Value::number(7));
    EXPECT_EQ(calls, (std::vector<int>{2, 3, 4}));
    EXPECT_EQ(evaluated.usedArea, (Area{0, 2, 0, 5}));
}

TEST_F(Evaluation, ASpillOntoAFilledCellOrBeyondTheSheetShowsSpillAndSpillsNothing) {
    // In the way: a value, a formula's cell (even one below), an earlier spill, the sheet's edge.
    const EvaluatedSheet evaluated = evaluate(
        "C3 = 1\n"
        "B2 = block(2, 2)\n"
        "E1 = block(2, 1)\n"
        "E2 = cell(A1)\n"
        "G1 = block(3, 1)\n"
        "F2 = block(1, 2)\n"
        "XFD1 = block(1, 2)\n"
        "H9 = cell(B2)\n",
        SheetLimits::forExcel(12));
    std::vector<bool> blocked;
    for (const FormulaResult& result : evaluated.formulas) blocked.push_back(result.spillBlocked);
    EXPECT_EQ(blocked, (std::vector<bool>{true, true, false, false, true, true, false}));
    EXPECT_EQ(evaluated.formulas[0].area, (Area{1, 1, 1, 1}));
    EXPECT_EQ(at("B3"), Value::nil());  // nothing of a blocked array is left on the sheet
    EXPECT_EQ(at("G2"), Value::number(2));
    // A formula reading a #SPILL! cell gets #VALUE!, the nearest error the C interface has.
    EXPECT_EQ(evaluated.formulas.back().value, Value::error(xlerrValue));
}

TEST_F(Evaluation, WhatLiesInsideAWideSpillAreaBlocksItAndWhatLiesJustBesideItDoesNot) {
    const EvaluatedSheet evaluated = evaluate(
        "AO1 = 1\n"
        "AO2 = 2\n"
        "B1 = block(1, 40)\n"  // B1:AO1 holds the value AO1
        "B2 = block(1, 39)\n"  // B2:AN2 ends beside AO2
        "B3 = block(1, 40)\n"  // B3:AO3 holds the cell of a formula below
        "B4 = block(1, 39)\n"
        "AO3 = cell(A1)\n"
        "AO4 = cell(A1)\n");
    std::vector<bool> blocked;
    for (const FormulaResult& result : evaluated.formulas) blocked.push_back(result.spillBlocked);
    EXPECT_EQ(blocked, (std::vector<bool>{true, false, true, false, false, false}));
    EXPECT_EQ(at("C1"), Value::nil());
    EXPECT_EQ(at("AN2"), Value::number(39));
    EXPECT_EQ(at("AN4"), Value::number(39));
}

TEST_F(Evaluation, CommandsRunInTheirTurnAndTheFormulasBelowSeeWhatTheySet) {
    const EvaluatedSheet evaluated = evaluate("A1 = cell(C5)\nrun fill\nA2 = cell(C5)\nrun other\n");
    EXPECT_EQ(calls, (std::vector<int>{1, 2, 3, 4}));
    ASSERT_EQ(evaluated.formulas.size(), 4u);
    EXPECT_EQ(evaluated.formulas[0].value, Value::nil());
    EXPECT_EQ(evaluated.formulas[1].effects, std::vector<std::string>{"set C5 = 9"});
    EXPECT_EQ(evaluated.formulas[2].value, Value::number(9));
    EXPECT_EQ(evaluated.usedArea, (Area{0, 4, 0, 2})) << "the cells a command set are used";
}

}  // namespace
}  // namespace xlhost
