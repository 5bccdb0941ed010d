// Escape modules: libraries an application loads by escape, each owning a
// range of escape codes. One record per module, newest first, reference
// counted by name. The name comes from an application, so only a plain file
// name is taken, and the library is looked for beside the driver: an
// application cannot make this process load a file of its choosing.
#include <cstddef>
#include <cstring>

#include "escape/escape.h"

namespace {

// Copies the zero-terminated name at the start of the input into achName
// (read once: the application may change its buffer meanwhile) and answers
// its length, or 0 when the input holds no non-empty name that ends within
// it and within ESC_MODULE_NAME_MAX bytes.
size_t cchModuleName(ULONG cjIn, const void* pvIn, char (&achName)[ESC_MODULE_NAME_MAX]) {
    if (pvIn == nullptr) return 0;
    const size_t cjMax = cjIn < ESC_MODULE_NAME_MAX ? cjIn : ESC_MODULE_NAME_MAX;
    std::memcpy(achName, pvIn, cjMax);
    const void* pvEnd = std::memchr(achName, '\0', cjMax);
    if (pvEnd == nullptr) return 0;
    return static_cast<size_t>(static_cast<const char*>(pvEnd) - achName);
}

// The hook slots and server handle a module must leave alone.
struct GLBINDING {
    HMODULE hGLServer;
    PFN_OPENGLCMD pfnOpenGLCmd;
    PFN_OPENGLGETINFO pfnOpenGLGetInfo;
    PFN_SWAPBUFFERS pfnSwapBuffers;
    PFN_SETPIXELFORMAT pfnSetPixelFormat;
    PFN_DESCRIBEPIXELFORMAT pfnDescribePixelFormat;
    PFN_GLSERVERUNLOAD pfnGLServerUnload;
};

GLBINDING glbOf(const PDEV* ppdev) {
    return {ppdev->hGLServer,        ppdev->pfnOpenGLCmd,      ppdev->pfnOpenGLGetInfo,
            ppdev->pfnSwapBuffers,   ppdev->pfnSetPixelFormat, ppdev->pfnDescribePixelFormat,
            ppdev->pfnGLServerUnload};
}

bool bSameBinding(const GLBINDING& a, const GLBINDING& b) {
    return a.hGLServer == b.hGLServer && a.pfnOpenGLCmd == b.pfnOpenGLCmd &&
           a.pfnOpenGLGetInfo == b.pfnOpenGLGetInfo && a.pfnSwapBuffers == b.pfnSwapBuffers &&
           a.pfnSetPixelFormat == b.pfnSetPixelFormat &&
           a.pfnDescribePixelFormat == b.pfnDescribePixelFormat &&
           a.pfnGLServerUnload == b.pfnGLServerUnload;
}

void vRestoreBinding(PDEV* ppdev, const GLBINDING& glb) {
    ppdev->hGLServer = glb.hGLServer;
    ppdev->pfnOpenGLCmd = glb.pfnOpenGLCmd;
    ppdev->pfnOpenGLGetInfo = glb.pfnOpenGLGetInfo;
    ppdev->pfnSwapBuffers = glb.pfnSwapBuffers;
    ppdev->pfnSetPixelFormat = glb.pfnSetPixelFormat;
    ppdev->pfnDescribePixelFormat = glb.pfnDescribePixelFormat;
    ppdev->pfnGLServerUnload = glb.pfnGLServerUnload;
}

// A file name without any folder part: letters, digits, '_', '-' and '.',
// not starting with '.'.
BOOL bPlainModuleName(const char* pszName) {
    if (pszName[0] == '.') return FALSE;
    for (const char* pch = pszName; *pch != '\0'; ++pch) {
        const char c = *pch;
        const bool bAllowed = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                              (c >= '0' && c <= '9') || c == '_' || c == '-' || c == '.';
        if (!bAllowed) return FALSE;
    }
    return TRUE;
}

// The link that points at the module of that name (exact, case-sensitive),
// or null.
EscapeModule** ppemLinkOf(PDEV* ppdev, const char* pszName) {
    for (EscapeModule** ppem = &ppdev->pEscapeModules; *ppem != nullptr; ppem = &(*ppem)->pNext) {
        if (std::strcmp((*ppem)->achName, pszName) == 0) return ppem;
    }
    return nullptr;
}

}  // namespace

