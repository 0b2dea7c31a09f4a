// Windows mutexes, on robust recursive pthread mutexes. A named one lives in a small file in
// /dev/shm that every process opening the name maps, so it is system-wide; an unnamed one lives in
// this process's memory. Robustness gives Windows' abandonment: when the owning thread ends (or its
// process dies) the kernel marks the mutex, and the next taker gets WAIT_ABANDONED and owns it.
// Taking a free mutex costs no system call, so the lock is cheap here where Windows pays a kernel
// round trip; callers that care count their waits instead of timing them.
//
// Differences from Windows: ERROR_ALREADY_EXISTS reports only that this process has the name open
// already; handles do not survive fork() (a forked child opens the name afresh); a process keeps its
// mapping of a name until it ends, so closing the last handle of a mutex it owns leaves the mutex
// owned until the owning thread ends, which then abandons it.
#include "PlatformControl.h"
#include "WindowsStandIn.h"

#include <fcntl.h>
#include <pthread.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <ctime>
#include <map>
#include <memory>
#include <mutex>
#include <string>

namespace platform {

std::string NamedMutexFile(const std::string& name) {
    // Kernel object names may hold any character but '\'; keep the file name portable.
    std::string file = "/dev/shm/winplatform-mutex-";
    for (const char c : name) {
        const auto byte = static_cast<unsigned char>(c);
        if ((byte >= '0' && byte <= '9') || (byte >= 'A' && byte <= 'Z') || (byte >= 'a' && byte <= 'z') || c == '_' ||
            c == '-' || c == '.') {
            file += c;
        } else {
            char escaped[4];
            std::snprintf(escaped, sizeof escaped, "%%%02X", byte);
            file += escaped;
        }
    }
    return file;
}

}  // namespace platform

