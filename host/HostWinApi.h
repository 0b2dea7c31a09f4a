#ifndef HOST_HOSTWINAPI_H
#define HOST_HOSTWINAPI_H

// The Windows API for the stand-in Excel: the real one on Windows, the platform stand-in elsewhere,
// so that host code is the same on both.
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
