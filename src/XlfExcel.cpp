#include "XlfExcel.h"

#include "Win32StreamBuf.h"
#include "WinApi.h"
#include "XlfException.h"
#include "XlfOper.h"
#include "XlfOperImpl12.h"
#include "XlfOperImpl4.h"

#include <algorithm>
#include <array>
#include <stdexcept>

namespace zep {

namespace {

// Process-wide: they outlive a connection, as the library they come from is never unloaded.
XlfExcel* current = nullptr;
Excel4Function excel4 = nullptr;
Excel4vFunction excel4v = nullptr;
// Atomic: calculation threads may look it up at the same time.
std::atomic<MdCallBack12Function> mdCallBack12{nullptr};
std::atomic<std::uint64_t> connectionSerials{0};

// How deep this thread is in thread-safe calls, and its arena with the connection that owns it.
thread_local unsigned threadSafeCallDepth = 0;
thread_local TempArena* threadArena = nullptr;
thread_local std::uint64_t threadArenaOwner = 0;

constexpr int maxArguments = 255;  // Excel 12's limit; Excel 4 refuses more than 30 itself
constexpr LCID englishUnitedStates = 1033;

template <typename Function>
Function EntryPoint(HMODULE module, const char* name) {
    // Through void (*)(), the one function-pointer type GCC lets stand for any other.
    return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(GetProcAddress(module, name)));
}

// Version 12 and every later one (Excel 2010 is 14, 2013 15, 2016 to 365 16) select the Excel 12
// interface; a version text that cannot be read as a number counts as an older Excel.
bool DetectExcel12() {
    XLOPER workspaceItem{};
    workspaceItem.xltype = xltypeInt;
    workspaceItem.val.w = 2;  // the version text
    XLOPER versionText{};
    if (excel4(xlfGetWorkspace, &versionText, 1, &workspaceItem) != xlretSuccess) return 0;
    XLOPER wantedType{};
    wantedType.xltype = xltypeInt;
    wantedType.val.w = static_cast<std::int16_t>(xltypeInt);
    XLOPER version{};
    const int coerced = excel4(xlCoerce, &version, 2, &versionText, &wantedType);
    excel4(xlFree, nullptr, 1, &versionText);
    return coerced == xlretSuccess && version.xltype == xltypeInt && version.val.w >= 12;
}

// Made current by every connection, not only by the first to meet its version: a process may
// meet Excel 12, then Excel 4, then Excel 12 again.
void MakeValueStrategyCurrent(bool excel12) {
    static const XlfOperImpl12 excel12Strategy;
    static const XlfOperImpl4 excel4Strategy;
    if (excel12)
        excel12Strategy.MakeCurrent();
    else
        excel4Strategy.MakeCurrent();
}

// Big data carries the text bit, so this covers text, references, arrays and big data.
constexpr std::uint32_t hostAllocatedTypes = xltypeStr | xltypeRef | xltypeMulti;

template <typename Record>
int MarkHostOwned(int code, Record* result) {
    // A failed call leaves the result as it was: whatever it holds is not Excel's to take back.
    if (code == xlretSuccess && result != nullptr && (result->xltype & hostAllocatedTypes) != 0)
        result->xltype = static_cast<decltype(result->xltype)>(result->xltype | xlbitHostOwned);
    return code;
}

// Excel's entries take arrays of their own record type.
template <typename Record>
std::array<Record*, maxArguments> TypedArguments(int count, void* const argv[]) {
    std::array<Record*, maxArguments> records{};
    std::transform(argv, argv + count, records.begin(), [](void* record) { return static_cast<Record*>(record); });
    return records;
}

// Within a thread-safe call, what Excel would refuse (or worse) fails before it is asked.
void RefuseUnsafeCall(int xlfn) {
    if (threadSafeCallDepth > 0 && !XlfExcel::ThreadSafeCallMayCall(xlfn)) throw XlfThreadUnsafeCall(xlfn, false);
}

int RefuseUnsafeAnswer(int xlfn, int code) {
    if (code == xlretNotThreadSafe && threadSafeCallDepth > 0) throw XlfThreadUnsafeCall(xlfn, true);
    return code;
}

struct WizardSearch {
    WORD excelWindow;
    bool found;
};

BOOL CALLBACK FindWizardWindow(HWND window, LPARAM searchAddress) {
    static const char wizardClass[] = "bosa_sdm_XL";
    const int wizardLength = static_cast<int>(sizeof wizardClass) - 1;
    char className[50] = {};
    GetClassNameA(window, className, static_cast<int>(sizeof className));
    // The class name goes on with a version digit; compare only its beginning.
    const int comparedLength = std::min(lstrlenA(className), wizardLength);
    if (CompareStringA(englishUnitedStates, NORM_IGNORECASE, className, comparedLength, wizardClass, wizardLength) !=
        CSTR_EQUAL)
        return TRUE;
    WizardSearch& search = *reinterpret_cast<WizardSearch*>(searchAddress);
    // Excel gives only the low 16 bits of its window handle.
    if (LOWORD(GetParent(window)) != search.excelWindow) return TRUE;
    search.found = true;
    return FALSE;
}

}  // namespace

