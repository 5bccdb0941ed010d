// The driver's entry points: those exported by name and the functions of
// the driver-function table (platform/ddi_functions.h says what each must do).
#pragma once

#include "platform/ddi.h"
#include "platform/export.h"
#include "vornix_surface.h"

extern "C" {

// --- exported by name ------------------------------------------------------
VNX_EXPORT BOOL DrvEnableDriver(ULONG iEngineVersion, ULONG cj, DRVENABLEDATA* pded);
VNX_EXPORT void DrvDisableDriver(void);
// Also in the table (DrvCopyBits too, declared in vornix_surface.h).
VNX_EXPORT BOOL DrvBitBlt(SURFOBJ* psoTrg, SURFOBJ* psoSrc, SURFOBJ* psoMask, CLIPOBJ* pco,
                          XLATEOBJ* pxlo, RECTL* prclTrg, POINTL* pptlSrc, POINTL* pptlMask,
                          BRUSHOBJ* pbo, POINTL* pptlBrush, ROP4 rop4);
VNX_EXPORT HSURF DrvCreateDeviceBitmap(DHPDEV dhpdev, SIZEL sizl, ULONG iFormat);

}  // extern "C"

// --- reached through the table ---------------------------------------------

// Device life cycle (enable.cpp; the surface steps come with the surface set-up).
DHPDEV DrvEnablePDEV(DEVMODEW* pdm, LPWSTR pwszLogAddress, ULONG cPat, HSURF* phsurfPatterns,
                     ULONG cjCaps, ULONG* pdevcaps, ULONG cjDevInfo, DEVINFO* pdi, HDEV hdev,
                     LPWSTR pwszDeviceName, HANDLE hDriver);
void DrvCompletePDEV(DHPDEV dhpdev, HDEV hdev);
void DrvDisablePDEV(DHPDEV dhpdev);
HSURF DrvEnableSurface(DHPDEV dhpdev);
void DrvDisableSurface(DHPDEV dhpdev);
BOOL DrvAssertMode(DHPDEV dhpdev, BOOL bEnable);

// Modes and palette (modes.cpp, palette.cpp).
ULONG DrvGetModes(HANDLE hDriver, ULONG cjSize, DEVMODEW* pdm);
BOOL DrvSetPalette(DHPDEV dhpdev, PALOBJ* ppalo, FLONG fl, ULONG iStart, ULONG cColors);

// Drawing.
BOOL DrvTextOut(SURFOBJ* pso, STROBJ* pstro, FONTOBJ* pfo, CLIPOBJ* pco, RECTL* prclExtra,
                RECTL* prclOpaque, BRUSHOBJ* pboFore, BRUSHOBJ* pboOpaque, POINTL* pptlOrg,
                MIX mix);
BOOL DrvStrokePath(SURFOBJ* pso, PATHOBJ* ppo, CLIPOBJ* pco, XFORMOBJ* pxo, BRUSHOBJ* pbo,
                   POINTL* pptlBrushOrg, LINEATTRS* plineattrs, MIX mix);
// DrvCopyBits, DrvBitBlt and DrvCreateDeviceBitmap are exported by name
// (above and vornix_surface.h).
void DrvDeleteDeviceBitmap(DHSURF dhsurf);
ULONG DrvDitherColor(DHPDEV dhpdev, ULONG iMode, ULONG rgb, ULONG* pul);
BOOL DrvFillPath(SURFOBJ* pso, PATHOBJ* ppo, CLIPOBJ* pco, BRUSHOBJ* pbo, POINTL* pptlBrushOrg,
                 MIX mix, FLONG flOptions);
BOOL DrvStrokeAndFillPath(SURFOBJ* pso, PATHOBJ* ppo, CLIPOBJ* pco, XFORMOBJ* pxo,
                          BRUSHOBJ* pboStroke, LINEATTRS* plineattrs, BRUSHOBJ* pboFill,
                          POINTL* pptlBrushOrg, MIX mixFill, FLONG flOptions);
BOOL DrvStretchBlt(SURFOBJ* psoDst, SURFOBJ* psoSrc, SURFOBJ* psoMask, CLIPOBJ* pco, XLATEOBJ* pxlo,
                   COLORADJUSTMENT* pca, POINTL* pptlHTOrg, RECTL* prclDst, RECTL* prclSrc,
                   POINTL* pptlMask, ULONG iMode);
BOOL DrvRealizeBrush(BRUSHOBJ* pbo, SURFOBJ* psoTarget, SURFOBJ* psoPattern, SURFOBJ* psoMask,
                     XLATEOBJ* pxlo, ULONG iHatch);
BOOL DrvPaint(SURFOBJ* pso, CLIPOBJ* pco, BRUSHOBJ* pbo, POINTL* pptlBrushOrg, MIX mix);

// Pointer.
ULONG DrvSetPointerShape(SURFOBJ* pso, SURFOBJ* psoMask, SURFOBJ* psoColor, XLATEOBJ* pxlo,
                         LONG xHot, LONG yHot, LONG x, LONG y, RECTL* prcl, FLONG fl);
void DrvMovePointer(SURFOBJ* pso, LONG x, LONG y, RECTL* prcl);

// OpenGL and escapes.
LONG DrvDescribePixelFormat(DHPDEV dhpdev, LONG iPixelFormat, ULONG cjpfd,
                            PIXELFORMATDESCRIPTOR* ppfd);
BOOL DrvSetPixelFormat(SURFOBJ* pso, LONG iPixelFormat, HWND hwnd);
BOOL DrvSwapBuffers(SURFOBJ* pso, WNDOBJ* pwo);
ULONG DrvEscape(SURFOBJ* pso, ULONG iEsc, ULONG cjIn, PVOID pvIn, ULONG cjOut, PVOID pvOut);
ULONG DrvDrawEscape(SURFOBJ* pso, ULONG iEsc, CLIPOBJ* pco, RECTL* prcl, ULONG cjIn, PVOID pvIn);

