// The defaults of the OpenGL hook slots: what the driver answers while no GL
// server is loaded.
#include "glhooks/hooks.h"

#include <cstddef>
#include <type_traits>

#include "glhooks/glserver.h"
#include "glpdev.h"
#include "pdev.h"

// The GL server finds the hook slots through gGLPdevFields.cjHookSlots:
// the device record's fields from hGLServer on must lie as GLHOOKSLOTS has
// them.
#define GLHOOK_AT(field)                                                          \
    static_assert(offsetof(PDEV, field) - offsetof(PDEV, hGLServer) ==             \
                      offsetof(GLHOOKSLOTS, field),                                \
                  "PDEV." #field " out of place for GLHOOKSLOTS")
GLHOOK_AT(pfnOpenGLCmd);
GLHOOK_AT(pfnOpenGLGetInfo);
GLHOOK_AT(lHookResult);
GLHOOK_AT(pfnSwapBuffers);
GLHOOK_AT(pfnSetPixelFormat);
GLHOOK_AT(pfnDescribePixelFormat);
GLHOOK_AT(pEscapeModules);
GLHOOK_AT(pfnGLServerUnload);
#undef GLHOOK_AT

// Everything the GL server reads in the device record, and (below) the
// types it reads the fields with.
extern "C" const GLPDEVFIELDS gGLPdevFields = {
    .cjPageConfig = offsetof(PDEV, pPageConfig),
    .cjPixelClass = offsetof(PDEV, iPixelClass),
    .cjBitmapFormat = offsetof(PDEV, iBitmapFormat),
    .cjDriver = offsetof(PDEV, hDriver),
    .cjBoardConfig = offsetof(PDEV, bc),
    .cjEscapeLock = offsetof(PDEV, csEscape),
    .cjScreen = offsetof(PDEV, hsurfScreen),
    .cjScreenSize = offsetof(PDEV, cxScreen),
    .cjBack = offsetof(PDEV, psoBack),
    .cjDepth = offsetof(PDEV, psoZ),
    .cjSwapState = offsetof(PDEV, alSwapState),
    .cjRamdacLock = offsetof(PDEV, csRamdac),
    .cjOverlayContexts = offsetof(PDEV, cGLOverlayContexts),
    .cjTexture16 = offsetof(PDEV, fTexture16),
    .cjHookSlots = offsetof(PDEV, hGLServer),
    .cjSurfaceHeight = offsetof(PDEV, cySurface),
    .cjDsurfScreen = offsetof(PDEV, pdsurfScreen),
    .cjPatternUniq = offsetof(PDEV, iPatternUniq),
    .cjDsurfDither = offsetof(PDEV, pdsurfDither),
    .cjPidDither = offsetof(PDEV, pidDither),
};
static_assert(std::is_same_v<decltype(PDEV::iPatternUniq), ULONG> &&
                  std::is_same_v<decltype(PDEV::pdsurfDither), DSURF*> &&
                  std::is_same_v<decltype(PDEV::pidDither), ULONG>,
              "the GL server reads the dither fields with these types");
static_assert(offsetof(PDEV, cyScreen) == offsetof(PDEV, cxScreen) + sizeof(LONG) &&
                  std::is_same_v<decltype(PDEV::hsurfScreen), HSURF> &&
                  std::is_same_v<decltype(PDEV::cxScreen), LONG> &&
                  std::is_same_v<decltype(PDEV::psoBack), SURFOBJ*> &&
                  std::is_same_v<decltype(PDEV::psoZ), SURFOBJ*> &&
                  std::is_same_v<decltype(PDEV::alSwapState), LONG[3]> &&
                  std::is_same_v<decltype(PDEV::csRamdac), CRITICAL_SECTION> &&
                  std::is_same_v<decltype(PDEV::cGLOverlayContexts), ULONG> &&
                  std::is_same_v<decltype(PDEV::fTexture16), ULONG> &&
                  std::is_same_v<decltype(PDEV::cySurface), LONG> &&
                  std::is_pointer_v<decltype(PDEV::pdsurfScreen)>,
              "the GL server reads the buffer fields with these types");
static_assert(std::is_same_v<decltype(PDEV::hGLServer), HMODULE> &&
              std::is_same_v<decltype(PDEV::pPageConfig), PAGECONFIG*> &&
              std::is_same_v<decltype(PDEV::iPixelClass), ULONG> &&
              std::is_same_v<decltype(PDEV::iBitmapFormat), ULONG> &&
              std::is_same_v<decltype(PDEV::hDriver), HANDLE> &&
              std::is_same_v<decltype(PDEV::bc), BoardConfig> &&
              std::is_same_v<decltype(PDEV::csEscape), CRITICAL_SECTION>,
              "the GL server reads these fields with these types");

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
