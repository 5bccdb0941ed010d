// DrvStrokePath: cosmetic paths, solid or styled, under any clip, through
// the line engine; what the hardware does not draw (pattern brushes) goes
// to the engine's EngStrokePath with the arguments unchanged.
#include <algorithm>
#include <climits>
#include <cstdint>

#include "blt/blt.h"
#include "cliprects.h"
#include "device/entry.h"
#include "fill/fill.h"
#include "line/line.h"
#include "platform/engine.h"
#include "queue/queue.h"
#include "rop/rop.h"

namespace {

#define MIX_NOP 11u
#define STROKE_DISABLE_UNIT 0x10000000u
#define STROKE_CLIP_BATCH 49
#define STROKE_CLIP_LIMIT 50
#define CLIPLINE_BYTES 184  // end points, style state and 20 runs
#define USER_STYLE_UNIT 3
#define SOLID_NONE 0xFFFFFFFFu

// The style of a stroke; FALSE when the driver does not take it.
BOOL bStyleSetup(const LINEATTRS* pla, STYLESTATE* pss, FLONG* pfl) {
    *pss = STYLESTATE{};
    if (pla == nullptr) return TRUE;
    if (pla->fl & LA_ALTERNATE) {
        pss->lUnit = 1;
        pss->cStyle = 1;
        pss->alForward[0] = pss->alForward[1] = 1;
        pss->alReversed[0] = pss->alReversed[1] = 1;
        pss->lLength = 2;
        pss->lPosition = static_cast<LONG>(static_cast<ULONG>(pla->elStyleState.l) >> 16) % 2;
        *pfl |= LINE_STYLED;
        return TRUE;
    }
    if (pla->pstyle == nullptr) return TRUE;
    if (pla->cstyle == 0 || pla->cstyle > STYLE_MAX) return FALSE;
    pss->lUnit = USER_STYLE_UNIT;
    pss->cStyle = pla->cstyle;
    pss->bStartGap = (pla->fl & LA_STARTGAP) != 0;
    LONG lSum = 0;
    for (ULONG i = 0; i < pla->cstyle; ++i) {
        const LONG e = pla->pstyle[i].l;
        if (e <= 0 || e > 0xFFFF) return FALSE;
        pss->alForward[i] = pss->alForward[i + pla->cstyle] = e * USER_STYLE_UNIT;
        lSum += e;
    }
    const ULONG n2 = 2 * pla->cstyle;
    for (ULONG i = 0; i < n2; ++i) pss->alReversed[i] = pss->alForward[n2 - 1 - i];
    pss->lLength = 2 * USER_STYLE_UNIT * lSum;
    const ULONG ul = static_cast<ULONG>(pla->elStyleState.l);
    pss->lPosition = static_cast<LONG>((USER_STYLE_UNIT * (ul >> 16) + (ul & 0xFFFF)) % pss->lLength);
    *pfl |= LINE_STYLED;
    return TRUE;
}


// One pass over a path under a simple clip (DC_TRIVIAL or DC_RECT).
void vWalkPath(PDEV* ppdev, PATHOBJ* ppo, CLIPOBJ* pco, STYLESTATE* pss, LINESTATE* pls, FLONG fl) {
    const DSURF* pdsurf = reinterpret_cast<const DSURF*>(pls->pso->dhsurf);
    const LONG x = pdsurf->pdfb->x, y = pdsurf->pdfb->y;
    // The target's board rectangle (on a split board the whole desktop);
    // a clip rectangle only ever narrows it.
    const bool bSplit = ppdev->pqm != nullptr && ppdev->pqm->pLayout->bSplitScreen;
    RECTL rclClip = {x, y, x + (bSplit ? ppdev->cxSurface : pdsurf->cx), y + (bSplit ? ppdev->cySurface : pdsurf->cy)};
    if (pco != nullptr && pco->iDComplexity == DC_RECT) {
        fl |= LINE_CLIPRECT;
        const RECTL r = {lAddClamped(x, pco->rclBounds.left), lAddClamped(y, pco->rclBounds.top),
                         lAddClamped(x, pco->rclBounds.right), lAddClamped(y, pco->rclBounds.bottom)};
        if (!bRectIntersect(&rclClip, &r, &rclClip)) rclClip.right = rclClip.left;
    }
    // Corners never left of or above the board's origin.
    rclClip.left = std::max<LONG>(rclClip.left, 0);
    rclClip.top = std::max<LONG>(rclClip.top, 0);
    pls->ulClipA = ulClipWord(rclClip.left, rclClip.top);
    pls->ulClipB = ulClipWord(std::max(rclClip.left, rclClip.right), std::max(rclClip.top, rclClip.bottom));
    pls->xOrg = x;
    pls->yOrg = y;
    vLineHeader(ppdev, pls);

    PATHOBJ_vEnumStart(ppo);
    PATHDATA pd;
    POINTFIX ptfxStart{0, 0}, ptfxLast{0, 0};
    BOOL bMore;
    do {
        bMore = PATHOBJ_bEnum(ppo, &pd);
        if (pd.count == 0) break;
        if (pd.flags & PD_RESETSTYLE) pss->lPosition = 0;
        if (pd.flags & PD_BEGINSUBPATH) {
            ptfxStart = pd.pptfx[0];
            if (pd.count > 1) bLines(ppdev, &pd.pptfx[0], &pd.pptfx[1], nullptr, pd.count - 1, pss, pls, &rclClip, fl);
        } else {
            bLines(ppdev, &ptfxLast, pd.pptfx, nullptr, pd.count, pss, pls, &rclClip, fl);
        }
        ptfxLast = pd.pptfx[pd.count - 1];
        if (pd.flags & PD_CLOSEFIGURE) bLines(ppdev, &ptfxLast, &ptfxStart, nullptr, 1, pss, pls, &rclClip, fl);
    } while (bMore);
    vLineClose(pls);
}

// A complex clip with a solid line: one walk per clip rectangle that the
// path's bounds overlap, each under a rectangular clip of its own.
void vStrokeComplexSolid(PDEV* ppdev, PATHOBJ* ppo, CLIPOBJ* pco, STYLESTATE* pss, LINESTATE* pls) {
    RECTFX fx;
    PATHOBJ_vGetBounds(ppo, &fx);
    if (fx.xLeft == 0 && fx.yTop == 0 && fx.xRight == 0 && fx.yBottom == 0) return;
    const LONG left = fx.xLeft >> 4, top = fx.yTop >> 4;
    const LONG right = ((fx.xRight + 15) >> 4) + 1, bottom = ((fx.yBottom + 15) >> 4) + 1;
    vEnumClipBatches<STROKE_CLIP_BATCH>(pco, CD_ANY, STROKE_CLIP_LIMIT, [&](const RECTL* prcl, ULONG c, BOOL) {
        for (ULONG i = c; i-- > 0;) {
            const RECTL& r = prcl[i];
            if (bottom < r.top || right <= r.left || left > r.right || top >= r.bottom) continue;
            CLIPOBJ co{};
            co.rclBounds = r;
            co.iDComplexity = DC_RECT;
            co.iFComplexity = FC_RECT;
            vWalkPath(ppdev, ppo, &co, pss, pls, 0);
        }
    });
}

// The style position after every line of a path from lStart (the clipped
// lines carry only their own starts).
LONG lStyleAfter(PATHOBJ* ppo, LONG lStart, LONG lLength) {
    std::int64_t pos = lStart;
    PATHOBJ_vEnumStart(ppo);
    PATHDATA pd;
    POINTFIX ptfxStart{0, 0}, ptfxLast{0, 0};
    auto add = [&](const POINTFIX& a, const POINTFIX& b) { pos = (pos + cLinePixels(a.x, a.y, b.x, b.y)) % lLength; };
    BOOL bMore;
    do {
        bMore = PATHOBJ_bEnum(ppo, &pd);
        if (pd.count == 0) break;
        if (pd.flags & PD_RESETSTYLE) pos = 0;
        ULONG i = 0;
        if (pd.flags & PD_BEGINSUBPATH) {
            ptfxStart = ptfxLast = pd.pptfx[0];
            i = 1;
        }
        for (; i < pd.count; ++i) {
            add(ptfxLast, pd.pptfx[i]);
            ptfxLast = pd.pptfx[i];
        }
        if (pd.flags & PD_CLOSEFIGURE) add(ptfxLast, ptfxStart);
    } while (bMore);
    return static_cast<LONG>(pos);
}

// A complex clip with a styled line: the engine's clipped lines with their
// runs, each drawn from its own style state.
void vStrokeComplexStyled(PDEV* ppdev, SURFOBJ* pso, PATHOBJ* ppo, CLIPOBJ* pco, LINEATTRS* pla,
                          STYLESTATE* pss, LINESTATE* pls, FLONG fl) {
    const LONG lStart = pss->lPosition;
    const DSURF* pdsurf = reinterpret_cast<const DSURF*>(pso->dhsurf);
    const LONG x = pdsurf->pdfb->x, y = pdsurf->pdfb->y;
    pls->ulClipA = ulClipWord(x, y);
    pls->ulClipB = ulClipWord(x + pdsurf->cx, y + pdsurf->cy);
    pls->xOrg = x;
    pls->yOrg = y;
    vLineHeader(ppdev, pls);
    union {
        CLIPLINE cl;
        BYTE aj[CLIPLINE_BYTES];
    } u;
    PATHOBJ_vEnumStartClipLines(ppo, pco, pso, pla);
    BOOL bMore;
    do {
        bMore = PATHOBJ_bEnumClipLines(ppo, sizeof u, &u.cl);
        if (u.cl.c == 0) continue;
        const ULONG ul = static_cast<ULONG>(u.cl.lStyleState);
        pss->lPosition = static_cast<LONG>((USER_STYLE_UNIT * (ul >> 16) + (ul & 0xFFFF)) % pss->lLength);
        const RUN* prun = u.cl.arun;
        bLines(ppdev, &u.cl.ptfxA, &u.cl.ptfxB, prun, u.cl.c, pss, pls, nullptr, fl | LINE_RUNS);
    } while (bMore);
    vLineClose(pls);
    pss->lPosition = lStyleAfter(ppo, lStart, pss->lLength);
}

// One eye's strokes.
void vStrokeEye(PDEV* ppdev, SURFOBJ* pso, PATHOBJ* ppo, CLIPOBJ* pco, LINEATTRS* pla,
                STYLESTATE* pss, LINESTATE* pls, FLONG fl) {
    if (pco != nullptr && pco->iDComplexity == DC_COMPLEX) {
        if (fl & LINE_STYLED) vStrokeComplexStyled(ppdev, pso, ppo, pco, pla, pss, pls, fl);
        else vStrokeComplexSolid(ppdev, ppo, pco, pss, pls);
    } else {
        vWalkPath(ppdev, ppo, pco, pss, pls, fl);
    }
}

}  // namespace

