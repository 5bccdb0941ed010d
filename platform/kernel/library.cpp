// Library loading by the original platform's file names.
//
// "vnxglsrv.dll" is the shared library "vnxglsrv.so" in the folder of the
// module that asks for it (then in the program's folder), so a driver finds
// the library it loads beside itself, as it would on the original platform.
#include <dlfcn.h>
#include <limits.h>
#include <unistd.h>

#include <cctype>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "platform/faults.h"
#include "platform/kernel.h"

namespace {

struct Modules {
    std::mutex lock;
    std::map<void*, int> loads;  // dlopen handle -> loads not yet freed
};

Modules& modules() {
    static Modules* m = new Modules;
    return *m;
}

std::string folder_of(const std::string& path) {
    auto slash = path.rfind('/');
    return slash == std::string::npos ? std::string(".") : path.substr(0, slash);
}

std::string program_folder() {
    char buf[PATH_MAX];
    ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
    if (n <= 0) return ".";
    buf[n] = '\0';
    return folder_of(buf);
}

// "Name.DLL" -> "Name.so"; a name without an extension gets ".so".
std::string shared_object_name(const std::string& name) {
    std::string base = name;
    auto dot = base.rfind('.');
    if (dot != std::string::npos && base.find('/', dot) == std::string::npos) {
        std::string ext = base.substr(dot);
        for (auto& c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        if (ext == ".dll") base.erase(dot);
        else return base;  // already a real file name
    }
    return base + ".so";
}

HMODULE load(const char* name, const void* caller) {
    if (name == nullptr || *name == '\0') {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    if (vnx::faults::should_fail("LoadLibraryA")) {
        SetLastError(ERROR_MOD_NOT_FOUND);
        return nullptr;
    }
    std::string file = shared_object_name(name);
    std::vector<std::string> candidates;
    if (file.find('/') != std::string::npos) {
        candidates.push_back(file);
    } else {
        Dl_info info{};
        if (caller && dladdr(caller, &info) && info.dli_fname)
            candidates.push_back(folder_of(info.dli_fname) + "/" + file);
        candidates.push_back(program_folder() + "/" + file);
    }
    // The original platform matches file names without regard to case: try the
    // name as given, then with its last part in lower case.
    for (size_t i = 0, n = candidates.size(); i < n; ++i) {
        std::string lower = candidates[i];
        for (size_t c = lower.rfind('/') + 1; c < lower.size(); ++c)
            lower[c] = static_cast<char>(std::tolower(static_cast<unsigned char>(lower[c])));
        if (lower != candidates[i]) candidates.push_back(lower);
    }
    for (const auto& path : candidates) {
        if (access(path.c_str(), R_OK) != 0) continue;
        void* h = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
        if (h == nullptr) {
            OutputDebugStringA(("LoadLibraryA: " + std::string(dlerror()) + "\n").c_str());
            continue;
        }
        Modules& m = modules();
        std::lock_guard<std::mutex> g(m.lock);
        ++m.loads[h];
        return reinterpret_cast<HMODULE>(h);
    }
    SetLastError(ERROR_MOD_NOT_FOUND);
    return nullptr;
}

bool is_loaded(HMODULE h) {
    Modules& m = modules();
    std::lock_guard<std::mutex> g(m.lock);
    return m.loads.count(reinterpret_cast<void*>(h)) != 0;
}

}  // namespace

extern "C" __attribute__((noinline)) HMODULE LoadLibraryA(LPCSTR lpLibFileName) {
    return load(lpLibFileName, __builtin_extract_return_addr(__builtin_return_address(0)));
}

extern "C" FARPROC GetProcAddress(HMODULE hModule, LPCSTR lpProcName) {
    if (!is_loaded(hModule) || lpProcName == nullptr) {
        SetLastError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    // A value below 0x10000 is an ordinal on the original platform; no module
    // of this system exports by ordinal.
    if (reinterpret_cast<std::uintptr_t>(lpProcName) < 0x10000) {
        SetLastError(ERROR_PROC_NOT_FOUND);
        return nullptr;
    }
    void* p = dlsym(reinterpret_cast<void*>(hModule), lpProcName);
    if (p == nullptr) {
        SetLastError(ERROR_PROC_NOT_FOUND);
        return nullptr;
    }
    return reinterpret_cast<FARPROC>(p);
}

extern "C" BOOL FreeLibrary(HMODULE hLibModule) {
    void* h = reinterpret_cast<void*>(hLibModule);
    {
        Modules& m = modules();
        std::lock_guard<std::mutex> g(m.lock);
        auto it = m.loads.find(h);
        if (it == m.loads.end()) {
            SetLastError(ERROR_INVALID_HANDLE);
            return FALSE;
        }
        if (--it->second == 0) m.loads.erase(it);
    }
    dlclose(h);
    return TRUE;
}
