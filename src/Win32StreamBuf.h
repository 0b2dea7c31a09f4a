#ifndef SRC_WIN32STREAMBUF_H
#define SRC_WIN32STREAMBUF_H

#include "DiagnosticSites.h"

#include <ostream>
#include <sstream>
#include <streambuf>
#include <string>

namespace zep {

// Carries diagnostic text to the Windows debugger: characters are collected until a flush, and
// each flush passes the collected text, in one piece, to OutputDebugStringA when a debugger is
// attached. Without a debugger the text is dropped at the flush. std::cerr is pointed at it
// while the add-in is open, so each std::endl-ended diagnostic line becomes one debugger message.
class Win32StreamBuf : public std::basic_streambuf<char> {
public:
    Win32StreamBuf();
    ~Win32StreamBuf() override;  // drops unflushed text without sending it

protected:
    // No put area is set up, so every character arrives here.
    int_type overflow(int_type c) override;
    int sync() override;

private:
    void SendToDebugger();

    std::string collected_;
};

// Points a stream at another buffer for as long as it lives, then gives it its own back.
// std::cerr flushes after every output operation (unitbuf), which would split one diagnostic
// line into a debugger message per piece; that is switched off meanwhile, so only a flush such
// as std::endl ends a message.
class StreamRedirection {
public:
    StreamRedirection(std::ostream& stream, std::streambuf& target);
    ~StreamRedirection();
    StreamRedirection(const StreamRedirection&) = delete;
    StreamRedirection& operator=(const StreamRedirection&) = delete;

private:
    std::ostream& stream_;
    std::streambuf* previous_;
    std::ios_base::fmtflags previousFlags_;
};

// One diagnostic line: the site's "..\..\src\<unit>(<line>): " and the message streamed into it,
// which the caller ends with std::endl. The line is composed apart and written to std::cerr whole,
// and flushed, under a lock when the statement ends: thread-safe worksheet functions may write
// theirs at the same time, and std::cerr's buffer (the debugger's, while the add-in is open)
// collects one line at a time.
class DiagnosticLine {
public:
    explicit DiagnosticLine(const DiagnosticSite& site);
    ~DiagnosticLine();
    DiagnosticLine(const DiagnosticLine&) = delete;
    DiagnosticLine& operator=(const DiagnosticLine&) = delete;

    template <typename T>
    DiagnosticLine& operator<<(const T& value) {
        text_ << value;
        return *this;
    }
    DiagnosticLine& operator<<(std::ostream& (*manipulator)(std::ostream&)) {
        manipulator(text_);
        return *this;
    }

private:
    std::ostringstream text_;
};

// A modal message box with an OK button and the information icon. Without a caption it
// reports the thread's last Windows error: "<text> due to error <code> :\n<system text>", at
// most 255 characters, under the caption "XLL Error".
void ErrorBox(const char* text, const char* caption = nullptr);

}  // namespace zep

#endif
