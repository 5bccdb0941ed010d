// The capabilities the driver reports for its mode: the default GDIINFO and
// DEVINFO, then the fields that depend on the chosen mode.
#include "device/modes.h"

namespace {

// Logical-font details of the three default fonts (face names are what the
// engine matches on).
#define FW_NORMAL 400
#define FW_BOLD 700
#define ANSI_CHARSET 0
#define OUT_DEFAULT_PRECIS 0
#define OUT_STROKE_PRECIS 3
#define CLIP_STROKE_PRECIS 2
#define PROOF_QUALITY 2
#define VARIABLE_PITCH 2
#define FIXED_PITCH 1
#define FF_SWISS 0x20
#define FF_MODERN 0x30

const GDIINFO gGdiInfoDefault = {
    0x3502,         // ulVersion
    DT_RASDISPLAY,  // ulTechnology
    0,
    0,  // ulHorzSize, ulVertSize: from the mode
    0,
    0,  // ulHorzRes, ulVertRes: from the mode
    0,  // cBitsPixel: from the mode
    1,  // cPlanes
    0,  // ulNumColors: from the mode
    0,  // flRaster
    0,
    0,           // ulLogPixelsX, ulLogPixelsY: from the request
    TC_RA_ABLE,  // flTextCaps
    8,
    8,
    8,  // ulDACRed, ulDACGreen, ulDACBlue
    36,
    36,
    51,  // ulAspectX, ulAspectY, ulAspectXY
    1,
    1,
    3,       // xStyleStep, yStyleStep, denStyleStep
    {0, 0},  // ptlPhysOffset
    {0, 0},  // szlPhysSize
    0,       // ulNumPalReg: from the mode
    {
        // ciDevice: the chromaticities of a common colour monitor phosphor set
        // (x, y in 1/10000; Y of the white point).
        {6400, 3300, 0},      // Red
        {3000, 6000, 0},      // Green
        {1500, 600, 0},       // Blue
        {2250, 3300, 0},      // Cyan
        {3950, 1950, 0},      // Magenta
        {4700, 4650, 0},      // Yellow
        {3127, 3290, 10000},  // AlignmentWhite
        20000,
        20000,
        20000,  // RedGamma, GreenGamma, BlueGamma
        0,
        0,
        0,
        0,
        0,
        0,  // dye proportions (not a printer)
    },
    0,                       // ulDevicePelsDPI: from the mode
    PRIMARY_ORDER_CBA,       // ulPrimaryOrder
    HT_PATSIZE_4x4_M,        // ulHTPatternSize
    0,                       // ulHTOutputFormat: from the mode
    HT_FLAG_ADDITIVE_PRIMS,  // flHTFlags
    0,                       // ulVRefresh: from the mode
    16,                      // ulBltAlignment
    0,
    0,  // ulDesktopHorzRes, ulDesktopVertRes: from the mode
};

const DEVINFO gDevInfoDefault = {
    GCAPS_DITHERONREALIZE | GCAPS_PALMANAGED | GCAPS_ASYNCMOVE | GCAPS_ASYNCCHANGE |
        GCAPS_MONO_DITHER | GCAPS_OPAQUERECT | GCAPS_COLOR_DITHER | GCAPS_WINDINGFILL |
        GCAPS_ALTERNATEFILL,
    {16, 7, 0, 0, FW_BOLD, 0, 0, 0, ANSI_CHARSET, OUT_DEFAULT_PRECIS, CLIP_STROKE_PRECIS,
     PROOF_QUALITY, VARIABLE_PITCH | FF_SWISS, u"System"},
    {12, 9, 0, 0, FW_NORMAL, 0, 0, 0, ANSI_CHARSET, OUT_STROKE_PRECIS, CLIP_STROKE_PRECIS,
     PROOF_QUALITY, VARIABLE_PITCH | FF_SWISS, u"MS Sans Serif"},
    {12, 9, 0, 0, FW_NORMAL, 0, 0, 0, ANSI_CHARSET, OUT_STROKE_PRECIS, CLIP_STROKE_PRECIS,
     PROOF_QUALITY, FIXED_PITCH | FF_MODERN, u"Courier"},
    0,         // cFonts
    BMF_8BPP,  // iDitherFormat: set to the device's format at enable
    8,
    8,        // cxDither, cyDither
    nullptr,  // hpalDefault: made at enable
};

// What each device format reports: (format, bits, halftone format, colours,
// palette registers, capabilities cleared).
struct FORMATCAPS {
    ULONG iBitmapFormat;
    ULONG cBitsPixel;
    ULONG ulHTOutputFormat;
    ULONG ulNumColors;
    ULONG ulNumPalReg;
    FLONG flCapsCleared;
};
const FORMATCAPS gaFormatCaps[] = {
    {BMF_8BPP, 8, HT_FORMAT_8BPP, 20, 256, 0},
    {BMF_16BPP, 16, HT_FORMAT_16BPP, 0xFFFFFFFFu, 0, GCAPS_PALMANAGED | GCAPS_COLOR_DITHER},
    {BMF_32BPP, 32, HT_FORMAT_32BPP, 0xFFFFFFFFu, 0, GCAPS_PALMANAGED | GCAPS_COLOR_DITHER},
};

// Width of one screen of a two-board desktop that joins two 1024-pixel screens.
#define SPLIT_SCREEN_WIDTH 1024

}  // namespace

void vFillDevCaps(PDEV* ppdev, const VIDEO_MODE_INFORMATION* pvmi, const DEVMODEW* pdm,
                  ULONG cBoards, GDIINFO* pgdi, DEVINFO* pdi) {
    *pgdi = gGdiInfoDefault;
    *pdi = gDevInfoDefault;

    const ULONG cx = static_cast<ULONG>(ppdev->cxScreen);
    const ULONG cy = static_cast<ULONG>(ppdev->cyScreen);
    pgdi->ulHorzRes = cx;
    pgdi->ulVertRes = cy;
    pgdi->ulDesktopHorzRes = cx;
    pgdi->ulDesktopVertRes = cy;
    pgdi->ulHorzSize = pvmi->XMillimeter;
    pgdi->ulVertSize = pvmi->YMillimeter;
    if (cBoards >= 2 && cx == SPLIT_SCREEN_WIDTH) {
        // Two boards side by side: one desktop over both screens.
        pgdi->ulDesktopHorzRes = 2 * SPLIT_SCREEN_WIDTH - 1;
        pgdi->ulHorzSize = pvmi->XMillimeter * 2;
    }
    pgdi->ulDevicePelsDPI = cx * 254 / 2400;
    pgdi->ulVRefresh = pvmi->Frequency;
    pgdi->ulLogPixelsX = pdm->dmLogPixels;
    pgdi->ulLogPixelsY = pdm->dmLogPixels;

    for (const FORMATCAPS& fc : gaFormatCaps) {
        if (fc.iBitmapFormat != ppdev->iBitmapFormat) continue;
        pgdi->cBitsPixel = fc.cBitsPixel;
        pgdi->ulHTOutputFormat = fc.ulHTOutputFormat;
        pgdi->ulNumColors = fc.ulNumColors;
        pgdi->ulNumPalReg = fc.ulNumPalReg;
        pdi->flGraphicsCaps &= ~fc.flCapsCleared;
    }
}
