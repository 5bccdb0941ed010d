// The driver-function table: the index of each entry a display driver may
// hand the engine in DRVENABLEDATA, and what that entry must do. The engine
// calls an entry only when the driver's table holds it. Included by ddi.h.
#pragma once

#include "platform/ddi.h"

// --- device life cycle -----------------------------------------------------

// Makes the device record for a mode request: fills at most cjCaps bytes of
// GDIINFO at pdevcaps, at most cjDevInfo bytes of DEVINFO at pdi (with the
// default palette), cPat hatch-brush surfaces at phsurfPatterns. Answers the
// driver's device handle, or 0 after undoing everything it made.
#define INDEX_DrvEnablePDEV 0u
typedef DHPDEV (*PFN_DrvEnablePDEV)(DEVMODEW* pdm, LPWSTR pwszLogAddress, ULONG cPat,
                                    HSURF* phsurfPatterns, ULONG cjCaps, ULONG* pdevcaps,
                                    ULONG cjDevInfo, DEVINFO* pdi, HDEV hdev,
                                    LPWSTR pwszDeviceName, HANDLE hDriver);

// Tells the driver the engine's handle of the device it just enabled.
#define INDEX_DrvCompletePDEV 1u
typedef void (*PFN_DrvCompletePDEV)(DHPDEV dhpdev, HDEV hdev);

// Frees the device record and everything DrvEnablePDEV made.
#define INDEX_DrvDisablePDEV 2u
typedef void (*PFN_DrvDisablePDEV)(DHPDEV dhpdev);

// Sets the mode and makes the primary surface; answers its handle or 0.
#define INDEX_DrvEnableSurface 3u
typedef HSURF (*PFN_DrvEnableSurface)(DHPDEV dhpdev);

// Releases the primary surface and what DrvEnableSurface made.
#define INDEX_DrvDisableSurface 4u
typedef void (*PFN_DrvDisableSurface)(DHPDEV dhpdev);

// Leaves (FALSE) or takes back (TRUE) the hardware on a mode switch.
#define INDEX_DrvAssertMode 5u
typedef BOOL (*PFN_DrvAssertMode)(DHPDEV dhpdev, BOOL bEnable);

// --- drawing ---------------------------------------------------------------

// Device-managed bitmap of the given size and format; 0 lets the engine make
// a host bitmap instead.
#define INDEX_DrvCreateDeviceBitmap 10u
typedef HSURF (*PFN_DrvCreateDeviceBitmap)(DHPDEV dhpdev, SIZEL sizl, ULONG iFormat);

// Frees a bitmap DrvCreateDeviceBitmap made.
#define INDEX_DrvDeleteDeviceBitmap 11u
typedef void (*PFN_DrvDeleteDeviceBitmap)(DHSURF dhsurf);

// Turns an engine brush into the driver's realized form.
#define INDEX_DrvRealizeBrush 12u
typedef BOOL (*PFN_DrvRealizeBrush)(BRUSHOBJ* pbo, SURFOBJ* psoTarget, SURFOBJ* psoPattern,
                                    SURFOBJ* psoMask, XLATEOBJ* pxlo, ULONG iHatch);

// Dither of one colour into an 8x8 brush.
#define INDEX_DrvDitherColor 13u
typedef ULONG (*PFN_DrvDitherColor)(DHPDEV dhpdev, ULONG iMode, ULONG rgb, ULONG* pul);

#define INDEX_DrvStrokePath 14u
typedef BOOL (*PFN_DrvStrokePath)(SURFOBJ* pso, PATHOBJ* ppo, CLIPOBJ* pco, XFORMOBJ* pxo,
                                  BRUSHOBJ* pbo, POINTL* pptlBrushOrg, LINEATTRS* plineattrs,
                                  MIX mix);

#define INDEX_DrvFillPath 15u
typedef BOOL (*PFN_DrvFillPath)(SURFOBJ* pso, PATHOBJ* ppo, CLIPOBJ* pco, BRUSHOBJ* pbo,
                                POINTL* pptlBrushOrg, MIX mix, FLONG flOptions);

#define INDEX_DrvStrokeAndFillPath 16u
typedef BOOL (*PFN_DrvStrokeAndFillPath)(SURFOBJ* pso, PATHOBJ* ppo, CLIPOBJ* pco,
                                         XFORMOBJ* pxo, BRUSHOBJ* pboStroke,
                                         LINEATTRS* plineattrs, BRUSHOBJ* pboFill,
                                         POINTL* pptlBrushOrg, MIX mixFill, FLONG flOptions);

#define INDEX_DrvPaint 17u
typedef BOOL (*PFN_DrvPaint)(SURFOBJ* pso, CLIPOBJ* pco, BRUSHOBJ* pbo, POINTL* pptlBrushOrg,
                             MIX mix);

