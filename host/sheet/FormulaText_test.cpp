#include "FormulaText.h"

#include "XlCall.h"

#include <gtest/gtest.h>

namespace xlhost {
namespace {

// A stand-in Excel with A1:B2 = 1, 2; 3, "t", the function Twice registered, and a record of the
// calls the formulas make.
class FormulaTexts : public ::testing::Test {
protected:
    void SetUp() override {
        sheets().setCells(sheets().activeSheet(), 0, 0,
                          Value::array(2, 2, {Value::number(1), Value::number(2), Value::number(3), Value::text("t")}));
        Arguments4 registration{Value::text(ExcelStandIn::defaultAddInPath), Value::text("fn_Twice"), Value::text("QQ"),
                                Value::text("Twice")};
        XLOPER id{};
        host.excel4(Entry::Excel4v, xlfRegister, &id, registration.count(), registration.pointers());
    }
    SheetModel& sheets() { return host.sheets(); }
    std::optional<Value> evaluated(const char16_t* formula) {
        return evaluateFormulaText(formula, host, SheetLimits::forExcel(12),
                                   [this](const Registration& function, const std::vector<Value>& arguments) {
                                       calls.push_back(function.functionName());
                                       passed = arguments;
                                       return arguments.empty() ? Value::missing() : arguments[0];
                                   });
    }

    ExcelStandIn host;
    std::vector<std::string> calls;
    std::vector<Value> passed;
};

TEST_F(FormulaTexts, ConstantsWithOrWithoutTheLeadingEqualSign) {
    EXPECT_EQ(evaluated(u"=42"), Value::number(42));
    EXPECT_EQ(evaluated(u" -1.5E2 "), Value::number(-150));
    EXPECT_EQ(evaluated(u"=\"say \"\"hi\"\"\""), Value::text("say \"hi\""));
    EXPECT_EQ(evaluated(u"true"), Value::boolean(true));
    EXPECT_EQ(evaluated(u"=#N/A"), Value::error(xlerrNA));
}

TEST_F(FormulaTexts, ReferencesGiveTheActiveSheetsValuesAndABareOneHasNoMacroSheet) {
    EXPECT_EQ(evaluated(u"=!B1"), Value::number(2));
    EXPECT_EQ(evaluated(u"Sheet1!A1:B2"),
              Value::array(2, 2, {Value::number(1), Value::number(2), Value::number(3), Value::text("t")}));
    EXPECT_EQ(evaluated(u"[Book1.xlsx]sheet1!$A$2"), Value::number(3));
    EXPECT_EQ(evaluated(u"'[Book1]Sheet1'!B2"), Value::text("t"));
    EXPECT_EQ(evaluated(u"!C9"), Value::nil()) << "a blank cell";
    EXPECT_EQ(evaluated(u"A1"), Value::error(xlerrRef));
    EXPECT_EQ(evaluated(u"Sheet2!A1"), Value::error(xlerrRef));
    EXPECT_EQ(evaluated(u"[Other]Sheet1!A1"), Value::error(xlerrRef));
}

TEST_F(FormulaTexts, NamesAreTheAddInsOwnAndWorksheetNamesAreNone) {
    Arguments12 define{Value::text("Rate"), Value::number(0.5)};
    XLOPER12 done{};
    host.excel12(Entry::Direct, xlfSetName, &done, define.count(), define.pointers());
    EXPECT_EQ(evaluated(u"=rate"), Value::number(0.5));
    EXPECT_EQ(evaluated(u"Twice"), Value::number(*host.registry().findFunction("Twice")->id));
    EXPECT_EQ(evaluated(u"!Rate"), Value::error(xlerrName));
    EXPECT_EQ(evaluated(u"Unknown"), Value::error(xlerrName));
}

TEST_F(FormulaTexts, RegisteredFunctionsAreCalledWithReferencesAsReferences) {
    EXPECT_EQ(evaluated(u"=twice(!A1:B1, \"x\", , Twice(7))"), Value::array(1, 2, {Value::number(1), Value::number(2)}))
        << "the reference the function gave back, read as values";
    EXPECT_EQ(calls, (std::vector<std::string>{"Twice", "Twice"}));
    EXPECT_EQ(passed, (std::vector<Value>{Value::reference(host.sheets().activeSheet(), Area{0, 0, 0, 1}),
                                          Value::text("x"), Value::missing(), Value::number(7)}));
}

TEST_F(FormulaTexts, OperatorsAndBuiltInFunctionsAreTheSheetsOwn) {
    EXPECT_EQ(evaluated(u"=1+2*!B1"), Value::number(5));
    EXPECT_EQ(evaluated(u"SUM(!A1:B2, Twice(4))"), Value::number(10));
    EXPECT_EQ(evaluated(u"={1,2}"), Value::array(1, 2, {Value::number(1), Value::number(2)}));
    EXPECT_EQ(evaluated(u"=Unknown(1)"), Value::error(xlerrName));
}

TEST_F(FormulaTexts, WhatIsNoFormulaIsNoValue) {
    for (const char16_t* formula : {u"=\"open", u"Twice(1", u"=", u"#BAD!", u"1+", u"SUM()"})
        EXPECT_EQ(evaluated(formula), std::nullopt) << toUtf8(formula);
}

}  // namespace
}  // namespace xlhost
