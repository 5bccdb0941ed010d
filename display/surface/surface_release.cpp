// The end of a surface and the switches away from and back to the mode:
// the release shared by DrvDisableSurface and a failing DrvEnableSurface,
// and DrvAssertMode.
//
// The release runs in the order its steps need: the board surfaces first
// (releasing their memory frees page slots, which drains the queues and
// writes every rasterizer's slot registers), then the primary's memory,
// the queues, the page table, the scratch block, and the register windows
// last.
#include "batch/batch.h"
#include "heidi/heidi.h"
#include "device/entry.h"
#include "device/modes.h"
#include "device/palette.h"
#include "glhooks/glserver.h"
#include "escape/escape.h"
#include "fill/fill.h"
#include "platform/engine.h"
#include "platform/miniport.h"
#include "pointer/pointer.h"
#include "queue/queue.h"
#include "surface/surface.h"
#include "xfer/xfer.h"

namespace {

// Hands the register windows back to the miniport; the device forgets them
// either way. FALSE when the miniport refused.
BOOL bFreeRegisterWindows(PDEV* ppdev) {
    if (ppdev->apRegs[0] == nullptr) return TRUE;
    VIDEO_PUBLIC_ACCESS_RANGES range{};
    range.VirtualAddress = ppdev->apRegs[0];
    DWORD cb = 0;
    const BOOL bFreed = EngDeviceIoControl(ppdev->hDriver, IOCTL_VIDEO_FREE_PUBLIC_ACCESS_RANGES,
                                           &range, sizeof range, nullptr, 0, &cb) == ERROR_SUCCESS;
    for (BYTE*& pjRegs : ppdev->apRegs) pjRegs = nullptr;
    ppdev->pjRegs = nullptr;
    ppdev->ptr.pjRegs = nullptr;
    return bFreed;
}

// The GL server's stencil and alpha surfaces; a stencil that shares the
// alpha surface goes with it.
void vDeleteGLSurfaces(PDEV* ppdev) {
    if (ppdev->hsurfStencil != ppdev->hsurfAlpha) {
        vDeleteBoardSurface(&ppdev->hsurfStencil, &ppdev->psoStencil);
    } else {
        ppdev->hsurfStencil = nullptr;
        ppdev->psoStencil = nullptr;
    }
    vDeleteBoardSurface(&ppdev->hsurfAlpha, &ppdev->psoAlpha);
    ppdev->pidStencil = 0;
    ppdev->pidAlpha = 0;
}

// The primary's board memory and record.
void vFreePrimary(PDEV* ppdev) {
    DSURF* pdsurf = ppdev->pdsurfScreen;
    if (pdsurf == nullptr) return;
    if (pdsurf->pdfb != nullptr) vReleaseDfb(ppdev, pdsurf->pdfb);
    LocalFree(pdsurf);
    ppdev->pdsurfScreen = nullptr;
    ppdev->pidScreen = 0;
}

}  // namespace

void vDeleteBoardSurface(HSURF* phsurf, SURFOBJ** ppso) {
    HSURF hsurf = *phsurf;
    SURFOBJ* pso = *ppso;
    *phsurf = nullptr;
    *ppso = nullptr;
    if (pso != nullptr) EngUnlockSurface(pso);
    DeleteDeviceBitmap(hsurf);
}

void vTurn3dOff(PDEV* ppdev) {
    vDeleteBoardSurface(&ppdev->hsurfZ, &ppdev->psoZ);
    vDeleteBoardSurface(&ppdev->hsurfBack, &ppdev->psoBack);
    ppdev->pidZ = 0;
    ppdev->pidBack = 0;
    if (ppdev->pPageConfig != nullptr) ppdev->pPageConfig->cDepthBits = 0;
}

