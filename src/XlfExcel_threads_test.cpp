// Thread-safe calls on several threads at once, with no Excel beside the program: each thread's
// temporary memory is its own and outlives the call, no lock is taken, the shared arena of the
// other calls stays intact alongside, the callbacks a thread-safe call may not make fail, and
// diagnostic lines written at once come out whole.
#include "XlfExcel.h"

#include "Win32StreamBuf.h"
#include "XlfException.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <sstream>
#include <stdexcept>
#include <thread>
#include <vector>

namespace zep {
namespace {

class ThreadSafeCalls : public testing::Test {
protected:
    void SetUp() override {
        try {
            XlfExcel::Current();
        } catch (const std::runtime_error&) {
            // No Excel: the connection stays current without entry points, as these tests want.
        }
    }
    void TearDown() override { XlfExcel::DeleteCurrent(); }
};

// What one "call" leaves in its temporary memory: a few records of its own pattern, across blocks.
std::vector<unsigned char*> FillCall(XlfExcel& excel, unsigned char pattern, int call) {
    std::vector<unsigned char*> records;
    for (std::size_t bytes : {24u, 300u, 5000u, static_cast<unsigned>(1000 + (call % 7) * 3000)}) {
        auto* record = static_cast<unsigned char*>(excel.TempAlloc(bytes));
        std::memset(record, pattern, bytes);
        records.push_back(record);
    }
    return records;
}

bool Holds(const std::vector<unsigned char*>& records, unsigned char pattern) {
    std::size_t index = 0;
    for (std::size_t bytes : {24u, 300u, 5000u}) {
        const unsigned char* record = records[index++];
        for (std::size_t i = 0; i < bytes; ++i)
            if (record[i] != pattern) return false;
    }
    return true;
}

// Each thread's result is still whole after its call ends, while other threads call (the time
// Excel copies it), and the shared arena's user, under "zep_mutex", keeps its memory too.
TEST_F(ThreadSafeCalls, EachThreadsResultOutlivesItsCallWhileOthersCall) {
    XlfExcel& excel = XlfExcel::Current();
    constexpr int threads = 4;
    constexpr int calls = 300;
    std::atomic<int> damaged{0};
    std::atomic<std::uint64_t> locksTaken{0};
    std::vector<std::thread> workers;
    for (int t = 0; t < threads; ++t) {
        workers.emplace_back([&, t] {
            const auto pattern = static_cast<unsigned char>(0x10 + t);
            for (int call = 0; call < calls; ++call) {
                std::vector<unsigned char*> result;
                {
                    const XlfExcel::ThreadSafeCall scope(excel);
                    EXPECT_TRUE(XlfExcel::InThreadSafeCall());
                    result = FillCall(excel, pattern, call);
                }
                std::this_thread::yield();
                if (!Holds(result, pattern)) ++damaged;
            }
        });
    }
    // The main thread meanwhile makes calls the way a function that is not thread-safe does.
    for (int call = 0; call < calls; ++call) {
        const std::uint64_t before = excel.LockAcquisitions();
        const XlfExcel::TempLockHold hold(excel);
        locksTaken += excel.LockAcquisitions() - before;
        excel.ReleaseTemp(false);
        const auto result = FillCall(excel, 0xEE, call);
        std::this_thread::yield();
        if (!Holds(result, 0xEE)) ++damaged;
    }
    for (std::thread& worker : workers) worker.join();
    EXPECT_EQ(0, damaged.load());
    EXPECT_EQ(static_cast<std::uint64_t>(calls), locksTaken.load()) << "only the shared arena's user took the lock";
    EXPECT_FALSE(XlfExcel::InThreadSafeCall());
}

// A call nested in a thread-safe call (xlUDF back into the add-in) keeps the outer call's memory;
// the next outermost call takes it back, down to one block.
TEST_F(ThreadSafeCalls, ANestedCallKeepsTheOuterCallsMemory) {
    XlfExcel& excel = XlfExcel::Current();
    const std::uint64_t locks = excel.LockAcquisitions();
    std::vector<unsigned char*> outer;
    {
        const XlfExcel::ThreadSafeCall call(excel);
        outer = FillCall(excel, 0x5A, 6);
        const XlfExcel::ThreadSafeCall nested(excel);
        FillCall(excel, 0xA5, 6);
        EXPECT_TRUE(Holds(outer, 0x5A));
        EXPECT_GT(excel.TempBlocks().size(), 1u);
    }
    {
        const XlfExcel::ThreadSafeCall next(excel);
        EXPECT_EQ(1u, excel.TempBlocks().size());
    }
    EXPECT_EQ(locks, excel.LockAcquisitions());
}

struct CallbackCase {
    int function;
    bool refused;
};

// Refused before Excel is asked; what passes reaches the (missing) Excel and fails as any call
// does without one. Outside a thread-safe call nothing is refused.
TEST_F(ThreadSafeCalls, CallbacksOnlyExcelsMainThreadMayRunAreRefused) {
    const CallbackCase cases[] = {
        {xlFree, false},         {xlStack, false},       {xlCoerce, false},    {xlSheetId, false},  {xlSheetNm, false},
        {xlAbort, false},        {xlGetHwnd, false},     {xlGetInst, false},   {xlGetName, false},  {xlUDF, false},
        {xlfEvaluate, false},    {xlfCaller, false},     {xlSet, true},        {xlfSetName, true},  {xlfGetCell, true},
        {xlfGetWorkspace, true}, {xlfGetDocument, true}, {xlfGetWindow, true}, {xlfRegister, true}, {xlfAddMenu, true},
        {xlfGetToolbar, true},   {xlcMessage, true},     {xlcAlert, true},
    };
    XlfExcel& excel = XlfExcel::Current();
    for (const CallbackCase& c : cases) {
        XLOPER result{};
        EXPECT_EQ(xlretFailed, excel.CallExcel4v(c.function, &result, 0, nullptr)) << c.function;
        const XlfExcel::ThreadSafeCall call(excel);
        if (!c.refused) {
            EXPECT_EQ(xlretFailed, excel.CallExcel4v(c.function, &result, 0, nullptr)) << c.function;
            XLOPER12 result12{};
            EXPECT_EQ(xlretFailed, excel.CallExcel12v(c.function, &result12, 0, nullptr)) << c.function;
            continue;
        }
        try {
            excel.CallExcel4v(c.function, &result, 0, nullptr);
            ADD_FAILURE() << c.function << " was not refused";
        } catch (const XlfThreadUnsafeCall& refusal) {
            EXPECT_EQ(c.function, refusal.Function());
            EXPECT_EQ("Excel function " + std::to_string(c.function) + " may not be called from a thread-safe function",
                      refusal.what());
        }
        XLOPER12 result12{};
        EXPECT_THROW(excel.CallExcel12v(c.function, &result12, 0, nullptr), XlfThreadUnsafeCall) << c.function;
    }
}

TEST(DiagnosticLines, WrittenOnSeveralThreadsAtOnceComeOutWhole) {
    std::ostringstream captured;
    std::streambuf* previous = std::cerr.rdbuf(captured.rdbuf());
    constexpr int threads = 4, lines = 300;
    std::vector<std::thread> writers;
    for (int t = 0; t < threads; ++t)
        writers.emplace_back([t] {
            for (int i = 0; i < lines; ++i)
                DiagnosticLine(sites::xlfOperImpl12FreeFailed) << "thread " << t << " line " << i << std::endl;
        });
    for (std::thread& writer : writers) writer.join();
    std::cerr.rdbuf(previous);

    std::istringstream written(captured.str());
    std::vector<int> next(threads, 0);
    std::string line;
    int count = 0;
    while (std::getline(written, line)) {
        int t = -1, i = -1;
        ASSERT_EQ(std::sscanf(line.c_str(), "..\\..\\src\\XlfOperImpl12(77): thread %d line %d", &t, &i), 2) << line;
        ASSERT_TRUE(t >= 0 && t < threads) << line;
        EXPECT_EQ(i, next[t]++) << line;  // each thread's lines whole and in its order
        ++count;
    }
    EXPECT_EQ(count, threads * lines);
}

}  // namespace
}  // namespace zep
