#include "XlfExcel.h"

#include "Win32StreamBuf.h"
#include "WinApi.h"
#include "XlfOper.h"
#include "XlfOperImpl12.h"
#include "XlfOperImpl4.h"

#include <algorithm>
#include <array>
#include <new>
#include <stdexcept>

namespace zep {

namespace {

// Process-wide: they outlive a connection, as the library they come from is never unloaded.
XlfExcel* current = nullptr;
Excel4Function excel4 = nullptr;
Excel4vFunction excel4v = nullptr;
MdCallBack12Function mdCallBack12 = nullptr;

constexpr std::uint32_t firstTempBlockSize = 8192;
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
    if (excel4(xlfGetWorkspace, &versionText, 1, &workspaceItem) != xlretSuccess) return false;
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

XlfExcel::XlfExcel() : library_(new HostLibrary()) {}

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
    if (library_->module == nullptr) return xlretFailed;
    return MarkHostOwned(excel4v(xlfn, result, count, argv), result);
}

int XlfExcel::CallExcel12v(int xlfn, XLOPER12* result, int count, XLOPER12* argv[]) {
    if (library_->module == nullptr) return xlretFailed;
    // Looked up again while missing: an Excel 12 host exports it from its main program.
    if (mdCallBack12 == nullptr) {
        mdCallBack12 = EntryPoint<MdCallBack12Function>(GetModuleHandleA(nullptr), "MdCallBack12");
    }
    if (mdCallBack12 == nullptr) return xlretFailed;
    return MarkHostOwned(mdCallBack12(xlfn, count, argv, result), result);
}

bool XlfExcel::InFunctionWizard() const {
    if (library_->module == nullptr) return false;
    XLOPER window{};
    if (excel4(xlGetHwnd, &window, 0) != xlretSuccess || window.xltype != xltypeInt) return false;
    WizardSearch search{static_cast<WORD>(window.val.w), false};
    EnumWindows(FindWizardWindow, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

namespace {

std::uint64_t GrownSize(std::uint64_t size) {
    return size + size / 2;  // size × 1.5, truncated
}

// Every allocation starts on an 8-byte boundary: records hold doubles and pointers, and a text
// body of odd length must not misalign the record carved out after it. Excel never sees where
// in a block a record lies, only the record.
constexpr std::uint64_t allocationAlignment = 8;

std::uint64_t AlignedOffset(std::uint64_t offset) {
    return (offset + allocationAlignment - 1) & ~(allocationAlignment - 1);
}

}  // namespace

void* XlfExcel::TempAlloc(std::size_t bytes) {
    const TempLockHold lock(*this);
    if (blocks_.empty()) PushTempBlock(firstTempBlockSize);
    // Growth follows the front block, not the request. Find where it ends before adding blocks,
    // so that a request no 32-bit block can hold adds none. A request fits strictly inside.
    std::uint64_t size = blocks_.front().size;
    std::uint64_t used = AlignedOffset(offset_);
    while (used >= size || bytes >= size - used) {
        size = GrownSize(size);
        used = 0;
        if (size > UINT32_MAX) throw std::bad_alloc();
    }
    std::uint64_t start = AlignedOffset(offset_);
    while (start >= blocks_.front().size || bytes >= blocks_.front().size - start) {
        PushTempBlock(static_cast<std::uint32_t>(GrownSize(blocks_.front().size)));
        start = 0;
    }
    offset_ = static_cast<std::uint32_t>(start + bytes);
    return blocks_.front().start.get() + start;
}

void XlfExcel::PushTempBlock(std::uint32_t size) {
    blocks_.push_front(TempBlock{size, std::unique_ptr<unsigned char[]>(new unsigned char[size])});
    offset_ = 0;
}

void XlfExcel::ReleaseTemp(bool all) {
    const TempLockHold lock(*this);
    const std::size_t kept = all ? 0 : 1;
    while (blocks_.size() > kept) blocks_.pop_back();
    offset_ = 0;
}

std::vector<XlfExcel::TempBlockView> XlfExcel::TempBlocks() const {
    std::vector<TempBlockView> views;
    for (const TempBlock& block : blocks_) views.push_back(TempBlockView{block.size, block.start.get()});
    return views;
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
