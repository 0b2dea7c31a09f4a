#include "PlatformControl.h"
#include "WinApi.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

class Environment : public testing::Test {
protected:
    void SetUp() override { platform::ResetEnvironment({{"Path", "/usr/bin"}, {"Empty", ""}}); }
};

TEST_F(Environment, ReturnsTheLengthWithoutTerminatorWhenTheValueFits) {
    char buffer[16];
    EXPECT_EQ(8u, GetEnvironmentVariableA("Path", buffer, sizeof buffer));
    EXPECT_STREQ("/usr/bin", buffer);
    char exact[9];
    EXPECT_EQ(8u, GetEnvironmentVariableA("Path", exact, sizeof exact));
    EXPECT_STREQ("/usr/bin", exact);
}

TEST_F(Environment, ReturnsTheSizeWithTerminatorAndLeavesTheBufferWhenTooSmall) {
    char buffer[8];
    std::memset(buffer, 'x', sizeof buffer);
    EXPECT_EQ(9u, GetEnvironmentVariableA("Path", buffer, sizeof buffer));
    EXPECT_EQ(std::string(8, 'x'), std::string(buffer, sizeof buffer));
    EXPECT_EQ(9u, GetEnvironmentVariableA("Path", nullptr, 0));
}

TEST_F(Environment, TellsMissingFromEmptyThroughTheLastError) {
    char buffer[16];
    SetLastError(0);
    EXPECT_EQ(0u, GetEnvironmentVariableA("NoSuchVariable", buffer, sizeof buffer));
    EXPECT_EQ(static_cast<DWORD>(ERROR_ENVVAR_NOT_FOUND), GetLastError());
    SetLastError(ERROR_ENVVAR_NOT_FOUND);
    EXPECT_EQ(0u, GetEnvironmentVariableA("Empty", buffer, sizeof buffer));
    EXPECT_EQ(0u, GetLastError());
    EXPECT_STREQ("", buffer);
}

TEST_F(Environment, NamesIgnoreCase) {
    char buffer[16];
    EXPECT_EQ(8u, GetEnvironmentVariableA("PATH", buffer, sizeof buffer));
    ASSERT_TRUE(SetEnvironmentVariableA("pAtH", "/opt"));
    EXPECT_EQ(4u, GetEnvironmentVariableA("Path", buffer, sizeof buffer));
    EXPECT_STREQ("/opt", buffer);
}

TEST_F(Environment, ReadsAValueLongerThanTheFirstBufferInASecondRead) {
    const std::string longValue(5000, 'p');
    ASSERT_TRUE(SetEnvironmentVariableA("Path", longValue.c_str()));
    std::vector<char> buffer(4096);
    const DWORD needed = GetEnvironmentVariableA("Path", buffer.data(), 4096);
    ASSERT_EQ(5001u, needed);
    buffer.resize(needed);
    EXPECT_EQ(5000u, GetEnvironmentVariableA("Path", buffer.data(), needed));
    EXPECT_EQ(longValue, buffer.data());
}

TEST_F(Environment, NullValueDeletesAndBadNamesAreRefused) {
    ASSERT_TRUE(SetEnvironmentVariableA("PATH", nullptr));
    EXPECT_EQ(0u, GetEnvironmentVariableA("Path", nullptr, 0));
    EXPECT_TRUE(SetEnvironmentVariableA("Path", nullptr)) << "deleting a missing variable succeeds";
    SetLastError(0);
    EXPECT_FALSE(SetEnvironmentVariableA("A=B", "x"));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_PARAMETER), GetLastError());
    EXPECT_FALSE(SetEnvironmentVariableA("", "x"));
}

TEST_F(Environment, LeavesTheLinuxEnvironmentAlone) {
    const char* before = std::getenv("PATH");
    const std::string linuxPath = before != nullptr ? before : "";
    ASSERT_TRUE(SetEnvironmentVariableA("PATH", "C:\\Windows"));
    const char* after = std::getenv("PATH");
    EXPECT_EQ(linuxPath, after != nullptr ? after : "");
}

// The table starts as a copy of the Linux environment on its first use, which only a fresh process
// can show: the test program runs itself with a marker variable and this test alone.
const char* const childMarker = "WINPLATFORM_ENVIRONMENT_CHILD";

TEST(EnvironmentStart, CopiesTheLinuxEnvironmentOnFirstUse) {
    if (std::getenv(childMarker) != nullptr) {
        char buffer[16];
        // Only the exit status speaks for the child: 0 when it saw the marker under another case.
        std::_Exit(GetEnvironmentVariableA("winplatform_environment_child", buffer, sizeof buffer) == 3 &&
                           std::string(buffer) == "yes"
                       ? 0
                       : 1);
    }
    const pid_t child = fork();
    ASSERT_NE(-1, child);
    if (child == 0) {
        setenv(childMarker, "yes", 1);
        const int quiet = open("/dev/null", O_WRONLY);
        dup2(quiet, STDOUT_FILENO);
        execl("/proc/self/exe", "platform_tests", "--gtest_filter=EnvironmentStart.*", static_cast<char*>(nullptr));
        std::_Exit(2);
    }
    int status = 0;
    ASSERT_EQ(child, waitpid(child, &status, 0));
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(0, WEXITSTATUS(status));
}

}  // namespace
