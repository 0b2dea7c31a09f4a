// The process environment as Windows programs see it: a private table, so that changing "Path"
// here never changes the Linux PATH that programs we start depend on. Names are case-insensitive
// ("Path" and "PATH" are one variable); the table starts as a copy of the Linux environment, where
// of names differing only in case the later one wins.
#include "PlatformControl.h"
#include "WindowsStandIn.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <map>
#include <mutex>
#include <string>

extern char** environ;

namespace {

std::string Key(std::string key) {
    std::transform(key.begin(), key.end(), key.begin(),
                   [](char c) { return static_cast<char>(std::toupper(static_cast<unsigned char>(c))); });
    return key;
}

struct Environment {
    std::mutex guard;
    std::map<std::string, std::string> values;  // by upper-case name

    Environment() {
        for (char** entry = environ; entry != nullptr && *entry != nullptr; ++entry) {
            const char* equals = std::strchr(*entry, '=');
            if (equals != nullptr && equals != *entry)
                values[Key(std::string(*entry, static_cast<std::size_t>(equals - *entry)))] = equals + 1;
        }
    }
};

Environment& TheEnvironment() {
    static Environment environment;
    return environment;
}

}  // namespace

namespace platform {

void ResetEnvironment(const std::vector<std::pair<std::string, std::string>>& variables) {
    Environment& environment = TheEnvironment();
    std::lock_guard<std::mutex> lock(environment.guard);
    environment.values.clear();
    for (const auto& variable : variables) environment.values[Key(variable.first)] = variable.second;
}

}  // namespace platform

// Windows' return rules: the length without terminator when the value fits; the size needed WITH
// the terminator when it does not (the buffer is then left untouched); 0 and ERROR_ENVVAR_NOT_FOUND
// when the variable does not exist. An empty value also returns 0, with the last error cleared so
// callers can tell it from a missing variable.
DWORD GetEnvironmentVariableA(LPCSTR lpName, LPSTR lpBuffer, DWORD nSize) {
    if (lpName == nullptr || *lpName == '\0') {
        SetLastError(ERROR_ENVVAR_NOT_FOUND);
        return 0;
    }
    Environment& environment = TheEnvironment();
    std::lock_guard<std::mutex> lock(environment.guard);
    const auto found = environment.values.find(Key(lpName));
    if (found == environment.values.end()) {
        SetLastError(ERROR_ENVVAR_NOT_FOUND);
        return 0;
    }
    const std::string& value = found->second;
    if (lpBuffer == nullptr || value.size() >= nSize) return static_cast<DWORD>(value.size() + 1);
    std::memcpy(lpBuffer, value.c_str(), value.size() + 1);
    if (value.empty()) SetLastError(ERROR_SUCCESS);
    return static_cast<DWORD>(value.size());
}

// A null value deletes the variable (deleting a missing one succeeds, as on Windows). Names may not
// contain '=' after their first character.
BOOL SetEnvironmentVariableA(LPCSTR lpName, LPCSTR lpValue) {
    if (lpName == nullptr || *lpName == '\0' || std::strchr(lpName + 1, '=') != nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    Environment& environment = TheEnvironment();
    std::lock_guard<std::mutex> lock(environment.guard);
    if (lpValue == nullptr)
        environment.values.erase(Key(lpName));
    else
        environment.values[Key(lpName)] = lpValue;
    return TRUE;
}
