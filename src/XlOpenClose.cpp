#include "XlOpenClose.h"

#include "PendingRegistrations.h"
#include "WideText.h"
#include "WinApi.h"
#include "XlfExcel.h"

#include <algorithm>
#include <cstddef>
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

// Between a successful open and the close after it: only then has close anything to undo.
bool opened = false;

template <class Record>
struct RecordLayout;
template <>
struct RecordLayout<XLOPER> {
    using Unit = char;
    static int Coerce(XlfExcel& excel, XLOPER* result, XLOPER* argv[]) {
        return excel.CallExcel4v(xlCoerce, result, 2, argv);
    }
    static int Free(XlfExcel& excel, XLOPER* argv[]) { return excel.CallExcel4v(xlFree, nullptr, 1, argv); }
    // The bytes as declared.
    static std::basic_string<Unit> Text(const std::string& name) { return name; }
};
template <>
struct RecordLayout<XLOPER12> {
    using Unit = XCHAR;
    static int Coerce(XlfExcel& excel, XLOPER12* result, XLOPER12* argv[]) {
        return excel.CallExcel12v(xlCoerce, result, 2, argv);
    }
    static int Free(XlfExcel& excel, XLOPER12* argv[]) { return excel.CallExcel12v(xlFree, nullptr, 1, argv); }
    static WideString Text(const std::string& name) { return WidenUtf8(name.data(), name.size()); }
};

// Excel passes the action as a number; anything else counts only if Excel coerces it to 1.
template <class Record>
bool AsksForName(XlfExcel& excel, Record* action) {
    if (action == nullptr) return false;
    const auto type = action->xltype & ~(xlbitXLFree | xlbitDLLFree);
    if (type == xltypeNum) return action->val.num == 1.0;
    if (type == xltypeInt) return action->val.w == 1;
    Record wanted{};
    wanted.xltype = xltypeInt;
    wanted.val.w = xltypeNum;
    Record number{};
    Record* coerceArguments[] = {action, &wanted};
    if (RecordLayout<Record>::Coerce(excel, &number, coerceArguments) != xlretSuccess) return false;
    const bool one = (number.xltype & xltypeNum) != 0 && number.val.num == 1.0;
    // Excel's memory in an answer of another kind than asked for goes back to Excel.
    Record* freeArguments[] = {&number};
    if ((number.xltype & xlbitHostOwned) != 0) RecordLayout<Record>::Free(excel, freeArguments);
    return one;
}

// The answer in the layout of the entry point Excel called, carved from the temporary memory
// after the previous call's is reclaimed, as for a worksheet result. A counted text: the
// declaration holds the name to 255 bytes, and a UTF-8 name has no more units than bytes.
template <class Record>
Record* AddInManagerAnswer(Record* action) noexcept {
    using Unit = typename RecordLayout<Record>::Unit;
    try {
        XlfExcel& excel = XlfExcel::Current();
        const XlfExcel::TempLockHold lock(excel);
        excel.ReleaseTemp(false);
        auto* answer = static_cast<Record*>(excel.TempAlloc(sizeof(Record)));
        if (AddInName().empty() || !AsksForName(excel, action)) {
            answer->xltype = xltypeErr;
            answer->val.err = xlerrValue;
            return answer;
        }
        const auto name = RecordLayout<Record>::Text(AddInName());
        const std::size_t length = std::min<std::size_t>(name.size(), 255);
        auto* text = static_cast<Unit*>(excel.TempAlloc((length + 1) * sizeof(Unit)));
        text[0] = static_cast<Unit>(length);
        std::copy(name.begin(), name.begin() + static_cast<std::ptrdiff_t>(length), text + 1);
        answer->xltype = xltypeStr;
        answer->val.str = text;
        return answer;
    } catch (...) {
        return nullptr;
    }
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
        zep::AddMenus();
        zep::opened = true;  // from here on, close undoes the menus
        zep::RunHooks(zep::HookKind::Open);
        return 1;
    } catch (...) {
        return 0;
    }
}

int XLCALL_STDCALL xlAutoClose() {
    if (zep::opened) {
        zep::opened = false;
        zep::RunHooks(zep::HookKind::Close);
        try {
            zep::RemoveMenus();
        } catch (...) {
            // The connection could not be had: there is no Excel to remove them from.
        }
    }
    DiagnosticLine(zep::sites::xlOpenCloseReleasing) << "Releasing ressources" << std::endl;
    // Never creates a connection just to delete it: without one there is nothing to release,
    // and creating one could fail here, where nothing may be thrown into Excel.
    XlfExcel::DeleteCurrent();
    // Only what xlAutoOpen saved is given back; without an open std::cerr keeps its buffer.
    zep::TheDebuggerStream().redirection.reset();
    return 1;
}

XLOPER* XLCALL_STDCALL xlAddInManagerInfo(XLOPER* action) {
    return zep::AddInManagerAnswer(action);
}

XLOPER12* XLCALL_STDCALL xlAddInManagerInfo12(XLOPER12* action) {
    return zep::AddInManagerAnswer(action);
}