ULONG ulLoadEscapeModule(PDEV* ppdev, ULONG cjIn, PVOID pvIn) {
    char achName[ESC_MODULE_NAME_MAX];
    const size_t cchName = cchModuleName(cjIn, pvIn, achName);
    if (cchName == 0) return 0;
    const char* pszName = achName;
    if (!bPlainModuleName(pszName)) return 0;

    if (EscapeModule** ppem = ppemLinkOf(ppdev, pszName)) {
        if ((*ppem)->cRef == ~0u) return 0;  // the count would wrap
        ++(*ppem)->cRef;
        return static_cast<ULONG>(ESC_MODULE_ALREADY_LOADED);
    }

    EscapeModule* pem =
        static_cast<EscapeModule*>(LocalAlloc(LPTR, offsetof(EscapeModule, achName) + cchName + 1));
    if (pem == nullptr) return 0;
    HMODULE hModule = LoadLibraryA(pszName);
    if (hModule == nullptr) {
        LocalFree(pem);
        return 0;
    }
    pem->hModule = hModule;
    // The GL server exports an enable entry of the same name: loaded as a
    // module it would bind itself into the hook slots without the loader, and
    // unloading the module would leave the slots pointing into freed code.
    // Neither the server itself nor any module that touches the binding is
    // taken.
    const GLBINDING glbBefore = glbOf(ppdev);
    const auto pfnEnable =
        reinterpret_cast<PFN_ESCMODULE_ENABLE>(GetProcAddress(hModule, ESC_MODULE_ENABLE_EXPORT));
    const bool bServer = hModule == ppdev->hGLServer;
    if (bServer || pfnEnable == nullptr || pfnEnable(ESC_MODULE_VERSION, ppdev, pem) == 0 ||
        !bSameBinding(glbBefore, glbOf(ppdev))) {
        vRestoreBinding(ppdev, glbBefore);
        FreeLibrary(hModule);
        LocalFree(pem);
        return 0;
    }
    // The module may have written only its own fields; the driver's are set
    // again here.
    pem->hModule = hModule;
    pem->cRef = 1;
    std::memcpy(pem->achName, pszName, cchName + 1);
    pem->pNext = ppdev->pEscapeModules;
    ppdev->pEscapeModules = pem;
    return 1;
}

ULONG ulUnloadEscapeModule(PDEV* ppdev, ULONG cjIn, PVOID pvIn) {
    char achName[ESC_MODULE_NAME_MAX];
    if (cchModuleName(cjIn, pvIn, achName) == 0) return 0;
    EscapeModule** ppem = ppemLinkOf(ppdev, achName);
    if (ppem == nullptr) return 0;
    EscapeModule* pem = *ppem;
    if (pem->cRef > 1) {
        --pem->cRef;
        return 1;
    }
    // Out of the list first, so nothing the module does on its way out finds
    // it. A module without an unload handler has nothing of its own to
    // release.
    *ppem = pem->pNext;
    if (pem->pfnUnload != nullptr) pem->pfnUnload(ppdev);
    FreeLibrary(pem->hModule);
    LocalFree(pem);
    return 1;
}

EscapeModule* pemEscapeModuleOwning(PDEV* ppdev, LONG iEsc) {
    for (EscapeModule* pem = ppdev->pEscapeModules; pem != nullptr; pem = pem->pNext) {
        if (pem->iEscLow <= iEsc && iEsc <= pem->iEscHigh) return pem;
    }
    return nullptr;
}
