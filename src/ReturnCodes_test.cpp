#include "ReturnCodes.h"

#include "XlCall.h"
#include "XlfException.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>

namespace zep {
namespace {

// Runs the check and reports what came of it: "returned N", or the kind and text thrown.
template <typename... Text>
std::string Outcome(int code, const Text&... text) {
    try {
        return "returned " + std::to_string(CheckReturnCode(code, text...));
    } catch (const XlfExceptionUncalculated& e) {
        return std::string("Uncalculated:") + e.what();
    } catch (const XlfExceptionAbort& e) {
        return std::string("Abort:") + e.what();
    } catch (const XlfExceptionStackOverflow& e) {
        return std::string("StackOverflow:") + e.what();
    } catch (const XlfException& e) {
        return std::string("XlfException:") + e.what();
    } catch (const std::runtime_error& e) {
        return std::string("runtime_error:") + e.what();
    }
}

TEST(CheckReturnCode, SuccessAndUnknownBitsAreReturnedUnchanged) {
    EXPECT_EQ(Outcome(xlretSuccess), "returned 0");
    EXPECT_EQ(Outcome(xlretSuccess, std::string("x")), "returned 0");
    EXPECT_EQ(Outcome(128), "returned 128");
    EXPECT_EQ(Outcome(128 | 256, std::string("x")), "returned 384");
}

TEST(CheckReturnCode, EachBitAloneWithAndWithoutText) {
    struct Case {
        int code;
        const char* plain;
        const char* withText;  // the text given is "T"
    };
    const Case cases[] = {
        {xlretUncalced, "Uncalculated:", "Uncalculated:"},
        {xlretAbort, "Abort:abort", "Abort:abort"},
        {xlretStackOvfl, "StackOverflow:stack overflow", "StackOverflow:stack overflow"},
        {xlretInvXloper, "XlfException:invalid OPER structure (memory could be exhausted)",
         "XlfException:invalid OPER structure (memory could be exhausted),T"},
        {xlretFailed, "runtime_error:command failed", "runtime_error:command failed, T"},
        {xlretInvCount, "runtime_error:invalid number of arguments", "runtime_error:invalid number of argument, T"},
        {xlretInvXlfn, "runtime_error:invalid function number", "runtime_error:invalid function number, T"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(Outcome(c.code), c.plain);
        EXPECT_EQ(Outcome(c.code, std::string("T")), c.withText);
    }
}

TEST(CheckReturnCode, TheFirstBitInTestingOrderDecides) {
    EXPECT_EQ(Outcome(xlretFailed | xlretAbort), "Abort:abort");
    EXPECT_EQ(Outcome(xlretFailed | xlretInvXloper, std::string("x")),
              "XlfException:invalid OPER structure (memory could be exhausted),x");
    EXPECT_EQ(Outcome(xlretInvCount | xlretInvXlfn), "runtime_error:invalid number of arguments");
    EXPECT_EQ(Outcome(xlretUncalced | xlretAbort | xlretStackOvfl, std::string("x")), "Uncalculated:");
    EXPECT_EQ(Outcome(xlretAbort | xlretStackOvfl), "Abort:abort");
    EXPECT_EQ(Outcome(xlretStackOvfl | xlretInvXloper), "StackOverflow:stack overflow");
    EXPECT_EQ(Outcome(xlretFailed | xlretInvCount | 128), "runtime_error:command failed");
    EXPECT_EQ(Outcome(0x7F), "Uncalculated:");
}

TEST(TypeName, WholeTypeWordIsCompared) {
    EXPECT_STREQ(TypeName(xltypeNum), "xltypeNum");
    EXPECT_STREQ(TypeName(xltypeStr), "xltypeStr");
    EXPECT_STREQ(TypeName(xltypeBool), "xltypeBool");
    EXPECT_STREQ(TypeName(xltypeRef), "xltypeRef");
    EXPECT_STREQ(TypeName(xltypeErr), "xltypeErr");
    EXPECT_STREQ(TypeName(xltypeMulti), "xltypeMulti");
    EXPECT_STREQ(TypeName(xltypeMissing), "xltypeMissing");
    EXPECT_STREQ(TypeName(xltypeNil), "xltypeNil");
    EXPECT_STREQ(TypeName(xltypeSRef), "xltypeSRef");
    EXPECT_STREQ(TypeName(xltypeInt), "xltypeInt");

    EXPECT_STREQ(TypeName(0x8002), "unknown");  // a string marked as Excel-owned
    EXPECT_STREQ(TypeName(xltypeMulti | xlbitXLFree), "unknown");
    EXPECT_STREQ(TypeName(xltypeFlow), "unknown");
    EXPECT_STREQ(TypeName(xltypeBigData), "unknown");
    EXPECT_STREQ(TypeName(0), "unknown");
}

}  // namespace
}  // namespace zep
