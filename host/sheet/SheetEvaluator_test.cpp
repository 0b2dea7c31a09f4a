#include "SheetEvaluator.h"

#include "Formula.h"
#include "XlCall.h"

#include <gtest/gtest.h>

#include <sstream>

namespace xlhost {
namespace {

// Formulas of stand-in functions: "block(R, C)" gives an R x C array of 1..R*C, "cell(A1)" the value
// of a cell at the time of the call, "sum(...)" the sum of its ranges' numbers (or their first
// error), "vol()" how often it was called; vol is volatile. "later(N)" is asynchronous: 10 N arrives
// once nothing else is ready, the latest call's first.
class Evaluation : public ::testing::Test {
protected:
    EvaluatedSheet evaluate(const std::string& text, SheetLimits limits = SheetLimits::forExcel(12)) {
        std::istringstream in(text);
        sheet = parseSheet(in, "book.sheet", limits);
        SheetHooks hooks;
        // The command "fill" sets C5 to 9; every command tells which line it ran on.
        hooks.run = [this](const SheetEntry& command) {
            calls.push_back(command.line);
            if (command.function != "fill") return CommandRun{{"nothing"}, {}};
            sheets.setCell(sheets.activeSheet(), 4, 2, Value::number(9));
            return CommandRun{{"set C5 = 9"}, {Area{4, 4, 2, 2}}};
        };
        hooks.isVolatile = [](const SheetEntry& formula) { return formula.formula->text == "vol"; };
        hooks.observer = [this](const SheetEntry*, const Calculation& calculation) {
            for (const auto& cycle : calculation.cycles) cycles.push_back(cycle);
        };
        AsyncCalculation async;
        async.outstanding = [](const SheetEntry& formula) { return formula.formula->text == "later"; };
        async.arrived = [this] {
            std::vector<std::pair<const SheetEntry*, Value>> arrived;
            for (auto call = later.rbegin(); call != later.rend(); ++call)
                arrived.emplace_back(*call, Value::number(10 * (*call)->formula->operands[0].constant.number()));
            later.clear();
            calls.push_back(0);  // the wait
            return arrived;
        };
        hooks.async = &async;
        return evaluateSheet(
            sheet, sheets, limits,
            [this](const SheetEntry& formula) {
                if (formula.formula->text == "later") later.push_back(&formula);
                return call(formula);
            },
            hooks);
    }
    Value call(const SheetEntry& formula) {
        calls.push_back(formula.line);
        const FormulaNode& call = *formula.formula;
        if (call.text == "later") return Value::error(xlerrGettingData);
        if (call.text == "vol") return Value::number(double(++volatileCalls));
        if (call.text == "cell") {
            const Area& from = call.operands[0].area;
            return sheets.cell(sheets.activeSheet(), from.firstRow, from.firstColumn);
        }
        if (call.text == "sum") {
            double sum = 0;
            for (const FormulaNode& argument : call.operands)
                for (const Value& cell : sheets.cells(sheets.activeSheet(), argument.area)) {
                    if (cell.kind() == Kind::Error) return cell;
                    if (cell.kind() == Kind::Number) sum += cell.number();
                }
            return Value::number(sum);
        }
        const auto rows = std::int32_t(call.operands[0].constant.number());
        const auto columns = std::int32_t(call.operands[1].constant.number());
        std::vector<Value> elements;
        for (std::int32_t i = 1; i <= rows * columns; ++i) elements.push_back(Value::number(i));
        return Value::array(rows, columns, std::move(elements));
    }
    Value at(const std::string& cell) {
        const Area area = *parseRange(cell, SheetLimits::forExcel(12));
        return sheets.cell(sheets.activeSheet(), area.firstRow, area.firstColumn);
    }

    // Each result shown, in order: the line, and the value (nil for a run, set or recalc line).
    static std::vector<std::pair<int, Value>> shown(const EvaluatedSheet& evaluated) {
        std::vector<std::pair<int, Value>> lines;
        for (const FormulaResult& result : evaluated.formulas) lines.emplace_back(result.entry->line, result.value);
        return lines;
    }

