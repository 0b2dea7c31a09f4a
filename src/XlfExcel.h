#ifndef SRC_XLFEXCEL_H
#define SRC_XLFEXCEL_H

#include "TempArena.h"
#include "XlCall.h"

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <thread>
#include <type_traits>
#include <vector>

namespace zep {

// Marks a record whose memory Excel allocated in the result of a call: whoever releases the
// record must give it back with xlFree. Lies outside every type and flag bit Excel defines.
constexpr std::uint32_t xlbitHostOwned = 0x8000;

// The add-in's one connection to Excel: finds Excel's entry points, tells Excel 4 from Excel 12,
// carries every call into Excel, recognises calls from the function wizard and hands out the
// temporary memory that values passed to Excel live in.
class XlfExcel {
public:
    // Creates the connection and loads Excel's entry points on first use. A failed load throws
    // std::runtime_error; the connection then stays current without entry points, and every call
    // into Excel returns xlretFailed.
    static XlfExcel& Current();
    // Deletes the current connection if there is one; never creates one.
    static void DeleteCurrent();

    XlfExcel(const XlfExcel&) = delete;
    XlfExcel& operator=(const XlfExcel&) = delete;
    ~XlfExcel();

    bool IsExcel12() const;

    // Calls Excel through the entry of the detected version; argv holds XLOPER or XLOPER12
    // pointers to match. The return code is passed back unchanged.
    int CallHostv(int xlfn, void* result, int count, void* const argv[]);
    template <typename... Records>
    int CallHost(int xlfn, void* result, Records*... args);

    // Calls Excel4v / the Excel 12 entry. A successful result holding text, a reference, an array
    // or big data gets xlbitHostOwned. A missing entry point gives xlretFailed. Within a
    // thread-safe call, a function Excel runs only on its main thread (see ThreadSafeCallMayCall),
    // and any call Excel answers with xlretNotThreadSafe, throw XlfThreadUnsafeCall.
    int CallExcel4v(int xlfn, XLOPER* result, int count, XLOPER* argv[]);
    int CallExcel12v(int xlfn, XLOPER12* result, int count, XLOPER12* argv[]);

    // True while a function-wizard window of this Excel is open. Only Excel's main thread (the one
    // that made the connection, in xlAutoOpen) calculates for the wizard: on a calculation thread
    // the answer is false without asking Windows, whose window list is one lock for every thread.
    bool InFunctionWizard() const;

    // Temporary memory (see TempArena), valid until the next ReleaseTemp. Outside a thread-safe
    // call it comes from the arena every thread shares, under "zep_mutex"; within one, from the
    // calling thread's own arena, without any lock.
    void* TempAlloc(std::size_t bytes);
    // Keeps only the newest block (all = false) or none, of the arena TempAlloc uses now.
    void ReleaseTemp(bool all);

    using TempBlockView = TempArena::BlockView;
    std::vector<TempBlockView> TempBlocks() const;

    // Marks the calls of the thread that builds it as one thread-safe call for as long as it
    // lives. The outermost one of a thread releases the thread's arena, which holds the result
    // of the thread's previous thread-safe call: Excel has copied that result before it makes the
    // thread's next call. A nested one (xlUDF back into this add-in) keeps the caller's memory.
    class ThreadSafeCall {
    public:
        explicit ThreadSafeCall(XlfExcel& excel);
        ~ThreadSafeCall();
        ThreadSafeCall(const ThreadSafeCall&) = delete;
        ThreadSafeCall& operator=(const ThreadSafeCall&) = delete;
    };
    static bool InThreadSafeCall();
    // Whether a thread-safe function may ask Excel for xlfn: the C API's own functions but xlSet,
    // and worksheet functions; not commands, nor the macro-sheet functions that read or change
    // Excel's state (names, registrations, menus and toolbars, the GET.* information functions).
    // xlUDF and xlfEvaluate pass: whether their target is thread-safe is Excel's to say.
    static bool ThreadSafeCallMayCall(int xlfn);

    // Holds "zep_mutex" for as long as it lives, so that a whole worksheet call takes the lock from
    // the kernel once: allocations and releases on the holding thread then only count a depth.
    class TempLockHold {
    public:
        explicit TempLockHold(XlfExcel& excel);
        ~TempLockHold();
        TempLockHold(const TempLockHold&) = delete;
        TempLockHold& operator=(const TempLockHold&) = delete;

    private:
        XlfExcel& excel_;
    };
    // How often this connection has taken "zep_mutex" from the kernel (nested holds excluded).
    std::uint64_t LockAcquisitions() const { return lockAcquisitions_; }

    // Shows the text in Excel's status bar; null gives the status bar back to Excel.
    void ShowStatus(const char* text);
    // The add-in's path as Excel names it; empty, after a diagnostic line, when Excel does not say.
    std::string LibraryName();

    // Registration type codes of the detected version: "P"/"Q", "R"/"U", "C"/"C%".
    std::string OperTypeCode() const;
    std::string XloperTypeCode() const;
    std::string WideStringTypeCode() const;

private:
    struct HostLibrary;

    XlfExcel();
    void LoadCallbacks();
    // The calling thread's arena for thread-safe calls, made on its first one.
    TempArena& ThreadArena();
    // Take and give back "zep_mutex"; only the outermost pair on a thread reaches the kernel.
    void TakeTempLock();
    void GiveBackTempLock();

    TempArena shared_;
    // Every thread's arena lives as long as the connection: Excel's calculation threads outlive
    // their calls, and an arena left to a thread's exit would run code of an unloaded add-in.
    std::vector<std::unique_ptr<TempArena>> threadArenas_;
    std::atomic_flag threadArenasLock_ = ATOMIC_FLAG_INIT;  // taken once per thread and connection
    std::uint64_t serial_;                                  // tells this connection's arenas from an earlier one's
    std::thread::id mainThread_ = std::this_thread::get_id();
    std::unique_ptr<HostLibrary> library_;
    bool excel12_ = false;
    std::string operTypeCode_;
    std::string xloperTypeCode_;
    std::string wideStringTypeCode_;
    void* tempMutex_ = nullptr;  // the handle of "zep_mutex", opened on first use
    std::uint64_t lockAcquisitions_ = 0;
};

template <typename... Records>
int XlfExcel::CallHost(int xlfn, void* result, Records*... args) {
    // Records of the other layout would be read past their end by Excel.
    constexpr bool anyExcel4 = (std::is_same<Records, XLOPER>::value || ...);
    constexpr bool anyExcel12 = (std::is_same<Records, XLOPER12>::value || ...);
    if (IsExcel12() ? anyExcel4 : anyExcel12) return xlretInvXloper;
    void* const argv[] = {static_cast<void*>(args)..., nullptr};  // never empty, even without arguments
    return CallHostv(xlfn, result, static_cast<int>(sizeof...(Records)), argv);
}

}  // namespace zep

#endif
