// Windows without a screen: a process-wide list of windows that remembers what the function-wizard
// test asks about (class name, parent or owner, style). No messages are ever sent; window
// procedures are recorded with their class and never called.
//
// Parent rules are Windows' own so that host code behaves the same on both systems: a WS_CHILD
// window needs a parent, is not top-level and is not enumerated; GetParent gives a child's parent
// and a WS_POPUP window's owner, and nothing for an owned window of another style.
#include "PlatformControl.h"
#include "WindowsStandIn.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <mutex>
#include <string>
#include <vector>

namespace {

struct WindowClass {
    ATOM atom;
    std::string name;
};

struct Window {
    HWND handle;
    std::string className;
    HWND parent;  // parent of a child window, owner of a top-level one
    DWORD style;
};

struct WindowTable {
    std::mutex guard;
    std::vector<WindowClass> classes;
    std::vector<Window> windows;  // in creation order
    UINT_PTR created = 0;
    ATOM nextAtom = 0xC000;  // where Windows' registered class atoms begin
    bool creationRefused = false;
};

WindowTable& Table() {
    static WindowTable table;
    return table;
}

bool SameNameNoCase(const std::string& a, const char* b) {
    return a.size() == std::strlen(b) && std::equal(a.begin(), a.end(), b, [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
           });
}

// A class given as an atom (MAKEINTATOM: a "pointer" below 0x10000) or by name, as Windows accepts.
std::vector<WindowClass>::iterator FindClass(WindowTable& table, LPCSTR name) {
    const auto value = reinterpret_cast<UINT_PTR>(name);
    return std::find_if(table.classes.begin(), table.classes.end(), [&](const WindowClass& windowClass) {
        return value < 0x10000 ? windowClass.atom == value : SameNameNoCase(windowClass.name, name);
    });
}

std::vector<Window>::iterator FindWindow(WindowTable& table, HWND handle) {
    return std::find_if(table.windows.begin(), table.windows.end(),
                        [&](const Window& window) { return window.handle == handle; });
}

// The framework compares only the low 16 bits of a window handle with Excel's window value, so
// live windows get distinct low words, and varying high words catch code that compares more.
HWND NewHandle(WindowTable& table) {
    const UINT_PTR number = ++table.created;
    const UINT_PTR lowWord = 0x100 + (number * 2) % 0xFE00;
    return reinterpret_cast<HWND>((number << 16) | lowWord);
}

}  // namespace

ATOM RegisterClassA(const WNDCLASSA* lpWndClass) {
    if (lpWndClass == nullptr || lpWndClass->lpszClassName == nullptr ||
        reinterpret_cast<UINT_PTR>(lpWndClass->lpszClassName) < 0x10000 || *lpWndClass->lpszClassName == '\0') {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    WindowTable& table = Table();
    std::lock_guard<std::mutex> lock(table.guard);
    if (FindClass(table, lpWndClass->lpszClassName) != table.classes.end()) {
        SetLastError(ERROR_CLASS_ALREADY_EXISTS);
        return 0;
    }
    table.classes.push_back(WindowClass{table.nextAtom++, lpWndClass->lpszClassName});
    return table.classes.back().atom;
}

BOOL UnregisterClassA(LPCSTR lpClassName, HINSTANCE) {
    WindowTable& table = Table();
    std::lock_guard<std::mutex> lock(table.guard);
    const auto found = lpClassName != nullptr ? FindClass(table, lpClassName) : table.classes.end();
    if (found == table.classes.end()) {
        SetLastError(ERROR_CLASS_DOES_NOT_EXIST);
        return FALSE;
    }
    table.classes.erase(found);
    return TRUE;
}

// Windows refuses classes nobody registered; the stand-in accepts any class name (but not an
// unknown atom), and keeps the registered spelling when the class is known.
HWND CreateWindowExA(DWORD, LPCSTR lpClassName, LPCSTR, DWORD dwStyle, int, int, int, int, HWND hWndParent, HMENU,
                     HINSTANCE, LPVOID) {
    WindowTable& table = Table();
    std::lock_guard<std::mutex> lock(table.guard);
    if (table.creationRefused) {
        SetLastError(ERROR_ACCESS_DENIED);
        return nullptr;
    }
    const auto windowClass = lpClassName != nullptr ? FindClass(table, lpClassName) : table.classes.end();
    const bool byAtom = reinterpret_cast<UINT_PTR>(lpClassName) < 0x10000;
    if (byAtom && windowClass == table.classes.end()) {
        SetLastError(ERROR_CLASS_DOES_NOT_EXIST);
        return nullptr;
    }
    if (hWndParent != nullptr ? FindWindow(table, hWndParent) == table.windows.end() : (dwStyle & WS_CHILD) != 0) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return nullptr;
    }
    const std::string className = windowClass != table.classes.end() ? windowClass->name : std::string(lpClassName);
    table.windows.push_back(Window{NewHandle(table), className, hWndParent, dwStyle});
    return table.windows.back().handle;
}

