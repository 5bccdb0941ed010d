// Driver entry and the device record's life cycle: the driver-function
// table, DrvEnablePDEV, DrvCompletePDEV and DrvDisablePDEV.
#include <algorithm>
#include <cstring>

#include "device/entry.h"
#include "device/hatch.h"
#include "device/modes.h"
#include "device/palette.h"
#include "pdev.h"
#include "platform/engine.h"

// The version of the driver interface this driver was written for.
#define DRIVER_VERSION 0x00010002u

#define PROCESSOR_INTEL_386 386u

namespace {

// Every entry point the engine reaches through the table.
const DRVFN gadrvfn[] = {
    {INDEX_DrvEnablePDEV, reinterpret_cast<PFN>(DrvEnablePDEV)},
    {INDEX_DrvCompletePDEV, reinterpret_cast<PFN>(DrvCompletePDEV)},
    {INDEX_DrvDisablePDEV, reinterpret_cast<PFN>(DrvDisablePDEV)},
    {INDEX_DrvEnableSurface, reinterpret_cast<PFN>(DrvEnableSurface)},
    {INDEX_DrvDisableSurface, reinterpret_cast<PFN>(DrvDisableSurface)},
    {INDEX_DrvAssertMode, reinterpret_cast<PFN>(DrvAssertMode)},
    {INDEX_DrvGetModes, reinterpret_cast<PFN>(DrvGetModes)},
    {INDEX_DrvTextOut, reinterpret_cast<PFN>(DrvTextOut)},
    {INDEX_DrvStrokePath, reinterpret_cast<PFN>(DrvStrokePath)},
    {INDEX_DrvCopyBits, reinterpret_cast<PFN>(DrvCopyBits)},
    {INDEX_DrvCreateDeviceBitmap, reinterpret_cast<PFN>(DrvCreateDeviceBitmap)},
    {INDEX_DrvDeleteDeviceBitmap, reinterpret_cast<PFN>(DrvDeleteDeviceBitmap)},
    {INDEX_DrvDitherColor, reinterpret_cast<PFN>(DrvDitherColor)},
    {INDEX_DrvSetPalette, reinterpret_cast<PFN>(DrvSetPalette)},
    {INDEX_DrvFillPath, reinterpret_cast<PFN>(DrvFillPath)},
    {INDEX_DrvStrokeAndFillPath, reinterpret_cast<PFN>(DrvStrokeAndFillPath)},
    {INDEX_DrvStretchBlt, reinterpret_cast<PFN>(DrvStretchBlt)},
    {INDEX_DrvRealizeBrush, reinterpret_cast<PFN>(DrvRealizeBrush)},
    {INDEX_DrvBitBlt, reinterpret_cast<PFN>(DrvBitBlt)},
    {INDEX_DrvSetPointerShape, reinterpret_cast<PFN>(DrvSetPointerShape)},
    {INDEX_DrvMovePointer, reinterpret_cast<PFN>(DrvMovePointer)},
    {INDEX_DrvPaint, reinterpret_cast<PFN>(DrvPaint)},
    {INDEX_DrvDescribePixelFormat, reinterpret_cast<PFN>(DrvDescribePixelFormat)},
    {INDEX_DrvSetPixelFormat, reinterpret_cast<PFN>(DrvSetPixelFormat)},
    {INDEX_DrvSwapBuffers, reinterpret_cast<PFN>(DrvSwapBuffers)},
    {INDEX_DrvEscape, reinterpret_cast<PFN>(DrvEscape)},
    {INDEX_DrvDrawEscape, reinterpret_cast<PFN>(DrvDrawEscape)},
};
constexpr ULONG kcdrvfn = sizeof gadrvfn / sizeof gadrvfn[0];
static_assert(kcdrvfn == 27, "the driver hands the engine 27 entry points");

}  // namespace

// The record is filled by the caller's size counted in 32-bit words: three
// words take the table, two the count and the version, one the version only;
// any other size takes nothing.
extern "C" BOOL DrvEnableDriver(ULONG /*iEngineVersion*/, ULONG cj, DRVENABLEDATA* pded) {
    const ULONG cWords = cj / 4;
    if (pded == nullptr) return TRUE;
    if (cWords == 3) pded->pdrvfn = const_cast<DRVFN*>(gadrvfn);
    if (cWords == 3 || cWords == 2) pded->c = kcdrvfn;
    if (cWords >= 1 && cWords <= 3) pded->iDriverVersion = DRIVER_VERSION;
    return TRUE;
}

