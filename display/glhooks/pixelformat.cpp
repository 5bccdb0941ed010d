// The OpenGL entry points of the driver: each forwards to its hook slot
// (hooks.h), that is to the GL server once it is loaded, under csEscape.
// Describing a pixel format also takes csPixelFormat, always after
// csEscape.
#include "device/entry.h"
#include "escape/escape.h"

BOOL DrvSetPixelFormat(SURFOBJ* pso, LONG iPixelFormat, HWND hwnd) {
    PDEV* ppdev = reinterpret_cast<PDEV*>(pso->dhpdev);
    CriticalSectionLock lock(ppdev->csEscape);
    return ppdev->pfnSetPixelFormat(pso, iPixelFormat, hwnd);
}

// A device without a depth buffer offers no OpenGL: it describes no pixel
// format and never loads the GL server.
LONG DrvDescribePixelFormat(DHPDEV dhpdev, LONG iPixelFormat, ULONG cjpfd,
                            PIXELFORMATDESCRIPTOR* ppfd) {
    PDEV* ppdev = reinterpret_cast<PDEV*>(dhpdev);
    if (ppdev->hsurfZ == nullptr) return 0;
    CriticalSectionLock escape(ppdev->csEscape);
    CriticalSectionLock pixelFormat(ppdev->csPixelFormat);
    return ppdev->pfnDescribePixelFormat(dhpdev, iPixelFormat, cjpfd, ppfd);
}

BOOL DrvSwapBuffers(SURFOBJ* pso, WNDOBJ* pwo) {
    PDEV* ppdev = reinterpret_cast<PDEV*>(pso->dhpdev);
    CriticalSectionLock lock(ppdev->csEscape);
    return ppdev->pfnSwapBuffers(pso, pwo);
}