BOOL DrvStrokePath(SURFOBJ* pso, PATHOBJ* ppo, CLIPOBJ* pco, XFORMOBJ* pxo, BRUSHOBJ* pbo,
                   POINTL* pptlBrushOrg, LINEATTRS* plineattrs, MIX mix) {
    if ((mix & 15) == MIX_NOP) return TRUE;
    PDEV* ppdev = ppdevOfDeviceSurface(pso);
    if (ppdev == nullptr) return EngStrokePath(pso, ppo, pco, pxo, pbo, pptlBrushOrg, plineattrs, mix);
    EnterCriticalSection(&ppdev->csEscape);
    STYLESTATE ss;
    FLONG fl = 0;
    LINESTATE ls{};
    ls.pso = pso;
    ls.ulMix = mix;
    ls.pqm = kz2GetQueueMgt(pso, kz2GetBlockEnable(0, 0, 1, 1));
    // The hardware draws solid colours onto board memory; patterns, wide
    // lines and long style arrays go to the engine, as does everything
    // while the device has no queues.
    const bool bHardware = ls.pqm != nullptr && pbo != nullptr && pbo->iSolidColor != SOLID_NONE &&
                           ppo != nullptr && (plineattrs == nullptr || !(plineattrs->fl & LA_GEOMETRIC)) &&
                           bStyleSetup(plineattrs, &ss, &fl);
    if (!bHardware) {
        // The engine's stroke moves device pixels through DrvCopyBits, which
        // must not use the stereo image cache meanwhile.
        ppdev->StereoCache.fDisabled = 1;
        const BOOL b = EngStrokePath(pso, ppo, pco, pxo, pbo, pptlBrushOrg, plineattrs, mix);
        ppdev->StereoCache.fDisabled = 0;
        LeaveCriticalSection(&ppdev->csEscape);
        return b;
    }

    ls.ulColour = ulFillColour(ppdev, pbo->iSolidColor);
    if (ulRop2Info(mix & 15) & ROPINFO_READS_D) kz2ConfigDisable(ls.pqm, STROKE_DISABLE_UNIT);
    const LONG lStart = ss.lPosition;
    vStrokeEye(ppdev, pso, ppo, pco, plineattrs, &ss, &ls, fl);
    if (ppdev->pPageConfig != nullptr && ppdev->pPageConfig->fStereo != 0) {
        // The second eye: the lower half, the same style phase. Complex
        // clips get their second eye too.
        DFB* pdfb = reinterpret_cast<DSURF*>(pso->dhsurf)->pdfb;
        const LONG lEnd = ss.lPosition, cyScreen = ppdev->cyScreen;
        ss.lPosition = lStart;
        pdfb->y += cyScreen;
        ppdev->cyScreen = 2 * cyScreen;
        vStrokeEye(ppdev, pso, ppo, pco, plineattrs, &ss, &ls, fl);
        ppdev->cyScreen = cyScreen;
        pdfb->y -= cyScreen;
        ss.lPosition = lEnd;
    }
    if ((fl & LINE_STYLED) && plineattrs != nullptr) {
        const LONG p = ss.lPosition % ss.lLength;
        plineattrs->elStyleState.l = static_cast<LONG>((p / ss.lUnit) << 16 | (p % ss.lUnit));
    }
    if (ppdev->ptr.fEnabled == 0) kz2FlushPacket(ls.pqm);
    if (ls.pqm->fDisabled != 0) kz2ConfigEnable(ls.pqm);
    LeaveCriticalSection(&ppdev->csEscape);
    return TRUE;
}

BOOL DrvFillPath(SURFOBJ*, PATHOBJ*, CLIPOBJ*, BRUSHOBJ*, POINTL*, MIX, FLONG) {
    // GDI breaks the fill down into calls the driver accelerates.
    return FALSE;
}

BOOL DrvStrokeAndFillPath(SURFOBJ*, PATHOBJ*, CLIPOBJ*, XFORMOBJ*, BRUSHOBJ*, LINEATTRS*,
                          BRUSHOBJ*, POINTL*, MIX, FLONG) {
    return FALSE;
}
