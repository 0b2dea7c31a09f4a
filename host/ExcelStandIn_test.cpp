#include "ExcelStandIn.h"

#include <gtest/gtest.h>

#include <sstream>

namespace xlhost {
namespace {

std::string printed(const std::vector<CallRecord>& calls) {
    std::ostringstream text;
    for (const CallRecord& call : calls) text << call << '\n';
    return text.str();
}

class Versions : public ::testing::TestWithParam<const char*> {};

TEST_P(Versions, GetWorkspaceTwoGivesTheConfiguredVersionInBothLayouts) {
    ExcelStandIn host(GetParam());
    Arguments4 two4{Value::integer(2)};
    XLOPER text4{};
    ASSERT_EQ(host.excel4(Entry::Direct, xlfGetWorkspace, &text4, 1, two4.pointers()), xlretSuccess);
    EXPECT_EQ(host.takeResult(text4), Value::text(GetParam()));
    Arguments12 two12{Value::number(2)};
    XLOPER12 text12{};
    ASSERT_EQ(host.excel12(Entry::Direct, xlfGetWorkspace, &text12, 1, two12.pointers()), xlretSuccess);
    EXPECT_EQ(host.takeResult(text12), Value::text(GetParam()));
    EXPECT_TRUE(host.faults().empty()) << host.faults();
}
INSTANTIATE_TEST_SUITE_P(ExcelVersions, Versions, ::testing::Values("12.0", "16.0", "11.0", "14.0"));

TEST(ExcelStandIn, TheVersionCanChangeAndDecidesTheMajorVersion) {
    ExcelStandIn host;
    EXPECT_EQ(host.majorVersion(), 12);
    host.setVersion("16.0");
    EXPECT_EQ(host.majorVersion(), 16);
    Arguments4 other{Value::integer(1)};
    XLOPER result{};
    EXPECT_EQ(host.excel4(Entry::Direct, xlfGetWorkspace, &result, 1, other.pointers()), xlretFailed);
}

TEST(ExcelStandIn, StatusBarShowsTextsAndIsGivenBackWithOneFalse) {
    ExcelStandIn host;
    Arguments4 show{Value::boolean(true), Value::text("Registering library...")};
    Arguments4 clear{Value::boolean(false)};
    EXPECT_EQ(host.excel4(Entry::Direct, xlcMessage, nullptr, 2, show.pointers()), xlretSuccess);
    EXPECT_EQ(host.statusBar(), std::u16string(u"Registering library..."));
    EXPECT_EQ(host.excel4(Entry::Direct, xlcMessage, nullptr, 1, clear.pointers()), xlretSuccess);
    EXPECT_EQ(host.statusBar(), std::nullopt);
    EXPECT_EQ(host.statusLog(), (std::vector<StatusEntry>{{true, u"Registering library..."}, {false, u""}}));
    EXPECT_EQ(host.calls().back().arguments, std::vector<Value>{Value::boolean(false)}) << printed(host.calls());
}

TEST(ExcelStandIn, StatusBarCallsOfTheWrongShapeAreRefused) {
    ExcelStandIn host;
    Arguments12 noText{Value::boolean(true)};
    Arguments12 notBoolean{Value::number(1), Value::text("x")};
    EXPECT_EQ(host.excel12(Entry::Direct, xlcMessage, nullptr, 1, noText.pointers()), xlretInvCount);
    EXPECT_EQ(host.excel12(Entry::Direct, xlcMessage, nullptr, 2, notBoolean.pointers()), xlretInvXloper);
    EXPECT_TRUE(host.statusLog().empty());
}

TEST(ExcelStandIn, GetNameGivesTheConfiguredPath) {
    ExcelStandIn host;
    host.setAddInPath("D:\\Addins\\matrix.xll");
    XLOPER12 name{};
    ASSERT_EQ(host.excel12(Entry::Direct, xlGetName, &name, 0, nullptr), xlretSuccess);
    EXPECT_EQ(host.takeResult(name), Value::text("D:\\Addins\\matrix.xll"));
}

TEST(ExcelStandIn, UnknownFunctionsAndWrongCountsAreRefusedAndLogged) {
    ExcelStandIn host("11.0");
    XLOPER result{};
    EXPECT_EQ(host.excel4(Entry::Direct, 4242, &result, 0, nullptr), xlretInvXlfn);
    EXPECT_EQ(host.excel4(Entry::Direct, xlGetName, &result, -1, nullptr), xlretInvCount);
    Arguments4 one{Value::nil()};
    EXPECT_EQ(host.excel4(Entry::Direct, xlGetHwnd, &result, 1, one.pointers()), xlretInvCount);
    // Excel before 12 takes at most 30 arguments per call; Excel 12 takes 255.
    Arguments4 many(std::vector<Value>(31, Value::text("x")));
    EXPECT_EQ(host.excel4(Entry::Direct, xlfRegister, &result, 31, many.pointers()), xlretInvCount);
    host.setVersion("12.0");
    EXPECT_EQ(host.excel4(Entry::Direct, xlfRegister, &result, 31, many.pointers()), xlretSuccess);
    ASSERT_EQ(host.calls().size(), 5u);
    EXPECT_EQ(host.calls().front().function, 4242);
    EXPECT_EQ(host.calls().front().returnCode, xlretInvXlfn);
}

TEST(ExcelStandIn, UnreadableArgumentsAreFaultsAndRefused) {
    ExcelStandIn host;
    XLOPER12 broken{};
    broken.xltype = xltypeStr;
    XLOPER12* argv[] = {&broken, nullptr};
    XLOPER12 result{};
    EXPECT_EQ(host.excel12(Entry::Direct, xlCoerce, &result, 1, argv), xlretInvXloper);
    EXPECT_EQ(host.excel12(Entry::Direct, xlCoerce, &result, 2, argv), xlretInvXloper);
    EXPECT_EQ(host.faults().count(FaultKind::MalformedArgument), 2u) << host.faults();
    EXPECT_EQ(host.calls().front().arguments.front().kind(), Kind::Invalid);
    host.clearFaults();
}

TEST(ExcelStandIn, AnExcelBefore12HasNoMdCallBack12) {
    ExcelStandIn host("11.0");
    XLOPER12 name{};
    EXPECT_EQ(host.excel12(Entry::MdCallBack12, xlGetName, &name, 0, nullptr), xlretFailed);
    EXPECT_EQ(host.faults().count(FaultKind::UnavailableEntry), 1u) << host.faults();
    EXPECT_EQ(name.xltype, 0u);
    host.clearFaults();
}

TEST(ExcelStandIn, OnlyOneRunsAtATime) {
    ExcelStandIn host;
    EXPECT_EQ(ExcelStandIn::current(), &host);
    EXPECT_THROW(ExcelStandIn second, std::logic_error);
    EXPECT_EQ(ExcelStandIn::current(), &host);
}

// ---- the function registry

std::vector<Value> registration(const char* procedure, const char* typeText, double macroType,
                                std::vector<const char*> argumentHelp) {
    std::vector<Value> values{Value::text(ExcelStandIn::defaultAddInPath),
                              Value::text(procedure),
                              Value::text(typeText),
                              Value::text(std::string(procedure).substr(2)),
                              Value::text("mtrx"),
                              Value::number(macroType),
                              Value::text("MatrixFunctions"),
                              Value::text(""),
                              Value::text(""),
                              Value::text("Inverts a matrix")};
    for (const char* help : argumentHelp) values.push_back(Value::text(help));
    return values;
}

Value registerThrough4(ExcelStandIn& host, const std::vector<Value>& values) {
    Arguments4 arguments(values);
    XLOPER id{};
    EXPECT_EQ(host.excel4(Entry::Excel4v, xlfRegister, &id, arguments.count(), arguments.pointers()), xlretSuccess);
    return decode(id);
}

TEST(FunctionRegistry, RecordsEveryArgumentInOrderAndHandsBackAnId) {
    ExcelStandIn host("12.0");
    const auto values = registration("xlmtrx_Invert", "QQ", 1, {" Matrix to be inverted . "});
    const Value id = registerThrough4(host, values);
    ASSERT_EQ(id.kind(), Kind::Number) << id;
    ASSERT_EQ(host.registry().registrations().size(), 1u);
    const Registration& recorded = host.registry().registrations().front();
    EXPECT_EQ(recorded.arguments, values);
    EXPECT_EQ(recorded.layout, Layout::Excel4);
    EXPECT_EQ(recorded.procedure(), "xlmtrx_Invert");
    EXPECT_EQ(recorded.functionName(), "mtrx_Invert");
    EXPECT_EQ(recorded.typeText(), "QQ");
    EXPECT_EQ(recorded.macroType(), 1.0);
    EXPECT_EQ(recorded.argumentHelpCount(), 1u);
    EXPECT_EQ(recorded.argumentHelp(0), " Matrix to be inverted . ");
    EXPECT_EQ(host.registry().find("mtrx_Invert"), &recorded);
    EXPECT_TRUE(host.registry().isActive(id.number()));
}

TEST(FunctionRegistry, RegisteringAgainGivesTheSameIdAndUnregisterRetiresIt) {
    ExcelStandIn host("16.0");
    const Value id = registerThrough4(host, registration("xlmtrx_Transpose", "PP", 1, {"m"}));
    EXPECT_EQ(registerThrough4(host, registration("xlmtrx_Transpose", "PP", 0, {"m"})), id);
    EXPECT_NE(registerThrough4(host, registration("xlmtrx_Column", "PPB", 1, {"m", "c"})), id);
    Arguments12 unregister{id};
    XLOPER12 done{};
    ASSERT_EQ(host.excel12(Entry::Direct, xlfUnregister, &done, 1, unregister.pointers()), xlretSuccess);
    EXPECT_EQ(decode(done), Value::boolean(true));
    EXPECT_FALSE(host.registry().isActive(id.number()));
    ASSERT_EQ(host.excel12(Entry::Direct, xlfUnregister, &done, 1, unregister.pointers()), xlretSuccess);
    EXPECT_EQ(decode(done), Value::boolean(false));
}

TEST(FunctionRegistry, RefusesWhatThatExcelWouldRefuse) {
    ExcelStandIn host("11.0");
    host.setExportLookup([](const std::string& procedure) { return procedure != "xlmtrx_Missing"; });
    EXPECT_EQ(registerThrough4(host, registration("xlmtrx_Invert", "QQ", 1, {})), Value::error(xlerrValue));
    EXPECT_EQ(registerThrough4(host, registration("xlmtrx_Invert", "PC%", 1, {})), Value::error(xlerrValue));
    EXPECT_EQ(registerThrough4(host, registration("xlmtrx_Invert", "PP$", 1, {})), Value::error(xlerrValue));
    EXPECT_EQ(registerThrough4(host, registration("xlmtrx_Missing", "PP", 1, {})), Value::error(xlerrValue));
    EXPECT_EQ(registerThrough4(host, registration("xlmtrx_Invert", "P!P", 1, {})), Value::error(xlerrValue));
    auto otherModule = registration("xlmtrx_Invert", "PP", 1, {});
    otherModule[0] = Value::text("C:\\elsewhere.xll");
    EXPECT_EQ(registerThrough4(host, otherModule), Value::error(xlerrValue));
    auto numberAsName = registration("xlmtrx_Invert", "PP", 1, {});
    numberAsName[3] = Value::number(3);
    EXPECT_EQ(registerThrough4(host, numberAsName), Value::error(xlerrValue));
    for (const Registration& refused : host.registry().registrations()) {
        EXPECT_FALSE(refused.accepted());
        EXPECT_FALSE(refused.rejection.empty());
    }
    EXPECT_EQ(registerThrough4(host, registration("xlmtrx_Invert", "PPB!", 1, {})).kind(), Kind::Number);
}

TEST(FunctionRegistry, TextsCountingTheirClosingZeroReadAsCStrings) {
    ExcelStandIn host("11.0");
    std::vector<Value> values = registration("xlmtrx_Invert", "PP", 1, {" Matrix to be inverted . "});
    for (Value& value : values)
        if (value.kind() == Kind::Text) value = Value::text(value.narrowText() + std::string(1, '\0'));
    EXPECT_EQ(registerThrough4(host, values).kind(), Kind::Number);
    const Registration& recorded = host.registry().registrations().back();
    EXPECT_EQ(recorded.arguments, values);
    EXPECT_EQ(recorded.procedure(), "xlmtrx_Invert");
    EXPECT_EQ(recorded.argumentHelp(0), " Matrix to be inverted . ");
    Arguments4 show{Value::boolean(true), Value::text(std::string("Done\0", 5))};
    ASSERT_EQ(host.excel4(Entry::Direct, xlcMessage, nullptr, 2, show.pointers()), xlretSuccess);
    EXPECT_EQ(host.statusBar(), std::u16string(u"Done"));
    EXPECT_EQ(host.statusLog().back().text, std::u16string(u"Done", 5));
}

TEST(FunctionRegistry, TypeTextsFollowTheVersion) {
    EXPECT_EQ(typeTextProblem("QQ", 12), std::nullopt);
    EXPECT_EQ(typeTextProblem("QUC%B!$", 12), std::nullopt);
    EXPECT_NE(typeTextProblem("Q", 11), std::nullopt);
    EXPECT_NE(typeTextProblem("", 12), std::nullopt);
    EXPECT_NE(typeTextProblem("P%", 12), std::nullopt);
    EXPECT_NE(typeTextProblem("PZ", 12), std::nullopt);
    EXPECT_NE(typeTextProblem("P" + std::string(31, 'B'), 11), std::nullopt);
    EXPECT_EQ(typeTextProblem("P" + std::string(30, 'B'), 11), std::nullopt);
}

}  // namespace
}  // namespace xlhost