extern "C" void DrvDisableDriver(void) {}

DHPDEV DrvEnablePDEV(DEVMODEW* pdm, LPWSTR /*pwszLogAddress*/, ULONG cPat, HSURF* phsurfPatterns,
                     ULONG cjCaps, ULONG* pdevcaps, ULONG cjDevInfo, DEVINFO* pdi, HDEV /*hdev*/,
                     LPWSTR /*pwszDeviceName*/, HANDLE hDriver) {
    PDEV* ppdev = static_cast<PDEV*>(LocalAlloc(LPTR, sizeof(PDEV)));
    if (ppdev == nullptr) return nullptr;

    ppdev->alSwapState[0] = 0;
    ppdev->alSwapState[1] = -1;
    ppdev->alSwapState[2] = 0;
    ppdev->lHookResult = -1;
    ppdev->rclSwap = RECTL{0, 0, 0, 0};
    ppdev->ulSignature = PDEV_SIGNATURE;
    ppdev->f3DEnable = 0;
    SYSTEM_INFO si{};
    GetSystemInfo(&si);
    ppdev->fIs386 = si.dwProcessorType == PROCESSOR_INTEL_386 ? 1 : 0;
    ppdev->hDriver = hDriver;

    // Without a request the engine gets the first mode.
    DEVMODEW dmEmpty{};
    GDIINFO gdi{};
    DEVINFO devinfo{};
    if (!bInitializeModeFields(ppdev, pdm != nullptr ? pdm : &dmEmpty, &gdi, &devinfo)) {
        LocalFree(ppdev);
        return nullptr;
    }
    if (pdevcaps != nullptr) std::memcpy(pdevcaps, &gdi, std::min<ULONG>(cjCaps, sizeof(GDIINFO)));
    devinfo.iDitherFormat = ppdev->iBitmapFormat;

    if (!bInitializePalette(ppdev, &devinfo)) {
        DbgPrint("bInitializePalette FAILED XXXXXXXXXXXXXXXXXXXXXXXXX\n");
        LocalFree(ppdev);
        return nullptr;
    }
    // The engine says how much DEVINFO it has room for; never write past it.
    if (pdi != nullptr) std::memcpy(pdi, &devinfo, std::min<ULONG>(cjDevInfo, sizeof(DEVINFO)));

    const ULONG cPatterns = std::min<ULONG>(cPat, MAX_HATCHES);
    if (!bEnableHatches(ppdev, cPatterns)) {
        // Undo everything made so far: the hatches already made, the palette
        // and its array, the record.
        vDisableHatches(ppdev);
        vUninitializePalette(ppdev);
        LocalFree(ppdev);
        return nullptr;
    }
    if (phsurfPatterns != nullptr)
        std::copy(ppdev->ahsurfPat, ppdev->ahsurfPat + cPatterns, phsurfPatterns);

    InitializeCriticalSection(&ppdev->csRamdac);
    InitializeCriticalSection(&ppdev->csPixelFormat);
    InitializeCriticalSection(&ppdev->csEscape);
    ppdev->pEscapeModules = nullptr;
    vInitOpenGLHooks(ppdev);
    ppdev->hsurfTmp32 = nullptr;
    ppdev->psoTmp32 = nullptr;
    return reinterpret_cast<DHPDEV>(ppdev);
}

void DrvCompletePDEV(DHPDEV dhpdev, HDEV hdev) { reinterpret_cast<PDEV*>(dhpdev)->hdevEng = hdev; }

void DrvDisablePDEV(DHPDEV dhpdev) {
    PDEV* ppdev = reinterpret_cast<PDEV*>(dhpdev);
    if (ppdev->hpalDefault != nullptr) EngDeletePalette(ppdev->hpalDefault);
    ppdev->hpalDefault = nullptr;
    vDisableHatches(ppdev);
    if (ppdev->psoTmp32 != nullptr) EngUnlockSurface(ppdev->psoTmp32);
    if (ppdev->hsurfTmp32 != nullptr) EngDeleteSurface(ppdev->hsurfTmp32);
    DeleteCriticalSection(&ppdev->csRamdac);
    DeleteCriticalSection(&ppdev->csPixelFormat);
    DeleteCriticalSection(&ppdev->csEscape);
    vUninitializePalette(ppdev);
    LocalFree(ppdev);
}
