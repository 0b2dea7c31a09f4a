#ifndef HOST_FUNCTIONNUMBERS_H
#define HOST_FUNCTIONNUMBERS_H

// Numbers of the Excel functions the stand-in answers beyond those the framework calls (which
// XlCall.h declares): the XLL-only special functions, the XLM functions add-ins commonly call,
// and the code LPenHelper takes. From Excel's published function numbering.

#include "XlCall.h"

namespace xlhost {

constexpr int xlStack = 1 | xlSpecial;
constexpr int xlSet = 3 | xlSpecial;
constexpr int xlSheetId = 4 | xlSpecial;
constexpr int xlSheetNm = 5 | xlSpecial;
constexpr int xlAbort = 6 | xlSpecial;
constexpr int xlGetInst = 7 | xlSpecial;
constexpr int xlEnableXLMsgs = 10 | xlSpecial;
constexpr int xlDisableXLMsgs = 11 | xlSpecial;
constexpr int xlGetFmlaInfo = 14 | xlSpecial;
constexpr int xlGetInstPtr = 19 | xlSpecial;
constexpr int xlUDF = 255;

constexpr int xlfSetName = 88;
constexpr int xlfCaller = 89;
constexpr int xlfAddMenu = 152;
constexpr int xlfDeleteMenu = 158;
constexpr int xlfGetBar = 182;
constexpr int xlfGetDocument = 188;
constexpr int xlfAddToolbar = 253;
constexpr int xlfDeleteToolbar = 254;
constexpr int xlfEvaluate = 257;
constexpr int xlfGetToolbar = 258;

constexpr int xlcAlert = 118 | xlCommand;

}  // namespace xlhost

#endif
