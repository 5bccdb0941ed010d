// A stand-in GL server for the driver's loader tests. One source, built as
// several libraries that differ in how they take being loaded:
//   TEST_SERVER_OK           both exports; installs its hooks and answers 1
//   TEST_SERVER_NOINIT       no InitGLSrvDll
//   TEST_SERVER_NOENABLE     no DrvEnableEscape
//   TEST_SERVER_INITFAILS    InitGLSrvDll answers 0
//   TEST_SERVER_ENABLEFAILS  DrvEnableEscape writes its hooks, then answers 0
// It reaches the driver only through the device record it is handed and the
// platform layer. Every call is reported on the debug sink with the driver
// locks the calling thread holds, so tests see what reached the server and
// under which locks.
#include "glhooks/glserver.h"
#include "platform/export.h"

#ifndef TEST_SERVER_NAME
#error "TEST_SERVER_NAME names the library in its reports"
#endif

#ifndef TEST_SERVER_NOENABLE
namespace {

bool bHeld(const CRITICAL_SECTION& cs) {
    return cs.RecursionCount > 0 && cs.OwningThread == GetCurrentThreadId();
}

const char* pszLocks(const PDEV* ppdev) {
    const bool bEscape = bHeld(ppdev->csEscape);
    const bool bPixelFormat = bHeld(ppdev->csPixelFormat);
    if (bEscape && bPixelFormat) return "escape+pixelformat";
    if (bEscape) return "escape";
    if (bPixelFormat) return "pixelformat";
    return "none";
}

const PDEV* ppdevOf(const SURFOBJ* pso) { return reinterpret_cast<const PDEV*>(pso->dhpdev); }

// The number of pixel formats this server offers.
constexpr LONG kcPixelFormats = 12;

BOOL bSetPixelFormat(SURFOBJ* pso, LONG iPixelFormat, HWND) {
    DbgPrint("%s: SetPixelFormat %d [%s]\n", TEST_SERVER_NAME, iPixelFormat,
             pszLocks(ppdevOf(pso)));
    return TRUE;
}

LONG lDescribePixelFormat(DHPDEV dhpdev, LONG iPixelFormat, ULONG cjpfd, PIXELFORMATDESCRIPTOR*) {
    DbgPrint("%s: DescribePixelFormat %d %u [%s]\n", TEST_SERVER_NAME, iPixelFormat, cjpfd,
             pszLocks(reinterpret_cast<const PDEV*>(dhpdev)));
    return kcPixelFormats;
}

BOOL bSwapBuffers(SURFOBJ* pso, WNDOBJ*) {
    DbgPrint("%s: SwapBuffers [%s]\n", TEST_SERVER_NAME, pszLocks(ppdevOf(pso)));
    return TRUE;
}

// Answers 0x100 plus the input size, so tests see the answer come back.
ULONG ulOpenGLCmd(SURFOBJ* pso, ULONG cjIn, PVOID, ULONG cjOut, PVOID) {
    DbgPrint("%s: OPENGL_CMD %u %u [%s]\n", TEST_SERVER_NAME, cjIn, cjOut, pszLocks(ppdevOf(pso)));
    return 0x100 + cjIn;
}

ULONG ulOpenGLGetInfo(SURFOBJ* pso, ULONG cjIn, PVOID, ULONG cjOut, PVOID) {
    DbgPrint("%s: OPENGL_GETINFO %u %u [%s]\n", TEST_SERVER_NAME, cjIn, cjOut,
             pszLocks(ppdevOf(pso)));
    return 0x200 + cjIn;
}

void vUnload(PDEV* ppdev) { DbgPrint("%s: unload [%s]\n", TEST_SERVER_NAME, pszLocks(ppdev)); }

}  // namespace
#endif

extern "C" {

#ifndef TEST_SERVER_NOINIT
VNX_EXPORT BOOL InitGLSrvDll(HMODULE, ULONG ulReason, PVOID) {
    DbgPrint("%s: InitGLSrvDll %u\n", TEST_SERVER_NAME, ulReason);
#ifdef TEST_SERVER_INITFAILS
    return FALSE;
#else
    return TRUE;
#endif
}
#endif

#ifndef TEST_SERVER_NOENABLE
VNX_EXPORT ULONG DrvEnableEscape(ULONG iVersion, PDEV* ppdev) {
    DbgPrint("%s: DrvEnableEscape %#x [%s]\n", TEST_SERVER_NAME, iVersion, pszLocks(ppdev));
    ppdev->pfnSetPixelFormat = bSetPixelFormat;
    ppdev->pfnDescribePixelFormat = lDescribePixelFormat;
    ppdev->pfnSwapBuffers = bSwapBuffers;
    ppdev->pfnOpenGLCmd = ulOpenGLCmd;
    ppdev->pfnOpenGLGetInfo = ulOpenGLGetInfo;
    ppdev->pfnGLServerUnload = vUnload;
#ifdef TEST_SERVER_ENABLEFAILS
    return 0;
#else
    return 1;
#endif
}
#endif

}  // extern "C"