namespace platform {

void RefuseWindowCreation() {
    std::lock_guard<std::mutex> lock(Table().guard);
    Table().creationRefused = true;
}

void AllowWindowCreation() {
    std::lock_guard<std::mutex> lock(Table().guard);
    Table().creationRefused = false;
}

}  // namespace platform

// Destroys the window with its children and the windows it owns, as Windows does.
BOOL DestroyWindow(HWND hWnd) {
    WindowTable& table = Table();
    std::lock_guard<std::mutex> lock(table.guard);
    if (FindWindow(table, hWnd) == table.windows.end()) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    std::vector<HWND> doomed{hWnd};
    for (std::size_t next = 0; next < doomed.size(); ++next) {
        for (const Window& window : table.windows)
            if (window.parent == doomed[next]) doomed.push_back(window.handle);
    }
    table.windows.erase(std::remove_if(table.windows.begin(), table.windows.end(),
                                       [&](const Window& window) {
                                           return std::find(doomed.begin(), doomed.end(), window.handle) !=
                                                  doomed.end();
                                       }),
                        table.windows.end());
    return TRUE;
}

BOOL IsWindow(HWND hWnd) {
    WindowTable& table = Table();
    std::lock_guard<std::mutex> lock(table.guard);
    return FindWindow(table, hWnd) != table.windows.end() ? TRUE : FALSE;
}

LRESULT DefWindowProcA(HWND, UINT, WPARAM, LPARAM) {
    return 0;
}

// Top-level windows, newest first as a fresh window lies on top of the z-order. The callback may
// create or destroy windows: it sees those that existed at the start and are still alive.
BOOL EnumWindows(WNDENUMPROC lpEnumFunc, LPARAM lParam) {
    if (lpEnumFunc == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    std::vector<HWND> topLevel;
    {
        WindowTable& table = Table();
        std::lock_guard<std::mutex> lock(table.guard);
        topLevel.reserve(table.windows.size());
        for (auto window = table.windows.rbegin(); window != table.windows.rend(); ++window)
            if ((window->style & WS_CHILD) == 0) topLevel.push_back(window->handle);
    }
    for (const HWND window : topLevel) {
        if (IsWindow(window) && !lpEnumFunc(window, lParam)) return FALSE;
    }
    return TRUE;
}

// Copies at most nMaxCount - 1 characters and the terminator; returns the number copied.
int GetClassNameA(HWND hWnd, LPSTR lpClassName, int nMaxCount) {
    WindowTable& table = Table();
    std::lock_guard<std::mutex> lock(table.guard);
    const auto window = FindWindow(table, hWnd);
    if (window == table.windows.end()) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return 0;
    }
    if (lpClassName == nullptr || nMaxCount <= 0) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    const std::size_t count = std::min(window->className.size(), static_cast<std::size_t>(nMaxCount - 1));
    std::memcpy(lpClassName, window->className.data(), count);
    lpClassName[count] = '\0';
    return static_cast<int>(count);
}

HWND GetParent(HWND hWnd) {
    WindowTable& table = Table();
    std::lock_guard<std::mutex> lock(table.guard);
    const auto window = FindWindow(table, hWnd);
    if (window == table.windows.end()) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return nullptr;
    }
    return (window->style & (WS_CHILD | WS_POPUP)) != 0 ? window->parent : nullptr;
}