BOOL bReleaseSurface(PDEV* ppdev) {
    vBatchDisable(ppdev);
    vHeidiDisable(ppdev);
    if (ppdev->hsurfScreen != nullptr) EngDeleteSurface(ppdev->hsurfScreen);
    ppdev->hsurfScreen = nullptr;

    vDeleteBoardSurface(&ppdev->hsurfAlt, &ppdev->psoAlt);
    vDeleteBoardSurface(&ppdev->hsurfTmp24, &ppdev->psoTmp24);
    vDeleteBoardSurface(&ppdev->hsurfTmp, &ppdev->psoTmp);
    vDeleteBoardSurface(&ppdev->hsurfDither, &ppdev->psoDither);
    ppdev->pdsurfDither = nullptr;
    ppdev->pidDither = 0;
    vDeleteGLSurfaces(ppdev);
    vTurn3dOff(ppdev);
    vDeletePatternSurface(ppdev);

    vFreePrimary(ppdev);
    // The second eyes kept for host bitmaps: the next enable starts with
    // an empty cache.
    vStereoCacheFreeFrom(ppdev, static_cast<STEREOENTRY*>(ppdev->StereoCache.pHead));
    vReleaseQueues(ppdev);
    if (ppdev->fPageTable) vFreePageTable(ppdev);
    if (ppdev->pScratch != nullptr) VirtualFree(ppdev->pScratch, 0, MEM_RELEASE);
    ppdev->pScratch = nullptr;
    return bFreeRegisterWindows(ppdev);
}

void DrvDisableSurface(DHPDEV dhpdev) {
    PDEV* ppdev = reinterpret_cast<PDEV*>(dhpdev);
    // No escape reaches the device once its primary surface is gone, so
    // the lock is left again at the end.
    CriticalSectionLock lock(ppdev->csEscape);
    // A GL server still loaded lets go of the device first, as the unload
    // escape has it: its buffers are board surfaces, and it keeps the
    // device's record and lock, which go with the device.
    ulUnloadGLServer(ppdev);
    if (!bReleaseSurface(ppdev))
        DbgPrint("DrvDisableSurface: IOCTL_VIDEO_FREE_PUBLIC_ACCESS_RANGES failed\n");
}

BOOL DrvAssertMode(DHPDEV dhpdev, BOOL bEnable) {
    PDEV* ppdev = reinterpret_cast<PDEV*>(dhpdev);
    CriticalSectionLock lock(ppdev->csEscape);
    KZ2QUEUEMGT qm = ppdev->pqm;
    DWORD cb = 0;

    if (!bEnable) {
        // Leaving the mode: a black screen, everything queued rendered, then
        // the board reset.
        if (qm != nullptr) {
            vClearScreen(ppdev);
            kz2NewPacketQueue(qm, ppdev, 1);
            kz2SoftUpdatePacketPtr(qm, qm->pStreamEnd);
            kz2FlushQueue(qm, static_cast<ULONG>(-1), nullptr, nullptr);
        }
        EngDeviceIoControl(ppdev->hDriver, IOCTL_VIDEO_RESET_DEVICE, nullptr, 0, nullptr, 0, &cb);
        return TRUE;
    }

    // Back to the mode. The mode set comes first: it hands out the register
    // windows that the queues, the slot registers and the packets below use.
    vBatchModeChange(ppdev);
    const ULONG f3DEnable = ppdev->f3DEnable;
    const BOOL bMode = bSetMode(ppdev);
    ppdev->f3DEnable = f3DEnable;
    if (!bMode) {
        DbgPrint("DrvAssertMode: the mode could not be set\n");
        return FALSE;
    }
    if (qm != nullptr) {
        for (ULONG i = 0; i < cQueuesOf(qm); ++i) qm[i].pRegs = ppdev->apRegs[i];
    }
    if (ppdev->fPageTable) vRestorePageTable(ppdev);
    vResetPointer(ppdev);
    if (ppdev->iBitmapFormat == BMF_8BPP) bLoadPalette(ppdev);
    // The reset left nothing known in the pattern registers.
    ppdev->iPatternUniq = 0;
    if (ppdev->pdsurfDither != nullptr) LoadDitherMat(ppdev);
    vClearScreen(ppdev);
    return TRUE;
}
