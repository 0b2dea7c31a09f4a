// The add-in loaded by a program that has no XLCALL32 beside it: the host connection cannot be
// set up, and neither open nor close may throw into their caller.
#include "WinApi.h"

#include <zep/XlCall.h>

#ifndef _WIN32
#include "PlatformControl.h"
#endif

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

typedef int(XLCALL_STDCALL* AutoFunction)();

// This program lives one folder below the add-in, away from XLCALL32.
HMODULE AddIn() {
    char program[MAX_PATH + 1] = {};
    GetModuleFileNameA(nullptr, program, MAX_PATH);
    std::string folder(program);
    folder.erase(folder.rfind('\\'));
    folder.erase(folder.rfind('\\'));
    return LoadLibraryA((folder + "\\" MATRIXFUNCTIONS_FILE).c_str());
}

AutoFunction Export(const char* name) {
    static const HMODULE module = AddIn();
    return reinterpret_cast<AutoFunction>(reinterpret_cast<void (*)()>(GetProcAddress(module, name)));
}

TEST(MatrixFunctionsWithoutExcel, OpenFailsAfterRedirectingStandardErrorAndCloseStillSucceeds) {
    const AutoFunction open = Export("xlAutoOpen");
    const AutoFunction close = Export("xlAutoClose");
    ASSERT_NE(nullptr, open);
    ASSERT_NE(nullptr, close);
    EXPECT_EQ(1, close()) << "close before any open";
#ifndef _WIN32
    std::vector<std::string> debugger;
    platform::AttachDebugger([&debugger](const std::string& text) { debugger.push_back(text); });
#endif
    EXPECT_EQ(0, open());
    EXPECT_EQ(1, close());
#ifndef _WIN32
    platform::DetachDebugger();
    ASSERT_FALSE(debugger.empty());
    EXPECT_EQ("..\\..\\src\\XlOpenClose(56): std::cerr redirected to MSVC debugger\n", debugger.front());
    EXPECT_EQ("..\\..\\src\\XlOpenClose(125): Releasing ressources\n", debugger.back());
#endif
}

}  // namespace
