// Modules as Windows shows them, on top of the dynamic loader.
//
// An HMODULE is the address at which the module's file is mapped (dladdr's dli_fbase), as a
// Windows HMODULE is its image base: so VirtualQuery(address inside a module).AllocationBase is that
// module's HMODULE, and any address can be traced back to its module the Windows way.
#include "PlatformControl.h"
#include "WindowsStandIn.h"

#include <dlfcn.h>
#include <link.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <mutex>
#include <string>

namespace platform {

std::string WindowsPath(const std::string& linuxPath) {
    std::string path = "Z:" + linuxPath;
    std::replace(path.begin(), path.end(), '/', '\\');
    return path;
}

std::string LinuxPath(const std::string& windowsPath) {
    std::string path = windowsPath;
    if (path.size() >= 2 && std::toupper(static_cast<unsigned char>(path[0])) == 'Z' && path[1] == ':')
        path.erase(0, 2);
    std::replace(path.begin(), path.end(), '\\', '/');
    return path;
}

}  // namespace platform

namespace {

std::mutex loaderGuard;
// Modules loaded through LoadLibraryA, so FreeLibrary can give back exactly those references.
std::map<HMODULE, void*> loadedLibraries;

bool EndsWithNoCase(const std::string& text, const std::string& suffix) {
    return text.size() >= suffix.size() &&
           std::equal(suffix.begin(), suffix.end(), text.end() - static_cast<std::ptrdiff_t>(suffix.size()),
                      [](char lower, char c) { return std::tolower(static_cast<unsigned char>(c)) == lower; });
}

// Windows' implied ".DLL" becomes the Linux convention lib<NAME>.so; a name with another
// extension names its file literally ("X.xll", "libz.so.1"); a path is taken as given.
std::string LibraryFile(const std::string& name) {
    if (name.find_first_of("/\\") != std::string::npos) return platform::LinuxPath(name);
    if (EndsWithNoCase(name, ".dll")) return "lib" + name.substr(0, name.size() - 4) + ".so";
    if (name.find('.') == std::string::npos) return "lib" + name + ".so";
    return name;
}

std::string MainProgramFile() {
    char path[PATH_MAX];
    const ssize_t length = readlink("/proc/self/exe", path, sizeof path - 1);
    return length > 0 ? std::string(path, static_cast<std::size_t>(length)) : std::string();
}

std::string MainProgramFolder() {
    const std::string program = MainProgramFile();
    return program.substr(0, program.rfind('/'));
}

// Windows searches the program's folder first: try the file there, then the loader's own search.
void* OpenLibrary(const char* name, int flags) {
    if (name == nullptr || *name == '\0') return nullptr;
    const std::string file = LibraryFile(name);
    void* handle = nullptr;
    if (file.find('/') == std::string::npos) handle = dlopen((MainProgramFolder() + "/" + file).c_str(), flags);
    if (handle == nullptr) handle = dlopen(file.c_str(), flags);
    return handle;
}

HMODULE ModuleOfHandle(void* handle) {
    link_map* map = nullptr;
    Dl_info info{};
    if (dlinfo(handle, RTLD_DI_LINKMAP, &map) != 0 || map == nullptr || dladdr(map->l_ld, &info) == 0) return nullptr;
    return static_cast<HMODULE>(info.dli_fbase);
}

HMODULE MainProgram() {
    static const HMODULE main = [] {
        void* self = dlopen(nullptr, RTLD_LAZY);
        return ModuleOfHandle(self);
    }();
    return main;
}

// The loader's name for the module mapped at `module`, or nullptr if no module starts there.
const char* LoaderName(HMODULE module) {
    Dl_info info{};
    if (module == nullptr || dladdr(module, &info) == 0 || info.dli_fbase != module) return nullptr;
    return info.dli_fname;
}

std::string ModuleFile(HMODULE module) {
    if (module == nullptr || module == MainProgram()) return MainProgramFile();
    const char* name = LoaderName(module);
    if (name == nullptr) return std::string();
    char resolved[PATH_MAX];
    return realpath(name, resolved) != nullptr ? std::string(resolved) : std::string(name);
}

}  // namespace

HMODULE LoadLibraryA(LPCSTR lpLibFileName) {
    void* handle = OpenLibrary(lpLibFileName, RTLD_NOW | RTLD_LOCAL);
    const HMODULE module = handle != nullptr ? ModuleOfHandle(handle) : nullptr;
    if (module == nullptr) {
        if (handle != nullptr) dlclose(handle);
        SetLastError(ERROR_MOD_NOT_FOUND);
        return nullptr;
    }
    std::lock_guard<std::mutex> lock(loaderGuard);
    // dlopen counts references as LoadLibrary does; remembering one handle is enough to release them.
    loadedLibraries[module] = handle;
    return module;
}

BOOL FreeLibrary(HMODULE hLibModule) {
    std::lock_guard<std::mutex> lock(loaderGuard);
    const auto found = loadedLibraries.find(hLibModule);
    if (found == loadedLibraries.end()) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    void* handle = found->second;
    // Once the last reference is gone the module is unmapped; a fresh probe tells whether it still is.
    dlclose(handle);
    const char* name = LoaderName(hLibModule);
    if (name == nullptr) loadedLibraries.erase(found);
    return TRUE;
}

HMODULE GetModuleHandleA(LPCSTR lpModuleName) {
    if (lpModuleName == nullptr) return MainProgram();
    void* handle = OpenLibrary(lpModuleName, RTLD_LAZY | RTLD_NOLOAD);
    if (handle == nullptr) {
        SetLastError(ERROR_MOD_NOT_FOUND);
        return nullptr;
    }
    const HMODULE module = ModuleOfHandle(handle);
    dlclose(handle);  // GetModuleHandleA takes no reference
    return module;
}