    SheetFile sheet;
    SheetModel sheets;
    std::vector<int> calls;  // lines, 0 for each wait for asynchronous results
    std::vector<const SheetEntry*> later;
    std::vector<std::vector<std::size_t>> cycles;  // entry indexes
    int volatileCalls = 0;
};

using Shown = std::vector<std::pair<int, Value>>;
Value n(double number) {
    return Value::number(number);
}

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
    // A1 reads the cell the command set: it is recalculated after it, as Excel would.
    EXPECT_EQ(calls, (std::vector<int>{1, 2, 1, 3, 4}));
    EXPECT_EQ(at("A1"), Value::number(9));
    ASSERT_EQ(evaluated.formulas.size(), 4u);
    EXPECT_EQ(evaluated.formulas[0].value, Value::nil());
    EXPECT_EQ(evaluated.formulas[1].effects, std::vector<std::string>{"set C5 = 9"});
    EXPECT_EQ(evaluated.formulas[2].value, Value::number(9));
    EXPECT_EQ(evaluated.usedArea, (Area{0, 4, 0, 2})) << "the cells a command set are used";
}

TEST_F(Evaluation, FormulasAreCalculatedOnceEachInTheOrderTheirInputsDictate) {
    const EvaluatedSheet evaluated =
        evaluate("A1 = sum(A2)\nA2 = sum(A3, B1:B2)\nA3 = sum(B1)\nB1 = 2\nB2 = 3\nC1 = sum(A1:A3)\n");
    EXPECT_EQ(calls, (std::vector<int>{3, 2, 1, 6}));
    EXPECT_EQ(shown(evaluated), (Shown{{1, n(7)}, {2, n(7)}, {3, n(2)}, {6, n(16)}}));
}

TEST_F(Evaluation, AsynchronousResultsArriveWhileOtherFormulasAreCalculatedAndTheirReadersWait) {
    const EvaluatedSheet evaluated =
        evaluate("A1 = later(1)\nA2 = sum(A1, B1)\nA3 = later(2)\nB1 = 5\nC1 = sum(B1)\nC2 = sum(A2:A3)\n");
    EXPECT_EQ(calls, (std::vector<int>{1, 3, 5, 0, 2, 6}));
    EXPECT_EQ(shown(evaluated), (Shown{{1, n(10)}, {2, n(15)}, {3, n(20)}, {5, n(5)}, {6, n(35)}}));
}

TEST_F(Evaluation, ACircularReferenceShowsRefInItsCellsAndIsReportedOnce) {
    const EvaluatedSheet evaluated =
        evaluate("A1 = sum(B1)\nB1 = sum(A1)\nC1 = sum(A1)\nD1 = sum(D1)\nE1 = sum(C1:D1)\nF1 = sum(G1)\n");
    const Value ref = Value::error(xlerrRef);
    EXPECT_EQ(shown(evaluated), (Shown{{1, ref}, {2, ref}, {3, ref}, {4, ref}, {5, ref}, {6, n(0)}}));
    EXPECT_EQ(cycles, (std::vector<std::vector<std::size_t>>{{0, 1}, {3}}));
    EXPECT_EQ(calls, (std::vector<int>{6, 3, 5})) << "the formulas of a cycle are not called";
}

TEST_F(Evaluation, SetRecalculatesWhatReadsTheCellsAndVolatileFormulasRecalcOnlyThose) {
    const EvaluatedSheet evaluated = evaluate(
        "A1 = 1\nA2 = 2\nB1 = sum(A1)\nB2 = sum(A2)\nC1 = sum(B1:B2)\nD1 = vol()\nD2 = sum(D1)\n"
        "set A1 = 5\nrecalc\nset A9 = 1\n");
    EXPECT_EQ(calls, (std::vector<int>{3, 4, 5, 6, 7, 3, 5, 6, 7, 6, 7, 6, 7}));
    EXPECT_EQ(shown(evaluated), (Shown{{3, n(1)},
                                       {4, n(2)},
                                       {5, n(3)},
                                       {6, n(1)},
                                       {7, n(1)},
                                       {8, Value::nil()},
                                       {3, n(5)},
                                       {5, n(7)},
                                       {6, n(2)},
                                       {7, n(2)},
                                       {9, Value::nil()},
                                       {6, n(3)},
                                       {7, n(3)},
                                       {10, Value::nil()},
                                       {6, n(4)},
                                       {7, n(4)}}));
    const EvaluatedSheet quiet = evaluate("A1 = 1\nrecalc\n");
    EXPECT_EQ(quiet.formulas.back().effects, std::vector<std::string>{"(no formula to recalculate)"});
}

TEST_F(Evaluation, AFormulaThatReadsASpillCalculatedAfterItIsCalculatedAgain) {
    evaluate("A1 = cell(C2)\nB1 = block(2, 2)\nA2 = sum(A1:A1, B2)\n");
    // A2 read A1 before A1 was found stale: both are calculated again.
    EXPECT_EQ(calls, (std::vector<int>{1, 2, 3, 1, 3}));
    EXPECT_EQ(at("A1"), n(4));
    EXPECT_EQ(at("A2"), n(7));
}

TEST_F(Evaluation, SettingACellOfASpillBlocksItAndClearsTheRest) {
    const EvaluatedSheet evaluated = evaluate("B1 = block(2, 2)\nD1 = cell(C2)\nD2 = cell(C1)\nset C2 = 9\n");
    EXPECT_TRUE(evaluated.formulas[4].spillBlocked);
    EXPECT_EQ(at("C1"), Value::nil());
    EXPECT_EQ(at("C2"), n(9));
    EXPECT_EQ(at("D1"), n(9));
    EXPECT_EQ(at("D2"), Value::nil());
}

}  // namespace
}  // namespace xlhost
