#include "PlatformControl.h"
#include "WinApi.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <climits>
#include <memory>
#include <string>

extern "C" int PlatformTestsExport() {
    return 7;
}

namespace {

int variableInTestProgram = 1;

std::string ModuleFileName(HMODULE module) {
    char buffer[PATH_MAX];
    const DWORD length = GetModuleFileNameA(module, buffer, sizeof buffer);
    return std::string(buffer, length);
}

HMODULE ModuleOf(const void* address) {
    MEMORY_BASIC_INFORMATION info{};
    EXPECT_EQ(sizeof info, VirtualQuery(address, &info, sizeof info));
    return static_cast<HMODULE>(info.AllocationBase);
}

std::string ProgramPath() {
    char path[PATH_MAX];
    const ssize_t length = readlink("/proc/self/exe", path, sizeof path);
    return std::string(path, static_cast<std::size_t>(length));
}

// A cast through void (*)(), the type GCC accepts as matching every function, as Windows code does.
template <typename Function>
Function As(FARPROC procedure) {
    return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(procedure));
}

bool EndsWith(const std::string& text, const std::string& suffix) {
    return text.size() >= suffix.size() && text.compare(text.size() - suffix.size(), suffix.size(), suffix) == 0;
}

TEST(LoadLibrary, FindsLibNameSoBesideTheProgramAndCountsReferences) {
    // The probe lies beside the program but on no loader search path: only the first rule finds it.
    const HMODULE probe = LoadLibraryA("PlatformProbe.DLL");
    ASSERT_NE(nullptr, probe);
    EXPECT_EQ(probe, LoadLibraryA("PlatformProbe.dll"));
    EXPECT_EQ(probe, LoadLibraryA("PlatformProbe"));  // Windows implies ".DLL"
    EXPECT_EQ(probe, GetModuleHandleA("PlatformProbe.DLL"));
    const auto answer = As<int (*)()>(GetProcAddress(probe, "ProbeAnswer"));
    ASSERT_NE(nullptr, answer);
    EXPECT_EQ(42, answer());

    EXPECT_TRUE(FreeLibrary(probe));
    EXPECT_TRUE(FreeLibrary(probe));
    EXPECT_EQ(probe, GetModuleHandleA("PlatformProbe.DLL")) << "still one reference";
    EXPECT_TRUE(FreeLibrary(probe));
    SetLastError(0);
    EXPECT_EQ(nullptr, GetModuleHandleA("PlatformProbe.DLL"));
    EXPECT_EQ(static_cast<DWORD>(ERROR_MOD_NOT_FOUND), GetLastError());
    EXPECT_FALSE(FreeLibrary(probe));
}

TEST(LoadLibrary, FailuresSetTheWindowsCodes) {
    SetLastError(0);
    EXPECT_EQ(nullptr, LoadLibraryA("NoSuchLibrary.DLL"));
    EXPECT_EQ(static_cast<DWORD>(ERROR_MOD_NOT_FOUND), GetLastError());
    SetLastError(0);
    EXPECT_EQ(nullptr, LoadLibraryA("platformprobe.dll")) << "the file name keeps its case";
    EXPECT_EQ(static_cast<DWORD>(ERROR_MOD_NOT_FOUND), GetLastError());

    const HMODULE probe = LoadLibraryA("PlatformProbe.DLL");
    ASSERT_NE(nullptr, probe);
    SetLastError(0);
    EXPECT_EQ(nullptr, GetProcAddress(probe, "NoSuchExport"));
    EXPECT_EQ(static_cast<DWORD>(ERROR_PROC_NOT_FOUND), GetLastError());
    SetLastError(0);
    EXPECT_EQ(nullptr, GetProcAddress(reinterpret_cast<HMODULE>(&variableInTestProgram), "ProbeAnswer"))
        << "an address that is no module's start";
    EXPECT_EQ(static_cast<DWORD>(ERROR_MOD_NOT_FOUND), GetLastError());
    FreeLibrary(probe);
}

TEST(LoadLibrary, TakesPathsAsGivenInLinuxOrWindowsForm) {
    const HMODULE probe = LoadLibraryA("PlatformProbe.DLL");
    ASSERT_NE(nullptr, probe);
    const std::string windowsPath = ModuleFileName(probe);
    EXPECT_EQ(probe, LoadLibraryA(windowsPath.c_str()));
    EXPECT_EQ(probe, LoadLibraryA(platform::LinuxPath(windowsPath).c_str()));
    for (int reference = 0; reference < 3; ++reference) EXPECT_TRUE(FreeLibrary(probe));
}