struct XlfExcel::HostLibrary {
    HMODULE module = nullptr;  // set once every entry point is loaded
};

namespace {

// How deep this thread holds "zep_mutex": a nested take must not wait on the kernel again, and
// another thread must still wait. There is one connection at a time, so one count per thread.
thread_local unsigned tempLockDepth = 0;

}  // namespace

void XlfExcel::TakeTempLock() {
    if (tempLockDepth > 0) {
        ++tempLockDepth;
        return;
    }
    // The connection opens the named mutex once and keeps it open.
    if (tempMutex_ == nullptr) tempMutex_ = CreateMutexA(nullptr, FALSE, "zep_mutex");
    if (tempMutex_ == nullptr) throw std::runtime_error("Could not open the lock zep_mutex");
    // WAIT_ABANDONED: the last holder died holding the lock; it is ours now all the same.
    const DWORD waited = WaitForSingleObject(tempMutex_, INFINITE);
    if (waited != WAIT_OBJECT_0 && waited != WAIT_ABANDONED)
        throw std::runtime_error("Could not take the lock zep_mutex");
    ++lockAcquisitions_;
    tempLockDepth = 1;
}

void XlfExcel::GiveBackTempLock() {
    if (--tempLockDepth == 0) ReleaseMutex(tempMutex_);
}

XlfExcel::TempLockHold::TempLockHold(XlfExcel& excel) : excel_(excel) {
    excel_.TakeTempLock();
}

XlfExcel::TempLockHold::~TempLockHold() {
    excel_.GiveBackTempLock();
}

XlfExcel& XlfExcel::Current() {
    if (current == nullptr) {
        current = new XlfExcel();
        current->LoadCallbacks();
    }
    return *current;
}

void XlfExcel::DeleteCurrent() {
    delete current;
}

XlfExcel::XlfExcel() : serial_(++connectionSerials), library_(new HostLibrary()) {}

XlfExcel::~XlfExcel() {
    try {
        ReleaseTemp(true);
    } catch (const std::runtime_error&) {
        // Without the lock the blocks are still freed with the object; a destructor must not throw.
    }
    library_.reset();
    if (current == this) current = nullptr;
    if (tempMutex_ != nullptr) CloseHandle(tempMutex_);
}

void XlfExcel::LoadCallbacks() {
    // A failed load leaves no entry points behind, so calls are refused rather than misdirected.
    excel4 = nullptr;
    excel4v = nullptr;
    const HMODULE module = LoadLibraryA("XLCALL32.DLL");
    if (module == nullptr) throw std::runtime_error("Could not load library XLCALL32.DLL");
    const auto loadedExcel4 = EntryPoint<Excel4Function>(module, "Excel4");
    if (loadedExcel4 == nullptr) throw std::runtime_error("Could not get address of Excel4 callback");
    const auto loadedExcel4v = EntryPoint<Excel4vFunction>(module, "Excel4v");
    if (loadedExcel4v == nullptr) throw std::runtime_error("Could not get address of Excel4v callback");
    excel4 = loadedExcel4;
    excel4v = loadedExcel4v;

    excel12_ = DetectExcel12();
    operTypeCode_ = excel12_ ? "Q" : "P";
    xloperTypeCode_ = excel12_ ? "U" : "R";
    wideStringTypeCode_ = excel12_ ? "C%" : "C";
    MakeValueStrategyCurrent(excel12_);
    library_->module = module;
}

bool XlfExcel::IsExcel12() const {
    return excel12_;
}

int XlfExcel::CallHostv(int xlfn, void* result, int count, void* const argv[]) {
    if (count < 0 || count > maxArguments || (count > 0 && argv == nullptr)) return xlretInvCount;
    if (excel12_) {
        auto records = TypedArguments<XLOPER12>(count, argv);
        return CallExcel12v(xlfn, static_cast<XLOPER12*>(result), count, records.data());
    }
    auto records = TypedArguments<XLOPER>(count, argv);
    return CallExcel4v(xlfn, static_cast<XLOPER*>(result), count, records.data());
}

int XlfExcel::CallExcel4v(int xlfn, XLOPER* result, int count, XLOPER* argv[]) {
    RefuseUnsafeCall(xlfn);
    if (library_->module == nullptr) return xlretFailed;
    return RefuseUnsafeAnswer(xlfn, MarkHostOwned(excel4v(xlfn, result, count, argv), result));
}

