#include "XlfException.h"

#include <gtest/gtest.h>

#include <string>

namespace zep {
namespace {

TEST(XlfException, OwnsItsTextAcrossCopies) {
    std::string text = "command failed, mtrx";
    XlfException original(text);
    text.assign("overwritten");
    XlfException copy(original);
    {
        XlfException temporary("short-lived");
        copy = temporary;
    }
    EXPECT_STREQ(original.what(), "command failed, mtrx");
    EXPECT_STREQ(copy.what(), "short-lived");
}

TEST(XlfException, DerivedKindsAreCaughtByTheBaseHandlers) {
    try {
        throw XlfExceptionStackOverflow();
    } catch (const XlfException& caught) {
        EXPECT_STREQ(caught.what(), "stack overflow");
    }
    try {
        throw XlfExceptionAbort();
    } catch (const std::exception& caught) {
        EXPECT_STREQ(caught.what(), "abort");  // through the virtual what(), not std::exception's
    }
}

}  // namespace
}  // namespace zep
