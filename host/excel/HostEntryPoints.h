#ifndef HOST_HOSTENTRYPOINTS_H
#define HOST_HOSTENTRYPOINTS_H

// The doors into the stand-in Excel. XLCALL32 (Excel4, Excel4v, XLCallVer, LPenHelper) finds the
// host program's Excel 4 dispatcher and its C API version by these names in the main program; an
// add-in finds MdCallBack12 there itself. Shared by the host and XLCALL32, which must not link the host.

#include "XlCall.h"

namespace xlhost {

enum class Entry : int {
    Excel4 = 0,        // XLCALL32's variadic export
    Excel4v = 1,       // XLCALL32's array export
    MdCallBack12 = 2,  // the host program's Excel 12 export
    Direct = 3,        // a test or the command-line host calling the model itself
    LPenHelper = 4,    // XLCALL32's helper for Excel's formula editing, with its code as the function
};

}  // namespace xlhost

#define XLHOST_EXCEL4_DISPATCHER "XlHostExcel4Dispatch"
#define XLHOST_CALL_VERSION "XlHostCallVersion"

extern "C" {
typedef int (*XlHostExcel4DispatchFunction)(int entry, int xlfn, XLOPER* result, int count, XLOPER** argv);
typedef int (*XlHostCallVersionFunction)();
}

#endif
