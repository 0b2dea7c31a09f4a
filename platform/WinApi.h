#ifndef PLATFORM_WINAPI_H
#define PLATFORM_WINAPI_H

// The one way project code (the framework and the stand-in Excel alike) reaches the Windows API:
// the real one on Windows, the stand-in library (platform/) with the same names and semantics
// elsewhere.
#ifdef _WIN32
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#else
#include "WindowsStandIn.h"
#endif

#endif
