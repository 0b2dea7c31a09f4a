// Thread-safe worksheet functions called as Excel's calculation threads call them, through the
// stand-in Excel: registered with '$' from Excel 12 on, many calls at once from several threads
// beside calls of a function that is not thread-safe, every result checked as Excel copies it and
// no memory of Excel's left behind; callbacks a thread-safe function may not make fail clearly.
#include "WorksheetFunction.h"

#include "ExcelStandIn.h"
#include "XlOpenClose.h"

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace {

using xlhost::ArgumentRecord;
using xlhost::ExcelStandIn;
using xlhost::Layout12;
using xlhost::Value;

// n, n + 1, ... n + count - 1 as a column, with a text of n in a last row: numbers and text, so
// that a result damaged by another thread's call shows.
zep::WorksheetResult Ladder(double n, int count) {
    zep::CellMatrix cells(static_cast<std::uint32_t>(count) + 1, 1);
    for (int i = 0; i < count; ++i) cells.Cell(static_cast<std::uint32_t>(i), 0) = zep::MatrixCell(n + i);
    cells.Cell(static_cast<std::uint32_t>(count), 0) =
        zep::MatrixCell("rung " + std::to_string(static_cast<long long>(n)));
    return cells;
}

}  // namespace

ZEP_FUNCTION(xlzt_Ladder, "zt_Ladder", "A ladder", "Zep tests", zep::ThreadSafe, (zep::NumberArgument, n, "first rung"),
             (zep::IntegerArgument, count, "rungs")) {
    return Ladder(n, count);
}

ZEP_WORKSHEET_FUNCTION(xlzt_SharedLadder, "zt_SharedLadder", "A ladder", "Zep tests",
                       (zep::NumberArgument, n, "first rung"), (zep::IntegerArgument, count, "rungs")) {
    return Ladder(n, count);
}

// Asks Excel for a function by number; gives the return code, or the failure's text.
ZEP_FUNCTION(xlzt_Ask, "zt_Ask", "Calls Excel", "Zep tests", zep::ThreadSafe,
             (zep::IntegerArgument, function, "its number")) {
    zep::XlfOper result;
    return zep::XlfExcel::Current().CallHost(function, result.Pointer(), zep::XlfOper("zt_SharedLadder").Pointer());
}

namespace {

Value ExpectedLadder(double n, int count) {
    std::vector<Value> cells;
    for (int i = 0; i < count; ++i) cells.push_back(Value::number(n + i));
    cells.push_back(Value::text("rung " + std::to_string(static_cast<long long>(n))));
    return Value::array(count + 1, 1, cells);
}

Value Copied(void* record) {
    if (record == nullptr) return Value::invalid(0, "null result");
    return xlhost::RecordCodec<Layout12>::decode(*static_cast<const XLOPER12*>(record));
}

struct Session {
    explicit Session(const char* version) : host(version) { EXPECT_EQ(1, xlAutoOpen()); }
    ~Session() {
        xlAutoClose();
        EXPECT_EQ(0u, host.checkForLeaks());
        EXPECT_TRUE(host.faults().empty()) << host.faults();
    }
    ExcelStandIn host;
};

// '$' from Excel 12 on, whichever record layout the add-in is given; Excel 2003 knows no such mark.
TEST(ThreadSafeRegistration, MarkedFromExcel12On) {
    const struct {
        const char* version;
        const char* ladderType;
        const char* askType;
    } cases[] = {{"11.0", "PBB", "PB"}, {"12.0", "QBB$", "QB$"}, {"16.0", "QBB$", "QB$"}};
    for (const auto& c : cases) {
        Session session(c.version);
        const auto& registrations = session.host.registry().registrations();
        ASSERT_EQ(3u, registrations.size());
        EXPECT_EQ(c.ladderType, registrations[0].typeText()) << c.version;
        EXPECT_TRUE(registrations[0].accepted()) << registrations[0].rejection;
        EXPECT_EQ(c.askType, registrations[2].typeText()) << c.version;
        EXPECT_NE('$', registrations[1].typeText().back()) << c.version;
    }
}

// Calculation threads call the thread-safe function while the main thread calls the other one:
// each result is copied whole right after its call, as Excel copies it, and nothing leaks.
TEST(ThreadSafeCalls, ManyConcurrentCallsEachGiveTheirOwnResult) {
    Session session("12.0");
    constexpr int threads = 4;
    constexpr int calls = 1500;
    std::atomic<int> wrong{0};
    std::vector<std::thread> calculation;
    for (int t = 0; t < threads; ++t) {
        calculation.emplace_back([&, t] {
            const ExcelStandIn::ThreadSafeScope safe;
            for (int call = 0; call < calls; ++call) {
                const double n = t * 100000 + call;
                const int count = 1 + call % 40;
                if (Copied(xlzt_Ladder(n, count)) != ExpectedLadder(n, count)) ++wrong;
            }
        });
    }
    for (int call = 0; call < calls; ++call) {
        const int count = 1 + call % 25;
        if (Copied(xlzt_SharedLadder(-call, count)) != ExpectedLadder(-call, count)) ++wrong;
    }
    for (std::thread& thread : calculation) thread.join();
    EXPECT_EQ(0, wrong.load());
    EXPECT_EQ(0u, session.host.outstandingAllocations());
}

// The function wizard calculates on Excel's main thread only: there an open wizard gets TRUE
// without the body running, while a calculation thread's call runs the body all the same.
TEST(ThreadSafeCalls, OnlyTheMainThreadAnswersTheFunctionWizard) {
    Session session("12.0");
    session.host.windows().openFunctionWizard();
    Value onMain = Value::nil(), onCalculationThread = Value::nil();
    {
        const ExcelStandIn::ThreadSafeScope safe;
        onMain = Copied(xlzt_Ladder(1, 2));
    }
    std::thread([&] {
        const ExcelStandIn::ThreadSafeScope safe;
        onCalculationThread = Copied(xlzt_Ladder(1, 2));
    }).join();
    EXPECT_EQ(Value::boolean(true), onMain);
    EXPECT_EQ(ExpectedLadder(1, 2), onCalculationThread);
}

// From inside a thread-safe function: what only the main thread may run fails with the
// framework's message before Excel is asked; xlUDF of a function not registered thread-safe is
// refused by Excel (xlretNotThreadSafe) and fails the same way; the rest is answered.
TEST(ThreadSafeCalls, CallbacksOnlyTheMainThreadMayMakeFailWithAMessage) {
    Session session("12.0");
    const auto refusedBefore = [](int function) {
        return Value::text("Excel function " + std::to_string(function) +
                           " may not be called from a thread-safe function");
    };
    const struct {
        int function;
        Value expected;
    } cases[] = {
        {xlfGetCell, refusedBefore(xlfGetCell)},
        {xlfSetName, refusedBefore(xlfSetName)},
        {xlSet, refusedBefore(xlSet)},
        {xlcAlert, refusedBefore(xlcAlert)},
        {xlAbort, Value::number(xlretSuccess)},
        {xlStack, Value::number(xlretInvCount)},  // answered: it takes no argument
        {xlUDF, Value::text("Excel function 255 refused a thread-safe function: what it runs is not thread-safe")},
    };
    std::thread calculation([&] {
        const ExcelStandIn::ThreadSafeScope safe;
        for (const auto& c : cases) EXPECT_EQ(c.expected, Copied(xlzt_Ask(c.function))) << c.function;
    });
    calculation.join();
}

}  // namespace
