// Finding and loading the client driver: the display driver names it in its
// answer to OPENGL_GETINFO; the installed client drivers map that name to a
// library, which is loaded by file name and must accept version 2. Every
// thread that reaches the driver is attached to it, and detached when it
// ends.
#include <cstring>
#include <mutex>
#include <string>

#include "escapes.h"
#include "icd.h"
#include "platform/process.h"

namespace vnx::opengl32 {
namespace {

// The client drivers installed on this system: the name the display driver
// answers, the library.
struct InstalledDriver {
    const char16_t* pwszName;
    const char* pszLibrary;
};
constexpr InstalledDriver kInstalled[] = {
    {u"VORNIX", "vnxglclt.dll"},
};

constexpr ULONG kIcdVersion = 2;
constexpr ULONG kReasonProcessDetach = 0, kReasonProcessAttach = 1, kReasonThreadAttach = 2,
                kReasonThreadDetach = 3;

std::mutex& lock() {
    static std::mutex* m = new std::mutex;
    return *m;
}

// The loaded driver; its generation changes with every load, so a thread
// attached to an earlier load is not detached from a later one.
Driver gDriver;
ULONG gGeneration = 0;
DWORD gFlsIndex = FLS_OUT_OF_INDEXES;

// What the end of a thread needs: the load it attached to and its process.
struct ThreadAttach {
    ULONG generation;
    DWORD pid;
};
thread_local ULONG tAttachedGeneration = 0;

void ThreadEnds(PVOID pv) {
    auto* pta = static_cast<ThreadAttach*>(pv);
    PFN_GLCltDllInitialize pfn = nullptr;
    HMODULE hModule = nullptr;
    {
        std::lock_guard<std::mutex> g(lock());
        if (gDriver.hModule != nullptr && gGeneration == pta->generation) {
            pfn = gDriver.pfnDllInitialize;
            hModule = gDriver.hModule;
        }
    }
    forget_thread_current();
    tAttachedGeneration = 0;
    if (pfn != nullptr) {
        vnx::process::Scope as(pta->pid);
        pfn(hModule, kReasonThreadDetach, nullptr);
    }
    delete pta;
}

// Marks the calling thread attached to the current load, so that its end
// detaches it.
void vNoteAttached() {
    tAttachedGeneration = gGeneration;
    if (gFlsIndex == FLS_OUT_OF_INDEXES) return;
    delete static_cast<ThreadAttach*>(FlsGetValue(gFlsIndex));  // of an earlier load
    FlsSetValue(gFlsIndex, new ThreadAttach{gGeneration, GetCurrentProcessId()});
}

template <class T>
bool bEntry(HMODULE hModule, const char* pszName, T* ppfn) {
    *ppfn = reinterpret_cast<T>(GetProcAddress(hModule, pszName));
    return *ppfn != nullptr;
}

// The library of the client driver the display names, or empty.
std::string sLibraryOf(HDC hdc) {
    const ULONG ulRequest = OPENGL_GETINFO_DRVNAME;
    OPENGL_INFO info{};
    if (ExtEscape(hdc, OPENGL_GETINFO, sizeof ulRequest, reinterpret_cast<LPCSTR>(&ulRequest), sizeof info,
                  reinterpret_cast<LPSTR>(&info)) <= 0)
        return {};
    info.awch[OPENGL_INFO_NAME_CHARS - 1] = 0;
    const std::u16string name(reinterpret_cast<const char16_t*>(info.awch));
    for (const InstalledDriver& d : kInstalled)
        if (name == d.pwszName) return d.pszLibrary;
    return {};
}

}  // namespace

const Driver* attached_driver() {
    PFN_GLCltDllInitialize pfn;
    HMODULE hModule;
    {
        std::lock_guard<std::mutex> g(lock());
        if (gDriver.hModule == nullptr) return nullptr;
        if (tAttachedGeneration == gGeneration) return &gDriver;
        vNoteAttached();
        pfn = gDriver.pfnDllInitialize;
        hModule = gDriver.hModule;
    }
    pfn(hModule, kReasonThreadAttach, nullptr);
    return &gDriver;
}

const Driver* load_driver(HDC hdc) {
    if (driver() != nullptr) return attached_driver();
    const std::string library = sLibraryOf(hdc);
    if (library.empty()) return nullptr;
    {
        std::lock_guard<std::mutex> g(lock());
        if (gDriver.hModule == nullptr) {
            Driver d;
            d.hModule = LoadLibraryA(library.c_str());
            if (d.hModule == nullptr) return nullptr;
            const bool bComplete = bEntry(d.hModule, "DrvValidateVersion", &d.pfnValidateVersion) &&
                                   bEntry(d.hModule, "DrvCreateContext", &d.pfnCreateContext) &&
                                   bEntry(d.hModule, "DrvCreateLayerContext", &d.pfnCreateLayerContext) &&
                                   bEntry(d.hModule, "DrvDeleteContext", &d.pfnDeleteContext) &&
                                   bEntry(d.hModule, "DrvSetContext", &d.pfnSetContext) &&
                                   bEntry(d.hModule, "DrvReleaseContext", &d.pfnReleaseContext) &&
                                   bEntry(d.hModule, "DrvShareLists", &d.pfnShareLists) &&
                                   bEntry(d.hModule, "DrvCopyContext", &d.pfnCopyContext) &&
                                   bEntry(d.hModule, "GLCltDllInitialize", &d.pfnDllInitialize);
            if (!bComplete || !d.pfnValidateVersion(kIcdVersion) ||
                !d.pfnDllInitialize(d.hModule, kReasonProcessAttach, nullptr)) {
                FreeLibrary(d.hModule);
                return nullptr;
            }
            if (gFlsIndex == FLS_OUT_OF_INDEXES) gFlsIndex = FlsAlloc(ThreadEnds);
            gDriver = d;
            ++gGeneration;
            vNoteAttached();  // process attach attached the loading thread
            return &gDriver;
        }
    }
    return attached_driver();  // another thread loaded it meanwhile
}

HMODULE driver() {
    std::lock_guard<std::mutex> g(lock());
    return gDriver.hModule;
}

void unload_driver() {
    Driver d;
    ULONG generation;
    {
        std::lock_guard<std::mutex> g(lock());
        d = gDriver;
        generation = gGeneration;
        gDriver = Driver{};
        ++gGeneration;
    }
    if (d.hModule == nullptr) return;
    forget_thread_current();
    tAttachedGeneration = 0;
    // The detach runs for the process the thread attached for.
    const auto* pta = gFlsIndex != FLS_OUT_OF_INDEXES ? static_cast<ThreadAttach*>(FlsGetValue(gFlsIndex)) : nullptr;
    {
        vnx::process::Scope as(pta != nullptr && pta->generation == generation ? pta->pid : GetCurrentProcessId());
        d.pfnDllInitialize(d.hModule, kReasonProcessDetach, nullptr);
    }
    FreeLibrary(d.hModule);
}

}  // namespace vnx::opengl32
