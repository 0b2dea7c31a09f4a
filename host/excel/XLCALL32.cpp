// The stand-in Excel's XLCALL32: Excel4, Excel4v, XLCallVer and LPenHelper, forwarded to the Excel
// 4 dispatcher and the C API version that the host program exports. Links nothing of the host, so
// the program's one model serves every caller.

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

// The program's export of that name, looked up until found: it never moves, and answers itself
// when no stand-in Excel is running.
template <class Function>
Function programExport(std::atomic<Function>& cache, const char* name) {
    Function found = cache.load(std::memory_order_relaxed);
    if (found == nullptr) {
#ifdef _WIN32
        found =
            reinterpret_cast<Function>(reinterpret_cast<void (*)()>(GetProcAddress(GetModuleHandleA(nullptr), name)));
#else
        found = reinterpret_cast<Function>(dlsym(RTLD_DEFAULT, name));
#endif
        cache.store(found, std::memory_order_relaxed);
    }
    return found;
}

int forward(xlhost::Entry entry, int xlfn, XLOPER* result, int count, XLOPER** argv) {
    static std::atomic<XlHostExcel4DispatchFunction> cache{nullptr};
    const XlHostExcel4DispatchFunction dispatcher = programExport(cache, XLHOST_EXCEL4_DISPATCHER);
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

int XLCALL_STDCALL XLCallVer() {
    static std::atomic<XlHostCallVersionFunction> cache{nullptr};
    const XlHostCallVersionFunction version = programExport(cache, XLHOST_CALL_VERSION);
    return version == nullptr ? 0 : version();
}

// Excel's helper for pen input and formula editing: the stand-in has no formula bar, so every
// request does nothing (0), and the host notes it.
long XLCALL_STDCALL LPenHelper(int code, void* /*data*/) {
    forward(xlhost::Entry::LPenHelper, code, nullptr, 0, nullptr);
    return 0;
}

}  // extern "C"
