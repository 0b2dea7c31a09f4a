// The host connection's own parts, in a program with no Excel beside it: the load fails, so these
// tests also show what a connection without entry points does.
#include "XlfExcel.h"

#include "WinApi.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <limits>
#include <new>
#include <stdexcept>
#include <string>

#ifndef _WIN32
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace zep {
namespace {

class ConnectionWithoutExcel : public testing::Test {
protected:
    void SetUp() override {
#ifdef _WIN32
        // Windows would also look in the working directory, which may be the one beside XLCALL32.
        SetDllDirectoryA("");
#endif
        try {
            XlfExcel::Current();
            FAIL() << "XLCALL32 was found beside a program meant to run without it";
        } catch (const std::runtime_error& failure) {
            EXPECT_STREQ("Could not load library XLCALL32.DLL", failure.what());
        }
    }
    void TearDown() override {
        XlfExcel::DeleteCurrent();
    }

    // The connection stays current after the failed load.
    static XlfExcel& Connection() {
        return XlfExcel::Current();
    }

    static std::uintptr_t Address(const void* pointer) {
        return reinterpret_cast<std::uintptr_t>(pointer);
    }
};

TEST_F(ConnectionWithoutExcel, FailedLoadRefusesEveryCallIntoExcel) {
    XlfExcel& connection = Connection();
    EXPECT_EQ(&connection, &XlfExcel::Current()) << "a second Current() must not build or load again";
    EXPECT_FALSE(connection.IsExcel12());
    EXPECT_EQ("", connection.OperTypeCode());
    EXPECT_EQ("", connection.XloperTypeCode());
    EXPECT_EQ("", connection.WideStringTypeCode());

    XLOPER result{};
    result.xltype = xltypeNil;
    XLOPER argument{};
    argument.xltype = xltypeInt;
    argument.val.w = 2;
    XLOPER* argv4[] = {&argument};
    EXPECT_EQ(xlretFailed, connection.CallExcel4v(xlfGetWorkspace, &result, 1, argv4));
    EXPECT_EQ(xlretFailed, connection.CallHost(xlfGetWorkspace, &result, &argument));
    EXPECT_EQ(xlretFailed, connection.CallHost(xlGetHwnd, &result));
    EXPECT_EQ(xltypeNil, result.xltype);

    XLOPER12 result12{};
    XLOPER12 argument12{};
    argument12.xltype = xltypeInt;
    argument12.val.w = 2;
    XLOPER12* argv12[] = {&argument12};
    EXPECT_EQ(xlretFailed, connection.CallExcel12v(xlfGetWorkspace, &result12, 1, argv12));

    EXPECT_FALSE(connection.InFunctionWizard());
}

TEST_F(ConnectionWithoutExcel, DeleteCurrentNeverCreatesAConnection) {
    XlfExcel::DeleteCurrent();
    XlfExcel::DeleteCurrent();
    EXPECT_THROW(XlfExcel::Current(), std::runtime_error) << "a new connection loads afresh";
}

TEST_F(ConnectionWithoutExcel, CallHostRefusesRecordsOfTheOtherLayout) {
    XLOPER12 argument12{};
    argument12.xltype = xltypeNum;
    EXPECT_EQ(xlretInvXloper, Connection().CallHost(xlFree, nullptr, &argument12));
    EXPECT_EQ(xlretInvCount, Connection().CallHostv(xlFree, nullptr, -1, nullptr));
    EXPECT_EQ(xlretInvCount, Connection().CallHostv(xlFree, nullptr, 1, nullptr));
}

TEST_F(ConnectionWithoutExcel, SmallRequestsFollowEachOtherInTheFirstBlock) {
    XlfExcel& connection = Connection();
    EXPECT_TRUE(connection.TempBlocks().empty());
    void* first = connection.TempAlloc(100);
    void* second = connection.TempAlloc(100);
    const auto blocks = connection.TempBlocks();
    ASSERT_EQ(1u, blocks.size());
    EXPECT_EQ(8192u, blocks[0].size);
    EXPECT_EQ(blocks[0].start, first);
    EXPECT_EQ(Address(first) + 104, Address(second)) << "each allocation starts 8-byte aligned";
}

TEST_F(ConnectionWithoutExcel, RequestEndingExactlyAtTheBlockEndTakesANewBlock) {
    XlfExcel& connection = Connection();
    void* whole = connection.TempAlloc(8192);
    auto blocks = connection.TempBlocks();
    ASSERT_EQ(2u, blocks.size());
    EXPECT_EQ(12288u, blocks[0].size);
    EXPECT_EQ(8192u, blocks[1].size);
    EXPECT_EQ(blocks[0].start, whole);

    // After one byte the next allocation starts at 8: 12279 bytes fit, 12280 would end at the end.
    connection.ReleaseTemp(false);
    connection.TempAlloc(1);
    void* rest = connection.TempAlloc(12279);
    EXPECT_EQ(Address(connection.TempBlocks()[0].start) + 8, Address(rest));
    connection.ReleaseTemp(false);
    connection.TempAlloc(1);
    connection.TempAlloc(12280);
    EXPECT_EQ(18432u, connection.TempBlocks()[0].size);
}

TEST_F(ConnectionWithoutExcel, GrowthFollowsTheFrontBlockNotTheRequest) {
    XlfExcel& connection = Connection();
    void* large = connection.TempAlloc(20000);
    const auto blocks = connection.TempBlocks();
    ASSERT_EQ(4u, blocks.size());
    EXPECT_EQ(27648u, blocks[0].size);
    EXPECT_EQ(18432u, blocks[1].size);
    EXPECT_EQ(12288u, blocks[2].size);
    EXPECT_EQ(8192u, blocks[3].size);
    EXPECT_EQ(blocks[0].start, large);
    // The bytes handed out are really there: the whole request can be written.
    std::fill_n(static_cast<unsigned char*>(large), 20000, 0xA5);
}

TEST_F(ConnectionWithoutExcel, ReleaseKeepsTheNewestBlockOrNone) {
    XlfExcel& connection = Connection();
    connection.TempAlloc(100);
    connection.TempAlloc(20000);
    const void* newest = connection.TempBlocks()[0].start;

    connection.ReleaseTemp(false);
    const auto kept = connection.TempBlocks();
    ASSERT_EQ(1u, kept.size());
    EXPECT_EQ(27648u, kept[0].size);
    EXPECT_EQ(newest, connection.TempAlloc(10)) << "memory is handed out again from the start";

    connection.ReleaseTemp(true);
    EXPECT_TRUE(connection.TempBlocks().empty());
    connection.TempAlloc(10);
    EXPECT_EQ(8192u, connection.TempBlocks()[0].size) << "after a full release blocks start small again";
}

TEST_F(ConnectionWithoutExcel, RequestNoBlockCouldHoldThrowsAndChangesNothing) {
    XlfExcel& connection = Connection();
    void* before = connection.TempAlloc(100);
    EXPECT_THROW(connection.TempAlloc(std::numeric_limits<std::size_t>::max()), std::bad_alloc);
    EXPECT_THROW(connection.TempAlloc(std::numeric_limits<std::uint32_t>::max()), std::bad_alloc);
    EXPECT_THROW(connection.TempAlloc(std::numeric_limits<std::size_t>::max() - 50), std::bad_alloc);
    EXPECT_EQ(1u, connection.TempBlocks().size());
    EXPECT_EQ(Address(before) + 104, Address(connection.TempAlloc(1))) << "the offset was left alone";
}

// Within a hold, allocations and releases take the lock without the kernel; each outermost take
// goes to the kernel.
TEST_F(ConnectionWithoutExcel, NestedTakesOfTheLockCostNoKernelCall) {
    XlfExcel& connection = Connection();
    const std::uint64_t before = connection.LockAcquisitions();
    {
        const XlfExcel::TempLockHold outer(connection);
        connection.ReleaseTemp(false);
        connection.TempAlloc(100);
        const XlfExcel::TempLockHold inner(connection);
        connection.TempAlloc(20000);  // a new block
        EXPECT_EQ(before + 1, connection.LockAcquisitions());
    }
    connection.TempAlloc(100);
    connection.ReleaseTemp(true);
    EXPECT_EQ(before + 3, connection.LockAcquisitions());
}

#ifndef _WIN32
// Whether another process can take "zep_mutex" within the time. Test programs running beside
// this one take it too, briefly, and one of their children may have died holding it.
bool AnotherProcessCanTakeTheLock(DWORD milliseconds) {
    const pid_t child = fork();
    if (child == 0) {
        const HANDLE mutex = CreateMutexA(nullptr, FALSE, "zep_mutex");
        const DWORD waited = mutex != nullptr ? WaitForSingleObject(mutex, milliseconds) : WAIT_FAILED;
        std::_Exit(waited == WAIT_OBJECT_0 || waited == WAIT_ABANDONED ? 0 : 1);
    }
    int status = 0;
    return child != -1 && waitpid(child, &status, 0) == child && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

// The hold keeps other processes out for its whole life, not only during each allocation.
TEST_F(ConnectionWithoutExcel, AHoldKeepsTheLockFromOtherProcessesUntilItEnds) {
    XlfExcel& connection = Connection();
    {
        const XlfExcel::TempLockHold hold(connection);
        connection.TempAlloc(100);
        EXPECT_FALSE(AnotherProcessCanTakeTheLock(200));
    }
    EXPECT_TRUE(AnotherProcessCanTakeTheLock(10000));
}

// A process that dies holding "zep_mutex" leaves it abandoned; the next allocation takes it over.
TEST_F(ConnectionWithoutExcel, AllocationTakesOverALockItsHolderDiedWith) {
    const pid_t child = fork();
    ASSERT_NE(-1, child);
    if (child == 0) {
        const HANDLE mutex = CreateMutexA(nullptr, FALSE, "zep_mutex");
        const DWORD waited = mutex != nullptr ? WaitForSingleObject(mutex, INFINITE) : WAIT_FAILED;
        const bool held = waited == WAIT_OBJECT_0 || waited == WAIT_ABANDONED;
        std::_Exit(held ? 0 : 1);  // without releasing
    }
    int status = 0;
    ASSERT_EQ(child, waitpid(child, &status, 0));
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "the child could not take the lock";

    XlfExcel& connection = Connection();
    EXPECT_NE(nullptr, connection.TempAlloc(100));
    connection.ReleaseTemp(false);

    // The allocation released the lock properly: the next holder does not find it abandoned.
    const HANDLE mutex = CreateMutexA(nullptr, FALSE, "zep_mutex");
    ASSERT_NE(nullptr, mutex);
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(mutex, INFINITE));
    ReleaseMutex(mutex);
    CloseHandle(mutex);
}
#endif

}  // namespace
}  // namespace zep
