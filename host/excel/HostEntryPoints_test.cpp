#include "ExcelStandIn.h"

#include <gtest/gtest.h>

namespace xlhost {
namespace {

// Through the doors an add-in uses: XLCALL32 loaded by name, and MdCallBack12 looked up in the
// main program, as the add-in finds them.
template <class Function>
Function exportOf(HMODULE module, const char* name) {
    return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(GetProcAddress(module, name)));
}

class HostEntryPoints : public ::testing::Test {
protected:
    void SetUp() override {
        library = LoadLibraryA("XLCALL32.DLL");
        ASSERT_NE(library, nullptr) << "XLCALL32 is not beside the program";
        excel4 = exportOf<Excel4Function>(library, "Excel4");
        excel4v = exportOf<Excel4vFunction>(library, "Excel4v");
        mdCallBack12 = exportOf<MdCallBack12Function>(GetModuleHandleA(nullptr), "MdCallBack12");
        ASSERT_NE(excel4, nullptr);
        ASSERT_NE(excel4v, nullptr);
        ASSERT_NE(mdCallBack12, nullptr);
    }

    HMODULE library = nullptr;
    Excel4Function excel4 = nullptr;
    Excel4vFunction excel4v = nullptr;
    MdCallBack12Function mdCallBack12 = nullptr;
};

TEST_F(HostEntryPoints, Excel4AndExcel4vReachTheHostInTheExcel4Layout) {
    ExcelStandIn host("16.0");
    Argument4 two(Value::integer(2));
    XLOPER version{};
    ASSERT_EQ(excel4(xlfGetWorkspace, &version, 1, two.get()), xlretSuccess);
    Arguments4 toInteger{Value::missing(), Value::integer(xltypeInt)};
    XLOPER* argv[] = {&version, toInteger[1]};
    XLOPER major{};
    ASSERT_EQ(excel4v(xlCoerce, &major, 2, argv), xlretSuccess);
    EXPECT_EQ(decode(major), Value::integer(16));
    ASSERT_EQ(excel4(xlFree, nullptr, 1, &version), xlretSuccess);
    EXPECT_EQ(excel4(xlGetHwnd, &major, 300), xlretInvCount);

    ASSERT_EQ(host.calls().size(), 4u);
    EXPECT_EQ(host.calls()[0].entry, Entry::Excel4);
    EXPECT_EQ(host.calls()[1].entry, Entry::Excel4v);
    EXPECT_EQ(host.calls()[1].arguments, (std::vector<Value>{Value::text("16.0"), Value::integer(xltypeInt)}));
    EXPECT_EQ(host.calls()[2].function, xlFree);
    EXPECT_TRUE(host.faults().empty()) << host.faults();
}

TEST_F(HostEntryPoints, MdCallBack12ReachesTheHostInTheExcel12Layout) {
    ExcelStandIn host("12.0");
    Arguments12 message{Value::boolean(true), Value::text(u"Z:\\addin\\Matrix\u00e9.xll")};
    XLOPER12 shown{};
    ASSERT_EQ(mdCallBack12(xlcMessage, 2, message.pointers(), &shown), xlretSuccess);
    EXPECT_EQ(decode(shown), Value::boolean(true));
    EXPECT_EQ(host.statusBar(), std::u16string(u"Z:\\addin\\Matrix\u00e9.xll"));
    XLOPER12 name{};
    ASSERT_EQ(mdCallBack12(xlGetName, 0, nullptr, &name), xlretSuccess);
    XLOPER12* freed[] = {&name};
    EXPECT_EQ(mdCallBack12(xlFree, 1, freed, nullptr), xlretSuccess);
    EXPECT_TRUE(message.intact());
    EXPECT_EQ(host.calls().back().entry, Entry::MdCallBack12);
    EXPECT_EQ(host.calls().back().layout, Layout::Excel12);
    EXPECT_TRUE(host.faults().empty()) << host.faults();
}

TEST_F(HostEntryPoints, XLCallVerAnswersTheCApiVersionAndLPenHelperDoesNothing) {
    using XLCallVerFunction = int(XLCALL_STDCALL*)();
    using LPenHelperFunction = long(XLCALL_STDCALL*)(int, void*);
    const auto xlCallVer = exportOf<XLCallVerFunction>(library, "XLCallVer");
    const auto lPenHelper = exportOf<LPenHelperFunction>(library, "LPenHelper");
    ASSERT_NE(xlCallVer, nullptr);
    ASSERT_NE(lPenHelper, nullptr);
    EXPECT_EQ(xlCallVer(), 0) << "no Excel running";
    ExcelStandIn host("16.0");
    EXPECT_EQ(xlCallVer(), 0x0C00);
    host.setVersion("11.0");
    EXPECT_EQ(xlCallVer(), 0x0500);
    int formulaInfo[4] = {};
    EXPECT_EQ(lPenHelper(14 | xlSpecial, formulaInfo), 0);
    EXPECT_EQ(host.notices().count(NoticeKind::NotModelled), 1u) << host.notices();
    EXPECT_EQ(host.calls().back().entry, Entry::LPenHelper);
}

#ifdef _WIN32
// Microsoft's import library links these four by ordinal; the names must stay too.
TEST_F(HostEntryPoints, XLCALL32ExportsItsFunctionsUnderMicrosoftsOrdinals) {
    const char* const names[] = {"XLCallVer", "Excel4", "Excel4v", "LPenHelper"};
    for (int ordinal = 1; ordinal <= 4; ++ordinal) {
        const FARPROC byOrdinal = GetProcAddress(library, MAKEINTRESOURCEA(ordinal));
        EXPECT_NE(byOrdinal, nullptr) << ordinal;
        EXPECT_EQ(byOrdinal, GetProcAddress(library, names[ordinal - 1])) << names[ordinal - 1];
    }
}
#endif

TEST_F(HostEntryPoints, WithoutARunningHostEveryCallFails) {
    XLOPER result{};
    EXPECT_EQ(excel4(xlGetName, &result, 0), xlretFailed);
    XLOPER12 result12{};
    EXPECT_EQ(mdCallBack12(xlGetName, 0, nullptr, &result12), xlretFailed);
}

}  // namespace
}  // namespace xlhost
