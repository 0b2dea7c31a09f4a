#include "FormulaEvaluator.h"

#include "SheetModel.h"
#include "XlCall.h"

#include <gtest/gtest.h>

#include <sstream>

namespace xlhost {
namespace {

// A1:B2 = 4, 7; 2, 6   C1:C3 = TRUE, #N/A, "12"   A3 = "text", B3 blank   A4:C4 = 1, 2, 3
// and one add-in function, Args, which describes the arguments it was given.
class Cells : public FormulaContext {
public:
    Cells() {
        const auto n = [](double x) { return Value::number(x); };
        sheets.setCells(sheets.activeSheet(), 0, 0,
                        Value::array(4, 3,
                                     {n(4), n(7), Value::boolean(true), n(2), n(6), Value::error(xlerrNA),
                                      Value::text("text"), Value::nil(), Value::text("12"), n(1), n(2), n(3)}));
    }
    Value reference(const FormulaNode& node) override {
        if (node.qualified && !sameIgnoringCase(node.sheet, "Sheet1")) return Value::error(xlerrRef);
        return Value::sheetReference(node.area);
    }
    Value cells(const Area& area) override { return *sheets.valueOf(sheets.activeSheet(), area); }
    Value name(const FormulaNode&) override { return Value::error(xlerrName); }
    std::optional<Value> call(const std::string& function, const std::vector<FormulaArgument>& arguments) override {
        if (function != "Args") return std::nullopt;
        std::ostringstream described;
        for (const FormulaArgument& argument : arguments) {
            if (argument.range)
                described << "ref " << *argument.range << ' ';
            else
                described << argument.literal << ' ';
        }
        return Value::text(described.str());
    }

