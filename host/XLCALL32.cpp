// The stand-in Excel's XLCALL32: Excel4 and Excel4v, forwarded to the Excel 4 dispatcher that the
// host program exports. Links nothing of the host, so the program's one model serves every caller.

#include "HostEntryPoints.h"

#include <atomic>
#include <cstdarg>

#ifdef _WIN32
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
#else
#include <dlfcn.h>
#endif

namespace {

constexpr int maxArguments = 255;

// The program's export, looked up until found: it never moves, and the dispatcher itself answers
// when no stand-in Excel is running.
XlHostExcel4DispatchFunction lookUpDispatcher() {
#ifdef _WIN32
    FARPROC found = GetProcAddress(GetModuleHandleA(nullptr), XLHOST_EXCEL4_DISPATCHER);
    return reinterpret_cast<XlHostExcel4DispatchFunction>(reinterpret_cast<void (*)()>(found));
#else
    return reinterpret_cast<XlHostExcel4DispatchFunction>(dlsym(RTLD_DEFAULT, XLHOST_EXCEL4_DISPATCHER));
#endif
}

XlHostExcel4DispatchFunction hostDispatcher() {
    static std::atomic<XlHostExcel4DispatchFunction> found{nullptr};
    XlHostExcel4DispatchFunction dispatcher = found.load(std::memory_order_relaxed);
    if (dispatcher == nullptr) {
        dispatcher = lookUpDispatcher();
        found.store(dispatcher, std::memory_order_relaxed);
    }
    return dispatcher;
}

int forward(xlhost::Entry entry, int xlfn, XLOPER* result, int count, XLOPER** argv) {
    const XlHostExcel4DispatchFunction dispatcher = hostDispatcher();
    if (dispatcher == nullptr) return xlretFailed;
    return dispatcher(static_cast<int>(entry), xlfn, result, count, argv);
}

}  // namespace

extern "C" {

int Excel4(int xlfn, XLOPER* result, int count, ...) {
    // A count out of range is not unpacked; the host answers it with xlretInvCount.
    if (count < 0 || count > maxArguments) return forward(xlhost::Entry::Excel4, xlfn, result, count, nullptr);
    XLOPER* argv[maxArguments];
    va_list arguments;
    va_start(arguments, count);
    for (int i = 0; i < count; ++i) argv[i] = va_arg(arguments, XLOPER*);
    va_end(arguments);
    return forward(xlhost::Entry::Excel4, xlfn, result, count, argv);
}

int XLCALL_STDCALL Excel4v(int xlfn, XLOPER* result, int count, XLOPER* argv[]) {
    return forward(xlhost::Entry::Excel4v, xlfn, result, count, argv);
}

}  // extern "C"
