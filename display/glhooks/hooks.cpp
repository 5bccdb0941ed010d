// The defaults of the OpenGL hook slots: what the driver answers while no GL
// server is loaded.
#include "glhooks/hooks.h"

#include "glhooks/glserver.h"
#include "pdev.h"

namespace {

ULONG ulNoOpenGLCmd(SURFOBJ*, ULONG, PVOID, ULONG, PVOID) { return 0; }
ULONG ulNoOpenGLGetInfo(SURFOBJ*, ULONG, PVOID, ULONG, PVOID) { return 0; }
BOOL bNoSwapBuffers(SURFOBJ*, WNDOBJ*) { return 0; }
BOOL bNoSetPixelFormat(SURFOBJ*, LONG, HWND) { return 0; }

}  // namespace

void vInitOpenGLHooks(PDEV* ppdev) {
    ppdev->hGLServer = nullptr;
    ppdev->pfnOpenGLCmd = ulNoOpenGLCmd;
    ppdev->pfnOpenGLGetInfo = ulNoOpenGLGetInfo;
    ppdev->pfnSwapBuffers = bNoSwapBuffers;
    ppdev->pfnSetPixelFormat = bNoSetPixelFormat;
    // The first DrvDescribePixelFormat brings the GL server in.
    ppdev->pfnDescribePixelFormat = lLoadGLServerAndDescribe;
    ppdev->pfnGLServerUnload = nullptr;
}
