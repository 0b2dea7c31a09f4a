#include "Win32StreamBuf.h"

#include "WinApi.h"
#ifndef _WIN32
#include "PlatformControl.h"
#endif

#include <gtest/gtest.h>

#include <iostream>
#include <sstream>
#include <string>
#include <vector>

namespace zep {
namespace {

// Gives the test the end-of-file path of overflow, which no stream call reaches.
class ProbedStreamBuf : public Win32StreamBuf {
public:
    using Win32StreamBuf::overflow;
};

TEST(DiagnosticLine, WritesTheLocationPrefixToStandardError) {
    std::ostringstream captured;
    std::streambuf* previous = std::cerr.rdbuf(captured.rdbuf());
    DiagnosticLine(sites::xlfOperImpl4TextCut) << "String truncated to 254 bytes" << std::endl;
    std::cerr.rdbuf(previous);
    EXPECT_EQ(captured.str(), "..\\..\\src\\XlfOperImpl4(782): String truncated to 254 bytes\n");
}

TEST(Win32StreamBuf, WithoutADebuggerFlushesSucceedAndSendNothing) {
    // Holds on Windows too, where no debugger is attached to the test run.
    ASSERT_FALSE(IsDebuggerPresent());
    ProbedStreamBuf buffer;
    std::ostream stream(&buffer);
    stream << "ab" << std::endl;
    EXPECT_TRUE(stream.good());
    EXPECT_EQ(buffer.pubsync(), 0);
    EXPECT_EQ(buffer.overflow(std::char_traits<char>::eof()), 0);
    EXPECT_EQ(buffer.overflow('z'), 'z');
    // A byte above 0x7F is a character, never mistaken for end of file.
    EXPECT_EQ(buffer.overflow(std::char_traits<char>::to_int_type('\xFF')), 0xFF);
}

#ifndef _WIN32

// Attaches a stand-in debugger for one test and keeps what it received.
class AttachedDebugger : public ::testing::Test {
protected:
    void SetUp() override {
        platform::AttachDebugger([this](const std::string& text) { messages.push_back(text); });
    }
    void TearDown() override { platform::DetachDebugger(); }

    std::vector<std::string> messages;
};

TEST_F(AttachedDebugger, EachFlushSendsTheCollectedTextAsOneMessage) {
    ProbedStreamBuf buffer;
    std::ostream stream(&buffer);
    stream << 'a' << 'b';
    EXPECT_TRUE(messages.empty());  // nothing before the flush
    stream << std::endl;
    stream << "second \xFF" << std::endl;
    stream << "by end of file";
    EXPECT_EQ(buffer.overflow(std::char_traits<char>::eof()), 0);
    EXPECT_EQ(messages, (std::vector<std::string>{"ab\n", "second \xFF\n", "by end of file"}));
}

TEST_F(AttachedDebugger, EmptyFlushesSendNothing) {
    ProbedStreamBuf buffer;
    std::ostream stream(&buffer);
    stream.flush();
    stream << "x" << std::endl;
    stream.flush();
    EXPECT_EQ(buffer.pubsync(), 0);
    EXPECT_EQ(messages, std::vector<std::string>{"x\n"});
}

TEST_F(AttachedDebugger, TextFlushedWithoutADebuggerIsDropped) {
    ProbedStreamBuf buffer;
    std::ostream stream(&buffer);
    platform::DetachDebugger();
    stream << "lost" << std::endl;
    SetUp();
    stream << "kept" << std::endl;
    EXPECT_EQ(messages, std::vector<std::string>{"kept\n"});
}

TEST_F(AttachedDebugger, UnflushedTextDiesWithTheBuffer) {
    {
        Win32StreamBuf buffer;
        std::ostream stream(&buffer);
        stream << "never flushed";
    }
    EXPECT_TRUE(messages.empty());
}

TEST_F(AttachedDebugger, RedirectedStandardErrorSendsOneMessagePerDiagnosticLine) {
    Win32StreamBuf buffer;
    std::streambuf* own = std::cerr.rdbuf();
    ASSERT_TRUE(std::cerr.flags() & std::ios_base::unitbuf);
    {
        StreamRedirection redirection(std::cerr, buffer);
        DiagnosticLine(sites::xlOpenCloseCerrRedirected) << "std::cerr redirected to MSVC debugger" << std::endl;
        DiagnosticLine(sites::xlfAbstractCmdDescRegisterFailed) << "Error " << 32 << " while registering "
                                                                << "mtrx_Invert" << std::endl;
        std::cerr << "unfinished";
    }
    EXPECT_EQ(std::cerr.rdbuf(), own);
    EXPECT_TRUE(std::cerr.flags() & std::ios_base::unitbuf);
    EXPECT_EQ(messages,
              (std::vector<std::string>{"..\\..\\src\\XlOpenClose(56): std::cerr redirected to MSVC debugger\n",
                                        "..\\..\\src\\XlfAbstractCmdDesc(62): Error 32 while registering mtrx_Invert\n",
                                        "unfinished"}));
}

struct ShownBox {
    std::string text;
    std::string caption;
    unsigned type;
};

// Catches the message boxes shown during one test instead of showing them.
class MessageBoxes : public ::testing::Test {
protected:
    void SetUp() override {
        platform::SetMessageBoxSink([this](const std::string& text, const std::string& caption, unsigned type) {
            shown.push_back({text, caption, type});
        });
    }
    void TearDown() override { platform::ClearMessageBoxSink(); }

    // The system's own text for a code, as ErrorBox should quote it.
    static std::string SystemText(DWORD code) {
        LPSTR text = nullptr;
        DWORD length = FormatMessageA(
            FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code,
            MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT), reinterpret_cast<LPSTR>(&text), 0, nullptr);
        std::string result = length ? std::string(text, length) : std::string();
        if (text) LocalFree(text);
        return result;
    }

    std::vector<ShownBox> shown;
};

TEST_F(MessageBoxes, WithACaptionTheTextIsShownAsItIs) {
    ErrorBox("plain text", "My Caption");
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0].text, "plain text");
    EXPECT_EQ(shown[0].caption, "My Caption");
    EXPECT_EQ(shown[0].type, static_cast<unsigned>(MB_OK | MB_ICONINFORMATION));
}

TEST_F(MessageBoxes, WithoutACaptionTheLastErrorIsReported) {
    const std::string fileNotFound = SystemText(ERROR_FILE_NOT_FOUND);
    ASSERT_FALSE(fileNotFound.empty());
    SetLastError(ERROR_FILE_NOT_FOUND);
    ErrorBox("T");
    SetLastError(0xFFFFFFFFu);  // shown as a signed number
    ErrorBox("U", nullptr);
    ASSERT_EQ(shown.size(), 2u);
    EXPECT_EQ(shown[0].text, "T due to error 2 :\n" + fileNotFound);
    EXPECT_EQ(shown[0].caption, "XLL Error");
    EXPECT_EQ(shown[0].type, static_cast<unsigned>(MB_ICONINFORMATION));
    EXPECT_EQ(shown[1].text.substr(0, 20), "U due to error -1 :\n");
}

TEST_F(MessageBoxes, TheComposedReportIsCutAt255Characters) {
    SetLastError(ERROR_FILE_NOT_FOUND);
    ErrorBox(std::string(300, 'x').c_str());
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0].text, std::string(255, 'x'));
}

#endif

}  // namespace
}  // namespace zep