int XlfExcel::CallExcel12v(int xlfn, XLOPER12* result, int count, XLOPER12* argv[]) {
    RefuseUnsafeCall(xlfn);
    if (library_->module == nullptr) return xlretFailed;
    // Looked up again while missing: an Excel 12 host exports it from its main program.
    MdCallBack12Function entry = mdCallBack12.load(std::memory_order_relaxed);
    if (entry == nullptr) {
        entry = EntryPoint<MdCallBack12Function>(GetModuleHandleA(nullptr), "MdCallBack12");
        mdCallBack12.store(entry, std::memory_order_relaxed);
    }
    if (entry == nullptr) return xlretFailed;
    return RefuseUnsafeAnswer(xlfn, MarkHostOwned(entry(xlfn, count, argv, result), result));
}

bool XlfExcel::InFunctionWizard() const {
    if (library_->module == nullptr || std::this_thread::get_id() != mainThread_) return false;
    XLOPER window{};
    if (excel4(xlGetHwnd, &window, 0) != xlretSuccess || window.xltype != xltypeInt) return false;
    WizardSearch search{static_cast<WORD>(window.val.w), false};
    EnumWindows(FindWizardWindow, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

void* XlfExcel::TempAlloc(std::size_t bytes) {
    if (threadSafeCallDepth > 0) return ThreadArena().Allocate(bytes);
    const TempLockHold lock(*this);
    return shared_.Allocate(bytes);
}

void XlfExcel::ReleaseTemp(bool all) {
    if (threadSafeCallDepth > 0) return ThreadArena().Release(all);
    const TempLockHold lock(*this);
    shared_.Release(all);
}

std::vector<XlfExcel::TempBlockView> XlfExcel::TempBlocks() const {
    if (threadSafeCallDepth > 0 && threadArenaOwner == serial_) return threadArena->Blocks();
    return shared_.Blocks();
}

TempArena& XlfExcel::ThreadArena() {
    if (threadArenaOwner != serial_) {
        auto arena = std::make_unique<TempArena>();
        while (threadArenasLock_.test_and_set(std::memory_order_acquire)) {
        }
        threadArenas_.push_back(std::move(arena));
        threadArena = threadArenas_.back().get();
        threadArenasLock_.clear(std::memory_order_release);
        threadArenaOwner = serial_;
    }
    return *threadArena;
}

XlfExcel::ThreadSafeCall::ThreadSafeCall(XlfExcel& excel) {
    if (threadSafeCallDepth == 0) excel.ThreadArena().Release(false);
    ++threadSafeCallDepth;
}

XlfExcel::ThreadSafeCall::~ThreadSafeCall() {
    --threadSafeCallDepth;
}

bool XlfExcel::InThreadSafeCall() {
    return threadSafeCallDepth > 0;
}

bool XlfExcel::ThreadSafeCallMayCall(int xlfn) {
    if ((xlfn & xlCommand) != 0) return false;
    if ((xlfn & xlSpecial) != 0) return xlfn != xlSet;
    switch (xlfn) {
        case xlfSetName:
        case xlfRegister:
        case xlfUnregister:
        case xlfAddMenu:
        case xlfDeleteMenu:
        case xlfAddToolbar:
        case xlfDeleteToolbar:
        case xlfGetFormula:
        case xlfGetName:
        case xlfGetDef:
        case xlfGetBar:
        case xlfGetCell:
        case xlfGetWorkspace:
        case xlfGetWindow:
        case xlfGetDocument:
        case xlfGetNote:
        case xlfGetToolbar:
        case xlfGetTool:
        case xlfGetWorkbook:
            return false;
        default:
            return true;
    }
}

void XlfExcel::ShowStatus(const char* text) {
    // A status text that does not show is no failure of the caller's: the code is ignored.
    if (text != nullptr)
        CallHost(xlcMessage, nullptr, XlfOper(true).Pointer(), XlfOper(text).Pointer());
    else
        CallHost(xlcMessage, nullptr, XlfOper(false).Pointer());
}

std::string XlfExcel::LibraryName() {
    XlfOper name;  // Excel's text goes back through xlFree when the handle goes
    if (CallHost(xlGetName, name.Pointer()) != xlretSuccess) {
        DiagnosticLine(sites::xlfExcelNoLibraryName) << "Could not get DLL name" << std::endl;
        return std::string();
    }
    return name.ReadCString();
}

std::string XlfExcel::OperTypeCode() const {
    return operTypeCode_;
}

std::string XlfExcel::XloperTypeCode() const {
    return xloperTypeCode_;
}

std::string XlfExcel::WideStringTypeCode() const {
    return wideStringTypeCode_;
}

}  // namespace zep