#define INDEX_DrvBitBlt 18u
typedef BOOL (*PFN_DrvBitBlt)(SURFOBJ* psoTrg, SURFOBJ* psoSrc, SURFOBJ* psoMask, CLIPOBJ* pco,
                              XLATEOBJ* pxlo, RECTL* prclTrg, POINTL* pptlSrc, POINTL* pptlMask,
                              BRUSHOBJ* pbo, POINTL* pptlBrush, ROP4 rop4);

#define INDEX_DrvCopyBits 19u
typedef BOOL (*PFN_DrvCopyBits)(SURFOBJ* psoDst, SURFOBJ* psoSrc, CLIPOBJ* pco, XLATEOBJ* pxlo,
                                RECTL* prclDst, POINTL* pptlSrc);

#define INDEX_DrvStretchBlt 20u
typedef BOOL (*PFN_DrvStretchBlt)(SURFOBJ* psoDst, SURFOBJ* psoSrc, SURFOBJ* psoMask,
                                  CLIPOBJ* pco, XLATEOBJ* pxlo, COLORADJUSTMENT* pca,
                                  POINTL* pptlHTOrg, RECTL* prclDst, RECTL* prclSrc,
                                  POINTL* pptlMask, ULONG iMode);

// Loads cColors entries of the device palette from iStart into the hardware.
#define INDEX_DrvSetPalette 22u
typedef BOOL (*PFN_DrvSetPalette)(DHPDEV dhpdev, PALOBJ* ppalo, FLONG fl, ULONG iStart,
                                  ULONG cColors);

#define INDEX_DrvTextOut 23u
typedef BOOL (*PFN_DrvTextOut)(SURFOBJ* pso, STROBJ* pstro, FONTOBJ* pfo, CLIPOBJ* pco,
                               RECTL* prclExtra, RECTL* prclOpaque, BRUSHOBJ* pboFore,
                               BRUSHOBJ* pboOpaque, POINTL* pptlOrg, MIX mix);

// --- escapes ---------------------------------------------------------------

// Application escape through ExtEscape; answers the escape's result.
#define INDEX_DrvEscape 24u
typedef ULONG (*PFN_DrvEscape)(SURFOBJ* pso, ULONG iEsc, ULONG cjIn, PVOID pvIn, ULONG cjOut,
                               PVOID pvOut);

// Drawing escape through DrawEscape.
#define INDEX_DrvDrawEscape 25u
typedef ULONG (*PFN_DrvDrawEscape)(SURFOBJ* pso, ULONG iEsc, CLIPOBJ* pco, RECTL* prcl,
                                   ULONG cjIn, PVOID pvIn);

// --- pointer ---------------------------------------------------------------

// Answers SPS_DECLINE or SPS_ACCEPT_NOEXCLUDE.
#define SPS_DECLINE 1u           // the engine draws the pointer itself
#define SPS_ACCEPT_NOEXCLUDE 2u  // the driver shows it; drawing need not avoid it
#define INDEX_DrvSetPointerShape 29u
typedef ULONG (*PFN_DrvSetPointerShape)(SURFOBJ* pso, SURFOBJ* psoMask, SURFOBJ* psoColor,
                                        XLATEOBJ* pxlo, LONG xHot, LONG yHot, LONG x, LONG y,
                                        RECTL* prcl, FLONG fl);

// x = -1 hides the pointer.
#define INDEX_DrvMovePointer 30u
typedef void (*PFN_DrvMovePointer)(SURFOBJ* pso, LONG x, LONG y, RECTL* prcl);

// --- modes -----------------------------------------------------------------

// With pdm null: bytes needed for every mode; else fills whole DEVMODEW
// records into cjSize bytes and answers the bytes written (0 on failure).
#define INDEX_DrvGetModes 41u
typedef ULONG (*PFN_DrvGetModes)(HANDLE hDriver, ULONG cjSize, DEVMODEW* pdm);

// --- OpenGL ----------------------------------------------------------------

#define INDEX_DrvSetPixelFormat 54u
typedef BOOL (*PFN_DrvSetPixelFormat)(SURFOBJ* pso, LONG iPixelFormat, HWND hwnd);

// Answers the number of pixel formats (0 when the device offers none).
#define INDEX_DrvDescribePixelFormat 55u
typedef LONG (*PFN_DrvDescribePixelFormat)(DHPDEV dhpdev, LONG iPixelFormat, ULONG cjpfd,
                                           PIXELFORMATDESCRIPTOR* ppfd);

#define INDEX_DrvSwapBuffers 56u
typedef BOOL (*PFN_DrvSwapBuffers)(SURFOBJ* pso, WNDOBJ* pwo);

// One past the highest index the engine knows.
#define INDEX_LAST 57u

// --- exported by name ------------------------------------------------------

// The driver's entry: fills pded by cj (see CJ_DRVENABLEDATA).
typedef BOOL (*PFN_DrvEnableDriver)(ULONG iEngineVersion, ULONG cj, DRVENABLEDATA* pded);
// Called once before the engine unloads the driver.
typedef void (*PFN_DrvDisableDriver)(void);
