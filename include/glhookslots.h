// The OpenGL hook slots of the display driver's device record (`PDEV`): the
// functions through which the driver reaches the GL server. The server's
// DrvEnableEscape writes them; the driver calls them and puts its defaults
// back when the server is unloaded.
//
// The GL server does not see the rest of the device record. It finds this
// block `gGLPdevFields.cjHookSlots` bytes into the `PDEV` it is handed
// (glpdev.h); the block holds the driver's fields from hGLServer to
// pfnGLServerUnload, in the driver's order, so the two fields between the
// slots are declared too (the server leaves them alone). The driver checks
// at compile time that its record has them so.
#pragma once

#include <cstddef>

#include "glpdev.h"
#include "platform/ddi.h"
#include "platform/export.h"
#include "platform/kernel.h"

struct PDEV;
struct EscapeModule;

// Escape OPENGL_CMD (4352): one GL command buffer. Answers the escape's
// result; the driver's default answers 0 (no server).
typedef ULONG (*PFN_OPENGLCMD)(SURFOBJ* pso, ULONG cjIn, PVOID pvIn, ULONG cjOut, PVOID pvOut);

// Escape OPENGL_GETINFO (4353): server information, same arguments. Default 0.
typedef ULONG (*PFN_OPENGLGETINFO)(SURFOBJ* pso, ULONG cjIn, PVOID pvIn, ULONG cjOut, PVOID pvOut);

// DrvSwapBuffers: presents a window's back buffer. Default 0.
typedef BOOL (*PFN_SWAPBUFFERS)(SURFOBJ* pso, WNDOBJ* pwo);

// DrvSetPixelFormat: gives a window a pixel format. Default 0.
typedef BOOL (*PFN_SETPIXELFORMAT)(SURFOBJ* pso, LONG iPixelFormat, HWND hwnd);

// DrvDescribePixelFormat: describes one pixel format, answers how many there
// are. Default: the loader that brings the GL server in on first use.
typedef LONG (*PFN_DESCRIBEPIXELFORMAT)(DHPDEV dhpdev, LONG iPixelFormat, ULONG cjpfd,
                                        PIXELFORMATDESCRIPTOR* ppfd);

// Called with the device before the GL server is unloaded. Not set by default.
typedef void (*PFN_GLSERVERUNLOAD)(struct PDEV* ppdev);

// The block of the device record that holds the hook slots.
typedef struct GLHOOKSLOTS {
    HMODULE hGLServer;                               // the server's module; 0 while not loaded
    PFN_OPENGLCMD pfnOpenGLCmd;                      // slot 4: OPENGL_CMD
    PFN_OPENGLGETINFO pfnOpenGLGetInfo;              // slot 5: OPENGL_GETINFO
    LONG lHookResult;                                // the driver's: -1 after each escape hook
    PFN_SWAPBUFFERS pfnSwapBuffers;                  // slot 3: swap the main planes
    PFN_SETPIXELFORMAT pfnSetPixelFormat;            // slot 1
    PFN_DESCRIBEPIXELFORMAT pfnDescribePixelFormat;  // slot 2
    struct EscapeModule* pEscapeModules;             // the driver's: loaded escape modules
    PFN_GLSERVERUNLOAD pfnGLServerUnload;            // slot 6: shut-down before unloading
} GLHOOKSLOTS;

// The hook-slot block of a device record.
inline GLHOOKSLOTS* pGLHookSlots(struct PDEV* ppdev) {
    return pGLPdevField<GLHOOKSLOTS>(ppdev, gGLPdevFields.cjHookSlots);
}
