// DrvTextOut: the opaque rectangle filled in pieces, then the glyphs drawn
// by the renderer that suits the string, once per clip rectangle and glyph
// batch, and again for the second eye in a stereo mode.
#include <algorithm>

#include "blt/blt.h"
#include "cliprects.h"
#include "device/entry.h"
#include "fill/fill.h"
#include "platform/engine.h"
#include "queue/queue.h"
#include "rop/rop.h"
#include "text/text.h"

namespace {

#define TEXT_CLIP_BATCH 50                                 // rectangles of an enumeration batch
#define TEXT_CLIP_BUFFER_BYTES (4 + TEXT_CLIP_BATCH * 16)  // 804
#define TEXT_OVERLAY_COLOUR_MASK 0x7FFFu  // colours on a 16-bit screen that overlay GL shares

static_assert(sizeof(CLIPBATCH<TEXT_CLIP_BATCH>) == TEXT_CLIP_BUFFER_BYTES);

// Fills the opaque rectangle; answers whether the glyphs draw the
// background of rclBkGround themselves (1) or were left transparent (0).
ULONG ulFillOpaque(SURFOBJ* pso, STROBJ* pstro, CLIPOBJ* pco, RECTL* prclOpaque, ULONG iColour) {
    if (prclOpaque == nullptr) return 0;
    // The glyphs paint their cells' background only when their cells tile
    // rclBkGround and the opaque rectangle holds all of it; else the whole
    // rectangle is filled and the glyphs drawn over it.
    const RECTL& o = *prclOpaque;
    const RECTL& bk = pstro->rclBkGround;
    const bool bHoldsBox =
        o.left <= bk.left && o.top <= bk.top && o.right >= bk.right && o.bottom >= bk.bottom;
    if ((pstro->flAccel & SO_GLYPHS_COVER_BACKGROUND) != SO_GLYPHS_COVER_BACKGROUND || !bHoldsBox) {
        vFillSolidClipped(pso, pco, 0xF0F0, ulRop3Info(0xF0), iColour, prclOpaque);
        return 0;
    }
    // Only the parts outside the glyphs' box: above, left, right, below.
    const RECTL candidates[4] = {{o.left, o.top, o.right, bk.top},
                                 {o.left, bk.top, bk.left, bk.bottom},
                                 {bk.right, bk.top, o.right, bk.bottom},
                                 {o.left, bk.bottom, o.right, o.bottom}};
    RECTL arcl[4];
    ULONG c = 0;
    for (const RECTL& r : candidates)
        if (r.left < r.right && r.top < r.bottom) arcl[c++] = r;
    vFillSolidClipped(pso, pco, 0xF0F0, ulRop3Info(0xF0), iColour, arcl, c);
    return 1;
}

// The renderer for the string (the box and the font's widest glyph at most
// 16 pixels; split boards always cut glyphs in pieces).
PFN_GLYPHS pfnRenderer(const PDEV* ppdev, STROBJ* pstro, FONTOBJ* pfo, CLIPOBJ* pco) {
    const QUEUELAYOUT* pLayout = ppdev->pqm != nullptr ? ppdev->pqm->pLayout : nullptr;
    const bool bSmall = pstro->rclBkGround.bottom - pstro->rclBkGround.top <= GLYPH_SMALL &&
                        pfo != nullptr && pfo->cxMax <= GLYPH_SMALL;
    if (!bSmall || (pLayout != nullptr && pLayout->bSplitScreen)) return vGlyphsLarge;
    if (pco != nullptr && pco->iDComplexity == DC_COMPLEX) return vGlyphsClipped;
    return pstro->ulCharInc == 0 ? vGlyphsProportional : vGlyphsFixedPitch;
}

// Every glyph batch of the string through the renderer under one clip
// rectangle, and again in the lower half for the second eye.
void vRenderBatches(PDEV* ppdev, DSURF* pdsurf, SURFOBJ* pso, STROBJ* pstro, PFN_GLYPHS pfn,
                    RECTL* prclClip, bool bRestart, ULONG iFg, ULONG iBg, BOOL bOpaque) {
    const ULONG cPasses = ppdev->pPageConfig != nullptr && ppdev->pPageConfig->fStereo ? 2 : 1;
    for (ULONG iPass = 0; iPass < cPasses; ++iPass) {
        const LONG yBoard = pdsurf->pdfb->y, cyScreen = ppdev->cyScreen;
        if (iPass == 1) {
            pdsurf->pdfb->y += cyScreen;
            ppdev->cyScreen = 2 * cyScreen;
        }
        if (pstro->pgp != nullptr) {
            pfn(pso, prclClip, pstro->pgp, pstro->cGlyphs, pstro->ulCharInc, iFg, iBg, bOpaque);
        } else {
            if (bRestart || iPass == 1) STROBJ_vEnumStart(pstro);
            BOOL bMore;
            do {
                ULONG c = 0;
                GLYPHPOS* pgp = nullptr;
                bMore = STROBJ_bEnum(pstro, &c, &pgp);
                if (c != 0) pfn(pso, prclClip, pgp, c, pstro->ulCharInc, iFg, iBg, bOpaque);
            } while (bMore);
        }
        pdsurf->pdfb->y = yBoard;
        ppdev->cyScreen = cyScreen;
    }
}

// The text drawing under the lock; answers the opaque step's report.
ULONG ulDrawText(PDEV* ppdev, SURFOBJ* pso, STROBJ* pstro, FONTOBJ* pfo, CLIPOBJ* pco,
                 RECTL* prclOpaque, BRUSHOBJ* pboFore, BRUSHOBJ* pboOpaque) {
    DSURF* pdsurf = reinterpret_cast<DSURF*>(pso->dhsurf);
    ULONG iFg = pboFore->iSolidColor;
    ULONG iBg = prclOpaque != nullptr ? pboOpaque->iSolidColor : 0;
    if (ulPlaneMask(ppdev, pdsurf->pdfb->pid) == PLANE_MASK_NO_OVERLAY) {
        iFg &= TEXT_OVERLAY_COLOUR_MASK;
        iBg &= TEXT_OVERLAY_COLOUR_MASK;
    }
    const ULONG ulReport = ulFillOpaque(pso, pstro, pco, prclOpaque, iBg);
    const BOOL bOpaque = ulReport != 0;
    const PFN_GLYPHS pfn = pfnRenderer(ppdev, pstro, pfo, pco);

    // Clip rectangles, never reaching outside the surface.
    const RECTL rclSurface = {0, 0, pdsurf->cx, pdsurf->cy};
    const BYTE iComplexity = pco != nullptr ? pco->iDComplexity : DC_TRIVIAL;
    if (iComplexity != DC_COMPLEX) {
        RECTL rcl;
        const RECTL& bounds = iComplexity == DC_RECT ? pco->rclBounds : pstro->rclBkGround;
        if (bRectIntersect(&bounds, &rclSurface, &rcl))
            vRenderBatches(ppdev, pdsurf, pso, pstro, pfn, &rcl, false, iFg, iBg, bOpaque);
        return ulReport;
    }
    bool bFirst = true;
    vEnumClipBatches<TEXT_CLIP_BATCH>(
        pco, CD_ANY, TEXT_CLIP_BATCH, [&](const RECTL* arclEnum, ULONG cEnum, BOOL) {
            RECTL arcl[TEXT_CLIP_BATCH];
            std::copy(arclEnum, arclEnum + cEnum, arcl);
            const ULONG c = cRectListClip(&pstro->rclBkGround, arcl, cEnum);
            for (ULONG i = 0; i < c; ++i) {
                RECTL rcl;
                if (!bRectIntersect(&arcl[i], &rclSurface, &rcl)) continue;
                vRenderBatches(ppdev, pdsurf, pso, pstro, pfn, &rcl, !bFirst, iFg, iBg, bOpaque);
                bFirst = false;
            }
        });
    return ulReport;
}

bool bSolid(const BRUSHOBJ* pbo) { return pbo != nullptr && pbo->iSolidColor != 0xFFFFFFFFu; }

}  // namespace

