#include "PlatformControl.h"
#include "WinApi.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

namespace {

class NamedMutex : public testing::Test {
protected:
    // A name of this test run, so parallel runs and leftovers of old ones cannot interfere.
    std::string name = "winplatform-test-" + std::to_string(getpid()) + "-" +
                       testing::UnitTest::GetInstance()->current_test_info()->name();

    void TearDown() override { std::remove(platform::NamedMutexFile(name).c_str()); }

    // A child process that takes the mutex, reports it, and on a signal ends with or without
    // releasing it. Returns the child's id; `go` is the pipe end that lets it finish.
    pid_t StartHolder(bool releaseBeforeExit, int& go) {
        int ready[2], finish[2];
        if (pipe(ready) != 0 || pipe(finish) != 0) return -1;
        const pid_t child = fork();
        if (child == 0) {
            const HANDLE mutex = CreateMutexA(nullptr, FALSE, name.c_str());
            const bool held = mutex != nullptr && WaitForSingleObject(mutex, INFINITE) == WAIT_OBJECT_0;
            char signal = held ? 1 : 0;
            if (write(ready[1], &signal, 1) != 1 || read(finish[0], &signal, 1) != 1) std::_Exit(3);
            if (releaseBeforeExit) ReleaseMutex(mutex);
            std::_Exit(0);  // dies holding the lock unless released above
        }
        char held = 0;
        if (read(ready[0], &held, 1) != 1 || held != 1) ADD_FAILURE() << "the child could not take the mutex";
        close(ready[0]);
        close(ready[1]);
        close(finish[0]);
        go = finish[1];
        return child;
    }

    static void Finish(pid_t child, int go) {
        const char signal = 1;
        EXPECT_EQ(1, write(go, &signal, 1));
        close(go);
        int status = 0;
        EXPECT_EQ(child, waitpid(child, &status, 0));
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
};

TEST_F(NamedMutex, TheOwningThreadMayWaitAgainAndReleasesAsOften) {
    const HANDLE first = CreateMutexA(nullptr, FALSE, name.c_str());
    ASSERT_NE(nullptr, first);
    EXPECT_EQ(0u, GetLastError());
    const HANDLE second = CreateMutexA(nullptr, FALSE, name.c_str());
    ASSERT_NE(nullptr, second);
    EXPECT_EQ(static_cast<DWORD>(ERROR_ALREADY_EXISTS), GetLastError());
    EXPECT_NE(first, second);

    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(first, INFINITE));
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(second, 0)) << "one mutex behind both handles";
    EXPECT_TRUE(ReleaseMutex(first));
    DWORD otherThread = WAIT_FAILED;
    std::thread([&] { otherThread = WaitForSingleObject(first, 0); }).join();
    EXPECT_EQ(WAIT_TIMEOUT, otherThread) << "still owned once";
    EXPECT_TRUE(ReleaseMutex(second));
    SetLastError(0);
    EXPECT_FALSE(ReleaseMutex(first));
    EXPECT_EQ(static_cast<DWORD>(ERROR_NOT_OWNER), GetLastError());

    std::thread([&] {
        otherThread = WaitForSingleObject(first, 0);
        ReleaseMutex(first);
    }).join();
    EXPECT_EQ(WAIT_OBJECT_0, otherThread);
    EXPECT_TRUE(CloseHandle(first));
    EXPECT_TRUE(CloseHandle(second));
}

TEST_F(NamedMutex, AnotherProcessHoldingItMakesWaitsTimeOutUntilItReleases) {
    int go = -1;
    const pid_t child = StartHolder(true, go);
    ASSERT_GT(child, 0);
    const HANDLE mutex = CreateMutexA(nullptr, FALSE, name.c_str());
    ASSERT_NE(nullptr, mutex);
    EXPECT_EQ(WAIT_TIMEOUT, WaitForSingleObject(mutex, 50));
    Finish(child, go);
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(mutex, 5000)) << "released cleanly, so not abandoned";
    EXPECT_TRUE(ReleaseMutex(mutex));
    CloseHandle(mutex);
}

