#include "Coercion.h"
#include "ExcelStandIn.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

namespace xlhost {
namespace {

class Coercions : public ::testing::Test {
protected:
    Value coerced(const Value& source, std::uint32_t wanted) {
        const Coerced result = coerce(source, wanted, sheets);
        EXPECT_EQ(result.code, xlretSuccess) << source << " as type " << wanted;
        return result.value;
    }
    int code(const Value& source, std::optional<std::uint32_t> wanted) { return coerce(source, wanted, sheets).code; }

    SheetModel sheets;
    SheetId sheet = sheets.activeSheet();
};

TEST(GeneralNumberFormat, FifteenSignificantDigitsAndExponentsBeyondThem) {
    const std::pair<double, const char*> cases[] = {
        {0.1 + 0.2, "0.3"},
        {1e15, "1E+15"},
        {999999999999999.0, "999999999999999"},
        {999999999999999.5, "1E+15"},
        {123456789012345678.0, "1.23456789012346E+17"},
        {0.0001, "0.0001"},
        {0.00001, "1E-05"},
        {-1e-300, "-1E-300"},
        {-0.0, "0"},
        {5e-324, "4.94065645841247E-324"},
        {1.7976931348623157e308, "1.79769313486232E+308"},
        {1234567.125, "1234567.125"},
        {0.1234567890123456, "0.123456789012346"},
    };
    for (const auto& [number, shown] : cases)
        EXPECT_EQ(numberToText(number), std::u16string(shown, shown + std::strlen(shown)));
    EXPECT_EQ(numberToText(HUGE_VAL), std::nullopt);
    EXPECT_EQ(numberToText(std::nan("")), std::nullopt);
}

TEST_F(Coercions, BetweenScalars) {
    EXPECT_EQ(coerced(Value::text(" 12.0 "), xltypeInt), Value::integer(12));
    EXPECT_EQ(coerced(Value::text("-1.5e2"), xltypeNum), Value::number(-150));
    EXPECT_EQ(coerced(Value::number(2.5), xltypeStr), Value::text("2.5"));
    EXPECT_EQ(coerced(Value::number(1e20), xltypeStr), Value::text("1E+20"));
    EXPECT_EQ(coerced(Value::number(1.0 / 3.0), xltypeStr), Value::text("0.333333333333333"));
    EXPECT_EQ(coerced(Value::number(2.5), xltypeInt), Value::integer(3));
    EXPECT_EQ(coerced(Value::number(-2.5), xltypeInt), Value::integer(-3));
    EXPECT_EQ(coerced(Value::boolean(true), xltypeNum), Value::number(1));
    EXPECT_EQ(coerced(Value::text("false"), xltypeBool), Value::boolean(false));
    EXPECT_EQ(coerced(Value::integer(7), xltypeStr), Value::text("7"));
    EXPECT_EQ(coerced(Value::nil(), xltypeNum), Value::number(0));
    EXPECT_EQ(coerced(Value::nil(), xltypeStr), Value::text(""));
    EXPECT_EQ(coerced(Value::error(xlerrNA), xltypeErr | xltypeNum), Value::error(xlerrNA));
    EXPECT_EQ(coerced(Value::number(4), xltypeMulti), Value::array(1, 1, {Value::number(4)}));
    EXPECT_EQ(coerced(Value::text("x"), 0), Value::text("x"));
}

TEST_F(Coercions, WhatDoesNotConvertFails) {
    for (const char* text : {"abc", "", "1,5", "12 apples", "0x10", "1e999", "inf", "."})
        EXPECT_EQ(code(Value::text(text), xltypeNum), xlretFailed) << text;
    EXPECT_EQ(code(Value::error(xlerrValue), xltypeNum), xlretFailed);
    EXPECT_EQ(code(Value::missing(), xltypeNum), xlretFailed);
    EXPECT_EQ(code(Value::text("yes"), xltypeBool), xlretFailed);
    EXPECT_EQ(code(Value::number(1e10), xltypeInt), xlretFailed);
    EXPECT_EQ(code(Value::number(std::nan("")), xltypeStr), xlretFailed);
}

TEST_F(Coercions, NothingConvertsToOrFromBigDataOrFlow) {
    EXPECT_EQ(code(Value::bigData(), xltypeStr), xlretFailed);
    EXPECT_EQ(code(Value::flow(), xltypeNum), xlretFailed);
    EXPECT_EQ(code(Value::bigData(), std::nullopt), xlretFailed);
    EXPECT_EQ(code(Value::text("abc"), xltypeBigData), xlretFailed);
    EXPECT_EQ(code(Value::number(1), xltypeFlow), xlretFailed);
}

TEST_F(Coercions, AReferenceBecomesItsValues) {
    sheets.setCell(sheet, 0, 0, Value::number(1));
    sheets.setCell(sheet, 0, 1, Value::text("b"));
    sheets.setCell(sheet, 1, 1, Value::boolean(true));
    const Value block = Value::reference(sheet, Area{0, 1, 0, 1});
    const Value expected = Value::array(2, 2, {Value::number(1), Value::text("b"), Value::nil(), Value::boolean(true)});
    EXPECT_EQ(coerce(block, std::nullopt, sheets).value, expected);
    EXPECT_EQ(coerced(block, xltypeMulti), expected);
    EXPECT_EQ(coerced(Value::reference(sheet, Area{0, 0, 1, 1}), 0), Value::text("b"));
    EXPECT_EQ(coerced(Value::reference(sheet, Area{1, 1, 0, 0}), xltypeMulti), Value::nil());
    EXPECT_EQ(coerced(Value::sheetReference(Area{0, 0, 0, 0}), 0), Value::number(1));
}

TEST_F(Coercions, ABlockOrArrayWantedAsOneValueGivesItsTopLeft) {
    sheets.setCell(sheet, 4, 2, Value::number(8));
    EXPECT_EQ(coerced(Value::reference(sheet, Area{4, 6, 2, 3}), xltypeStr), Value::text("8"));
    const Value array = Value::array(1, 2, {Value::text("3"), Value::number(9)});
    EXPECT_EQ(coerced(array, xltypeNum), Value::number(3));
    EXPECT_EQ(coerced(array, xltypeMulti | xltypeNum), array);
}

TEST_F(Coercions, ReferencesStayReferencesWhenWanted) {
    const SheetId other = sheets.addSheet("Other");
    EXPECT_EQ(coerced(Value::sheetReference(Area{1, 2, 3, 4}), xltypeRef), Value::reference(sheet, Area{1, 2, 3, 4}));
    EXPECT_EQ(coerced(Value::reference(sheet, Area{1, 1, 1, 1}), xltypeSRef), Value::sheetReference(Area{1, 1, 1, 1}));
    EXPECT_EQ(code(Value::reference(other, Area{1, 1, 1, 1}), xltypeSRef), xlretFailed);
    EXPECT_EQ(code(Value::reference(0x1234, Area{0, 0, 0, 0}), std::nullopt), xlretFailed);  // no such sheet
    EXPECT_EQ(code(Value::reference(sheet, {Area{0, 0, 0, 0}, Area{2, 2, 2, 2}}), xltypeNum), xlretFailed);
}

// Through Excel's door: the result record of a failed coercion is left exactly as it was.
template <class L>
class CoerceCall : public ::testing::Test {};
using Layouts = ::testing::Types<Layout4, Layout12>;
TYPED_TEST_SUITE(CoerceCall, Layouts);

template <class Record>
int callExcel(ExcelStandIn& host, int function, Record* result, ArgumentList<Layout4>& arguments) {
    return host.excel4(Entry::Direct, function, result, arguments.count(), arguments.pointers());
}
template <class Record>
int callExcel(ExcelStandIn& host, int function, Record* result, ArgumentList<Layout12>& arguments) {
    return host.excel12(Entry::Direct, function, result, arguments.count(), arguments.pointers());
}

TYPED_TEST(CoerceCall, AFailedCoercionLeavesTheResultUntouched) {
    ExcelStandIn host;
    ArgumentList<TypeParam> arguments{Value::text("no number"), Value::integer(xltypeNum)};
    typename TypeParam::Record result{};
    result.xltype = xltypeBool;
    result.val.xbool = 1;
    const typename TypeParam::Record before = result;
    EXPECT_EQ(callExcel(host, xlCoerce, &result, arguments), xlretFailed);
    EXPECT_EQ(std::memcmp(&before, &result, sizeof result), 0);
    EXPECT_EQ(host.outstandingAllocations(), 0u);
}

TYPED_TEST(CoerceCall, ABlockArrivesAsAnArrayInHostMemory) {
    ExcelStandIn host;
    const SheetId sheet = host.sheets().addSheet("Data");
    host.sheets().setCells(sheet, 2, 0, Value::array(1, 2, {Value::text("x"), Value::error(xlerrDiv0)}));
    ArgumentList<TypeParam> arguments{Value::reference(sheet, Area{2, 2, 0, 1})};
    typename TypeParam::Record result{};
    ASSERT_EQ(callExcel(host, xlCoerce, &result, arguments), xlretSuccess);
    EXPECT_EQ(host.takeResult(result), Value::array(1, 2, {Value::text("x"), Value::error(xlerrDiv0)}));
    EXPECT_TRUE(arguments.intact());
    EXPECT_TRUE(host.faults().empty()) << host.faults();
}

TYPED_TEST(CoerceCall, TheWantedTypesMustBeAnIntegerOfTypeBits) {
    ExcelStandIn host;
    ArgumentList<TypeParam> asNumber{Value::text("1"), Value::number(xltypeNum)};
    ArgumentList<TypeParam> unknownBits{Value::text("1"), Value::integer(0x200)};
    typename TypeParam::Record result{};
    EXPECT_EQ(callExcel(host, xlCoerce, &result, asNumber), xlretInvXloper);
    EXPECT_EQ(callExcel(host, xlCoerce, &result, unknownBits), xlretInvXloper);
}

TEST(CoerceCallLayouts, AValueTheLayoutCannotCarryFails) {
    ExcelStandIn host;
    Arguments4 wide{Value::number(40000), Value::integer(xltypeInt)};
    XLOPER result4{};
    EXPECT_EQ(host.excel4(Entry::Direct, xlCoerce, &result4, 2, wide.pointers()), xlretFailed);
    Arguments12 wide12{Value::number(40000), Value::integer(xltypeInt)};
    XLOPER12 result12{};
    EXPECT_EQ(host.excel12(Entry::Direct, xlCoerce, &result12, 2, wide12.pointers()), xlretSuccess);
    EXPECT_EQ(decode(result12), Value::integer(40000));
}

}  // namespace
}  // namespace xlhost
