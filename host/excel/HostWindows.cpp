#include "HostWindows.h"

#include <algorithm>
#include <stdexcept>

namespace xlhost {

HostWindows::HostWindows() {
    try {
        main_ = create(mainClassName, WS_OVERLAPPEDWINDOW, nullptr);
    } catch (const std::runtime_error& refused) {
        mainWindowFailure_ = refused.what();
    }
}

HostWindows::~HostWindows() {
    for (HWND window : opened_) DestroyWindow(window);
    if (main_ != nullptr) DestroyWindow(main_);
}

HWND HostWindows::create(const std::string& className, DWORD style, HWND owner) {
    HINSTANCE instance = GetModuleHandleA(nullptr);
    WNDCLASSA windowClass{};
    windowClass.lpfnWndProc = DefWindowProcA;
    windowClass.hInstance = instance;
    windowClass.lpszClassName = className.c_str();
    // A class stays registered for the process; later hosts reuse it.
    if (RegisterClassA(&windowClass) == 0 && GetLastError() != ERROR_CLASS_ALREADY_EXISTS)
        throw std::runtime_error("cannot register the window class " + className + ", error " +
                                 std::to_string(GetLastError()));
    HWND window = CreateWindowExA(0, className.c_str(), className.c_str(), style, 0, 0, 100, 100, owner, nullptr,
                                  instance, nullptr);
    if (window == nullptr)
        throw std::runtime_error("cannot create a window of class " + className + ", error " +
                                 std::to_string(GetLastError()));
    return window;
}

HWND HostWindows::openWindow(const std::string& className, HWND owner) {
    // WS_POPUP: a top-level window whose GetParent is its owner, as the wizard's dialog is.
    HWND window = create(className, WS_POPUP, owner);
    opened_.push_back(window);
    return window;
}

HWND HostWindows::openFunctionWizard(const std::string& className) {
    if (main_ == nullptr) throw std::runtime_error("no function wizard without a main window: " + mainWindowFailure_);
    return openWindow(className, main_);
}

bool HostWindows::closeWindow(HWND window) {
    const auto found = std::find(opened_.begin(), opened_.end(), window);
    if (found == opened_.end()) return false;
    opened_.erase(found);
    return DestroyWindow(window) != FALSE;
}

}  // namespace xlhost
