// DrvBitBlt: every block transfer the engine asks of the device. The rules
// below are tried in order and the first that applies decides; whatever the
// hardware cannot do is handed back to the engine's EngBitBlt.
#include "blt/blt.h"
#include "copy/copy.h"
#include "device/entry.h"
#include "fill/fill.h"
#include "platform/engine.h"
#include "rop/rop.h"
#include "xfer/xfer.h"

namespace {

// The operands a ROP descriptor's high byte names.
#define BLT_READS_SOURCE 0x20u
#define BLT_READS_PATTERN 0x08u

// The ROP4s filled at once, whatever else is given.
#define ROP4_PATCOPY 0xF0F0u
#define ROP4_BLACKNESS 0x0000u
#define ROP4_WHITENESS 0xFFFFu
#define ROP4_SRCCOPY 0xCCCCu

#define SOLID_NONE 0xFFFFFFFFu

// Rule 1: the fills that need nothing but the target. Answers whether it
// drew.
BOOL bFastFill(SURFOBJ* psoTrg, CLIPOBJ* pco, RECTL* prclTrg, BRUSHOBJ* pbo, ROP4 rop4) {
    ULONG flInfo, iColour;
    if (rop4 == ROP4_PATCOPY && pbo != nullptr && pbo->iSolidColor != SOLID_NONE) {
        flInfo = 0;
        iColour = pbo->iSolidColor;
    } else if (rop4 == ROP4_BLACKNESS) {
        flInfo = ROPINFO_NEEDS_ZERO;
        iColour = 0;
    } else if (rop4 == ROP4_WHITENESS) {
        flInfo = ROPINFO_NEEDS_ALL_ONES;
        iColour = 0xFFFFFF;
    } else {
        return FALSE;
    }
    if (!bFillSolidOne(psoTrg, pco, prclTrg, rop4 & 0xFF, flInfo, iColour))
        vFillSolidClipped(psoTrg, pco, rop4, flInfo, iColour, prclTrg);
    return TRUE;
}

ULONG cQueuesOf(const PDEV* ppdev) {
    if (ppdev->pqm != nullptr && ppdev->pqm->pLayout != nullptr)
        return ppdev->pqm->pLayout->cQueues;
    return ppdev->layout.cQueues;
}

// Rules 4 to 8 under the lock: FALSE when the blit is to be punted.
BOOL bBltInHardware(PDEV* ppdev, SURFOBJ* psoTrg, SURFOBJ* psoSrc, SURFOBJ* psoMask, CLIPOBJ* pco,
                    XLATEOBJ* pxlo, RECTL* prclTrg, POINTL* pptlSrc, POINTL* pptlMask,
                    BRUSHOBJ* pbo, POINTL* pptlBrush, ROP4 rop4, ULONG iMode) {
    const ULONG lo = ulRop3Info(rop4 & 0xFF);
    const ULONG hi = ((rop4 >> 8) & 0xFF) != (rop4 & 0xFF) ? ulRop3Info((rop4 >> 8) & 0xFF) : 0;
    const ULONG flags = ((lo | hi) >> 8) & 0xFF;

    // 4: the hardware draws only into board memory.
    if (!bIsDeviceSurface(psoTrg)) return FALSE;

    // 5: a true ROP4 with a mask: the two ROPs of the mask's 1 and 0 bits.
    if (hi != 0 && psoMask != nullptr) {
        if ((flags & (BLT_READS_SOURCE | BLT_READS_PATTERN)) != 0) return FALSE;
        if (psoMask->iBitmapFormat != BMF_1BPP || pptlMask == nullptr) return FALSE;
        ULONG aulColour[2];
        vXlateVector(pxlo, aulColour, 2);
        bExpandMonoClipped(psoTrg, pco, rop4, rop4 >> 8, psoMask, prclTrg, pptlMask, aulColour,
                           iMode);
        return TRUE;
    }

    // 6: the ROP reads the source: an on-board copy.
    if ((flags & BLT_READS_SOURCE) != 0) {
        if (!bIsDeviceSurface(psoSrc) || pptlSrc == nullptr) return FALSE;
        if (!bUsableXlate(ppdev, pxlo)) return FALSE;
        // With the pattern as well only a black solid brush: the pattern
        // register then holds 0.
        if ((flags & BLT_READS_PATTERN) != 0 && (pbo == nullptr || pbo->iSolidColor != 0))
            return FALSE;
        // Tiles of several rasterizers: the copy would cross between them.
        if (cQueuesOf(ppdev) >= 2) return FALSE;
        // Without the pattern surface there is no room for the copy table.
        if (!bBoardCopyAvailable(ppdev)) return FALSE;
        vCopyDevToDev(psoTrg, psoSrc, pco, prclTrg, pptlSrc, rop4, lo, iMode);
        return TRUE;
    }

    // 7: the ROP reads a pattern brush.
    if ((flags & BLT_READS_PATTERN) != 0 && (pbo == nullptr || pbo->iSolidColor == SOLID_NONE)) {
        if (pbo == nullptr || !bUsableXlate(ppdev, pxlo)) return FALSE;
        REALBRUSH* prb = static_cast<REALBRUSH*>(pbo->pvRbrush);
        if (prb == nullptr) prb = static_cast<REALBRUSH*>(BRUSHOBJ_pvGetRbrush(pbo));
        if (prb == nullptr) return FALSE;
        if ((prb->fl & REALBRUSH_MONO) == 0) {
            // A colour pattern is loaded through the pattern surface; a board
            // that had no room for one leaves such fills to the engine.
            if (!bPatternFillAvailable(psoTrg)) return FALSE;
            vFillPatternClipped(psoTrg, pco, prclTrg, prb, pptlBrush, lo | hi, rop4);
        } else if (hi == 0 && prb->ulForeColor == prb->ulBackColor) {
            vFillSolidClipped(psoTrg, pco, rop4, lo, prb->ulForeColor, prclTrg);
        } else {
            vFillTwoColourClipped(psoTrg, pco, prclTrg, prb, pptlBrush, lo | hi, rop4);
        }
        return TRUE;
    }

    // 8: ROPs of the destination alone, and pattern ROPs with a solid brush.
    const ULONG iColour = pbo != nullptr ? pbo->iSolidColor : 0;
    vFillSolidClipped(psoTrg, pco, rop4, lo, iColour, prclTrg);
    return TRUE;
}

}  // namespace

