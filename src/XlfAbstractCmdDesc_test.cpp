// Function registration through the stand-in Excel: the records static registrars collect, the
// xlfRegister calls RegisterAll and the descriptors make of them, and what is reported.
#include "XlfAbstractCmdDesc.h"

#include "ExcelStandIn.h"
#include "PendingRegistrations.h"
#include "Win32StreamBuf.h"
#include "XlfExcel.h"

#include <gtest/gtest.h>

#include <iostream>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

namespace zep {
namespace {

using xlhost::ExcelStandIn;
using xlhost::Registration;

class Registering : public testing::TestWithParam<const char*> {
protected:
    void TearDown() override {
        PendingRegistrations().clear();
        XlfExcel::DeleteCurrent();
        EXPECT_TRUE(host_.faults().empty()) << host_.faults();
    }

    bool Excel12() const { return std::string(GetParam()) == "12.0"; }
    const std::vector<Registration>& Registrations() const { return host_.registry().registrations(); }
    // Diagnostic lines written so far.
    std::string Diagnostics() const { return diagnostics_.str(); }

    ExcelStandIn host_{GetParam()};
    std::stringbuf diagnostics_;
    StreamRedirection cerrCapture_{std::cerr, diagnostics_};
};

TEST_P(Registering, RegistrarsQueueRecordsThatRegisterAllSubmitsInOrder) {
    const ArgumentSpec arguments[] = {
        {"mtrx", " Matrix to be inverted ", "XLF_OPER"},
        {"mtrx", " input Matrix ", "XLF_OPER"},
        {"n", " row number ", "B"},
    };
    const FunctionRegistrar invert("xlF_Invert", "F_Invert", " inverts ", "Cat", &arguments[0], 1, NoFlags);
    const FunctionRegistrar row("xlF_Row", "F_Row", " a row ", "Cat", &arguments[1], 2, NoFlags);
    ASSERT_EQ(2u, PendingRegistrations().size());
    const RegistrationRecord& queued = PendingRegistrations()[1];
    EXPECT_EQ(2, queued.argumentCount);
    EXPECT_EQ((std::vector<std::string>{"mtrx", "n"}), queued.argumentNames);
    EXPECT_EQ((std::vector<std::string>{"XLF_OPER", "B"}), queued.argumentTypeTags);

    RegisterAll();
    RegisterAll();  // the list stays: a second open registers everything again

    const std::string oper = Excel12() ? "Q" : "P";
    ASSERT_EQ(4u, Registrations().size());
    const Registration& first = Registrations()[0];
    EXPECT_EQ(ExcelStandIn::defaultAddInPath, first.module());
    EXPECT_EQ("xlF_Invert", first.procedure());
    EXPECT_EQ(oper + oper, first.typeText());
    EXPECT_EQ("F_Invert", first.functionName());
    EXPECT_EQ("mtrx", first.argumentText());
    ASSERT_EQ(1u, first.argumentHelpCount());
    EXPECT_EQ(" Matrix to be inverted . ", first.argumentHelp(0));
    const Registration& second = Registrations()[1];
    EXPECT_EQ(oper + oper + "B", second.typeText());
    EXPECT_EQ("mtrx, n", second.argumentText());
    EXPECT_EQ("F_Invert", Registrations()[2].functionName());
    for (const Registration& registration : Registrations()) {
        EXPECT_EQ(xlhost::Layout::Excel4, registration.layout);
        EXPECT_TRUE(registration.accepted()) << registration.rejection;
    }
}

TEST_P(Registering, VolatileAddsABangAndThreadSafetyADollarOnlyUnderExcel12) {
    XlfFuncDesc function("xlF", "F", " help ", "Cat", 1, true, "B");
    function.SetArguments({XlfArgDesc("x", " a number ", "B"), XlfArgDesc("r", " a record ", "XLF_XLOPER")});
    EXPECT_EQ(Excel12() ? "BBU!$" : "BBR!", function.TypeText());
    XlfFuncDesc wide("xlW", "W", " help ", "Cat", 0, false, "");
    wide.SetArguments({XlfArgDesc("s", " text ", "ZEP_WSTR")});
    EXPECT_EQ(Excel12() ? "C%" : "C", wide.TypeText()) << "the return code is taken as given";
}

TEST_P(Registering, AFunctionWithoutArgumentsIsRegisteredWithTenValues) {
    XlfFuncDesc function("xlF", "F", " help ", "Cat", 0, false, "B");
    double id = 0;
    EXPECT_EQ(xlretSuccess, function.SubmitRegistration(ExcelStandIn::defaultAddInPath, 1, &id));
    ASSERT_EQ(1u, Registrations().size());
    EXPECT_EQ(Registrations()[0].id, std::optional<double>(id));
    EXPECT_EQ(10u, Registrations()[0].arguments.size());
    EXPECT_EQ("", Registrations()[0].argumentText());
    EXPECT_EQ(std::optional<double>(1.0), Registrations()[0].macroType());
}

TEST_P(Registering, UnregisteringLearnsTheIdByAHiddenRegistrationAndRetiresIt) {
    XlfFuncDesc function("xlF", "F", " help ", "Cat", 0, false, "B");
    function.RegisterInHost();
    function.UnregisterFromHost();
    ASSERT_EQ(2u, Registrations().size());
    EXPECT_EQ(std::optional<double>(0.0), Registrations()[1].macroType()) << "registered again as hidden";
    ASSERT_TRUE(Registrations()[1].id.has_value());
    EXPECT_FALSE(host_.registry().isActive(*Registrations()[1].id));
    EXPECT_EQ("", Diagnostics());
}

TEST_P(Registering, WithoutALibraryNameNothingIsRegistered) {
    host_.setAddInPath("");
    XlfFuncDesc function("xlF", "F", " help ", "Cat", 0, false, "");
    try {
        function.RegisterInHost();
        FAIL() << "registered without a library name";
    } catch (const std::runtime_error& failure) {
        EXPECT_STREQ("Could not get library name", failure.what());
    }
    EXPECT_TRUE(Registrations().empty());
}

// Every Excel 4 host before the Excel 12 one: a process does not go back to a value strategy it left.
INSTANTIATE_TEST_SUITE_P(Excel11, Registering, testing::Values("11.0"));
INSTANTIATE_TEST_SUITE_P(Excel12, Registering, testing::Values("12.0"));

class ArgumentDescriptions : public testing::Test {
protected:
    std::stringbuf diagnostics_;
    StreamRedirection cerrCapture_{std::cerr, diagnostics_};
};

TEST_F(ArgumentDescriptions, NamesLongerThanEighteenCharactersAreReportedOnce) {
    const XlfArgDesc fits(std::string(18, 'a'), " ok ", "B");
    EXPECT_EQ("", diagnostics_.str());
    const XlfArgDesc tooLong(std::string(19, 'b'), " long ", "B");
    EXPECT_EQ(std::string(19, 'b'), tooLong.Name());
    EXPECT_EQ("..\\..\\src\\XlfArgDesc(37): Argument name \"" + std::string(19, 'b') +
                  "\" may be too long to fit the in the function wizard\n",
              diagnostics_.str());
}

TEST_F(ArgumentDescriptions, CommentsEndWithFullStopAndBlank) {
    EXPECT_EQ(" Matrix to be inverted . ", XlfArgDesc("m", " Matrix to be inverted ", "B").Comment());
    EXPECT_EQ(" done. ", XlfArgDesc("m", " done. ", "B").Comment());
    EXPECT_EQ(". ", XlfArgDesc("m", "", "B").Comment());
    EXPECT_EQ(" . ", XlfArgDesc("m", " ", "B").Comment());
}

// Excel before 12 takes at most 30 values per call: 21 arguments make 31.
TEST(RegistrationRefused, ARefusedCallIsReportedAndDoesNotThrow) {
    ExcelStandIn host("11.0");
    std::stringbuf diagnostics;
    {
        StreamRedirection cerrCapture(std::cerr, diagnostics);
        XlfFuncDesc function("xlF", "F_Many", " help ", "Cat", 0, false, "");
        function.SetArguments(std::vector<XlfArgDesc>(21, XlfArgDesc("x", " x ", "B")));
        function.RegisterInHost();
    }
    XlfExcel::DeleteCurrent();
    EXPECT_EQ("..\\..\\src\\XlfAbstractCmdDesc(62): Error 4 while registering F_Many\n", diagnostics.str());
}

}  // namespace
}  // namespace zep