FARPROC GetProcAddress(HMODULE hModule, LPCSTR lpProcName) {
    // As on Windows, a null module means the main program.
    const HMODULE module = hModule != nullptr ? hModule : MainProgram();
    void* handle = nullptr;
    if (module == MainProgram()) {
        handle = dlopen(nullptr, RTLD_LAZY);
    } else if (const char* name = LoaderName(module)) {
        handle = dlopen(name, RTLD_LAZY | RTLD_NOLOAD);
    }
    if (handle == nullptr) {
        SetLastError(ERROR_MOD_NOT_FOUND);
        return nullptr;
    }
    void* symbol = lpProcName != nullptr ? dlsym(handle, lpProcName) : nullptr;
    dlclose(handle);
    if (symbol == nullptr) {
        SetLastError(ERROR_PROC_NOT_FOUND);
        return nullptr;
    }
    return reinterpret_cast<FARPROC>(symbol);
}

// Windows' rule since Vista: a path that does not fit is cut to nSize - 1 characters plus the
// terminator, the result is nSize and the error ERROR_INSUFFICIENT_BUFFER.
DWORD GetModuleFileNameA(HMODULE hModule, LPSTR lpFilename, DWORD nSize) {
    const std::string file = ModuleFile(hModule);
    if (file.empty()) {
        SetLastError(ERROR_MOD_NOT_FOUND);
        return 0;
    }
    const std::string path = platform::WindowsPath(file);
    if (nSize == 0 || lpFilename == nullptr) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    if (path.size() < nSize) {
        std::memcpy(lpFilename, path.c_str(), path.size() + 1);
        return static_cast<DWORD>(path.size());
    }
    std::memcpy(lpFilename, path.data(), nSize - 1);
    lpFilename[nSize - 1] = '\0';
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return nSize;
}

namespace {

struct MappedRegion {
    std::uintptr_t start = 0;
    std::uintptr_t end = 0;
    std::string permissions;
    std::string file;
};

// The mapping that holds `address`; when none does, an unmapped gap reaching to the next mapping.
bool FindRegion(std::uintptr_t address, MappedRegion& region) {
    std::ifstream maps("/proc/self/maps");
    std::string line;
    std::uintptr_t previousEnd = 0;
    while (std::getline(maps, line)) {
        unsigned long start = 0, end = 0;
        char permissions[8] = {};
        int fileColumn = 0;
        if (std::sscanf(line.c_str(), "%lx-%lx %7s %*s %*s %*s %n", &start, &end, permissions, &fileColumn) < 3)
            continue;
        if (address < start) {
            region = MappedRegion{previousEnd, start, std::string(), std::string()};
            return false;
        }
        if (address < end) {
            region = MappedRegion{start, end, permissions,
                                  fileColumn > 0 ? line.substr(static_cast<std::size_t>(fileColumn)) : ""};
            return true;
        }
        previousEnd = end;
    }
    region = MappedRegion{previousEnd, previousEnd, std::string(), std::string()};
    return false;
}

DWORD ProtectionOf(const std::string& permissions) {
    const bool read = permissions.size() > 0 && permissions[0] == 'r';
    const bool write = permissions.size() > 1 && permissions[1] == 'w';
    const bool execute = permissions.size() > 2 && permissions[2] == 'x';
    if (execute) return write ? PAGE_EXECUTE_READWRITE : read ? PAGE_EXECUTE_READ : PAGE_EXECUTE;
    return write ? PAGE_READWRITE : read ? PAGE_READONLY : PAGE_NOACCESS;
}

}  // namespace

// Regions are the kernel's mappings; AllocationBase is the module's HMODULE for addresses inside a
// module and the mapping's start otherwise. Unmapped addresses give a MEM_FREE region, as on Windows.
SIZE_T VirtualQuery(LPCVOID lpAddress, PMEMORY_BASIC_INFORMATION lpBuffer, SIZE_T dwLength) {
    if (lpBuffer == nullptr || dwLength < sizeof(MEMORY_BASIC_INFORMATION)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    const auto address = reinterpret_cast<std::uintptr_t>(lpAddress);
    const auto pageSize = static_cast<std::uintptr_t>(sysconf(_SC_PAGESIZE));
    const std::uintptr_t page = address & ~(pageSize - 1);
    MappedRegion region;
    MEMORY_BASIC_INFORMATION info{};
    info.BaseAddress = reinterpret_cast<LPVOID>(page);
    if (!FindRegion(address, region)) {
        if (region.end <= page) {  // beyond every mapping: Windows refuses addresses past user space
            SetLastError(ERROR_INVALID_PARAMETER);
            return 0;
        }
        info.RegionSize = region.end - page;
        info.State = MEM_FREE;
        info.Protect = PAGE_NOACCESS;
    } else {
        Dl_info module{};
        const bool inModule = dladdr(lpAddress, &module) != 0 && module.dli_fbase != nullptr;
        info.AllocationBase = inModule ? module.dli_fbase : reinterpret_cast<LPVOID>(region.start);
        info.RegionSize = region.end - page;
        info.State = MEM_COMMIT;
        info.Protect = info.AllocationProtect = ProtectionOf(region.permissions);
        info.Type = inModule ? MEM_IMAGE : region.file.empty() || region.file[0] == '[' ? MEM_PRIVATE : MEM_MAPPED;
    }
    *lpBuffer = info;
    return sizeof(MEMORY_BASIC_INFORMATION);
}
