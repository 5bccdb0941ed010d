// DrvEscape and DrvDrawEscape: every escape runs under the device's
// csEscape. The driver's own codes are rows of one table, which also says
// what QUERYESCSUPPORT answers for each; any other code goes to the escape
// module whose range holds it.
#include <cstring>

#include "batch/batch.h"
#include "device/entry.h"
#include "escape/escape.h"
#include "glhooks/glserver.h"

namespace {

// What QUERYESCSUPPORT answers for a code.
enum ESCSUPPORT {
    ESCSUPPORT_NO,        // 0, even where DrvEscape serves the code
    ESCSUPPORT_YES,       // 1
    ESCSUPPORT_GLSERVER,  // 1 while the GL server is loaded, else 0
};

typedef ULONG (*PFN_ESCHANDLER)(PDEV* ppdev, SURFOBJ* pso, ULONG cjIn, PVOID pvIn, ULONG cjOut,
                                PVOID pvOut);

struct ESCAPEROW {
    LONG iEsc;
    ESCSUPPORT support;
    PFN_ESCHANDLER pfn;
};

// The first u32 of an escape's input, when there are four bytes of it.
BOOL bFirstWord(ULONG cjIn, const void* pvIn, ULONG* pul) {
    if (cjIn < sizeof(ULONG) || pvIn == nullptr) return FALSE;
    std::memcpy(pul, pvIn, sizeof(ULONG));
    return TRUE;
}

ULONG ulQueryEscSupport(PDEV* ppdev, SURFOBJ*, ULONG cjIn, PVOID pvIn, ULONG, PVOID);

ULONG ulMcdFuncs(PDEV*, SURFOBJ* pso, ULONG cjIn, PVOID pvIn, ULONG cjOut, PVOID pvOut) {
    return ulMcdEscape(pso, cjIn, pvIn, cjOut, pvOut);
}

ULONG ulOpenGLCmd(PDEV* ppdev, SURFOBJ* pso, ULONG cjIn, PVOID pvIn, ULONG cjOut, PVOID pvOut) {
    const ULONG ulResult = ppdev->pfnOpenGLCmd(pso, cjIn, pvIn, cjOut, pvOut);
    ppdev->lHookResult = -1;
    return ulResult;
}

ULONG ulOpenGLGetInfo(PDEV* ppdev, SURFOBJ* pso, ULONG cjIn, PVOID pvIn, ULONG cjOut, PVOID pvOut) {
    const ULONG ulResult = ppdev->pfnOpenGLGetInfo(pso, cjIn, pvIn, cjOut, pvOut);
    ppdev->lHookResult = -1;
    return ulResult;
}

ULONG ulLoadModule(PDEV* ppdev, SURFOBJ*, ULONG cjIn, PVOID pvIn, ULONG, PVOID) {
    return ulLoadEscapeModule(ppdev, cjIn, pvIn);
}

ULONG ulUnloadModule(PDEV* ppdev, SURFOBJ*, ULONG cjIn, PVOID pvIn, ULONG, PVOID) {
    return ulUnloadEscapeModule(ppdev, cjIn, pvIn);
}

ULONG ulDriverWord(PDEV* ppdev, SURFOBJ*, ULONG cjIn, PVOID pvIn, ULONG, PVOID) {
    const ULONG ulOld = ppdev->ulDriverWord;
    ULONG ulNew;
    if (bFirstWord(cjIn, pvIn, &ulNew)) ppdev->ulDriverWord = ulNew;
    return ulOld;
}

ULONG ulPing(PDEV*, SURFOBJ*, ULONG, PVOID, ULONG, PVOID) { return 1; }

ULONG ulUnloadServer(PDEV* ppdev, SURFOBJ*, ULONG, PVOID, ULONG, PVOID) {
    return ulUnloadGLServer(ppdev);
}

ULONG ulBoardConfig(PDEV* ppdev, SURFOBJ*, ULONG cjIn, PVOID pvIn, ULONG cjOut, PVOID pvOut) {
    return ulBoardConfigEscape(ppdev, cjIn, pvIn, cjOut, pvOut);
}

ULONG ulHeidi(PDEV* ppdev, SURFOBJ* pso, ULONG cjIn, PVOID pvIn, ULONG cjOut, PVOID pvOut) {
    return qrn_heidi(pso, ppdev, cjIn, pvIn, cjOut, pvOut);
}

ULONG ulGetModes(PDEV* ppdev, SURFOBJ*, ULONG, PVOID, ULONG cjOut, PVOID pvOut) {
    return DrvGetModes(ppdev->hDriver, cjOut, static_cast<DEVMODEW*>(pvOut));
}

const ESCAPEROW gaEscapes[] = {
    {QUERYESCSUPPORT, ESCSUPPORT_NO, ulQueryEscSupport},
    {MCDFUNCS, ESCSUPPORT_NO, ulMcdFuncs},
    {OPENGL_CMD, ESCSUPPORT_GLSERVER, ulOpenGLCmd},
    {OPENGL_GETINFO, ESCSUPPORT_GLSERVER, ulOpenGLGetInfo},
    {ESC_LOADESCAPEMODULE, ESCSUPPORT_YES, ulLoadModule},
    {ESC_UNLOADESCAPEMODULE, ESCSUPPORT_YES, ulUnloadModule},
    {ESC_DRIVERWORD, ESCSUPPORT_YES, ulDriverWord},
    {ESC_PING, ESCSUPPORT_NO, ulPing},
    {ESC_UNLOADGLSERVER, ESCSUPPORT_GLSERVER, ulUnloadServer},
    {ESC_BOARDCONFIG, ESCSUPPORT_YES, ulBoardConfig},
    {ESC_HEIDI, ESCSUPPORT_YES, ulHeidi},
    {ESC_GETMODES, ESCSUPPORT_YES, ulGetModes},
};

const ESCAPEROW* prowEscape(ULONG iEsc) {
    for (const ESCAPEROW& row : gaEscapes) {
        if (static_cast<ULONG>(row.iEsc) == iEsc) return &row;
    }
    return nullptr;
}

// QUERYESCSUPPORT's answer for the code in the input, among the codes that
// answer by the loaded GL server only (DrvDrawEscape) or among all.
ULONG ulSupport(const PDEV* ppdev, ULONG cjIn, const void* pvIn, BOOL bGLServerOnly) {
    ULONG iQueried;
    if (!bFirstWord(cjIn, pvIn, &iQueried)) return 0;
    const ESCAPEROW* prow = prowEscape(iQueried);
    if (prow == nullptr) return 0;
    if (prow->support == ESCSUPPORT_GLSERVER) return ppdev->hGLServer != nullptr ? 1 : 0;
    return prow->support == ESCSUPPORT_YES && !bGLServerOnly ? 1 : 0;
}

ULONG ulQueryEscSupport(PDEV* ppdev, SURFOBJ*, ULONG cjIn, PVOID pvIn, ULONG, PVOID) {
    return ulSupport(ppdev, cjIn, pvIn, FALSE);
}

PDEV* ppdevOf(SURFOBJ* pso) { return reinterpret_cast<PDEV*>(pso->dhpdev); }

}  // namespace

