// Loading and unloading the GL server. The server lives in its own library,
// loaded into this process on the first DrvDescribePixelFormat of a device
// that offers 3D; from then on the driver reaches it only through the hook
// slots its DrvEnableEscape wrote. Unloading puts the defaults back, so no
// slot ever points into a library that is gone.
#include "glhooks/glserver.h"

#include <cstring>

#include "glhooks/hooks.h"
#include "pdev.h"

namespace {

// Copies the server's file name into achName: the environment's choice when
// set, else the default. FALSE when the environment's value does not fit.
BOOL bGLServerName(CHAR (&achName)[GLSRV_NAME_BUFFER]) {
    const DWORD cch = GetEnvironmentVariableA(GLSRV_NAME_VARIABLE, achName, GLSRV_NAME_BUFFER);
    if (cch >= GLSRV_NAME_BUFFER) {
        // Too long for the buffer: the value is not what the user meant, and
        // loading the default instead would hide that.
        DbgPrint("lLoadGLServerAndDescribe: %s longer than %u characters\n", GLSRV_NAME_VARIABLE,
                 GLSRV_NAME_BUFFER - 1);
        return FALSE;
    }
    if (cch == 0) std::memcpy(achName, GLSRV_DEFAULT_NAME, sizeof GLSRV_DEFAULT_NAME);
    return TRUE;
}

// Runs the server's two entry points; FALSE when one is missing or refuses.
BOOL bStartGLServer(PDEV* ppdev, HMODULE hServer) {
    const auto pfnInit =
        reinterpret_cast<PFN_INITGLSRVDLL>(GetProcAddress(hServer, GLSRV_INIT_EXPORT));
    if (pfnInit == nullptr || !pfnInit(nullptr, GLSRV_PROCESS_ATTACH, nullptr)) return FALSE;
    const auto pfnEnable =
        reinterpret_cast<PFN_GLSRV_ENABLE>(GetProcAddress(hServer, GLSRV_ENABLE_EXPORT));
    return pfnEnable != nullptr && pfnEnable(GLSRV_ENABLE_VERSION, ppdev) != 0;
}

}  // namespace

LONG lLoadGLServerAndDescribe(DHPDEV dhpdev, LONG iPixelFormat, ULONG cjpfd,
                              PIXELFORMATDESCRIPTOR* ppfd) {
    PDEV* ppdev = reinterpret_cast<PDEV*>(dhpdev);
    CHAR achName[GLSRV_NAME_BUFFER] = {};
    if (!bGLServerName(achName)) return 0;

    HMODULE hServer = LoadLibraryA(achName);
    if (hServer == nullptr) return 0;
    ppdev->hGLServer = hServer;

    // A server that starts but leaves the describe hook at this loader would
    // bring this function back for ever: it counts as refused.
    if (!bStartGLServer(ppdev, hServer) ||
        ppdev->pfnDescribePixelFormat == lLoadGLServerAndDescribe) {
        FreeLibrary(hServer);
        // A server that refused may have written hook slots before it did:
        // every slot gets its default again, so none points into the library
        // just unloaded.
        vInitOpenGLHooks(ppdev);
        return 0;
    }
    // The server's describe hook answers the request that brought it in.
    return ppdev->pfnDescribePixelFormat(dhpdev, iPixelFormat, cjpfd, ppfd);
}

ULONG ulUnloadGLServer(PDEV* ppdev) {
    HMODULE hServer = ppdev->hGLServer;
    if (hServer == nullptr) return 1;
    if (ppdev->pfnGLServerUnload != nullptr) ppdev->pfnGLServerUnload(ppdev);
    FreeLibrary(hServer);
    // All six slots, the unload hook included, lose their server functions.
    vInitOpenGLHooks(ppdev);
    return 1;
}