namespace {

// What a mapped name file holds. `ready` is set once the mutex is initialised, so a file
// created by a process that died before finishing is initialised again by the next one.
struct SharedMutex {
    pthread_mutex_t mutex;
    std::atomic<unsigned> ready;
};
const unsigned readyMark = 0x57494e4d;

void InitialiseMutex(pthread_mutex_t& mutex, bool shared) {
    pthread_mutexattr_t attributes;
    pthread_mutexattr_init(&attributes);
    pthread_mutexattr_settype(&attributes, PTHREAD_MUTEX_RECURSIVE);
    pthread_mutexattr_setrobust(&attributes, PTHREAD_MUTEX_ROBUST);
    if (shared) pthread_mutexattr_setpshared(&attributes, PTHREAD_PROCESS_SHARED);
    pthread_mutex_init(&mutex, &attributes);
    pthread_mutexattr_destroy(&attributes);
}

// Maps the name's file, initialising the mutex in it if no process did. The file's flock only
// orders the initialisation; the mutex itself never touches the file again.
SharedMutex* MapNamedMutex(const std::string& name) {
    const int file = open(platform::NamedMutexFile(name).c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
    if (file < 0) {
        SetLastError(errno == ENAMETOOLONG ? ERROR_FILENAME_EXCED_RANGE : ERROR_ACCESS_DENIED);
        return nullptr;
    }
    SharedMutex* shared = nullptr;
    struct stat status {};
    if (flock(file, LOCK_EX) == 0 && fstat(file, &status) == 0 &&
        (status.st_size >= static_cast<off_t>(sizeof(SharedMutex)) || ftruncate(file, sizeof(SharedMutex)) == 0)) {
        void* memory = mmap(nullptr, sizeof(SharedMutex), PROT_READ | PROT_WRITE, MAP_SHARED, file, 0);
        if (memory != MAP_FAILED) {
            shared = static_cast<SharedMutex*>(memory);
            if (shared->ready.load(std::memory_order_acquire) != readyMark) {
                InitialiseMutex(shared->mutex, true);
                shared->ready.store(readyMark, std::memory_order_release);
            }
        }
    }
    flock(file, LOCK_UN);  // explicitly: the mapping keeps the open file, and with it the flock
    close(file);
    if (shared == nullptr) SetLastError(ERROR_ACCESS_DENIED);
    return shared;
}

struct MutexState {
    pthread_mutex_t* mutex = nullptr;
    pid_t process = 0;
    std::unique_ptr<pthread_mutex_t> own;  // an unnamed mutex's storage

    // An owned mutex is linked into its owner's robust list, which the owner's thread walks later:
    // its storage must outlive the handle then.
    ~MutexState() {
        if (own != nullptr && own->__data.__owner != 0)
            own.release();
        else if (own != nullptr)
            pthread_mutex_destroy(own.get());
    }
};

// getpid() is a system call on every use; this one is refreshed in a forked child.
pid_t thisProcess = getpid();

struct HandleTable {
    HandleTable() {
        pthread_atfork(nullptr, nullptr, [] { thisProcess = getpid(); });
    }

    std::mutex guard;
    std::map<UINT_PTR, std::shared_ptr<MutexState>> handles;
    std::map<std::string, SharedMutex*> mappings;  // kept to the end: see the header comment
    UINT_PTR next = 4;                             // Windows handle values are multiples of four
};

HandleTable& Handles() {
    static HandleTable table;
    return table;
}

std::shared_ptr<MutexState> Lookup(HANDLE handle) {
    HandleTable& table = Handles();
    std::lock_guard<std::mutex> lock(table.guard);
    const auto found = table.handles.find(reinterpret_cast<UINT_PTR>(handle));
    if (found == table.handles.end() || found->second->process != thisProcess) return nullptr;
    return found->second;
}

DWORD Outcome(int result) {
    switch (result) {
        case 0:
            return WAIT_OBJECT_0;
        case EOWNERDEAD:
            return WAIT_ABANDONED;
        case EBUSY:
        case ETIMEDOUT:
            return WAIT_TIMEOUT;
        default:
            SetLastError(ERROR_INVALID_HANDLE);
            return WAIT_FAILED;
    }
}

}  // namespace

// bInitialOwner gives ownership only to the call that creates the mutex here, and only if no other
// process holds the name at that moment (Windows: only to the creator).
HANDLE CreateMutexA(LPSECURITY_ATTRIBUTES, BOOL bInitialOwner, LPCSTR lpName) {
    HandleTable& table = Handles();
    auto state = std::make_shared<MutexState>();
    state->process = thisProcess;
    bool existed = false;
    HANDLE handle = nullptr;
    {
        std::lock_guard<std::mutex> lock(table.guard);
        if (lpName == nullptr) {
            state->own = std::make_unique<pthread_mutex_t>();
            InitialiseMutex(*state->own, false);
            state->mutex = state->own.get();
        } else {
            SharedMutex*& shared = table.mappings[lpName];
            if (shared == nullptr && (shared = MapNamedMutex(lpName)) == nullptr) {
                table.mappings.erase(lpName);
                return nullptr;
            }
            state->mutex = &shared->mutex;
            for (const auto& entry : table.handles)
                existed = existed || (entry.second->mutex == state->mutex && entry.second->process == thisProcess);
        }
        table.next += 4;
        table.handles[table.next] = state;
        handle = reinterpret_cast<HANDLE>(table.next);  // read under the guard: another thread may add one next
    }
    if (bInitialOwner && !existed) WaitForSingleObject(handle, 0);
    SetLastError(existed ? ERROR_ALREADY_EXISTS : ERROR_SUCCESS);
    return handle;
}

DWORD WaitForSingleObject(HANDLE hHandle, DWORD dwMilliseconds) {
    const std::shared_ptr<MutexState> state = Lookup(hHandle);
    if (state == nullptr) {
        SetLastError(ERROR_INVALID_HANDLE);
        return WAIT_FAILED;
    }
    int result;
    if (dwMilliseconds == 0) {
        result = pthread_mutex_trylock(state->mutex);
    } else if (dwMilliseconds == INFINITE) {
        result = pthread_mutex_lock(state->mutex);
    } else {
        timespec deadline{};
        clock_gettime(CLOCK_MONOTONIC, &deadline);
        deadline.tv_sec += dwMilliseconds / 1000;
        deadline.tv_nsec += long(dwMilliseconds % 1000) * 1000000;
        if (deadline.tv_nsec >= 1000000000) {
            ++deadline.tv_sec;
            deadline.tv_nsec -= 1000000000;
        }
        result = pthread_mutex_clocklock(state->mutex, CLOCK_MONOTONIC, &deadline);
    }
    if (result == EOWNERDEAD)
        pthread_mutex_consistent(state->mutex);  // the taker owns it now; only this wait hears of it
    return Outcome(result);
}

BOOL ReleaseMutex(HANDLE hMutex) {
    const std::shared_ptr<MutexState> state = Lookup(hMutex);
    if (state == nullptr) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (pthread_mutex_unlock(state->mutex) != 0) {
        SetLastError(ERROR_NOT_OWNER);
        return FALSE;
    }
    return TRUE;
}

// Closing a handle does not release ownership, as on Windows.
BOOL CloseHandle(HANDLE hObject) {
    HandleTable& table = Handles();
    std::lock_guard<std::mutex> lock(table.guard);
    if (table.handles.erase(reinterpret_cast<UINT_PTR>(hObject)) == 0) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    return TRUE;
}
