// DrvRealizeBrush: the engine's brush in the form the pattern fills read
// (brush.h): device pixels, a two-colour bit pattern, or a dithered colour.
#include <atomic>
#include <cstddef>
#include <cstring>

#include "blt/blt.h"
#include "dither/palettedither.h"
#include "platform/engine.h"

namespace {

#define BRUSH_EDGE 8  // patterns are 8 x 8 pixels

std::atomic<ULONG> gulBrushUniq{1};

// Row y of a pattern surface (pvScan0 is row 0 whichever way the rows lie
// in memory).
const BYTE* pjPatternRow(const SURFOBJ* pso, LONG y) {
    return static_cast<const BYTE*>(pso->pvScan0) + static_cast<std::ptrdiff_t>(y) * pso->lDelta;
}

// The pattern bytes of a realization: the engine allocated them behind the
// record's first four.
BYTE* pjBrushBits(REALBRUSH* prb) {
    return reinterpret_cast<BYTE*>(prb) + offsetof(REALBRUSH, ajPattern);
}

// Fills the realization from the pattern. FALSE for a combination the
// driver does not serve.
BOOL bRealizePattern(PDEV* ppdev, REALBRUSH* prb, SURFOBJ* psoPattern, XLATEOBJ* pxlo) {
    const ULONG cjRow = BRUSH_EDGE << ppdev->iPixelClass;
    BYTE* pjBits = pjBrushBits(prb);
    if (psoPattern->iBitmapFormat == BMF_1BPP) {
        ULONG aulColour[2];
        vXlateVector(pxlo, aulColour, 2);
        for (LONG y = 0; y < BRUSH_EDGE; ++y) {
            const BYTE j = pjPatternRow(psoPattern, y)[0];
            pjBits[REALBRUSH_MONO_ROW_BYTES * y] = j;
            pjBits[REALBRUSH_MONO_ROW_BYTES * y + 1] = j;
        }
        prb->fl |= REALBRUSH_MONO;
        prb->ulForeColor = aulColour[1];
        prb->ulBackColor = aulColour[0];
        return TRUE;
    }
    if (psoPattern->iBitmapFormat == BMF_4BPP) {  // served on 8-bpp devices only
        ULONG aulColour[16];
        vXlateVector(pxlo, aulColour, 16);
        for (LONG y = 0; y < BRUSH_EDGE; ++y) {
            const BYTE* pj = pjPatternRow(psoPattern, y);
            for (LONG i = 0; i < BRUSH_EDGE / 2; ++i) {
                pjBits[y * BRUSH_EDGE + 2 * i] = static_cast<BYTE>(aulColour[pj[i] >> 4]);
                pjBits[y * BRUSH_EDGE + 2 * i + 1] = static_cast<BYTE>(aulColour[pj[i] & 0xF]);
            }
        }
        return TRUE;
    }
    // The device's own format.
    if (pxlo != nullptr && (pxlo->flXlate & XO_TRIVIAL) == 0) {
        if (ppdev->iBitmapFormat != BMF_8BPP) return FALSE;
        ULONG aulColour[256];
        vXlateVector(pxlo, aulColour, 256);
        for (LONG y = 0; y < BRUSH_EDGE; ++y) {
            const BYTE* pj = pjPatternRow(psoPattern, y);
            for (LONG x = 0; x < BRUSH_EDGE; ++x)
                pjBits[y * BRUSH_EDGE + x] = static_cast<BYTE>(aulColour[pj[x]]);
        }
        return TRUE;
    }
    for (LONG y = 0; y < BRUSH_EDGE; ++y)
        std::memcpy(pjBits + y * cjRow, pjPatternRow(psoPattern, y), cjRow);
    return TRUE;
}

BOOL bRealizeBrush(PDEV* ppdev, BRUSHOBJ* pbo, SURFOBJ* psoPattern, XLATEOBJ* pxlo, ULONG iHatch) {
    if ((iHatch & RB_DITHERCOLOR) != 0) {
        // The dither writes palette indices: 8-bpp devices only (deeper
        // ones show every colour and never ask for it).
        if (ppdev->iBitmapFormat != BMF_8BPP) return FALSE;
        REALBRUSH* prb =
            static_cast<REALBRUSH*>(BRUSHOBJ_pvAllocRbrush(pbo, cjRealBrush(ppdev->iPixelClass)));
        if (prb == nullptr) return FALSE;
        vDitherRgb(iHatch & 0xFFFFFF, pjBrushBits(prb));
        prb->fl = REALBRUSH_DITHER;
        prb->iUniq = ulNextBrushUniq();
        return TRUE;
    }
    if (psoPattern == nullptr || psoPattern->sizlBitmap.cx != BRUSH_EDGE ||
        psoPattern->sizlBitmap.cy != BRUSH_EDGE) {
        return FALSE;
    }
    const ULONG iFormat = psoPattern->iBitmapFormat;
    if (iFormat != BMF_1BPP && iFormat != ppdev->iBitmapFormat &&
        !(iFormat == BMF_4BPP && ppdev->iBitmapFormat == BMF_8BPP)) {
        return FALSE;
    }
    REALBRUSH* prb =
        static_cast<REALBRUSH*>(BRUSHOBJ_pvAllocRbrush(pbo, cjRealBrush(ppdev->iPixelClass)));
    if (prb == nullptr) return FALSE;
    prb->fl = REALBRUSH_PIXELS;
    prb->iUniq = ulNextBrushUniq();
    return bRealizePattern(ppdev, prb, psoPattern, pxlo);
}

}  // namespace

ULONG ulNextBrushUniq() {
    ULONG u = gulBrushUniq.fetch_add(1, std::memory_order_relaxed);
    // 0 means "nothing loaded" to the pattern registers: skip it on a wrap.
    if (u == 0) u = gulBrushUniq.fetch_add(1, std::memory_order_relaxed);
    return u;
}

BOOL DrvRealizeBrush(BRUSHOBJ* pbo, SURFOBJ* psoTarget, SURFOBJ* psoPattern, SURFOBJ* /*psoMask*/,
                     XLATEOBJ* pxlo, ULONG iHatch) {
    PDEV* ppdev = ppdevOfDeviceSurface(psoTarget);
    if (ppdev == nullptr && psoTarget != nullptr)
        ppdev = reinterpret_cast<PDEV*>(psoTarget->dhpdev);
    if (ppdev == nullptr || pbo == nullptr) return FALSE;
    EnterCriticalSection(&ppdev->csEscape);
    const BOOL b = bRealizeBrush(ppdev, pbo, psoPattern, pxlo, iHatch);
    LeaveCriticalSection(&ppdev->csEscape);
    return b;
}
