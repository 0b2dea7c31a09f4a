// Windows mutexes. A named one is system-wide: an flock() on a file named after it, which the
// kernel releases when the holding process dies, so a crashed holder never blocks the others for
// good. The file's first byte says "held": a holder that releases clears it, one that dies leaves
// it set, and the next process to get the lock sees it and receives WAIT_ABANDONED, as Windows hands
// an abandoned mutex to its next waiter. Within a process one shared state per name arbitrates
// between threads and counts the owning thread's recursive waits, as a Windows mutex does.
//
// Differences from Windows: a thread that exits while owning a mutex keeps it until its process
// ends (Windows would abandon it at once); ERROR_ALREADY_EXISTS reports only that this process has
// the name open already; handles do not survive fork(): a forked child opens the name afresh.
#include "PlatformControl.h"
#include "WindowsStandIn.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

namespace platform {

std::string NamedMutexFile(const std::string& name)
{
    // Kernel object names may hold any character but '\'; keep the file name portable.
    std::string file = "/tmp/winplatform-mutex-";
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

using Clock = std::chrono::steady_clock;

const char heldMark = 1;
const char freeMark = 0;

struct MutexState {
    int file = -1;  // -1 for an unnamed, process-local mutex
    pid_t process = getpid();
    std::mutex guard;
    std::condition_variable released;
    bool owned = false;
    std::thread::id owner;
    unsigned long recursion = 0;

    ~MutexState()
    {
        if (file >= 0)
            close(file);
    }
};

// Takes the system-wide lock for this process; the in-process owner is already settled.
DWORD LockFile(int file, DWORD milliseconds, Clock::time_point deadline)
{
    if (file < 0)
        return WAIT_OBJECT_0;
    for (;;) {
        const int how = milliseconds == INFINITE ? LOCK_EX : LOCK_EX | LOCK_NB;
        if (flock(file, how) == 0)
            break;
        if (errno == EINTR)
            continue;
        if (errno != EWOULDBLOCK)
            return WAIT_FAILED;
        if (Clock::now() >= deadline)
            return WAIT_TIMEOUT;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    char mark = freeMark;
    const bool abandoned = pread(file, &mark, 1, 0) == 1 && mark == heldMark;
    if (pwrite(file, &heldMark, 1, 0) != 1) {
        flock(file, LOCK_UN);
        return WAIT_FAILED;
    }
    return abandoned ? WAIT_ABANDONED : WAIT_OBJECT_0;
}

void UnlockFile(int file)
{
    if (file < 0)
        return;
    // Cleared before unlocking: only a holder that dies between the two leaves the mark set. A failed
    // write only makes the next holder see the mutex as abandoned.
    const ssize_t cleared = pwrite(file, &freeMark, 1, 0);
    static_cast<void>(cleared);
    flock(file, LOCK_UN);
}

struct HandleTable {
    std::mutex guard;
    std::map<UINT_PTR, std::shared_ptr<MutexState>> handles;
    std::map<std::string, std::weak_ptr<MutexState>> byName;
    UINT_PTR next = 4;  // Windows handle values are multiples of four
};

HandleTable& Handles()
{
    static HandleTable table;
    return table;
}

std::shared_ptr<MutexState> Lookup(HANDLE handle)
{
    HandleTable& table = Handles();
    std::lock_guard<std::mutex> lock(table.guard);
    const auto found = table.handles.find(reinterpret_cast<UINT_PTR>(handle));
    if (found == table.handles.end() || found->second->process != getpid())
        return nullptr;
    return found->second;
}

}  // namespace

// bInitialOwner gives ownership only to the call that creates the mutex here, and only if no other
// process holds the name at that moment (Windows: only to the creator).
HANDLE CreateMutexA(LPSECURITY_ATTRIBUTES, BOOL bInitialOwner, LPCSTR lpName)
{
    HandleTable& table = Handles();
    std::shared_ptr<MutexState> state;
    bool existed = false;
    {
        std::lock_guard<std::mutex> lock(table.guard);
        if (lpName != nullptr) {
            state = table.byName[lpName].lock();
            existed = state != nullptr && state->process == getpid();
        }
        if (!existed) {
            state = std::make_shared<MutexState>();
            if (lpName != nullptr) {
                state->file = open(platform::NamedMutexFile(lpName).c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
                if (state->file < 0) {
                    SetLastError(errno == ENAMETOOLONG ? ERROR_FILENAME_EXCED_RANGE : ERROR_ACCESS_DENIED);
                    return nullptr;
                }
                table.byName[lpName] = state;
            }
        }
        table.next += 4;
        table.handles[table.next] = state;
    }
    const auto handle = reinterpret_cast<HANDLE>(table.next);
    if (bInitialOwner && !existed)
        WaitForSingleObject(handle, 0);
    SetLastError(existed ? ERROR_ALREADY_EXISTS : ERROR_SUCCESS);
    return handle;
}

DWORD WaitForSingleObject(HANDLE hHandle, DWORD dwMilliseconds)
{
    const std::shared_ptr<MutexState> state = Lookup(hHandle);
    if (state == nullptr) {
        SetLastError(ERROR_INVALID_HANDLE);
        return WAIT_FAILED;
    }
    const auto deadline = Clock::now() + std::chrono::milliseconds(dwMilliseconds);
    const std::thread::id self = std::this_thread::get_id();
    std::unique_lock<std::mutex> lock(state->guard);
    if (state->owned && state->owner == self) {
        ++state->recursion;
        return WAIT_OBJECT_0;
    }
    const auto free = [&] { return !state->owned; };
    if (dwMilliseconds == INFINITE)
        state->released.wait(lock, free);
    else if (!state->released.wait_until(lock, deadline, free))
        return WAIT_TIMEOUT;
    // Reserve the mutex for this thread while waiting for other processes without the guard held.
    state->owned = true;
    state->owner = self;
    lock.unlock();
    const DWORD result = LockFile(state->file, dwMilliseconds, deadline);
    lock.lock();
    if (result == WAIT_OBJECT_0 || result == WAIT_ABANDONED) {
        state->recursion = 1;
    } else {
        state->owned = false;
        state->released.notify_one();
        if (result == WAIT_FAILED)
            SetLastError(ERROR_INVALID_HANDLE);
    }
    return result;
}

BOOL ReleaseMutex(HANDLE hMutex)
{
    const std::shared_ptr<MutexState> state = Lookup(hMutex);
    if (state == nullptr) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    std::lock_guard<std::mutex> lock(state->guard);
    if (!state->owned || state->owner != std::this_thread::get_id() || state->recursion == 0) {
        SetLastError(ERROR_NOT_OWNER);
        return FALSE;
    }
    if (--state->recursion == 0) {
        UnlockFile(state->file);
        state->owned = false;
        state->released.notify_one();
    }
    return TRUE;
}

// Closing a handle does not release ownership, as on Windows. When the last handle of an owned
// mutex goes, the file is closed and the kernel frees the lock with the "held" mark still set, so
// the next holder learns the mutex was abandoned.
BOOL CloseHandle(HANDLE hObject)
{
    HandleTable& table = Handles();
    std::lock_guard<std::mutex> lock(table.guard);
    if (table.handles.erase(reinterpret_cast<UINT_PTR>(hObject)) == 0) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    return TRUE;
}
