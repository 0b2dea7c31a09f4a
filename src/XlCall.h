#ifndef SRC_XLCALL_H
#define SRC_XLCALL_H

// Excel's C interface as this project uses it: the value records of the Excel 4 layout (XLOPER)
// and the Excel 12 layout (XLOPER12), their reference lists, the type bits, error and return codes,
// and the numbers of the Excel functions called. Written from Excel's published record layouts.
// Shared by the framework and the stand-in Excel; it includes nothing of either.

#include <cstddef>
#include <cstdint>

// Excel 12 text is 16-bit units. On Windows that is wchar_t; elsewhere wchar_t has 32 bits.
#if defined(_WIN32)
typedef wchar_t XCHAR;
#else
typedef char16_t XCHAR;
#endif

// Calling convention of Excel's callbacks and of the add-in's exports on 32-bit Windows.
#if defined(_WIN32) && !defined(_WIN64)
#define XLCALL_STDCALL __stdcall
#else
#define XLCALL_STDCALL
#endif

// ---- Excel 4 layout -------------------------------------------------------------------------

struct XLREF {
    std::uint16_t rwFirst;
    std::uint16_t rwLast;
    std::uint8_t colFirst;
    std::uint8_t colLast;
};

struct XLMREF {
    std::uint16_t count;
    XLREF reftbl[1];  // count areas follow in Excel's memory
};

// A sheet's id: pointer-sized in both layouts (Windows' DWORD_PTR), so a 64-bit add-in reads all
// eight bytes of it.
typedef std::uintptr_t IDSHEET;

struct XLOPER {
    union {
        double num;
        char* str;  // first byte is the count, read as unsigned; no terminator required
        std::uint16_t xbool;
        std::uint16_t err;
        std::int16_t w;
        struct {
            std::uint16_t count;
            XLREF ref;
        } sref;
        struct {
            XLMREF* lpmref;
            IDSHEET idSheet;
        } mref;
        struct {
            XLOPER* lparray;
            std::uint16_t rows;
            std::uint16_t columns;
        } array;
        struct {
            union {
                std::int16_t level;
                std::int16_t tbctrl;
                IDSHEET idSheet;
            } valflow;
            std::uint16_t rw;
            std::uint8_t col;
            std::uint8_t xlflow;
        } flow;
        struct {
            union {
                std::uint8_t* lpbData;
                void* hdata;
            } h;
            std::int32_t cbData;
        } bigdata;
    } val;
    std::uint16_t xltype;
};

// ---- Excel 12 layout ------------------------------------------------------------------------

struct XLREF12 {
    std::int32_t rwFirst;
    std::int32_t rwLast;
    std::int32_t colFirst;
    std::int32_t colLast;
};

struct XLMREF12 {
    std::uint16_t count;
    XLREF12 reftbl[1];
};

struct XLOPER12 {
    union {
        double num;
        XCHAR* str;  // first unit is the count; no terminator required
        std::int32_t xbool;
        std::int32_t err;
        std::int32_t w;
        struct {
            std::uint16_t count;
            XLREF12 ref;
        } sref;
        struct {
            XLMREF12* lpmref;
            IDSHEET idSheet;
        } mref;
        struct {
            XLOPER12* lparray;
            std::int32_t rows;
            std::int32_t columns;
        } array;
        struct {
            union {
                std::int32_t level;
                std::int32_t tbctrl;
                IDSHEET idSheet;
            } valflow;
            std::int32_t rw;
            std::int32_t col;
            std::uint8_t xlflow;
        } flow;
        struct {
            union {
                std::uint8_t* lpbData;
                void* hdata;
            } h;
            std::int32_t cbData;
        } bigdata;
    } val;
    std::uint32_t xltype;
};

// ---- Type bits ------------------------------------------------------------------------------

constexpr std::uint32_t xltypeNum = 0x0001;
constexpr std::uint32_t xltypeStr = 0x0002;
constexpr std::uint32_t xltypeBool = 0x0004;
constexpr std::uint32_t xltypeRef = 0x0008;
constexpr std::uint32_t xltypeErr = 0x0010;
constexpr std::uint32_t xltypeFlow = 0x0020;
constexpr std::uint32_t xltypeMulti = 0x0040;
constexpr std::uint32_t xltypeMissing = 0x0080;
constexpr std::uint32_t xltypeNil = 0x0100;
constexpr std::uint32_t xltypeSRef = 0x0400;
constexpr std::uint32_t xltypeInt = 0x0800;
constexpr std::uint32_t xltypeBigData = xltypeStr | xltypeInt;

constexpr std::uint32_t xlbitXLFree = 0x1000;
constexpr std::uint32_t xlbitDLLFree = 0x4000;

// ---- Error values ---------------------------------------------------------------------------

constexpr int xlerrNull = 0;
constexpr int xlerrDiv0 = 7;
constexpr int xlerrValue = 15;
constexpr int xlerrRef = 23;
constexpr int xlerrName = 29;
constexpr int xlerrNum = 36;
constexpr int xlerrNA = 42;
constexpr int xlerrGettingData = 43;

// ---- Return codes of calls into Excel -------------------------------------------------------

constexpr int xlretSuccess = 0;
constexpr int xlretAbort = 1;
constexpr int xlretInvXlfn = 2;
constexpr int xlretInvCount = 4;
constexpr int xlretInvXloper = 8;
constexpr int xlretStackOvfl = 16;
constexpr int xlretFailed = 32;
constexpr int xlretUncalced = 64;
constexpr int xlretNotThreadSafe = 128;  // a thread-safe function asked for what only the main thread may do

