#ifndef SRC_XLOPENCLOSE_H
#define SRC_XLOPENCLOSE_H

#include "Win32StreamBuf.h"
#include "XlCall.h"
#include "XlExport.h"

extern "C" {
// Excel calls this when it opens the add-in: diagnostics go to the debugger, the add-in's folder
// is appended to "Path", and every pending function is registered. 1 on success, 0 when anything
// on the way threw; nothing is thrown into Excel.
ZEP_EXPORT int XLCALL_STDCALL xlAutoOpen();
// Excel calls this when it closes the add-in: the host connection goes, std::cerr gets back the
// buffer xlAutoOpen took from it. Always 1.
ZEP_EXPORT int XLCALL_STDCALL xlAutoClose();
}

namespace zep {

// The library's one debugger stream buffer, built on first use. The pending list builds it right
// after itself, so it is built at load, with the first registrar, and destroyed before the list.
Win32StreamBuf& DebuggerStreamBuffer();

}  // namespace zep

#endif
