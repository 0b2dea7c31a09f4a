// Error codes, the system's error texts, the debugger and the message box. The debugger and the
// user in front of a message box are what tests provide through the control surface.
#include "PlatformControl.h"
#include "WindowsStandIn.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>

namespace {

thread_local DWORD lastError = ERROR_SUCCESS;

struct Sinks {
    std::mutex guard;
    platform::DebuggerSink debugger;
    platform::MessageBoxSink messageBox;
};

Sinks& TheSinks() {
    static Sinks sinks;
    return sinks;
}

// Windows' own wording, in the default (English) language, for the codes this system produces.
const char* SystemText(DWORD code) {
    switch (code) {
        case ERROR_SUCCESS:
            return "The operation completed successfully.\r\n";
        case ERROR_FILE_NOT_FOUND:
            return "The system cannot find the file specified.\r\n";
        case ERROR_PATH_NOT_FOUND:
            return "The system cannot find the path specified.\r\n";
        case ERROR_ACCESS_DENIED:
            return "Access is denied.\r\n";
        case ERROR_INVALID_HANDLE:
            return "The handle is invalid.\r\n";
        case ERROR_NOT_ENOUGH_MEMORY:
            return "Not enough memory resources are available to process this command.\r\n";
        case ERROR_INVALID_PARAMETER:
            return "The parameter is incorrect.\r\n";
        case ERROR_INSUFFICIENT_BUFFER:
            return "The data area passed to a system call is too small.\r\n";
        case ERROR_MOD_NOT_FOUND:
            return "The specified module could not be found.\r\n";
        case ERROR_PROC_NOT_FOUND:
            return "The specified procedure could not be found.\r\n";
        case ERROR_ALREADY_EXISTS:
            return "Cannot create a file when that file already exists.\r\n";
        case ERROR_ENVVAR_NOT_FOUND:
            return "The system could not find the environment option that was entered.\r\n";
        case ERROR_FILENAME_EXCED_RANGE:
            return "The filename or extension is too long.\r\n";
        case ERROR_NOT_OWNER:
            return "Attempt to release mutex not owned by caller.\r\n";
        case ERROR_INVALID_WINDOW_HANDLE:
            return "Invalid window handle.\r\n";
        case ERROR_CLASS_ALREADY_EXISTS:
            return "Class already exists.\r\n";
        case ERROR_CLASS_DOES_NOT_EXIST:
            return "Class does not exist.\r\n";
        default:
            return nullptr;
    }
}

}  // namespace

DWORD GetLastError() {
    return lastError;
}

void SetLastError(DWORD dwErrCode) {
    lastError = dwErrCode;
}

namespace platform {

void AttachDebugger(DebuggerSink sink) {
    std::lock_guard<std::mutex> lock(TheSinks().guard);
    TheSinks().debugger = std::move(sink);
}

void DetachDebugger() {
    AttachDebugger(nullptr);
}

void SetMessageBoxSink(MessageBoxSink sink) {
    std::lock_guard<std::mutex> lock(TheSinks().guard);
    TheSinks().messageBox = std::move(sink);
}

void ClearMessageBoxSink() {
    SetMessageBoxSink(nullptr);
}

}  // namespace platform

BOOL IsDebuggerPresent() {
    std::lock_guard<std::mutex> lock(TheSinks().guard);
    return TheSinks().debugger ? TRUE : FALSE;
}

// Without a debugger the text goes nowhere, as on Windows. The sink runs outside the lock so it
// may itself call into the stand-in.
void OutputDebugStringA(LPCSTR lpOutputString) {
    platform::DebuggerSink debugger;
    {
        std::lock_guard<std::mutex> lock(TheSinks().guard);
        debugger = TheSinks().debugger;
    }
    if (debugger && lpOutputString != nullptr) debugger(lpOutputString);
}

int MessageBoxA(HWND, LPCSTR lpText, LPCSTR lpCaption, UINT uType) {
    platform::MessageBoxSink messageBox;
    {
        std::lock_guard<std::mutex> lock(TheSinks().guard);
        messageBox = TheSinks().messageBox;
    }
    // Windows shows "Error" when no caption is given.
    const std::string text = lpText != nullptr ? lpText : "";
    const std::string caption = lpCaption != nullptr ? lpCaption : "Error";
    if (messageBox)
        messageBox(text, caption, uType);
    else
        std::fprintf(stderr, "[message box] %s: %s\n", caption.c_str(), text.c_str());
    return IDOK;
}

HLOCAL LocalAlloc(UINT uFlags, SIZE_T uBytes) {
    void* memory = (uFlags & LMEM_ZEROINIT) != 0 ? std::calloc(uBytes != 0 ? uBytes : 1, 1)
                                                 : std::malloc(uBytes != 0 ? uBytes : 1);
    if (memory == nullptr) SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return memory;
}

HLOCAL LocalFree(HLOCAL hMem) {
    std::free(hMem);
    return nullptr;
}

// Only system texts (FORMAT_MESSAGE_FROM_SYSTEM) are known; they contain no inserts, so
// FORMAT_MESSAGE_IGNORE_INSERTS changes nothing and the language is not looked at. With
// FORMAT_MESSAGE_ALLOCATE_BUFFER, lpBuffer is really an LPSTR* receiving LocalAlloc'ed text.
DWORD FormatMessageA(DWORD dwFlags, LPCVOID, DWORD dwMessageId, DWORD, LPSTR lpBuffer, DWORD nSize, va_list*) {
    if ((dwFlags & FORMAT_MESSAGE_FROM_SYSTEM) == 0 || lpBuffer == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    const char* text = SystemText(dwMessageId);
    if (text == nullptr) {
        SetLastError(ERROR_MR_MID_NOT_FOUND);
        return 0;
    }
    const std::size_t length = std::strlen(text);
    char* target = lpBuffer;
    if ((dwFlags & FORMAT_MESSAGE_ALLOCATE_BUFFER) != 0) {
        // nSize is then the minimum number of characters to allocate.
        target = static_cast<char*>(LocalAlloc(LMEM_FIXED, length + 1 > nSize ? length + 1 : nSize));
        if (target == nullptr) return 0;
        *reinterpret_cast<char**>(lpBuffer) = target;
    } else if (length + 1 > nSize) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    std::memcpy(target, text, length + 1);
    return static_cast<DWORD>(length);
}
