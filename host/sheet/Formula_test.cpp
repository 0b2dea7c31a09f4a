#include "Formula.h"

#include <gtest/gtest.h>

#include <sstream>

namespace xlhost {
namespace {

const SheetLimits excel12 = SheetLimits::forExcel(12);

// The tree in prefix form: (op a b), f[a, b], R1C1 areas, names as name:N.
std::string shape(const FormulaNode& node) {
    std::ostringstream out;
    switch (node.type) {
        case FormulaNode::Type::Constant:
            out << node.constant;
            break;
        case FormulaNode::Type::Reference:
        case FormulaNode::Type::Name:
            if (node.qualified) out << '[' << node.book << ']' << node.sheet << '!';
            if (node.type == FormulaNode::Type::Name)
                out << "name:" << node.text;
            else
                out << node.area;
            break;
        case FormulaNode::Type::Call:
            out << node.text << '[';
            for (std::size_t i = 0; i < node.operands.size(); ++i) out << (i ? ", " : "") << shape(node.operands[i]);
            out << ']';
            break;
        default:
            out << '(' << (node.type == FormulaNode::Type::Percent ? "%" : node.text);
            for (const FormulaNode& operand : node.operands) out << ' ' << shape(operand);
            out << ')';
    }
    return out.str();
}

std::string parsed(const std::string& text) {
    try {
        return shape(parseFormula(text, excel12));
    } catch (const FormulaSyntaxError& error) {
        return std::string("error: ") + error.what();
    }
}

TEST(FormulaParsing, OperatorsRankAsInExcel) {
    const std::pair<const char*, const char*> cases[] = {
        {"=1+2*3", "(+ 1 (* 2 3))"},  {"1-2-3", "(- (- 1 2) 3)"},
        {"-2^2", "(^ (- 2) 2)"},      {"2^3^2", "(^ (^ 2 3) 2)"},
        {"2^-1", "(^ 2 (- 1))"},      {"50%*2", "(* (% 50) 2)"},
        {"-5%", "(% (- 5))"},         {"1+2&\"x\"=\"3x\"", "(= (& (+ 1 2) \"x\") \"3x\")"},
        {"A1<>B2", "(<> R1C1 R2C2)"}, {"1<=2", "(<= 1 2)"},
        {"(1+2)*3", "(* (+ 1 2) 3)"}, {" 1.5E-3 + .5 ", "(+ 0.0015 0.5)"},
        {"--1", "(- (- 1))"},
    };
    for (const auto& [text, tree] : cases) EXPECT_EQ(parsed(text), tree) << text;
}

TEST(FormulaParsing, OperandsCallsAndReferences) {
    const std::pair<const char*, const char*> cases[] = {
        {"\"say \"\"hi\"\"\"", "\"say \\\"hi\\\"\""},
        {"true", "TRUE"},
        {"#div/0!", "#DIV/0!"},
        {"#N/A", "#N/A"},
        {"{1,-2;\"a\",#N/A}", "{1, -2; \"a\", #N/A}"},
        {"{TRUE}", "{TRUE}"},
        {"$b$3:a1", "R1C1:R3C2"},
        {"Sheet1!A1", "[]Sheet1!R1C1"},
        {"'My sheet'!A1:B2", "[]My sheet!R1C1:R2C2"},
        {"[Book1.xlsx]Sheet1!B2", "[Book1.xlsx]Sheet1!R2C2"},
        {"'[Book1]Sheet1'!B2", "[Book1]Sheet1!R2C2"},
        {"!A1", "[]!R1C1"},
        {"!Rate", "[]!name:Rate"},
        {"Rate", "name:Rate"},
        {"f()", "f[]"},
        {"mtrx_Row(A1:B2, , 2)", "mtrx_Row[R1C1:R2C2, <missing>, 2]"},
        {"SUM(ABS(A1), MAX(1, 2))", "SUM[ABS[R1C1], MAX[1, 2]]"},
        {"IF(A1,,)", "IF[R1C1, <missing>, <missing>]"},
    };
    for (const auto& [text, tree] : cases) EXPECT_EQ(parsed(text), tree) << text;
}

TEST(FormulaParsing, WhatIsNoFormulaSaysWhy) {
    const std::pair<const char*, const char*> cases[] = {
        {"=", "an empty formula"},
        {"1+", "an operand is missing"},
        {"(1", "expected ')'"},
        {"f(1", "expected ',' or ')' in the arguments of f"},
        {"\"open", "no closing quote"},
        {"{1,2;3}", "differ in length"},
        {"{A1}", "array constant holds"},
        {"#BAD!", "unknown error value"},
        {"1 2", "unexpected '2'"},
        {"A1:ZZZZ2", "no range on the sheet"},
        {"SUM()", "SUM takes 1 to 255 arguments, not 0"},
        {"round(1)", "ROUND takes 2 arguments, not 1"},
        {"Sheet1 A1", "unexpected 'A1'"},
        {"'x'A1", "expected '!'"},
        {"1a", "unexpected 'a'"},
    };
    const std::string deep = std::string(300, '(') + "1" + std::string(300, ')');
    EXPECT_NE(parsed(deep).find("nests deeper than 255 levels"), std::string::npos);
    EXPECT_NE(parsed(std::string(300, '-') + "1").find("nests deeper"), std::string::npos);
    EXPECT_EQ(parsed(std::string(200, '(') + "1" + std::string(200, ')')), "1");
    for (const auto& [text, message] : cases)
        EXPECT_NE(parsed(text).find(message), std::string::npos) << text << ": " << parsed(text);
}

TEST(FormulaParsing, AreasReadAndVolatileCalls) {
    const FormulaNode formula = parseFormula("SUM(A1:B2, 3) + INDEX(Sheet1!C1:C3, 1) * D4", excel12);
    EXPECT_EQ(formulaAreas(formula), (std::vector<Area>{{0, 1, 0, 1}, {0, 2, 2, 2}, {3, 3, 3, 3}}));
    EXPECT_FALSE(callsVolatileBuiltin(formula));
    EXPECT_TRUE(callsVolatileBuiltin(parseFormula("1 + ABS(rand())", excel12)));
    EXPECT_FALSE(callsVolatileBuiltin(parseFormula("mtrx_Rand()", excel12)));
}

}  // namespace
}  // namespace xlhost
