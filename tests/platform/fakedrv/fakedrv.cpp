// The engine tests' display driver (see fakedrv.h).
#include "fakedrv.h"

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

HSURF EnableSurface(DHPDEV) {
    gState.calls.push_back("DrvEnableSurface");
    if (gState.failEnableSurface) return nullptr;
    HSURF hsurf = EngCreateDeviceSurface(reinterpret_cast<DHSURF>(&gDevice), SIZEL{640, 480},
                                         BMF_8BPP);
    if (!EngAssociateSurface(hsurf, gState.hdevCompleted, HOOK_BITBLT | HOOK_COPYBITS)) {
        EngDeleteSurface(hsurf);
        return nullptr;
    }
    gState.psoScreen = EngLockSurface(hsurf);
    return hsurf;
}

void DisableSurface(DHPDEV) {
    gState.calls.push_back("DrvDisableSurface");
    if (gState.psoScreen != nullptr) {
        HSURF hsurf = gState.psoScreen->hsurf;
        EngUnlockSurface(gState.psoScreen);
        EngDeleteSurface(hsurf);
        gState.psoScreen = nullptr;
    }
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

DRVFN gTable[] = {
    {INDEX_DrvEnablePDEV, reinterpret_cast<PFN>(EnablePDEV)},
    {INDEX_DrvCompletePDEV, reinterpret_cast<PFN>(CompletePDEV)},
    {INDEX_DrvDisablePDEV, reinterpret_cast<PFN>(DisablePDEV)},
    {INDEX_DrvEnableSurface, reinterpret_cast<PFN>(EnableSurface)},
    {INDEX_DrvSetPalette, reinterpret_cast<PFN>(SetPalette)},
    {INDEX_DrvGetModes, reinterpret_cast<PFN>(GetModes)},
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
