#include "TypeText.h"

#include <gtest/gtest.h>

namespace xlhost {
namespace {

std::string codesOf(const TypeText& typeText) {
    std::string codes =
        typeText.inPlaceArgument != 0 ? std::to_string(typeText.inPlaceArgument) : typeText.result.text();
    for (const TypeCode& code : typeText.arguments) codes += " " + code.text();
    return codes;
}

TEST(TypeText, ReadsTheResultTheArgumentsAndTheMarks) {
    const auto plain = parseTypeText("QQU!").typeText;
    ASSERT_TRUE(plain);
    EXPECT_EQ(codesOf(*plain), "Q Q U");
    EXPECT_TRUE(plain->isVolatile);
    EXPECT_FALSE(plain->isMacroSheetEquivalent || plain->isThreadSafe || plain->isClusterSafe);

    const auto wide = parseTypeText("D%C%K%O%BJ$&").typeText;
    ASSERT_TRUE(wide);
    EXPECT_EQ(codesOf(*wide), "D% C% K% O% B J");
    EXPECT_TRUE(wide->isThreadSafe && wide->isClusterSafe);

    const auto inPlace = parseTypeText("2BF#").typeText;
    ASSERT_TRUE(inPlace);
    EXPECT_EQ(inPlace->inPlaceArgument, 2);
    EXPECT_EQ(inPlace->result.letter, '\0');
    EXPECT_EQ(codesOf(*inPlace), "2 B F");
    EXPECT_TRUE(inPlace->isMacroSheetEquivalent);
}

TEST(TypeText, RefusesWhatExcelCannotRead) {
    for (const char* refused :
         {"", "!", "P%", "B%", "C%%", "PZ", "B!B", "P\x01", "1B", "3EE", "OB", "BB#$", ">B", "B>X", "1E>"})
        EXPECT_FALSE(parseTypeText(refused).typeText) << '"' << refused << '"';
    EXPECT_EQ(parseTypeText("1B").problem, "the result is argument 1, of type B, which is passed by value");
    EXPECT_EQ(parseTypeText("3EE").problem, "the result is argument 3, which is not there");
    EXPECT_EQ(parseTypeText("BB!B").problem, "type code 'B' after a modifier");
    EXPECT_EQ(parseTypeText(">B").problem, "'>' (no result) needs an asynchronous handle argument X");
    const auto async = parseTypeText(">BX$").typeText;
    ASSERT_TRUE(async);
    EXPECT_TRUE(async->isAsynchronous());
    EXPECT_EQ(async->result.letter, '>');
}

TEST(TypeText, EachVersionKnowsItsCodesMarksAndArgumentCount) {
    const auto problemOf = [](const std::string& text, int version) {
        return versionProblem(*parseTypeText(text).typeText, version);
    };
    for (const char* excel12 : {"QB", "BU", "C%C%", "1G%", "K%B", "BO%", "BB$"}) {
        EXPECT_NE(problemOf(excel12, 11), std::nullopt) << excel12;
        EXPECT_EQ(problemOf(excel12, 12), std::nullopt) << excel12;
    }
    EXPECT_NE(problemOf("BB&", 12), std::nullopt);
    EXPECT_EQ(problemOf("BB&", 14), std::nullopt);
    for (const char* excel14 : {"BX", ">BX"}) {
        EXPECT_EQ(problemOf(excel14, 12), "asynchronous functions (X) need Excel 14 or newer") << excel14;
        EXPECT_EQ(problemOf(excel14, 14), std::nullopt) << excel14;
    }
    EXPECT_EQ(problemOf("B" + std::string(30, 'B'), 11), std::nullopt);
    EXPECT_EQ(problemOf("B" + std::string(31, 'B'), 11), "too many arguments: 31, Excel 11 allows 30");
    EXPECT_EQ(problemOf("B" + std::string(255, 'B'), 12), std::nullopt);
    EXPECT_NE(problemOf("B" + std::string(256, 'B'), 16), std::nullopt);
}

}  // namespace
}  // namespace xlhost