TEST(ModuleOfAddress, LeadsToTheModuleAndItsWindowsStyleFileName) {
    const HMODULE program = GetModuleHandleA(nullptr);
    ASSERT_NE(nullptr, program);
    EXPECT_EQ(program, ModuleOf(&variableInTestProgram));
    EXPECT_EQ(platform::WindowsPath(ProgramPath()), ModuleFileName(program));
    EXPECT_EQ(ModuleFileName(program), ModuleFileName(nullptr));

    const HMODULE platformLibrary = ModuleOf(reinterpret_cast<const void*>(&LoadLibraryA));
    EXPECT_NE(program, platformLibrary);
    EXPECT_EQ(platformLibrary, GetModuleHandleA("winplatform.dll"));
    const std::string libraryPath = ModuleFileName(platformLibrary);
    EXPECT_EQ(0u, libraryPath.rfind("Z:\\", 0)) << libraryPath;
    EXPECT_TRUE(EndsWith(libraryPath, "\\libwinplatform.so")) << libraryPath;
    EXPECT_EQ(std::string::npos, libraryPath.find('/')) << libraryPath;

    const HMODULE probe = LoadLibraryA("PlatformProbe.DLL");
    ASSERT_NE(nullptr, probe);
    EXPECT_EQ(probe, ModuleOf(reinterpret_cast<const void*>(GetProcAddress(probe, "probeData"))));
    FreeLibrary(probe);
}

TEST(ModuleOfAddress, MainProgramExportsAreFoundThroughANullOrMainModule) {
    const FARPROC viaMain = GetProcAddress(GetModuleHandleA(nullptr), "PlatformTestsExport");
    EXPECT_EQ(&PlatformTestsExport, As<int (*)()>(viaMain));
    EXPECT_EQ(viaMain, GetProcAddress(nullptr, "PlatformTestsExport"));
}

TEST(ModuleFileName, TruncatesToTheBufferAsWindowsDoes) {
    const std::string full = ModuleFileName(nullptr);
    ASSERT_GT(full.size(), 10u);
    char buffer[PATH_MAX];

    SetLastError(0);
    EXPECT_EQ(10u, GetModuleFileNameA(nullptr, buffer, 10));
    EXPECT_EQ(full.substr(0, 9), std::string(buffer));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER), GetLastError());

    const auto exact = static_cast<DWORD>(full.size());
    EXPECT_EQ(exact, GetModuleFileNameA(nullptr, buffer, exact)) << "no room for the terminator";
    EXPECT_EQ(full.substr(0, full.size() - 1), std::string(buffer));

    SetLastError(0);
    EXPECT_EQ(exact, GetModuleFileNameA(nullptr, buffer, exact + 1));
    EXPECT_EQ(full, std::string(buffer));
    EXPECT_EQ(0u, GetLastError());
}

TEST(VirtualQuery, DescribesMemoryOutsideModules) {
    const auto heap = std::make_unique<int>(5);
    MEMORY_BASIC_INFORMATION info{};
    ASSERT_EQ(sizeof info, VirtualQuery(heap.get(), &info, sizeof info));
    const auto address = reinterpret_cast<std::uintptr_t>(heap.get());
    const auto base = reinterpret_cast<std::uintptr_t>(info.BaseAddress);
    EXPECT_LE(base, address);
    EXPECT_LT(address, base + info.RegionSize);
    EXPECT_EQ(static_cast<DWORD>(MEM_COMMIT), info.State);
    EXPECT_EQ(static_cast<DWORD>(MEM_PRIVATE), info.Type);
    EXPECT_EQ(static_cast<DWORD>(PAGE_READWRITE), info.Protect);

    ASSERT_EQ(sizeof info, VirtualQuery(nullptr, &info, sizeof info));
    EXPECT_EQ(static_cast<DWORD>(MEM_FREE), info.State);
    EXPECT_EQ(nullptr, info.AllocationBase);

    EXPECT_EQ(0u, VirtualQuery(heap.get(), &info, sizeof info - 1));
}

}  // namespace
