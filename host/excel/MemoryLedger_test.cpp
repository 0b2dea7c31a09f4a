#include "ExcelStandIn.h"

#include <gtest/gtest.h>

namespace xlhost {
namespace {

// Each test provokes faults on purpose and clears them, so the host has nothing to report at exit.
class MemoryAccounting : public ::testing::Test {
protected:
    ~MemoryAccounting() override { host.clearFaults(); }

    // xlGetName's text: a block of host memory in the result.
    XLOPER12 hostText() {
        XLOPER12 result{};
        EXPECT_EQ(host.excel12(Entry::Direct, xlGetName, &result, 0, nullptr), xlretSuccess);
        return result;
    }
    int free12(XLOPER12& record) {
        XLOPER12* argv[] = {&record};
        return host.excel12(Entry::Direct, xlFree, nullptr, 1, argv);
    }

    ExcelStandIn host;
};

TEST_F(MemoryAccounting, AResultGivenBackOnceIsNoFault) {
    XLOPER12 text = hostText();
    EXPECT_EQ(host.outstandingAllocations(), 1u);
    EXPECT_EQ(free12(text), xlretSuccess);
    EXPECT_EQ(host.outstandingAllocations(), 0u);
    EXPECT_EQ(host.checkForLeaks(), 0u);
    EXPECT_TRUE(host.faults().empty()) << host.faults();
}

TEST_F(MemoryAccounting, ASecondFreeIsADoubleFree) {
    XLOPER12 text = hostText();
    XLOPER12 copy = text;
    free12(text);
    EXPECT_EQ(free12(copy), xlretFailed);
    EXPECT_EQ(host.faults().count(FaultKind::DoubleFree), 1u) << host.faults();
    EXPECT_EQ(host.faults().all().size(), 1u) << host.faults();
}

TEST_F(MemoryAccounting, FreeingMemoryTheHostNeverHandedOutIsForeign) {
    Argument12 own(Value::text("mine"));
    EXPECT_EQ(free12(*own.get()), xlretFailed);
    // The inside of a host block is not a block either: an element's text of a coerced array.
    host.sheets().setCells(host.sheets().activeSheet(), 0, 0, Value::array(1, 2, {Value::text("a"), Value::number(2)}));
    Arguments12 reference{Value::sheetReference(Area{0, 0, 0, 1})};
    XLOPER12 block{};
    ASSERT_EQ(host.excel12(Entry::Direct, xlCoerce, &block, 1, reference.pointers()), xlretSuccess);
    XLOPER12 element = block.val.array.lparray[0];
    EXPECT_EQ(free12(element), xlretFailed);
    EXPECT_EQ(host.faults().count(FaultKind::ForeignFree), 2u) << host.faults();
    EXPECT_EQ(free12(block), xlretSuccess);
}

TEST_F(MemoryAccounting, ResultsNeverGivenBackAreLeaks) {
    hostText();
    hostText();
    EXPECT_EQ(host.checkForLeaks(), 2u);
    EXPECT_EQ(host.faults().count(FaultKind::Leak), 2u) << host.faults();
    EXPECT_EQ(host.outstandingAllocations(), 0u);
}

TEST_F(MemoryAccounting, ValuesWithoutMemoryNeedNoFreeAndMayBeFreed) {
    XLOPER12 number{};
    Arguments12 version{Value::integer(2)};
    XLOPER12 text{};
    ASSERT_EQ(host.excel12(Entry::Direct, xlfGetWorkspace, &text, 1, version.pointers()), xlretSuccess);
    Arguments12 coerce{Value::text("12.0"), Value::integer(xltypeNum)};
    ASSERT_EQ(host.excel12(Entry::Direct, xlCoerce, &number, 2, coerce.pointers()), xlretSuccess);
    EXPECT_EQ(host.outstandingAllocations(), 1u);  // the version text only
    EXPECT_EQ(free12(number), xlretSuccess);
    EXPECT_EQ(host.takeResult(text), Value::text("12.0"));
    EXPECT_TRUE(host.faults().empty()) << host.faults();
}

TEST_F(MemoryAccounting, AFreeWithTheAddInsPrivateFlagStillSetIsRefusedAndLeaks) {
    XLOPER12 text = hostText();
    text.xltype |= 0x8000;
    EXPECT_EQ(free12(text), xlretInvXloper);
    host.checkForLeaks();
    EXPECT_EQ(host.faults().count(FaultKind::MalformedArgument), 1u) << host.faults();
    EXPECT_EQ(host.faults().count(FaultKind::Leak), 1u) << host.faults();
}

TEST_F(MemoryAccounting, Excel4FreesItsOwnLayout) {
    XLOPER text{};
    ASSERT_EQ(host.excel4(Entry::Direct, xlGetName, &text, 0, nullptr), xlretSuccess);
    XLOPER* argv[] = {&text};
    EXPECT_EQ(host.excel4(Entry::Direct, xlFree, nullptr, 1, argv), xlretSuccess);
    EXPECT_EQ(host.excel4(Entry::Direct, xlFree, nullptr, 1, argv), xlretFailed);
    EXPECT_EQ(host.faults().count(FaultKind::DoubleFree), 1u) << host.faults();
}

}  // namespace
}  // namespace xlhost
