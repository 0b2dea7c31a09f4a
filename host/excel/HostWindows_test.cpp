#include "ExcelStandIn.h"
#include "WithoutWindows.h"

#include <gtest/gtest.h>

#include <cstring>

namespace xlhost {
namespace {

struct Search {
    std::uint16_t excelWindow;
    HWND found;
};

// What an add-in does to tell a call from the function wizard: a top-level window of the
// wizard's class whose owner is Excel's main window, as far as xlGetHwnd's low 16 bits tell.
BOOL CALLBACK findWizard(HWND window, LPARAM context) {
    auto* search = reinterpret_cast<Search*>(context);
    char className[50] = {};
    GetClassNameA(window, className, sizeof className);
    if (std::strncmp(className, "bosa_sdm_XL", 11) != 0) return TRUE;
    if (LOWORD(GetParent(window)) != search->excelWindow) return TRUE;
    search->found = window;
    return FALSE;
}

HWND wizardOf(ExcelStandIn& host) {
    XLOPER handle{};
    EXPECT_EQ(host.excel4(Entry::Direct, xlGetHwnd, &handle, 0, nullptr), xlretSuccess);
    Search search{static_cast<std::uint16_t>(handle.val.w), nullptr};
    EnumWindows(findWizard, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

TEST(HostWindows, GetHwndGivesTheMainWindowsLowWordInExcel4AndMoreInExcel12) {
    ExcelStandIn host;
    const auto main = reinterpret_cast<std::uintptr_t>(host.windows().mainWindow());
    ASSERT_NE(main, 0u);
    XLOPER handle4{};
    ASSERT_EQ(host.excel4(Entry::Direct, xlGetHwnd, &handle4, 0, nullptr), xlretSuccess);
    EXPECT_EQ(handle4.xltype, xltypeInt);
    EXPECT_EQ(static_cast<std::uint16_t>(handle4.val.w), main & 0xFFFF);
    XLOPER12 handle12{};
    ASSERT_EQ(host.excel12(Entry::Direct, xlGetHwnd, &handle12, 0, nullptr), xlretSuccess);
    EXPECT_EQ(static_cast<std::uint32_t>(handle12.val.w), main & 0xFFFFFFFFu);
}

TEST(HostWindows, TheWizardIsATopLevelWindowOwnedByTheMainWindowWhileOpen) {
    ExcelStandIn host;
    EXPECT_EQ(wizardOf(host), nullptr);
    HWND wizard = host.windows().openFunctionWizard();
    EXPECT_EQ(GetParent(wizard), host.windows().mainWindow());
    EXPECT_EQ(wizardOf(host), wizard);
    EXPECT_TRUE(host.windows().closeWindow(wizard));
    EXPECT_EQ(wizardOf(host), nullptr);
    EXPECT_FALSE(host.windows().closeWindow(wizard));
}

TEST(HostWindows, AWizardClassWindowOfAnotherOwnerIsNotThisExcelsWizard) {
    ExcelStandIn host;
    HWND other = host.windows().openWindow("OtherApplication", nullptr);
    host.windows().openWindow(HostWindows::wizardClassName, other);
    EXPECT_EQ(wizardOf(host), nullptr);
    HWND renamed = host.windows().openFunctionWizard("bosa_sdm_XL15");
    char className[50] = {};
    GetClassNameA(renamed, className, sizeof className);
    EXPECT_STREQ(className, "bosa_sdm_XL15");
    EXPECT_EQ(wizardOf(host), renamed);
}

TEST(HostWindows, EachHostHasItsOwnMainWindow) {
    HWND first;
    {
        ExcelStandIn host;
        first = host.windows().mainWindow();
        EXPECT_TRUE(IsWindow(first));
    }
    EXPECT_FALSE(IsWindow(first));
    ExcelStandIn host;
    EXPECT_TRUE(IsWindow(host.windows().mainWindow()));
}

TEST(HostWindows, WithoutAMainWindowGetHwndFailsAndNoWizardCanOpen) {
    HWND main = reinterpret_cast<HWND>(1);
    std::string failure, wizardFailure;
    int excel4Code = 0, excel12Code = 0;
    testsupport::withoutWindows([&] {
        ExcelStandIn host;
        main = host.windows().mainWindow();
        failure = host.windows().mainWindowFailure();
        XLOPER handle4{};
        excel4Code = host.excel4(Entry::Direct, xlGetHwnd, &handle4, 0, nullptr);
        XLOPER12 handle12{};
        excel12Code = host.excel12(Entry::Direct, xlGetHwnd, &handle12, 0, nullptr);
        try {
            host.windows().openFunctionWizard();
        } catch (const std::runtime_error& refused) {
            wizardFailure = refused.what();
        }
    });
    EXPECT_EQ(main, nullptr);
    EXPECT_EQ(failure, "cannot create a window of class XLMAIN, error 5");
    EXPECT_EQ(excel4Code, xlretFailed);
    EXPECT_EQ(excel12Code, xlretFailed);
    EXPECT_EQ(wizardFailure, "no function wizard without a main window: " + failure);
    ExcelStandIn host;
    EXPECT_NE(host.windows().mainWindow(), nullptr) << "windows are back once they can be made";
}

}  // namespace
}  // namespace xlhost
