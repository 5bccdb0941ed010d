// The defaults of the OpenGL hook slots: what the driver answers while no GL
// server is loaded.
#include "entry.h"
#include "hooks.h"
#include "pdev.h"

namespace {

ULONG ulNoOpenGLCmd(SURFOBJ*, ULONG, PVOID, ULONG, PVOID) { return 0; }
ULONG ulNoOpenGLGetInfo(SURFOBJ*, ULONG, PVOID, ULONG, PVOID) { return 0; }
BOOL bNoSwapBuffers(SURFOBJ*, WNDOBJ*) { return 0; }
BOOL bNoSetPixelFormat(SURFOBJ*, LONG, HWND) { return 0; }

// The first DrvDescribePixelFormat brings the GL server in. Loading the
// server comes with the escape and GL server binding code; until then the
// device describes no pixel formats.
LONG lLoadGLServerAndDescribe(DHPDEV, LONG, ULONG, PIXELFORMATDESCRIPTOR*) {
    vNotBuiltYet("lLoadGLServerAndDescribe");
    return 0;
}

}  // namespace

void vInitOpenGLHooks(PDEV* ppdev) {
    ppdev->hGLServer = nullptr;
    ppdev->pfnOpenGLCmd = ulNoOpenGLCmd;
    ppdev->pfnOpenGLGetInfo = ulNoOpenGLGetInfo;
    ppdev->pfnSwapBuffers = bNoSwapBuffers;
    ppdev->pfnSetPixelFormat = bNoSetPixelFormat;
    ppdev->pfnDescribePixelFormat = lLoadGLServerAndDescribe;
    ppdev->pfnGLServerUnload = nullptr;
}
