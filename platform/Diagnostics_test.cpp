#include "PlatformControl.h"
#include "WinApi.h"

#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

namespace {

TEST(FormatMessage, GivesTheSystemTextInABufferFreedByLocalFree) {
    const DWORD flags = FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_IGNORE_INSERTS;
    LPSTR text = nullptr;
    const DWORD length = FormatMessageA(flags, nullptr, ERROR_FILE_NOT_FOUND, MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT),
                                        reinterpret_cast<LPSTR>(&text), 0, nullptr);
    ASSERT_NE(nullptr, text);
    EXPECT_EQ("The system cannot find the file specified.\r\n", std::string(text));
    EXPECT_EQ(std::string(text).size(), length);
    EXPECT_EQ(nullptr, LocalFree(text));

    text = nullptr;
    SetLastError(0);
    EXPECT_EQ(0u, FormatMessageA(flags, nullptr, 987654, 0, reinterpret_cast<LPSTR>(&text), 0, nullptr));
    EXPECT_EQ(nullptr, text);
    EXPECT_EQ(static_cast<DWORD>(ERROR_MR_MID_NOT_FOUND), GetLastError());
}

TEST(FormatMessage, RefusesACallerBufferThatIsTooSmall) {
    char buffer[64];
    EXPECT_EQ(0u, FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM, nullptr, ERROR_FILE_NOT_FOUND, 0, buffer, 10, nullptr));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER), GetLastError());
    EXPECT_EQ(45u, FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM, nullptr, ERROR_PROC_NOT_FOUND, 0, buffer, sizeof buffer,
                                  nullptr));
    EXPECT_STREQ("The specified procedure could not be found.\r\n", buffer);
}

TEST(LastError, BelongsToTheThread) {
    SetLastError(ERROR_FILE_NOT_FOUND);
    DWORD seenByOtherThread = 1;
    std::thread([&] {
        seenByOtherThread = GetLastError();
        SetLastError(ERROR_ACCESS_DENIED);
    }).join();
    EXPECT_EQ(0u, seenByOtherThread);
    EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_NOT_FOUND), GetLastError());
}

TEST(Debugger, ReceivesDebugTextOnlyWhileAttached) {
    std::vector<std::string> received;
    OutputDebugStringA("before");
    EXPECT_FALSE(IsDebuggerPresent());
    platform::AttachDebugger([&](const std::string& text) { received.push_back(text); });
    EXPECT_TRUE(IsDebuggerPresent());
    OutputDebugStringA("ab\n");
    OutputDebugStringA("cd\n");
    platform::DetachDebugger();
    EXPECT_FALSE(IsDebuggerPresent());
    OutputDebugStringA("after");
    EXPECT_EQ((std::vector<std::string>{"ab\n", "cd\n"}), received);
}

TEST(MessageBox, ShowsTextCaptionAndTypeToTheSink) {
    struct Box {
        std::string text, caption;
        unsigned type;
    };
    std::vector<Box> boxes;
    platform::SetMessageBoxSink([&](const std::string& text, const std::string& caption, unsigned type) {
        boxes.push_back(Box{text, caption, type});
    });
    EXPECT_EQ(IDOK, MessageBoxA(nullptr, "failed", "XLL Error", MB_OK | MB_ICONINFORMATION));
    EXPECT_EQ(IDOK, MessageBoxA(nullptr, "no caption", nullptr, MB_OK));
    platform::ClearMessageBoxSink();
    ASSERT_EQ(2u, boxes.size());
    EXPECT_EQ("failed", boxes[0].text);
    EXPECT_EQ("XLL Error", boxes[0].caption);
    EXPECT_EQ(static_cast<unsigned>(MB_OK | MB_ICONINFORMATION), boxes[0].type);
    EXPECT_EQ("Error", boxes[1].caption) << "Windows' caption when none is given";
}

}  // namespace
