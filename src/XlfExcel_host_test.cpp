// The host connection against the stand-in Excel: version detection, the entries calls take,
// the marking of Excel-owned results and the function-wizard test.
#include "XlfExcel.h"

#include "ExcelStandIn.h"
#include "XlfOper.h"

#include <gtest/gtest.h>

#include <memory>
#include <ostream>
#include <string>

namespace zep {
namespace {

using xlhost::Entry;
using xlhost::ExcelStandIn;

class ConnectionToExcel : public testing::Test {
protected:
    // A fresh stand-in Excel of that version, and a connection that loads against it.
    XlfExcel& Connect(const std::string& version) {
        host = std::make_unique<ExcelStandIn>(version);
        return XlfExcel::Current();
    }

    void TearDown() override {
        XlfExcel::DeleteCurrent();
        if (host) {
            host->checkForLeaks();
            EXPECT_TRUE(host->faults().empty()) << host->faults();
        }
    }

    std::unique_ptr<ExcelStandIn> host;
};

// Gives a marked result back to Excel as a value handle does: clear the mark, then xlFree.
template <typename Record>
void FreeThroughExcel(XlfExcel& connection, Record& record) {
    record.xltype = static_cast<decltype(record.xltype)>(record.xltype & ~xlbitHostOwned);
    EXPECT_EQ(xlretSuccess, connection.CallHost(xlFree, nullptr, &record));
}

template <typename Record>
Record Integer(std::int16_t value) {
    Record record{};
    record.xltype = xltypeInt;
    record.val.w = value;
    return record;
}

struct VersionCase {
    const char* versionText;
    bool excel12;
    const char* operCode;
    const char* xloperCode;
    const char* wideStringCode;
};

void PrintTo(const VersionCase& versionCase, std::ostream* out) {
    *out << '"' << versionCase.versionText << '"';
}

class VersionDetection : public ConnectionToExcel, public testing::WithParamInterface<VersionCase> {};

TEST_P(VersionDetection, ExactlyTwelveSelectsTheExcel12Interface) {
    const VersionCase& expected = GetParam();
    XlfExcel& connection = Connect(expected.versionText);
    EXPECT_EQ(expected.excel12, connection.IsExcel12());
    EXPECT_EQ(expected.operCode, connection.OperTypeCode());
    EXPECT_EQ(expected.xloperCode, connection.XloperTypeCode());
    EXPECT_EQ(expected.wideStringCode, connection.WideStringTypeCode());

    // Asked through the Excel 4 entry whatever the version; the version text went back (no leak).
    const auto coercions = host->callsTo(xlCoerce);
    ASSERT_EQ(1u, coercions.size());
    EXPECT_EQ(Entry::Excel4, coercions[0].entry);
    ASSERT_EQ(2u, coercions[0].arguments.size());
    EXPECT_EQ(xlhost::Value::integer(xltypeInt), coercions[0].arguments[1]);
    const auto frees = host->callsTo(xlFree);
    ASSERT_EQ(1u, frees.size());
    EXPECT_EQ(Entry::Excel4, frees[0].entry);
}

INSTANTIATE_TEST_SUITE_P(
    Versions, VersionDetection,
    testing::Values(VersionCase{"11.0", false, "P", "R", "C"}, VersionCase{"12.0", true, "Q", "U", "C%"},
                    VersionCase{"14.0", true, "Q", "U", "C%"}, VersionCase{"15.0", true, "Q", "U", "C%"},
                    VersionCase{"16.0", true, "Q", "U", "C%"}, VersionCase{"twelve", false, "P", "R", "C"}),
    [](const testing::TestParamInfo<VersionCase>& param) {
        std::string name = param.param.versionText;
        return name.substr(0, name.find('.'));
    });

TEST_F(ConnectionToExcel, ASecondCurrentDoesNotLoadAgain) {
    XlfExcel& connection = Connect("12.0");
    host->clearCalls();
    EXPECT_EQ(&connection, &XlfExcel::Current());
    EXPECT_TRUE(host->calls().empty());
}

// The Excel versions whose calls take each record layout, and the entry they go through.
template <typename Record>
struct LayoutHost;
template <>
struct LayoutHost<XLOPER> {
    static constexpr const char* version = "11.0";
    static constexpr Entry entry = Entry::Excel4v;
};
template <>
struct LayoutHost<XLOPER12> {
    static constexpr const char* version = "12.0";
    static constexpr Entry entry = Entry::MdCallBack12;
};

template <typename Record>
class ResultMarking : public ConnectionToExcel {};
using RecordLayouts = testing::Types<XLOPER, XLOPER12>;
TYPED_TEST_SUITE(ResultMarking, RecordLayouts);

TYPED_TEST(ResultMarking, OnlyResultsHoldingExcelMemoryAreMarked) {
    XlfExcel& connection = this->Connect(LayoutHost<TypeParam>::version);
    TypeParam two = Integer<TypeParam>(2);
    TypeParam text{};
    ASSERT_EQ(xlretSuccess, connection.CallHost(xlfGetWorkspace, &text, &two));
    EXPECT_EQ(LayoutHost<TypeParam>::entry, this->host->calls().back().entry);
    EXPECT_EQ(xltypeStr | xlbitHostOwned, text.xltype);
    FreeThroughExcel(connection, text);

    TypeParam numberType = Integer<TypeParam>(xltypeNum);
    TypeParam number{};
    ASSERT_EQ(xlretSuccess, connection.CallHost(xlCoerce, &number, &two, &numberType));
    EXPECT_EQ(xltypeNum, number.xltype);
    EXPECT_EQ(2.0, number.val.num);

    // An integer is no big data, though big data's bits include the integer bit.
    TypeParam window{};
    ASSERT_EQ(xlretSuccess, connection.CallHost(xlGetHwnd, &window));
    EXPECT_EQ(xltypeInt, window.xltype);
}

TEST_F(ConnectionToExcel, FailedCallLeavesTheResultUnmarked) {
    XlfExcel& connection = Connect("11.0");
    char notANumber[] = "\3abc";
    XLOPER source{};
    source.xltype = xltypeStr;
    source.val.str = notANumber;
    XLOPER numberType = Integer<XLOPER>(xltypeNum);
    // The result already holds the add-in's own text, which Excel must never be asked to free.
    XLOPER result = source;
    XLOPER* argv[] = {&source, &numberType};
    EXPECT_EQ(xlretFailed, connection.CallExcel4v(xlCoerce, &result, 2, argv));
    EXPECT_EQ(xltypeStr, result.xltype);
}

TEST_F(ConnectionToExcel, CallHostRefusesExcel4RecordsUnderExcel12) {
    XlfExcel& connection = Connect("12.0");
    XLOPER12 number{};
    XLOPER excel4Record{};
    excel4Record.xltype = xltypeNum;
    host->clearCalls();
    EXPECT_EQ(xlretInvXloper, connection.CallHost(xlCoerce, &number, &excel4Record));
    EXPECT_TRUE(host->calls().empty());
}

// A process may meet several Excels in turn: the values built on each connection are records of
// the layout its Excel reads.
TEST_F(ConnectionToExcel, EveryConnectionBuildsValuesInItsExcelsLayout) {
    for (const char* version : {"12.0", "16.0", "12.0"}) {
        SCOPED_TRACE(version);
        XlfExcel::DeleteCurrent();
        host.reset();
        const bool excel12 = Connect(version).IsExcel12();
        host->clearCalls();  // the connection's own version test
        // Excel coerces the number, reading the record in its entry's layout.
        EXPECT_STREQ("2.5", XlfOper(2.5).ReadCString());
        const auto coercions = host->callsTo(xlCoerce);
        ASSERT_EQ(1u, coercions.size());
        EXPECT_EQ(excel12 ? xlhost::Layout::Excel12 : xlhost::Layout::Excel4, coercions[0].layout);
        EXPECT_EQ(xlhost::Value::number(2.5), coercions[0].arguments.at(0));
        EXPECT_TRUE(host->faults().empty()) << host->faults();
    }
}

TEST_F(ConnectionToExcel, WizardIsAnOpenBosaSdmWindowOwnedByThisExcel) {
    XlfExcel& connection = Connect("12.0");
    EXPECT_FALSE(connection.InFunctionWizard());

    const HWND wizard = host->windows().openFunctionWizard();  // bosa_sdm_XL9
    EXPECT_TRUE(connection.InFunctionWizard());
    const auto askedForWindow = host->callsTo(xlGetHwnd);
    ASSERT_FALSE(askedForWindow.empty());
    EXPECT_EQ(Entry::Excel4, askedForWindow.back().entry) << "the window comes through Excel4 in any version";
    host->windows().closeWindow(wizard);
    EXPECT_FALSE(connection.InFunctionWizard());

    const HWND capitals = host->windows().openFunctionWizard("BOSA_SDM_XL7");
    EXPECT_TRUE(connection.InFunctionWizard());
    host->windows().closeWindow(capitals);

    const HWND oneLetterShort = host->windows().openFunctionWizard("bosa_sdm_X");
    EXPECT_FALSE(connection.InFunctionWizard());
    host->windows().closeWindow(oneLetterShort);

    const HWND otherOwner = host->windows().openWindow("SomeOtherProgram", nullptr);
    host->windows().openWindow("bosa_sdm_XL9", otherOwner);
    EXPECT_FALSE(connection.InFunctionWizard()) << "a wizard of another window is not ours";
}

}  // namespace
}  // namespace zep
