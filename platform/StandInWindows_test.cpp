#include "PlatformControl.h"
#include "WinApi.h"

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

namespace {

std::vector<HWND> TopLevelWindows() {
    std::vector<HWND> windows;
    EnumWindows(
        [](HWND window, LPARAM found) {
            reinterpret_cast<std::vector<HWND>*>(found)->push_back(window);
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&windows));
    return windows;
}

HWND Create(LPCSTR className, DWORD style, HWND parent) {
    return CreateWindowExA(0, className, "", style, 0, 0, 100, 100, parent, nullptr, nullptr, nullptr);
}

std::string ClassName(HWND window, int bufferSize = 256) {
    std::vector<char> buffer(static_cast<std::size_t>(bufferSize));
    const int length = GetClassNameA(window, buffer.data(), bufferSize);
    EXPECT_EQ(static_cast<std::size_t>(length), std::string(buffer.data()).size());
    return buffer.data();
}

// The arrangement the function-wizard test looks for: a popup dialog owned by Excel's main window.
class Windows : public testing::Test {
protected:
    HWND excel = Create("XLMAIN", WS_OVERLAPPEDWINDOW, nullptr);
    HWND wizard = Create("bosa_sdm_XL9", WS_POPUP, excel);
    HWND field = Create("EDIT", WS_CHILD, wizard);
    HWND ownedOverlapped = Create("Other", WS_OVERLAPPED, excel);

    void TearDown() override { DestroyWindow(excel); }
};

TEST_F(Windows, EnumeratesTopLevelWindowsNewestFirst) {
    const std::vector<HWND> windows = TopLevelWindows();
    const std::vector<HWND> expected{ownedOverlapped, wizard, excel};
    EXPECT_EQ(expected, windows) << "a child window is not top-level";

    int calls = 0;
    EXPECT_FALSE(EnumWindows(
        [](HWND, LPARAM counter) {
            ++*reinterpret_cast<int*>(counter);
            return FALSE;
        },
        reinterpret_cast<LPARAM>(&calls)));
    EXPECT_EQ(1, calls);
}

TEST_F(Windows, ParentIsTheChildsParentOrThePopupsOwner) {
    EXPECT_EQ(excel, GetParent(wizard));
    EXPECT_EQ(wizard, GetParent(field));
    EXPECT_EQ(nullptr, GetParent(ownedOverlapped)) << "Windows gives no owner for a non-popup";
    EXPECT_EQ(nullptr, GetParent(excel));
    std::set<WORD> lowWords;
    for (const HWND window : {excel, wizard, field, ownedOverlapped}) lowWords.insert(LOWORD(window));
    EXPECT_EQ(4u, lowWords.size()) << "the function-wizard test compares low words";
}

TEST_F(Windows, DestroyingAWindowTakesItsChildrenAndOwnedWindows) {
    const HWND unrelated = Create("Unrelated", WS_POPUP, nullptr);
    EXPECT_TRUE(DestroyWindow(wizard));
    EXPECT_FALSE(IsWindow(field));
    EXPECT_TRUE(IsWindow(ownedOverlapped));
    EXPECT_TRUE(DestroyWindow(excel));
    EXPECT_FALSE(IsWindow(ownedOverlapped));
    EXPECT_EQ(std::vector<HWND>{unrelated}, TopLevelWindows());
    SetLastError(0);
    EXPECT_EQ(0, GetClassNameA(excel, nullptr, 0));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_WINDOW_HANDLE), GetLastError());
    EXPECT_FALSE(DestroyWindow(excel));
    DestroyWindow(unrelated);
}

TEST_F(Windows, ClassNamesAreCutToTheBuffer) {
    EXPECT_EQ("bosa_sdm_XL9", ClassName(wizard));
    const std::string longName(60, 'c');
    const HWND window = Create(longName.c_str(), WS_POPUP, nullptr);
    EXPECT_EQ(longName.substr(0, 49), ClassName(window, 50));
    EXPECT_EQ("", ClassName(window, 1));
    DestroyWindow(window);
}

TEST_F(Windows, RegisteredClassesKeepTheirSpellingAndMayBeNamedByAtom) {
    WNDCLASSA windowClass{};
    windowClass.lpfnWndProc = DefWindowProcA;
    windowClass.lpszClassName = "Bosa_Sdm_XL12";
    const ATOM atom = RegisterClassA(&windowClass);
    ASSERT_NE(0, atom);
    SetLastError(0);
    windowClass.lpszClassName = "BOSA_SDM_XL12";
    EXPECT_EQ(0, RegisterClassA(&windowClass)) << "class names ignore case";
    EXPECT_EQ(static_cast<DWORD>(ERROR_CLASS_ALREADY_EXISTS), GetLastError());

    const HWND byName = Create("bosa_sdm_xl12", WS_POPUP, excel);
    const HWND byAtom = Create(reinterpret_cast<LPCSTR>(static_cast<UINT_PTR>(atom)), WS_POPUP, excel);
    EXPECT_EQ("Bosa_Sdm_XL12", ClassName(byName));
    EXPECT_EQ("Bosa_Sdm_XL12", ClassName(byAtom));
    EXPECT_TRUE(UnregisterClassA("Bosa_Sdm_XL12", nullptr));
    EXPECT_FALSE(UnregisterClassA("Bosa_Sdm_XL12", nullptr));
    EXPECT_EQ(nullptr, Create(reinterpret_cast<LPCSTR>(static_cast<UINT_PTR>(atom)), WS_POPUP, nullptr));
}

TEST_F(Windows, ChildWindowsNeedALiveParent) {
    SetLastError(0);
    EXPECT_EQ(nullptr, Create("EDIT", WS_CHILD, nullptr));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_WINDOW_HANDLE), GetLastError());
    const HWND gone = Create("Gone", WS_POPUP, nullptr);
    DestroyWindow(gone);
    EXPECT_EQ(nullptr, Create("EDIT", WS_CHILD, gone));
}

TEST_F(Windows, CreationCanBeRefusedAsWhereNoWindowMayBeMade) {
    platform::RefuseWindowCreation();
    SetLastError(0);
    const HWND refused = Create("XLMAIN", WS_OVERLAPPEDWINDOW, nullptr);
    const DWORD error = GetLastError();
    platform::AllowWindowCreation();
    EXPECT_EQ(nullptr, refused);
    EXPECT_EQ(static_cast<DWORD>(ERROR_ACCESS_DENIED), error);
    EXPECT_EQ((std::vector<HWND>{ownedOverlapped, wizard, excel}), TopLevelWindows()) << "existing windows stay";
    const HWND allowed = Create("XLMAIN", WS_OVERLAPPEDWINDOW, nullptr);
    EXPECT_NE(nullptr, allowed);
    DestroyWindow(allowed);
}

}  // namespace