    SheetModel sheets;
};

std::string evaluated(const std::string& text) {
    Cells cells;
    std::ostringstream out;
    out << evaluateFormula(parseFormula(text, SheetLimits::forExcel(12)), cells);
    return out.str();
}

using Cases = std::vector<std::pair<const char*, const char*>>;

void expectAll(const Cases& cases) {
    for (const auto& [formula, value] : cases) EXPECT_EQ(evaluated(formula), value) << formula;
}

TEST(FormulaEvaluation, OperatorsConvertAndPassErrorsOn) {
    expectAll({
        {"1+2*3", "7"},
        {"-2^2", "4"},
        {"2^3^2", "64"},
        {"50%", "0.5"},
        {"A1/B2*3", "2"},
        {"1/0", "#DIV/0!"},
        {"0^0", "#NUM!"},
        {"(-8)^(1/3)", "#NUM!"},
        {"1E308*10", "#NUM!"},
        {"B3+1", "1"},
        {"C3*2", "24"},
        {"A3+1", "#VALUE!"},
        {"TRUE+TRUE", "2"},
        {"C2+1", "#N/A"},
        {"#REF!+#N/A", "#REF!"},
        {"1&\"a\"&TRUE&B3&0.1", "\"1aTRUE0.1\""},
        {"\"abc\"=\"ABC\"", "TRUE"},
        {"\"a\"<\"B\"", "TRUE"},
        {"1<\"0\"", "TRUE"},
        {"\"z\"<FALSE", "TRUE"},
        {"B3=0", "TRUE"},
        {"B3=\"\"", "TRUE"},
        {"2>=2", "TRUE"},
        {"1<>1", "FALSE"},
        {"Sheet2!A1", "#REF!"},
        {"sheet1!A1", "4"},
        {"B3", "<nil>"},
    });
}

TEST(FormulaEvaluation, ArraysBroadcastAndMismatchesGiveNA) {
    expectAll({
        {"A1:B2*2", "{8, 14; 4, 12}"},
        {"A1:B2+A4:B4", "{5, 9; 3, 8}"},
        {"{1;2}*{10,20}", "{10, 20; 20, 40}"},
        {"{1,2,3}+{1,2}", "{2, 4, #N/A}"},
        {"{1,2;3,4}+{1,2,3;4,5,6;7,8,9}", "{2, 4, #N/A; 7, 9, #N/A; #N/A, #N/A, #N/A}"},
        {"-A4:C4", "{-1, -2, -3}"},
        {"A1:B2>5", "{FALSE, TRUE; FALSE, TRUE}"},
    });
}

TEST(FormulaEvaluation, AggregatesSkipWhatRangesHoldButNotWhatIsTyped) {
    expectAll({
        {"SUM(A1:C1, A3:C3)", "11"},
        {"SUM(A1:B2, 1, TRUE, \"2\")", "23"},
        {"SUM(\"two\")", "#VALUE!"},
        {"SUM(A1:C2)", "#N/A"},
        {"SUM({1,\"x\",TRUE})", "1"},
        {"SUM(1,)", "1"},
        {"MAX(A3:C3)", "0"},
        {"MAX(A1:B2, 10)", "10"},
        {"MIN(A1:B2, A4)", "1"},
        {"MIN(-1, B3)", "-1"},
        {"ABS(-A1:B1)", "{4, 7}"},
        {"ABS(A3)", "#VALUE!"},
    });
}

TEST(FormulaEvaluation, RoundingIsHalfAwayFromZeroOnDecimalDigits) {
    expectAll({
        {"ROUND(2.675, 2)", "2.68"},
        {"ROUND(-2.5, 0)", "-3"},
        {"ROUND(2.4999, 0)", "2"},
        {"ROUND(1234.5678, -2)", "1200"},
        {"ROUND(9.99, 1)", "10"},
        {"ROUND(0.05, 0)", "0"},
        {"ROUND(0.5, 0)", "1"},
        {"ROUND(5, -1)", "10"},
        {"ROUND(4, -1)", "0"},
        {"ROUND(1E-20, 2.9)", "0"},
        {"ROUND(1/3, 20)", "0.33333333333333331"},
        {"ROUND({1.25,-1.25}, 1)", "{1.3, -1.3}"},
        {"ROUND(\"x\", 1)", "#VALUE!"},
    });
}

TEST(FormulaEvaluation, ConditionsAndErrorsAreChosenLazily) {
    expectAll({
        {"IF(A1>3, \"big\", \"small\")", "\"big\""},
        {"IF(0, 1)", "FALSE"},
        {"IF(0, 1, )", "0"},
        {"IF(\"true\", 1, 2)", "1"},
        {"IF(\"maybe\", 1, 2)", "#VALUE!"},
        {"IF(1, 2, 1/0)", "2"},
        {"IF({TRUE,FALSE}, {1,2}, {10,20})", "{1, 20}"},
        {"IF(1, A1:B1)", "{4, 7}"},
        {"ISERROR(C1:C3)", "{FALSE; TRUE; FALSE}"},
        {"ISERROR(1/0)", "TRUE"},
        {"IFERROR(1/0, \"none\")", "\"none\""},
        {"IFERROR(C1:C2, 0)", "{TRUE; 0}"},
        {"IFERROR(B3, 1)", "\"\""},
    });
}

TEST(FormulaEvaluation, ShapesAndIndexing) {
    expectAll({
        {"ROWS(A1:C4)", "4"},
        {"COLUMNS(A1:C4)", "3"},
        {"ROWS({1,2;3,4;5,6})", "3"},
        {"COLUMNS(7)", "1"},
        {"INDEX(A1:B2, 2, 1)", "2"},
        {"INDEX(A1:B2, 0, 2)", "{7; 6}"},
        {"INDEX(A1:B2, 1, 0)", "{4, 7}"},
        {"INDEX(A4:C4, 3)", "3"},
        {"INDEX({1;2;3}, 2)", "2"},
        {"INDEX({1,2;3,4}, 2, 2)", "4"},
        {"INDEX(A1:B2, 3, 1)", "#REF!"},
        {"INDEX(A1:B2, -1, 1)", "#VALUE!"},
        {"ROWS(INDEX(A1:B2, 0, 1))", "2"},
        {"TRANSPOSE(A4:C4)", "{1; 2; 3}"},
        {"TRANSPOSE({1,2;3,4})", "{1, 3; 2, 4}"},
    });
}

TEST(FormulaEvaluation, MatrixFunctions) {
    expectAll({
        {"MMULT(A1:B2, {1;1})", "{11; 8}"},
        {"MMULT(A4:C4, {1;2;3})", "{14}"},
        {"MMULT(A1:B2, A4:C4)", "#VALUE!"},
        {"MMULT(A1:B3, {1,1})", "#VALUE!"},
        {"MMULT(A1:C1, {1;1;1})", "#VALUE!"},
        {"MMULT(2, 3)", "{6}"},
        {"ROUND(MINVERSE(A1:B2), 12)", "{0.6, -0.7; -0.2, 0.4}"},
        {"MINVERSE({1,2;2,4})", "#NUM!"},
        {"MINVERSE(A4:C4)", "#VALUE!"},
        {"MINVERSE({0,1;1,0})", "{0, 1; 1, 0}"},
        {"MDETERM(A1:B2)", "10"},
        {"MDETERM({1,2;2,4})", "0"},
        {"MDETERM({0,1;1,0})", "-1"},
        {"MUNIT(2)", "{1, 0; 0, 1}"},
        {"MUNIT(0)", "#VALUE!"},
        {"MUNIT(1E6)", "#NUM!"},
        {"SUM(A1:XFD1048576)", "#NUM!"},
        {"ROWS(A1:XFD1048576)", "1048576"},
        {"ROUND(MAX(ABS(MMULT(A1:B2, MINVERSE(A1:B2)) - MUNIT(2))), 12)", "0"},
    });
}

TEST(FormulaEvaluation, AddInCallsGetReferencesAsRangesAndUnknownNamesAreNameErrors) {
    expectAll({
        {"Args(A1:B2, 1+1, , INDEX(A1:B2, 2, 2), Sheet2!A1)", "\"ref R1C1:R2C2 2 <missing> ref R2C2 #REF! \""},
        {"Args(A1:B2*1)", "\"{4, 7; 2, 6} \""},
        {"NoSuchFunction(1)", "#NAME?"},
        {"Rate*2", "#NAME?"},
    });
}

}  // namespace
}  // namespace xlhost