TEST_F(NamedMutex, AHolderThatDiesAbandonsItToTheWaiter) {
    int go = -1;
    const pid_t child = StartHolder(false, go);
    ASSERT_GT(child, 0);
    const HANDLE mutex = CreateMutexA(nullptr, FALSE, name.c_str());
    ASSERT_NE(nullptr, mutex);
    // The wait starts while the child holds the lock; should it never return, the alarm ends the test.
    std::thread finisher([&] { Finish(child, go); });
    alarm(30);
    EXPECT_EQ(WAIT_ABANDONED, WaitForSingleObject(mutex, INFINITE));
    alarm(0);
    finisher.join();
    EXPECT_TRUE(ReleaseMutex(mutex));
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(mutex, 0)) << "abandonment is reported once";
    EXPECT_TRUE(ReleaseMutex(mutex));
    CloseHandle(mutex);
}

TEST_F(NamedMutex, AThreadThatEndsOwningItAbandonsItAtOnce) {
    const HANDLE mutex = CreateMutexA(nullptr, FALSE, name.c_str());
    ASSERT_NE(nullptr, mutex);
    DWORD taken = WAIT_FAILED;
    std::thread([&] { taken = WaitForSingleObject(mutex, INFINITE); }).join();
    ASSERT_EQ(WAIT_OBJECT_0, taken);
    EXPECT_EQ(WAIT_ABANDONED, WaitForSingleObject(mutex, 0)) << "the process is alive, the owner thread is not";
    EXPECT_TRUE(ReleaseMutex(mutex));
    std::thread([&] {
        taken = WaitForSingleObject(mutex, 50);
        ReleaseMutex(mutex);
    }).join();
    EXPECT_EQ(WAIT_OBJECT_0, taken);
    CloseHandle(mutex);
}

TEST(Handles, UnknownOrClosedHandlesFail) {
    const HANDLE mutex = CreateMutexA(nullptr, FALSE, nullptr);
    ASSERT_NE(nullptr, mutex);
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(mutex, 0));
    EXPECT_TRUE(ReleaseMutex(mutex));
    EXPECT_TRUE(CloseHandle(mutex));
    SetLastError(0);
    EXPECT_EQ(WAIT_FAILED, WaitForSingleObject(mutex, 0));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_HANDLE), GetLastError());
    EXPECT_FALSE(CloseHandle(mutex));
    EXPECT_FALSE(ReleaseMutex(mutex));
}

// Each creator gets the handle of its own mutex, however many threads create at once.
TEST(Handles, ThreadsCreatingAtOnceEachGetTheirOwnHandle) {
    std::vector<std::thread> creators;
    std::atomic<int> wrong{0};
    for (int t = 0; t < 8; ++t) {
        creators.emplace_back([&] {
            for (int i = 0; i < 200; ++i) {
                const HANDLE mutex = CreateMutexA(nullptr, TRUE, nullptr);
                if (mutex == nullptr || !ReleaseMutex(mutex)) ++wrong;
                CloseHandle(mutex);
            }
        });
    }
    for (std::thread& creator : creators) creator.join();
    EXPECT_EQ(0, wrong.load());
}

TEST(Handles, InitialOwnershipGoesToTheCreator) {
    const HANDLE mutex = CreateMutexA(nullptr, TRUE, nullptr);
    ASSERT_NE(nullptr, mutex);
    DWORD otherThread = WAIT_FAILED;
    std::thread([&] { otherThread = WaitForSingleObject(mutex, 0); }).join();
    EXPECT_EQ(WAIT_TIMEOUT, otherThread);
    EXPECT_TRUE(ReleaseMutex(mutex));
    EXPECT_FALSE(ReleaseMutex(mutex));
    CloseHandle(mutex);
}

}  // namespace
