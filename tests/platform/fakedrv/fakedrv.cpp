// The engine tests' display driver (see fakedrv.h).
#include "fakedrv.h"

#include <algorithm>
#include <cstring>

#include "platform/engine.h"
#include "platform/export.h"

namespace {

FakeDrv gState;
int gDevice;             // the device record the fake hands out
HPALETTE gPal = nullptr;  // its default palette

DHPDEV EnablePDEV(DEVMODEW* pdm, LPWSTR, ULONG cPat, HSURF* phsurfPatterns, ULONG cjCaps,
                  ULONG* pdevcaps, ULONG, DEVINFO* pdi, HDEV, LPWSTR, HANDLE hDriver) {
    gState.calls.push_back("DrvEnablePDEV");
    gState.cPatterns = cPat;
    gState.hDriver = hDriver;
    gState.request = *pdm;
    if (gState.failEnablePDEV) return nullptr;
    for (ULONG i = 0; i < cPat; ++i) phsurfPatterns[i] = nullptr;
    if (cjCaps >= 4) pdevcaps[0] = 0x3502;
    ULONG colors[4] = {0x000000, 0x0000FF, 0x00FF00, 0xFF0000};
    gPal = EngCreatePalette(PAL_INDEXED, 4, colors, 0, 0, 0);
    pdi->hpalDefault = gPal;
    return reinterpret_cast<DHPDEV>(&gDevice);
}

void CompletePDEV(DHPDEV, HDEV hdev) {
    gState.calls.push_back("DrvCompletePDEV");
    gState.hdevCompleted = hdev;
}

void DisablePDEV(DHPDEV) {
    gState.calls.push_back("DrvDisablePDEV");
    EngDeletePalette(gPal);
    gPal = nullptr;
}

void DeleteFakeSurface(FakeSurface* pfs) {
    if (pfs->psoShadow != nullptr) EngUnlockSurface(pfs->psoShadow);
    if (pfs->hsurfShadow != nullptr) EngDeleteSurface(pfs->hsurfShadow);
    if (pfs->hsurf != nullptr) EngDeleteSurface(pfs->hsurf);
    delete pfs;
}

// A device surface (primary or device bitmap) with its host pixels, bottom-up
// like most host bitmaps, associated with the device.
HSURF MakeFakeSurface(SIZEL sizl, ULONG iFormat, bool bPrimary) {
    auto* pfs = new FakeSurface;
    DHSURF dhsurf = reinterpret_cast<DHSURF>(pfs);
    pfs->hsurf = bPrimary ? EngCreateDeviceSurface(dhsurf, sizl, iFormat)
                          : EngCreateDeviceBitmap(dhsurf, sizl, iFormat);
    pfs->hsurfShadow = EngCreateBitmap(sizl, 0, iFormat, 0, nullptr);
    pfs->psoShadow = pfs->hsurfShadow != nullptr ? EngLockSurface(pfs->hsurfShadow) : nullptr;
    if (pfs->hsurf == nullptr || pfs->psoShadow == nullptr ||
        !EngAssociateSurface(pfs->hsurf, gState.hdevCompleted, HOOK_BITBLT | HOOK_COPYBITS)) {
        DeleteFakeSurface(pfs);
        return nullptr;
    }
    return pfs->hsurf;
}

HSURF EnableSurface(DHPDEV) {
    gState.calls.push_back("DrvEnableSurface");
    if (gState.failEnableSurface) return nullptr;
    HSURF hsurf = MakeFakeSurface(SIZEL{640, 480}, BMF_8BPP, true);
    if (hsurf == nullptr) return nullptr;
    gState.psoScreen = EngLockSurface(hsurf);
    return hsurf;
}

void DisableSurface(DHPDEV) {
    gState.calls.push_back("DrvDisableSurface");
    if (gState.psoScreen != nullptr) {
        auto* pfs = reinterpret_cast<FakeSurface*>(gState.psoScreen->dhsurf);
        EngUnlockSurface(gState.psoScreen);
        DeleteFakeSurface(pfs);
        gState.psoScreen = nullptr;
    }
}

HSURF CreateDeviceBitmap(DHPDEV, SIZEL sizl, ULONG iFormat) {
    gState.calls.push_back("DrvCreateDeviceBitmap");
    return MakeFakeSurface(sizl, iFormat, false);
}

void DeleteDeviceBitmap(DHSURF dhsurf) {
    gState.calls.push_back("DrvDeleteDeviceBitmap");
    DeleteFakeSurface(reinterpret_cast<FakeSurface*>(dhsurf));
}

// The pixels of a surface: a host bitmap's own, a device surface's shadow.
SURFOBJ* Pixels(SURFOBJ* pso) {
    return pso->iType == STYPE_BITMAP ? pso : reinterpret_cast<FakeSurface*>(pso->dhsurf)->psoShadow;
}

BOOL CopyBits(SURFOBJ* psoDst, SURFOBJ* psoSrc, CLIPOBJ* pco, XLATEOBJ* pxlo, RECTL* prclDst,
              POINTL* pptlSrc) {
    const bool bDown = psoDst->iType == STYPE_BITMAP;
    const bool bUp = psoSrc->iType == STYPE_BITMAP;
    gState.copies.push_back(FakeCopy{bDown ? "down" : bUp ? "up" : "device", *prclDst, *pptlSrc,
                                     pco != nullptr, pxlo != nullptr});
    if (gState.failCopyBits) return FALSE;
    if (gState.copyBitsCallsBack) return EngCopyBits(psoDst, psoSrc, pco, pxlo, prclDst, pptlSrc);
    return EngCopyBits(Pixels(psoDst), Pixels(psoSrc), pco, pxlo, prclDst, pptlSrc);
}

BOOL RealizeBrush(BRUSHOBJ* pbo, SURFOBJ* psoTarget, SURFOBJ* psoPattern, SURFOBJ* psoMask,
                  XLATEOBJ* pxlo, ULONG iHatch) {
    FakeRealize r{pbo, psoTarget, iHatch, psoPattern != nullptr, 0, {}, {}, psoMask != nullptr, {}};
    if (psoPattern != nullptr) {
        r.iPatternFormat = psoPattern->iBitmapFormat;
        r.sizlPattern = psoPattern->sizlBitmap;
        const BYTE* row = static_cast<const BYTE*>(psoPattern->pvScan0);
        r.firstRow.assign(row, row + (psoPattern->lDelta < 0 ? -psoPattern->lDelta : psoPattern->lDelta));
    }
    if (ULONG* pul = XLATEOBJ_piVector(pxlo)) r.xlate.assign(pul, pul + pxlo->cEntries);
    gState.realizations.push_back(r);
    if (gState.failRealizeBrush) return FALSE;
    if (gState.realizeWithoutMemory) return TRUE;
    ULONG* pv = static_cast<ULONG*>(BRUSHOBJ_pvAllocRbrush(pbo, 2 * sizeof(ULONG)));
    if (pv == nullptr) return FALSE;
    pv[0] = 0xB0B0CAFE;
    pv[1] = iHatch;
    return TRUE;
}

BOOL SetPalette(DHPDEV, PALOBJ* ppalo, FLONG, ULONG iStart, ULONG cColors) {
    gState.calls.push_back("DrvSetPalette");
    gState.iSetPaletteStart = iStart;
    gState.cSetPaletteColors = cColors;
    return PALOBJ_cGetColors(ppalo, iStart, 1, &gState.ulFirstColor) == 1;
}

ULONG GetModes(HANDLE, ULONG cj, DEVMODEW* pdm) {
    gState.calls.push_back("DrvGetModes");
    if (pdm != nullptr && cj >= sizeof(DEVMODEW)) pdm->dmPelsWidth = 640;
    return sizeof(DEVMODEW);
}

FakeClientCall ClientCall(const char* what, ULONG iEsc, const void* pvIn, ULONG cjIn, ULONG cjOut,
                          const void* pvOut) {
    FakeClientCall c;
    c.what = what;
    c.iEsc = iEsc;
    if (pvIn != nullptr) c.in.assign(static_cast<const BYTE*>(pvIn), static_cast<const BYTE*>(pvIn) + cjIn);
    c.cjOut = cjOut;
    c.bOut = pvOut != nullptr;
    c.pidRunning = GetCurrentProcessId();
    c.hProcess = EngGetProcessHandle();
    return c;
}

void Fill(void* pv, ULONG cj, BYTE first) {
    for (ULONG i = 0; pv != nullptr && i < cj; ++i) static_cast<BYTE*>(pv)[i] = static_cast<BYTE>(first + i);
}

ULONG Escape(SURFOBJ* pso, ULONG iEsc, ULONG cjIn, PVOID pvIn, ULONG cjOut, PVOID pvOut) {
    FakeClientCall c = ClientCall("DrvEscape", iEsc, pvIn, cjIn, cjOut, pvOut);
    c.pso = pso;
    if (iEsc == 4352 && cjIn >= 16) {
        std::memcpy(&c.hwo, static_cast<const BYTE*>(pvIn) + 8, 4);
        std::memcpy(&c.hxo, static_cast<const BYTE*>(pvIn) + 12, 4);
        c.pwo = vnx::engine::call_window_object(c.hwo);
        c.pxo = vnx::engine::call_xlate_object(c.hxo);
        if (c.pxo != nullptr) c.flXlate = c.pxo->flXlate;
    }
    gState.clientCalls.push_back(c);
    Fill(pvOut, cjOut, 0xE0);
    return gState.escapeAnswer;
}

BOOL SetPixelFormat(SURFOBJ* pso, LONG iPixelFormat, HWND hwnd) {
    FakeClientCall c = ClientCall("DrvSetPixelFormat", static_cast<ULONG>(iPixelFormat), nullptr, 0, 0, nullptr);
    c.pso = pso;
    c.hwnd = hwnd;
    // A window gets a window object of the driver's, as a GL driver makes.
    if (hwnd != nullptr && gState.setPixelFormatAnswer)
        c.pwo = EngCreateWnd(pso, hwnd, [](WNDOBJ*, FLONG) {}, WO_RGN_CLIENT, iPixelFormat);
    gState.clientCalls.push_back(c);
    return gState.setPixelFormatAnswer;
}

BOOL SwapBuffers(SURFOBJ* pso, WNDOBJ* pwo) {
    FakeClientCall c = ClientCall("DrvSwapBuffers", 0, nullptr, 0, 0, nullptr);
    c.pso = pso;
    c.pwo = pwo;
    // The window's clip enumerates as any clip object.
    CLIPOBJ_cEnumStart(&pwo->coClient, FALSE, CT_RECTANGLES, CD_RIGHTDOWN, 0xFFFFFFFFu);
    struct {
        ULONG c;
        RECTL arcl[8];
    } e;
    BOOL bMore;
    do {
        bMore = CLIPOBJ_bEnum(&pwo->coClient, sizeof e, reinterpret_cast<ULONG*>(&e));
        c.clip.insert(c.clip.end(), e.arcl, e.arcl + e.c);
    } while (bMore);
    gState.clientCalls.push_back(c);
    return TRUE;
}

LONG DescribePixelFormat(DHPDEV, LONG iPixelFormat, ULONG cjpfd, PIXELFORMATDESCRIPTOR* ppfd) {
    gState.clientCalls.push_back(
        ClientCall("DrvDescribePixelFormat", static_cast<ULONG>(iPixelFormat), nullptr, 0, cjpfd, ppfd));
    const auto& formats = gState.pixelFormats;
    if (formats.empty()) {
        Fill(ppfd, cjpfd, 0xD0);
        return 7;
    }
    if (iPixelFormat >= 1 && static_cast<size_t>(iPixelFormat) <= formats.size() && ppfd != nullptr)
        std::memcpy(ppfd, &formats[iPixelFormat - 1], std::min<size_t>(cjpfd, sizeof *ppfd));
    return static_cast<LONG>(formats.size());
}

DRVFN gTable[] = {
    {INDEX_DrvEscape, reinterpret_cast<PFN>(Escape)},
    {INDEX_DrvSetPixelFormat, reinterpret_cast<PFN>(SetPixelFormat)},
    {INDEX_DrvSwapBuffers, reinterpret_cast<PFN>(SwapBuffers)},
    {INDEX_DrvDescribePixelFormat, reinterpret_cast<PFN>(DescribePixelFormat)},
    {INDEX_DrvEnablePDEV, reinterpret_cast<PFN>(EnablePDEV)},
    {INDEX_DrvCompletePDEV, reinterpret_cast<PFN>(CompletePDEV)},
    {INDEX_DrvDisablePDEV, reinterpret_cast<PFN>(DisablePDEV)},
    {INDEX_DrvEnableSurface, reinterpret_cast<PFN>(EnableSurface)},
    {INDEX_DrvSetPalette, reinterpret_cast<PFN>(SetPalette)},
    {INDEX_DrvGetModes, reinterpret_cast<PFN>(GetModes)},
    {INDEX_DrvCreateDeviceBitmap, reinterpret_cast<PFN>(CreateDeviceBitmap)},
    {INDEX_DrvDeleteDeviceBitmap, reinterpret_cast<PFN>(DeleteDeviceBitmap)},
    {INDEX_DrvCopyBits, reinterpret_cast<PFN>(CopyBits)},
    {INDEX_DrvRealizeBrush, reinterpret_cast<PFN>(RealizeBrush)},
    {200, reinterpret_cast<PFN>(GetModes)},  // an index the engine does not know
    {INDEX_DrvDisableSurface, reinterpret_cast<PFN>(DisableSurface)},  // last: can be left out
};

}  // namespace

extern "C" {

VNX_EXPORT FakeDrv* FakeDrvState(void) { return &gState; }

VNX_EXPORT BOOL DrvEnableDriver(ULONG iEngineVersion, ULONG cj, DRVENABLEDATA* pded) {
    gState.calls.push_back("DrvEnableDriver");
    gState.iEngineVersion = iEngineVersion;
    gState.cj = cj;
    if (gState.refuseDriver) return FALSE;
    pded->iDriverVersion = DDI_DRIVER_VERSION;
    pded->c = sizeof gTable / sizeof gTable[0] - (gState.leaveOutDisableSurface ? 1 : 0);
    pded->pdrvfn = gTable;
    return TRUE;
}

VNX_EXPORT void DrvDisableDriver(void) { gState.calls.push_back("DrvDisableDriver"); }

}  // extern "C"
