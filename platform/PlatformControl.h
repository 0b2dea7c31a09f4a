#ifndef PLATFORM_PLATFORMCONTROL_H
#define PLATFORM_PLATFORMCONTROL_H

// What tests and the stand-in Excel use to steer the Windows stand-in: the parts of Windows that
// a program cannot reach through the API itself (a debugger, a user clicking a message box away).
// Exists only where the stand-in does, so code using it is for systems other than Windows.

#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace platform {

// While a sink is attached, IsDebuggerPresent() is TRUE and each OutputDebugStringA text reaches it.
using DebuggerSink = std::function<void(const std::string& text)>;
void AttachDebugger(DebuggerSink sink);
void DetachDebugger();

// MessageBoxA hands (text, caption, type) to the sink and returns IDOK. Without a sink the box is
// written to standard error, since nobody could click it away.
using MessageBoxSink = std::function<void(const std::string& text, const std::string& caption, unsigned type)>;
void SetMessageBoxSink(MessageBoxSink sink);
void ClearMessageBoxSink();

// While refused, CreateWindowExA makes no window and fails with ERROR_ACCESS_DENIED, as Windows does
// on a desktop where the program may not create windows (and Wine without a display).
void RefuseWindowCreation();
void AllowWindowCreation();

// Replaces the process's Windows environment (which GetEnvironmentVariableA and
// SetEnvironmentVariableA see) by exactly these variables; the real Linux environment is untouched.
void ResetEnvironment(const std::vector<std::pair<std::string, std::string>>& variables);

// A Linux path as Windows programs see it ("/a/b" -> "Z:\a\b"), and back.
std::string WindowsPath(const std::string& linuxPath);
std::string LinuxPath(const std::string& windowsPath);

// The file behind the named mutex of that name, so a test can remove what it created.
std::string NamedMutexFile(const std::string& name);

}  // namespace platform

#endif
