// The environment block. It starts as a copy of the real environment, so a
// user can set the drivers' switches in the shell; tests change it with
// SetEnvironmentVariableA without touching the real one. All logical
// processes share it.
#include <strings.h>

#include <cstring>
#include <map>
#include <mutex>
#include <string>

#include "platform/kernel.h"

extern char** environ;

namespace {

// Names match without regard to case, as on the original platform.
struct NameLess {
    bool operator()(const std::string& a, const std::string& b) const {
        return strcasecmp(a.c_str(), b.c_str()) < 0;
    }
};

struct Environment {
    std::mutex lock;
    std::map<std::string, std::string, NameLess> vars;
    Environment() {
        for (char** e = environ; e && *e; ++e) {
            const char* eq = std::strchr(*e, '=');
            if (eq && eq != *e) vars[std::string(*e, static_cast<size_t>(eq - *e))] = eq + 1;
        }
    }
};

Environment& environment() {
    static Environment* e = new Environment;
    return *e;
}

}  // namespace

extern "C" DWORD GetEnvironmentVariableA(LPCSTR lpName, LPSTR lpBuffer, DWORD nSize) {
    if (lpName == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    Environment& e = environment();
    std::lock_guard<std::mutex> g(e.lock);
    auto it = e.vars.find(lpName);
    if (it == e.vars.end()) {
        SetLastError(ERROR_ENVVAR_NOT_FOUND);
        return 0;
    }
    const std::string& value = it->second;
    SetLastError(ERROR_SUCCESS);
    if (value.size() + 1 > nSize || lpBuffer == nullptr) {
        if (value.empty() && lpBuffer == nullptr) return 1;
        if (value.empty() && nSize >= 1) {
            lpBuffer[0] = '\0';
            return 0;
        }
        return static_cast<DWORD>(value.size() + 1);
    }
    std::memcpy(lpBuffer, value.c_str(), value.size() + 1);
    return static_cast<DWORD>(value.size());
}

extern "C" BOOL SetEnvironmentVariableA(LPCSTR lpName, LPCSTR lpValue) {
    if (lpName == nullptr || *lpName == '\0' || std::strchr(lpName, '=') != nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    Environment& e = environment();
    std::lock_guard<std::mutex> g(e.lock);
    if (lpValue == nullptr)
        e.vars.erase(lpName);
    else
        e.vars.insert_or_assign(lpName, lpValue);
    return TRUE;
}
