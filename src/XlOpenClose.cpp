#include "XlOpenClose.h"

#include "PendingRegistrations.h"
#include "WinApi.h"
#include "XlfExcel.h"

#include <iostream>
#include <optional>
#include <string>
#include <vector>

namespace zep {

namespace {

// The buffer together with the redirection of std::cerr onto it. Declared after the buffer, the
// redirection is undone before the buffer goes, so std::cerr never points at a destroyed buffer,
// not even when the library is unloaded while open.
struct DebuggerStream {
    Win32StreamBuf buffer;
    std::optional<StreamRedirection> redirection;  // in force between open and close
};

DebuggerStream& TheDebuggerStream() {
    static DebuggerStream stream;
    return stream;
}

void RedirectCerrToDebugger() {
    // A second open keeps the first redirection, so close gives back the buffer std::cerr had
    // before the add-in, never the add-in's own.
    DebuggerStream& stream = TheDebuggerStream();
    if (!stream.redirection) stream.redirection.emplace(std::cerr, stream.buffer);
}

constexpr DWORD modulePathLength = MAX_PATH;
constexpr DWORD firstPathRead = 4096;

// Some address inside this library, to find the module it belongs to.
const char moduleMarker = 0;

// The file name of the module holding this code; nothing when its module cannot be found.
std::optional<std::string> ModulePath() {
    MEMORY_BASIC_INFORMATION region{};
    if (VirtualQuery(&moduleMarker, &region, sizeof region) == 0) return std::nullopt;
    std::vector<char> path(modulePathLength + 1, '\0');
    GetModuleFileNameA(static_cast<HMODULE>(region.AllocationBase), path.data(), modulePathLength);
    return std::string(path.data());
}

// The value of "Path"; a missing variable is an empty one. False when a long value that the
// first read could not hold cannot be read either.
bool ReadPathVariable(std::string& value) {
    std::vector<char> buffer(firstPathRead, '\0');
    DWORD length = GetEnvironmentVariableA("Path", buffer.data(), firstPathRead);
    if (length > firstPathRead) {
        // The reported size counts the terminator.
        buffer.assign(length, '\0');
        length = GetEnvironmentVariableA("Path", buffer.data(), length);
        if (length == 0) return false;
    }
    value.assign(buffer.data(), length);
    return true;
}

// Libraries placed beside the add-in are then found by Windows' search.
bool AppendModuleFolderToPath(const std::string& modulePath) {
    std::string path;
    if (!ReadPathVariable(path)) {
        DiagnosticLine(sites::xlOpenCloseNoPathVariable) << " Could not get PATH Environment Variable" << std::endl;
        return false;
    }
    const std::string folder = modulePath.substr(0, modulePath.rfind('\\'));
    const std::string newPath = path + ";" + folder;
    if (!SetEnvironmentVariableA("Path", newPath.c_str())) {
        DiagnosticLine(sites::xlOpenClosePathNotSet) << " SetEnvironmentVariable failed to set PATH" << std::endl;
        return false;
    }
    DiagnosticLine(sites::xlOpenClosePathSet) << " PATH set successfully " << std::endl;
    return true;
}

}  // namespace

Win32StreamBuf& DebuggerStreamBuffer() {
    return TheDebuggerStream().buffer;
}

}  // namespace zep

using zep::DiagnosticLine;
using zep::XlfExcel;

int XLCALL_STDCALL xlAutoOpen() {
    try {
        zep::RedirectCerrToDebugger();
        DiagnosticLine(zep::sites::xlOpenCloseCerrRedirected) << "std::cerr redirected to MSVC debugger" << std::endl;
        bool pathSet = false;
        const std::optional<std::string> modulePath = zep::ModulePath();
        if (!modulePath) {
            DiagnosticLine(zep::sites::xlOpenCloseNoModulePath) << " Could not attain path of DLL" << std::endl;
        } else {
            XlfExcel::Current().ShowStatus(modulePath->c_str());
            pathSet = zep::AppendModuleFolderToPath(*modulePath);
        }
        if (!pathSet)
            DiagnosticLine(zep::sites::xlOpenClosePathWarning)
                << " Warning: Unable to initialise PATH to directory of library " << std::endl;
        XlfExcel::Current().ShowStatus("Registering library...");
        zep::RegisterAll();
        XlfExcel::Current().ShowStatus(nullptr);
        return 1;
    } catch (...) {
        return 0;
    }
}

int XLCALL_STDCALL xlAutoClose() {
    DiagnosticLine(zep::sites::xlOpenCloseReleasing) << "Releasing ressources" << std::endl;
    // Never creates a connection just to delete it: without one there is nothing to release,
    // and creating one could fail here, where nothing may be thrown into Excel.
    XlfExcel::DeleteCurrent();
    // Only what xlAutoOpen saved is given back; without an open std::cerr keeps its buffer.
    zep::TheDebuggerStream().redirection.reset();
    return 1;
}
