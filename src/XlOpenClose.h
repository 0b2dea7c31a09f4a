#ifndef SRC_XLOPENCLOSE_H
#define SRC_XLOPENCLOSE_H

#include "Win32StreamBuf.h"
#include "XlCall.h"
#include "XlExport.h"

extern "C" {
// Excel calls this when it opens the add-in: diagnostics go to the debugger, the add-in's folder
// is appended to "Path", every pending function and command is registered, the declared menus
// are added and the add-in's open blocks run. 1 on success, 0 when anything on the way threw;
// nothing is thrown into Excel.
ZEP_EXPORT int XLCALL_STDCALL xlAutoOpen();
// Excel calls this when it closes the add-in: after an open, the add-in's close blocks run and
// its menus go; then the host connection goes, and std::cerr gets back the buffer xlAutoOpen took
// from it. Always 1.
ZEP_EXPORT int XLCALL_STDCALL xlAutoClose();

// Excel's Add-in Manager asks for the name it lists the add-in under: with an action that is, or
// Excel coerces to, the number 1 the answer is the name the add-in declared (ZEP_ADDIN_NAME),
// otherwise, or when it declared none, #VALUE!. Excel 2007 and later call the 12 form and read
// its answer as an XLOPER12 whichever layout the worksheet functions speak; older versions call
// the other and read an XLOPER. The answer lives in the temporary memory like every worksheet
// result; null when even that cannot be had.
ZEP_EXPORT XLOPER* XLCALL_STDCALL xlAddInManagerInfo(XLOPER* action);
ZEP_EXPORT XLOPER12* XLCALL_STDCALL xlAddInManagerInfo12(XLOPER12* action);
}

namespace zep {

// The library's one debugger stream buffer, built on first use. The pending list builds it right
// after itself, so it is built at load, with the first registrar, and destroyed before the list.
Win32StreamBuf& DebuggerStreamBuffer();

}  // namespace zep

#endif