BOOL DrvBitBlt(SURFOBJ* psoTrg, SURFOBJ* psoSrc, SURFOBJ* psoMask, CLIPOBJ* pco, XLATEOBJ* pxlo,
               RECTL* prclTrg, POINTL* pptlSrc, POINTL* pptlMask, BRUSHOBJ* pbo, POINTL* pptlBrush,
               ROP4 rop4) {
    rop4 &= 0xFFFF;
    PDEV* ppdevTrg = ppdevOfDeviceSurface(psoTrg);
    if (ppdevTrg != nullptr) {
        EnterCriticalSection(&ppdevTrg->csEscape);
        const BOOL bDone = bFastFill(psoTrg, pco, prclTrg, pbo, rop4);
        LeaveCriticalSection(&ppdevTrg->csEscape);
        if (bDone) return TRUE;
    }

    if (rop4 == ROP4_SRCCOPY) return DrvCopyBits(psoTrg, psoSrc, pco, pxlo, prclTrg, pptlSrc);

    // The engine calls here when either surface is the device's.
    PDEV* ppdev = ppdevTrg != nullptr ? ppdevTrg : ppdevOfDeviceSurface(psoSrc);
    if (ppdev == nullptr) {
        return EngBitBlt(psoTrg, psoSrc, psoMask, pco, pxlo, prclTrg, pptlSrc, pptlMask, pbo,
                         pptlBrush, rop4);
    }
    const ULONG iMode = ppdev->pPageConfig != nullptr && ppdev->pPageConfig->fStereo != 0 ? 1 : 0;
    EnterCriticalSection(&ppdev->csEscape);
    BOOL b = bBltInHardware(ppdev, psoTrg, psoSrc, psoMask, pco, pxlo, prclTrg, pptlSrc, pptlMask,
                            pbo, pptlBrush, rop4, iMode);
    if (!b) {
        // The engine's software blit moves device pixels through
        // DrvCopyBits, which must not use the stereo image cache meanwhile.
        ppdev->StereoCache.fDisabled = 1;
        b = EngBitBlt(psoTrg, psoSrc, psoMask, pco, pxlo, prclTrg, pptlSrc, pptlMask, pbo,
                      pptlBrush, rop4);
        ppdev->StereoCache.fDisabled = 0;
    }
    LeaveCriticalSection(&ppdev->csEscape);
    return b;
}
