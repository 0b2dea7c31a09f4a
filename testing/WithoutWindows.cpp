#include "WithoutWindows.h"

#include <exception>
#include <stdexcept>
#include <string>

#ifdef _WIN32
#include <windows.h>
#else
#include "PlatformControl.h"
#endif

namespace testsupport {

#ifdef _WIN32

namespace {

struct Job {
    const std::function<void()>& work;
    HDESK desktop;
    std::exception_ptr failure;
};

DWORD WINAPI runJob(LPVOID context) {
    Job& job = *static_cast<Job*>(context);
    try {
        // A thread may change desktops only before it has windows: hence a thread of its own.
        if (!SetThreadDesktop(job.desktop))
            throw std::runtime_error("cannot move to a desktop without windows, error " +
                                     std::to_string(GetLastError()));
        job.work();
    } catch (...) {
        job.failure = std::current_exception();
    }
    return 0;
}

}  // namespace

void withoutWindows(const std::function<void()>& work) {
    // Reading and listing windows is granted, creating them is not.
    HDESK desktop =
        CreateDesktopA("WithoutWindows", nullptr, nullptr, 0, DESKTOP_READOBJECTS | DESKTOP_ENUMERATE, nullptr);
    if (desktop == nullptr)
        throw std::runtime_error("cannot create a desktop without windows, error " + std::to_string(GetLastError()));
    Job job{work, desktop, nullptr};
    HANDLE thread = CreateThread(nullptr, 0, runJob, &job, 0, nullptr);
    if (thread == nullptr) {
        CloseDesktop(desktop);
        throw std::runtime_error("cannot start a thread, error " + std::to_string(GetLastError()));
    }
    WaitForSingleObject(thread, INFINITE);
    CloseHandle(thread);
    CloseDesktop(desktop);
    if (job.failure) std::rethrow_exception(job.failure);
}

#else

void withoutWindows(const std::function<void()>& work) {
    platform::RefuseWindowCreation();
    try {
        work();
    } catch (...) {
        platform::AllowWindowCreation();
        throw;
    }
    platform::AllowWindowCreation();
}

#endif

}  // namespace testsupport
