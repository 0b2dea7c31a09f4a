// Exported by every host program (linked in as an object, never from a static library, so that
// nothing can drop it): Excel 12's MdCallBack12, and the dispatcher and C API version XLCALL32
// forwards to.

#include "HostEntryPoints.h"
#include "ExcelStandIn.h"

#if defined(_WIN32)
#define XLHOST_EXPORT __declspec(dllexport)
#else
#define XLHOST_EXPORT __attribute__((visibility("default")))
#endif

extern "C" {

XLHOST_EXPORT int XlHostExcel4Dispatch(int entry, int xlfn, XLOPER* result, int count, XLOPER** argv) {
    xlhost::ExcelStandIn* host = xlhost::ExcelStandIn::current();
    if (host == nullptr) return xlretFailed;
    return host->excel4(static_cast<xlhost::Entry>(entry), xlfn, result, count, argv);
}

XLHOST_EXPORT int XlHostCallVersion() {
    const xlhost::ExcelStandIn* host = xlhost::ExcelStandIn::current();
    return host == nullptr ? 0 : host->callVersion();
}

XLHOST_EXPORT int XLCALL_STDCALL MdCallBack12(int xlfn, int count, XLOPER12** argv, XLOPER12* result) {
    xlhost::ExcelStandIn* host = xlhost::ExcelStandIn::current();
    if (host == nullptr) return xlretFailed;
    return host->excel12(xlhost::Entry::MdCallBack12, xlfn, result, count, argv);
}

}  // extern "C"
