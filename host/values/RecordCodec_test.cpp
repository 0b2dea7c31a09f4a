#include "ArgumentRecord.h"

#include <gtest/gtest.h>

#include <cstring>

namespace xlhost {
namespace {

const Value mixedArray = Value::array(2, 3,
                                      {Value::number(1.5), Value::text("ab"), Value::boolean(true),
                                       Value::error(xlerrNA), Value::nil(), Value::text(u"\u00e9")});

template <class L>
class RecordCodecTest : public ::testing::Test {};
using Layouts = ::testing::Types<Layout4, Layout12>;
TYPED_TEST_SUITE(RecordCodecTest, Layouts);

TYPED_TEST(RecordCodecTest, EveryBuildableValueDecodesToItself) {
    const Value values[] = {Value::number(-2.25),
                            Value::text(""),
                            Value::text("abc"),
                            Value::boolean(false),
                            Value::error(xlerrDiv0),
                            Value::integer(-7),
                            Value::missing(),
                            Value::nil(),
                            mixedArray,
                            Value::reference(0x5A7E0011, {Area{0, 2, 1, 3}, Area{5, 5, 0, 0}}),
                            Value::sheetReference(Area{3, 4, 5, 6})};
    for (const Value& value : values) {
        ArgumentRecord<TypeParam> argument(value);
        EXPECT_EQ(RecordCodec<TypeParam>::decode(*argument.get()), value) << value;
    }
}

TYPED_TEST(RecordCodecTest, WhatTheLayoutCannotCarryIsRefused) {
    EXPECT_THROW(ArgumentRecord<TypeParam>(Value::text(std::string(TypeParam::maxTextUnits + 1, 'x'))),
                 std::invalid_argument);
    EXPECT_THROW(static_cast<void>(ArgumentRecord<TypeParam>(Value::bigData())), std::invalid_argument);
    EXPECT_THROW(ArgumentRecord<TypeParam>(Value::array(1, 1, {mixedArray})), std::invalid_argument);
    EXPECT_THROW(ArgumentRecord<TypeParam>(Value::reference(1, Area{0, TypeParam::sheetRows, 0, 0})),
                 std::invalid_argument);
    EXPECT_NO_THROW(ArgumentRecord<TypeParam>(Value::text(std::string(TypeParam::maxTextUnits, 'x'))));
}

TYPED_TEST(RecordCodecTest, AnAddInWritingIntoAnArgumentIsNoticed) {
    ArgumentList<TypeParam> arguments{Value::number(1), mixedArray};
    EXPECT_TRUE(arguments.intact());
    arguments[1]->val.array.lparray[1].val.str[1] = 'X';
    EXPECT_FALSE(arguments.intact());
}

TYPED_TEST(RecordCodecTest, UnreadableRecordsDecodeAsInvalidWithoutBeingFollowed) {
    typename TypeParam::Record record{};
    record.xltype = xltypeStr;
    record.val.str = nullptr;
    EXPECT_EQ(RecordCodec<TypeParam>::decode(record).kind(), Kind::Invalid);
    record.xltype = xltypeMulti;
    record.val.array.lparray = nullptr;
    EXPECT_EQ(RecordCodec<TypeParam>::decode(record).kind(), Kind::Invalid);
    record.xltype = xltypeNum | 0x8000;  // a private flag left in the type word
    EXPECT_EQ(RecordCodec<TypeParam>::decode(record).kind(), Kind::Invalid);
    record.xltype = xltypeErr;
    record.val.err = 3;  // no such error value
    EXPECT_EQ(RecordCodec<TypeParam>::decode(record).kind(), Kind::Invalid);
}

TYPED_TEST(RecordCodecTest, ArraysHoldingWhatExcelArraysCannotAreInvalid) {
    ArgumentRecord<TypeParam> argument(Value::array(1, 2, {Value::number(1), Value::missing()}));
    const Value decoded = RecordCodec<TypeParam>::decode(*argument.get());
    ASSERT_NE(decoded.firstInvalid(), nullptr) << decoded;
    EXPECT_EQ(decoded.element(0, 0), Value::number(1));
}

// Excel shows them as numbers: Microsoft's own xlAutoFree example returns an array of integers.
TYPED_TEST(RecordCodecTest, ArraysMayHoldIntegers) {
    ArgumentRecord<TypeParam> argument(Value::array(1, 2, {Value::number(1), Value::integer(-3)}));
    const Value decoded = RecordCodec<TypeParam>::decode(*argument.get());
    EXPECT_EQ(decoded.firstInvalid(), nullptr) << decoded;
    EXPECT_EQ(decoded.element(0, 1), Value::integer(-3));
}

TEST(RecordCodec, Excel4TextsAreACountByteAndBytesWithoutTerminator) {
    Argument4 argument(Value::text("abc"));
    const char* body = argument.get()->val.str;
    EXPECT_EQ(static_cast<unsigned char>(body[0]), 3);
    EXPECT_EQ(std::memcmp(body + 1, "abc", 3), 0);
    Argument4 longText(Value::text(std::string(200, 'z')));
    EXPECT_EQ(decode(*longText.get()).text().size(), 200u);  // the count byte is unsigned
}

TEST(RecordCodec, Excel12TextsAreACountUnitAndUnits) {
    Argument12 argument(Value::text(u"\u00e9x"));
    const XCHAR* body = argument.get()->val.str;
    EXPECT_EQ(body[0], 2);
    EXPECT_EQ(body[1], 0xE9);
    EXPECT_EQ(body[2], u'x');
}

TEST(RecordCodec, Excel4SeesWideUnitsAsQuestionMarksAndNarrowIntegers) {
    EXPECT_EQ(decode(*Argument4(Value::text(u"a\u20acb")).get()), Value::text("a?b"));
    EXPECT_THROW(Argument4(Value::integer(40000)), std::invalid_argument);
    EXPECT_NO_THROW(Argument12(Value::integer(40000)));
}

TEST(RecordCodec, ValuesPrintReadably) {
    EXPECT_EQ(describe(mixedArray), "{1.5, \"ab\", TRUE; #N/A, <nil>, \"\\u00e9\"}");
    EXPECT_EQ(describe(Value::reference(0x10, Area{0, 1, 0, 2})), "Ref(sheet 0x10: R1C1:R2C3)");
    EXPECT_EQ(describe(Value::integer(12)), "int 12");
    EXPECT_EQ(describe(Value::number(0.1)), "0.1");
    EXPECT_EQ(describe(Value::number(0.1 + 0.2)), "0.30000000000000004");
    EXPECT_EQ(describe(Value::number(5e-324)), "4.94065645841247e-324");
}

}  // namespace
}  // namespace xlhost