// ---- Function numbers -----------------------------------------------------------------------

constexpr int xlCommand = 0x8000;
constexpr int xlSpecial = 0x4000;

// The functions only an XLL can call.
constexpr int xlFree = 0 | xlSpecial;
constexpr int xlStack = 1 | xlSpecial;
constexpr int xlCoerce = 2 | xlSpecial;
constexpr int xlSet = 3 | xlSpecial;
constexpr int xlSheetId = 4 | xlSpecial;
constexpr int xlSheetNm = 5 | xlSpecial;
constexpr int xlAbort = 6 | xlSpecial;
constexpr int xlGetInst = 7 | xlSpecial;
constexpr int xlGetHwnd = 8 | xlSpecial;
constexpr int xlGetName = 9 | xlSpecial;
constexpr int xlEnableXLMsgs = 10 | xlSpecial;
constexpr int xlDisableXLMsgs = 11 | xlSpecial;
constexpr int xlGetFmlaInfo = 14 | xlSpecial;
constexpr int xlAsyncReturn = 16 | xlSpecial;
constexpr int xlGetInstPtr = 19 | xlSpecial;
constexpr int xlUDF = 255;

// Worksheet and macro-sheet functions add-ins commonly call.
constexpr int xlfSetName = 88;
constexpr int xlfCaller = 89;
constexpr int xlfGetFormula = 106;
constexpr int xlfGetName = 107;
constexpr int xlfGetDef = 145;
constexpr int xlfRegister = 149;
constexpr int xlfAddMenu = 152;
constexpr int xlfDeleteMenu = 158;
constexpr int xlfGetBar = 182;
constexpr int xlfGetCell = 185;
constexpr int xlfGetWorkspace = 186;
constexpr int xlfGetWindow = 187;
constexpr int xlfGetDocument = 188;
constexpr int xlfGetNote = 191;
constexpr int xlfUnregister = 201;
constexpr int xlfAddToolbar = 253;
constexpr int xlfDeleteToolbar = 254;
constexpr int xlfEvaluate = 257;
constexpr int xlfGetToolbar = 258;
constexpr int xlfGetTool = 259;
constexpr int xlfGetWorkbook = 268;

// Commands.
constexpr int xlcAlert = 118 | xlCommand;
constexpr int xlcMessage = 122 | xlCommand;

// ---- Entry points ---------------------------------------------------------------------------

// Excel4 is cdecl and variadic; Excel4v and MdCallBack12 are stdcall on 32-bit Windows.
typedef int (*Excel4Function)(int xlfn, XLOPER* result, int count, ...);
typedef int(XLCALL_STDCALL* Excel4vFunction)(int xlfn, XLOPER* result, int count, XLOPER* argv[]);
typedef int(XLCALL_STDCALL* MdCallBack12Function)(int xlfn, int count, XLOPER12* argv[], XLOPER12* result);

// ---- The layouts Excel's binary interface fixes ---------------------------------------------

static_assert(sizeof(XLREF) == 6, "XLREF: two 16-bit rows, two 8-bit columns");
static_assert(sizeof(XLMREF) == 8, "one-area XLMREF");
static_assert(sizeof(XLREF12) == 16, "XLREF12: four 32-bit fields");
static_assert(sizeof(XLMREF12) == 20, "one-area XLMREF12");
static_assert(offsetof(XLMREF12, reftbl) == 4, "XLMREF12 areas start after the padded count");
static_assert(sizeof(XLOPER12) == 32, "XLOPER12 is 32 bytes in both widths");
static_assert(offsetof(XLOPER12, xltype) == 24, "XLOPER12 type word at byte 24");
static_assert(sizeof(XLOPER12::xltype) == 4, "XLOPER12 type word has 32 bits");
static_assert(sizeof(XLOPER::xltype) == 2, "XLOPER type word has 16 bits");
static_assert(sizeof(XCHAR) == 2, "Excel 12 text is 16-bit units");
#if UINTPTR_MAX == 0xFFFFFFFFu
static_assert(sizeof(XLOPER) == 16, "32-bit XLOPER is 16 bytes");
static_assert(offsetof(XLOPER, xltype) == 8, "32-bit XLOPER type word at byte 8");
static_assert(offsetof(XLOPER, val.array.rows) == 4 && offsetof(XLOPER, val.array.columns) == 6,
              "32-bit XLOPER array counts follow the element pointer");
static_assert(offsetof(XLOPER, val.mref.idSheet) == 4, "32-bit XLOPER sheet id follows the list pointer");
static_assert(offsetof(XLOPER12, val.array.rows) == 4 && offsetof(XLOPER12, val.array.columns) == 8,
              "32-bit XLOPER12 array counts follow the element pointer");
#else
static_assert(sizeof(XLOPER) == 24, "64-bit XLOPER is 24 bytes");
static_assert(offsetof(XLOPER, xltype) == 16, "64-bit XLOPER type word at byte 16");
static_assert(offsetof(XLOPER, val.array.rows) == 8 && offsetof(XLOPER, val.array.columns) == 10,
              "64-bit XLOPER array counts follow the element pointer");
static_assert(offsetof(XLOPER, val.mref.idSheet) == 8, "64-bit XLOPER sheet id follows the list pointer");
static_assert(offsetof(XLOPER12, val.array.rows) == 8 && offsetof(XLOPER12, val.array.columns) == 12,
              "64-bit XLOPER12 array counts follow the element pointer");
#endif

#endif
