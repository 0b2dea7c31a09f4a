#include "Win32StreamBuf.h"

#include "WinApi.h"

#include <cstdio>
#include <iostream>
#include <mutex>

namespace zep {

Win32StreamBuf::Win32StreamBuf() = default;

Win32StreamBuf::~Win32StreamBuf() = default;

Win32StreamBuf::int_type Win32StreamBuf::overflow(int_type c) {
    if (traits_type::eq_int_type(c, traits_type::eof())) return sync();
    collected_.push_back(traits_type::to_char_type(c));
    return traits_type::not_eof(c);
}

int Win32StreamBuf::sync() {
    SendToDebugger();
    collected_.clear();  // sent or not, a flushed text is done with
    return 0;
}

void Win32StreamBuf::SendToDebugger() {
    if (IsDebuggerPresent() && !collected_.empty()) OutputDebugStringA(collected_.c_str());
}

StreamRedirection::StreamRedirection(std::ostream& stream, std::streambuf& target)
    : stream_(stream), previous_(stream.rdbuf(&target)), previousFlags_(stream.flags()) {
    stream_.unsetf(std::ios_base::unitbuf);
}

StreamRedirection::~StreamRedirection() {
    stream_.flush();  // what was written while redirected still belongs to the target
    stream_.flags(previousFlags_);
    stream_.rdbuf(previous_);
}

DiagnosticLine::DiagnosticLine(const DiagnosticSite& site) {
    text_ << "..\\..\\src\\" << site.unit << '(' << site.line << "): ";
}

DiagnosticLine::~DiagnosticLine() {
    static std::mutex writing;
    try {
        const std::lock_guard<std::mutex> lock(writing);
        std::cerr << text_.str() << std::flush;
    } catch (...) {
        // a diagnostic that cannot be written is dropped: it must not end the call it describes
    }
}

void ErrorBox(const char* text, const char* caption) {
    if (caption) {
        MessageBoxA(nullptr, text, caption, MB_ICONINFORMATION);
        return;
    }
    // Read first: any call below may change the thread's last error.
    DWORD code = GetLastError();
    LPSTR systemText = nullptr;
    DWORD length = FormatMessageA(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code,
        MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT), reinterpret_cast<LPSTR>(&systemText), 0, nullptr);
    char message[256];
    std::snprintf(message, sizeof message, "%s due to error %d :\n%s", text ? text : "", static_cast<int>(code),
                  length && systemText ? systemText : "");
    MessageBoxA(nullptr, message, "XLL Error", MB_ICONINFORMATION);
    if (systemText) LocalFree(systemText);
}

}  // namespace zep