ULONG DrvEscape(SURFOBJ* pso, ULONG iEsc, ULONG cjIn, PVOID pvIn, ULONG cjOut, PVOID pvOut) {
    PDEV* ppdev = ppdevOf(pso);
    CriticalSectionLock lock(ppdev->csEscape);
    if (const ESCAPEROW* prow = prowEscape(iEsc))
        return prow->pfn(ppdev, pso, cjIn, pvIn, cjOut, pvOut);

    const EscapeModule* pem = pemEscapeModuleOwning(ppdev, static_cast<LONG>(iEsc));
    if (pem == nullptr) return 0;
    if (pem->pfnEscape == nullptr) return static_cast<ULONG>(-1);
    const ULONG ulResult = pem->pfnEscape(pso, iEsc, cjIn, pvIn, cjOut, pvOut);
    ppdev->lHookResult = -1;
    return ulResult;
}

ULONG DrvDrawEscape(SURFOBJ* pso, ULONG iEsc, CLIPOBJ* pco, RECTL* prcl, ULONG cjIn, PVOID pvIn) {
    PDEV* ppdev = ppdevOf(pso);
    CriticalSectionLock lock(ppdev->csEscape);
    if (iEsc == QUERYESCSUPPORT) return ulSupport(ppdev, cjIn, pvIn, TRUE);

    const EscapeModule* pem = pemEscapeModuleOwning(ppdev, static_cast<LONG>(iEsc));
    if (pem == nullptr || pem->pfnDrawEscape == nullptr) return static_cast<ULONG>(-1);
    const ULONG ulResult = pem->pfnDrawEscape(pso, iEsc, pco, prcl, cjIn, pvIn);
    ppdev->lHookResult = -1;
    return ulResult;
}
