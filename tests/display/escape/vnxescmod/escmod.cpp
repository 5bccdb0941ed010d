// Stand-in escape modules for the driver's escape tests. One source, built as
// several libraries:
//   TEST_MODULE_FULL    codes -1100..-1000; escape, drawing-escape and unload
//                       handlers
//   TEST_MODULE_BARE    codes -1050..-900; no handlers at all
//   TEST_MODULE_REFUSE  DrvEnableEscape answers 0
// Every call is reported on the debug sink, with whether the calling thread
// holds the driver's csEscape.
#include "escapes.h"
#include "pdev.h"
#include "platform/export.h"

#ifndef TEST_MODULE_NAME
#error "TEST_MODULE_NAME names the library in its reports"
#endif

namespace {

const char* pszLocked(const PDEV* ppdev) {
    const CRITICAL_SECTION& cs = ppdev->csEscape;
    return cs.RecursionCount > 0 && cs.OwningThread == GetCurrentThreadId() ? "escape" : "none";
}

// Answers the code plus 0x10000 and the input size, so tests see which call
// came back.
[[maybe_unused]] ULONG ulEscape(SURFOBJ* pso, ULONG iEsc, ULONG cjIn, PVOID, ULONG cjOut, PVOID) {
    DbgPrint("%s: escape %d %u %u [%s]\n", TEST_MODULE_NAME, static_cast<LONG>(iEsc), cjIn, cjOut,
             pszLocked(reinterpret_cast<const PDEV*>(pso->dhpdev)));
    return iEsc + 0x10000 + cjIn;
}

[[maybe_unused]] ULONG ulDrawEscape(SURFOBJ* pso, ULONG iEsc, CLIPOBJ*, RECTL*, ULONG cjIn, PVOID) {
    DbgPrint("%s: draw escape %d %u [%s]\n", TEST_MODULE_NAME, static_cast<LONG>(iEsc), cjIn,
             pszLocked(reinterpret_cast<const PDEV*>(pso->dhpdev)));
    return iEsc + 0x20000 + cjIn;
}

[[maybe_unused]] void vUnload(PDEV* ppdev) {
    DbgPrint("%s: unload [%s]\n", TEST_MODULE_NAME, pszLocked(ppdev));
}

}  // namespace

extern "C" VNX_EXPORT ULONG DrvEnableEscape(ULONG iVersion, PDEV* ppdev, EscapeModule* pem) {
    DbgPrint("%s: DrvEnableEscape %#x [%s] %s\n", TEST_MODULE_NAME, iVersion, pszLocked(ppdev),
             pem->hModule != nullptr ? "with module" : "without module");
#if defined(TEST_MODULE_FULL)
    pem->pfnEscape = ulEscape;
    pem->pfnDrawEscape = ulDrawEscape;
    pem->pfnUnload = vUnload;
    pem->iEscLow = -1100;
    pem->iEscHigh = -1000;
    return 1;
#elif defined(TEST_MODULE_BARE)
    pem->iEscLow = -1050;
    pem->iEscHigh = -900;
    return 1;
#else
    return 0;
#endif
}
