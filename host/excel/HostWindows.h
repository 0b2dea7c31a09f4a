#ifndef HOST_HOSTWINDOWS_H
#define HOST_HOSTWINDOWS_H

// Excel's windows as an add-in can see them: the main window whose handle xlGetHwnd gives, and
// other top-level windows such as the function wizard's dialog (class "bosa_sdm_XL...", owned
// by the main window). Where no window can be made (no display), Excel runs without a main window.

#include "WinApi.h"

#include <string>
#include <vector>

namespace xlhost {

class HostWindows {
public:
    static constexpr const char* mainClassName = "XLMAIN";
    static constexpr const char* wizardClassName = "bosa_sdm_XL9";

    // Creates the main window; when Windows refuses, there is none and mainWindowFailure() says why.
    HostWindows();
    ~HostWindows();
    HostWindows(const HostWindows&) = delete;
    HostWindows& operator=(const HostWindows&) = delete;

    // Null when Windows refused to create it.
    HWND mainWindow() const { return main_; }
    const std::string& mainWindowFailure() const { return mainWindowFailure_; }
    // A hidden top-level window of that class, owned by `owner` (no owner when null); throws
    // std::runtime_error when Windows refuses.
    HWND openWindow(const std::string& className, HWND owner);
    // The function wizard's dialog as Excel opens it: owned by the main window, so none without it.
    HWND openFunctionWizard(const std::string& className = wizardClassName);
    // Closes a window opened here; false for any other handle.
    bool closeWindow(HWND window);

private:
    HWND create(const std::string& className, DWORD style, HWND owner);

    HWND main_ = nullptr;
    std::string mainWindowFailure_;
    std::vector<HWND> opened_;
};

}  // namespace xlhost

#endif