BOOL DrvTextOut(SURFOBJ* pso, STROBJ* pstro, FONTOBJ* pfo, CLIPOBJ* pco, RECTL* prclExtra,
                RECTL* prclOpaque, BRUSHOBJ* pboFore, BRUSHOBJ* pboOpaque, POINTL* pptlOrg,
                MIX mix) {
    PDEV* ppdev = ppdevOfDeviceSurface(pso);
    const DSURF* pdsurf = pso != nullptr ? reinterpret_cast<const DSURF*>(pso->dhsurf) : nullptr;
    // Brushes that are not solid (and surfaces the board does not hold) go to
    // the engine, which draws them with their patterns.
    const bool bHardware = ppdev != nullptr && ppdev->pqm != nullptr && pdsurf != nullptr &&
                           pdsurf->pdfb != nullptr && pstro != nullptr && bSolid(pboFore) &&
                           (prclOpaque == nullptr || bSolid(pboOpaque));
    if (ppdev == nullptr)
        return EngTextOut(pso, pstro, pfo, pco, prclExtra, prclOpaque, pboFore, pboOpaque, pptlOrg,
                          mix);
    EnterCriticalSection(&ppdev->csEscape);
    BOOL b = TRUE;
    if (bHardware) {
        if (ulDrawText(ppdev, pso, pstro, pfo, pco, prclOpaque, pboFore, pboOpaque) == 0)
            kz2FlushPacket(kz2GetQueueMgt(pso, kz2GetBlockEnable(0, 0, 1, 1)));
    } else {
        // The engine moves the device's pixels through DrvCopyBits, which
        // must not use the stereo image cache meanwhile.
        ppdev->StereoCache.fDisabled = 1;
        b = EngTextOut(pso, pstro, pfo, pco, prclExtra, prclOpaque, pboFore, pboOpaque, pptlOrg,
                       mix);
        ppdev->StereoCache.fDisabled = 0;
    }
    LeaveCriticalSection(&ppdev->csEscape);
    return b;
}
