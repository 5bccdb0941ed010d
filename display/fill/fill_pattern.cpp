// Colour pattern fills: the brush's 8x8 pattern is loaded into every
// rasterizer's pattern register (register 12) through the pattern surface,
// once per brush and board-coordinate origin, and the rectangles are filled
// with a program that reads the pattern register as P.
//
// The load writes each rasterizer's copy of the pattern as points into the
// first 8x8 pixels of the lowest tile that rasterizer owns (its tile origin
// in the queue manager), already turned so that the copy's pixel (0, 0) is
// the pattern pixel that belongs at board pixel 0 mod 8; then each
// rasterizer copies its square into its pattern register.
#include <algorithm>
#include <cstring>

#include "boardmem/boardmem.h"
#include "fill/fill.h"
#include "platform/engine.h"
#include "queue/queue.h"
#include "rop/rop.h"

namespace {

constexpr LONG kPatternEdge = 8;  // pixels of a pattern's side
constexpr ULONG kMaxCopies = 4;   // rasterizers of one screen

// Pixel (x, y) of a pattern of rows of 8 pixels of 1 << iShift bytes.
ULONG ulPatternPixel(const BYTE* pjBits, ULONG iShift, LONG x, LONG y) {
    const BYTE* pj = pjBits + ((y * kPatternEdge + x) << iShift);
    switch (iShift) {
        case 0: return *pj;
        case 1: {
            USHORT us;
            std::memcpy(&us, pj, sizeof us);
            return us;
        }
        default: {
            ULONG ul;
            std::memcpy(&ul, pj, sizeof ul);
            return ul;
        }
    }
}

// A pattern pixel in the board's colour form: 8 and 16 bits a pixel are
// widened, 32-bit pixels go as stored.
ULONG ulPatternColour(ULONG c, ULONG iShift) {
    switch (iShift) {
        case 0: return (c & 0xE0u) << 16 | (c & 0x1Cu) << 11 | (c & 0x3u) << 5;
        case 1: return (c & 0x7C00u) << 8 | (c & 0x3E0u) << 5 | (c & 0x1Fu) << 2;
        default: return c;
    }
}

// The rasterizers of one screen that hold a copy of the pattern.
ULONG cPatternCopies(KZ2QUEUEMGT pqm) {
    return std::min<ULONG>(pqm->pLayout->cQueuesPerScreen, kMaxCopies);
}

}  // namespace

void vLoadSquares(SURFOBJ* psoPattern, LONG cSide, ULONG (*pfnWord)(const void*, LONG, LONG),
                  const void* pv, ULONG ulLoad) {
    FILLTARGET ft;
    if (!bFillTarget(psoPattern, &ft)) return;
    KZ2QUEUEMGT pqm = ft.pqm;
    const ULONG cQueues = cQueuesOf(pqm);
    const ULONG cCopies = cPatternCopies(pqm);

    // The words as points, one copy per rasterizer.
    ULONG* p = kz2NewPacketQueue(pqm, psoPattern,
                                 static_cast<ULONG>(cSide) * static_cast<ULONG>(cSide) * cQueues);
    vSetCommand(pqm, CMD2D_POINT_LOAD);
    *p++ = ft.pid;
    *p++ = INSTR_POINT_LOAD;
    for (LONG i = 0; i < cSide; ++i) {
        for (LONG j = 0; j < cSide; ++j) {
            const ULONG c = pfnWord(pv, i, j);
            for (ULONG k = 0; k < cCopies; ++k) {
                const ULONG xy =
                    ulPackVertex(ft.xOrg + static_cast<LONG>(pqm->axTileOrigin[k]) + j,
                                 ft.yOrg + static_cast<LONG>(pqm->ayTileOrigin[k]) + i);
                *p++ = c;
                *p++ = xy;
                p = pRoutePoint(pqm, p, xy);
            }
        }
    }
    kz2SoftUpdatePacketPtr(pqm, p);

    // Each rasterizer copies its square into the register.
    p = kz2NewPacketQueue(pqm, psoPattern, cQueues);
    vSetCommand(pqm, CMD2D_PATTERN_BLOCK);
    *p++ = ft.pid;
    *p++ = ulLoad;
    for (ULONG k = 0; k < cCopies; ++k) {
        const LONG x = ft.xOrg + static_cast<LONG>(pqm->axTileOrigin[k]);
        const LONG y = ft.yOrg + static_cast<LONG>(pqm->ayTileOrigin[k]);
        p = pRouteRect(pqm, p, x, y, x + cSide, y + cSide);
    }
    kz2UpdatePacketPtr(pqm, psoPattern, p, 0);
}

void vLoadPattern(SURFOBJ* psoPattern, const BYTE* pjBits, ULONG iShift, BOOL bNative, LONG xOrg,
                  LONG yOrg) {
    struct Source {
        const BYTE* pjBits;
        ULONG iShift;
        BOOL bNative;
        LONG xOrg, yOrg;
    } src = {pjBits, iShift, bNative, xOrg, yOrg};
    vLoadSquares(
        psoPattern, kPatternEdge,
        [](const void* pv, LONG i, LONG j) {
            const Source& s = *static_cast<const Source*>(pv);
            const ULONG c =
                ulPatternPixel(s.pjBits, s.iShift, (j - (s.xOrg & 7)) & 7, (i - (s.yOrg & 7)) & 7);
            return s.bNative ? c : ulPatternColour(c, s.iShift);
        },
        &src, INSTR_PATTERN_LOAD);
}

BOOL bPatternFillAvailable(SURFOBJ* pso) {
    FILLTARGET ft;
    return bFillTarget(pso, &ft) && ft.ppdev->psoPattern != nullptr;
}

void vFillPattern(SURFOBJ* pso, RECTL* prcl, ULONG c, REALBRUSH* prbrush, POINTL* pptlBrushOrg,
                  ULONG flInfo, ULONG rop3) {
    FILLTARGET ft;
    if (!bFillTarget(pso, &ft) || prbrush == nullptr) return;
    PDEV* ppdev = ft.ppdev;
    KZ2QUEUEMGT pqm = ft.pqm;
    // Without the pattern surface the pattern registers cannot be loaded:
    // nothing is queued (callers ask bPatternFillAvailable first and hand
    // such fills to the engine).
    if (ppdev->psoPattern == nullptr) return;

    const LONG xOrg = lBrushOrigin(pptlBrushOrg != nullptr ? pptlBrushOrg->x : 0, ft.xOrg);
    const LONG yOrg = lBrushOrigin(pptlBrushOrg != nullptr ? pptlBrushOrg->y : 0, ft.yOrg);
    if (prbrush->iUniq != ppdev->iPatternUniq || prbrush->iUniq == 0 ||
        xOrg != ppdev->xPatternOrg || yOrg != ppdev->yPatternOrg) {
        vLoadPattern(ppdev->psoPattern, prbrush->ajPattern, ppdev->iPixelClass,
                     ppdev->ulColourModel == COLOUR_MODEL_INDEXED, xOrg, yOrg);
        ppdev->iPatternUniq = prbrush->iUniq;
        ppdev->xPatternOrg = xOrg;
        ppdev->yPatternOrg = yOrg;
    }
    if (flInfo & ROPINFO_READS_D) kz2ConfigDisable(pqm, FILL_DISABLE_UNIT);

    const ULONG ulMask = ulPlaneMask(ppdev, ft.pid);
    ULONG aulProgram[8];
    if (ulMask != PLANE_MASK_ALL) flInfo |= ROPINFO_NEEDS_ALL_ONES;
    const ULONG cInstr = cRop3Program(aulProgram, rop3, REG_PIXMAP, REG_NONE, REG_PATTERN,
                                      kTailFill, ulMask != PLANE_MASK_ALL);
    const ULONG ulCommand =
        cInstr << CMD2D_INSTR_SHIFT | flCommandConstants(flInfo) | CMD2D_PATTERN_FILL;

    if (cInstr == 0 && c != 0) {
        // Nothing to draw (0xAA): the packet ends after its pid word.
        ULONG* p = kz2NewPacketQueue(pqm, pso, std::min<ULONG>(FILL_BATCH, c));
        *p++ = ft.pid;
        kz2UpdatePacketPtr(pqm, pso, p, 0);
    }
    for (ULONG iFirst = 0; iFirst < c && cInstr != 0; iFirst += FILL_BATCH) {
        const ULONG cBatch = std::min<ULONG>(FILL_BATCH, c - iFirst);
        ULONG* p = kz2NewPacketQueue(pqm, pso, cBatch);
        *p++ = ft.pid;
        for (ULONG k = 0; k < cInstr; ++k) *p++ = aulProgram[k];
        p = pWriteFillClip(p, &ft, 0);
        if (flInfo & ROPINFO_NEEDS_ZERO) *p++ = 0;
        if (flInfo & ROPINFO_NEEDS_ALL_ONES) *p++ = ulMask;
        for (ULONG k = iFirst; k < iFirst + cBatch; ++k) {
            const RECTL& r = prcl[k];
            p = pRouteRect(pqm, p, r.left + ft.xOrg, r.top + ft.yOrg, r.right + ft.xOrg,
                           r.bottom + ft.yOrg);
        }
        vSetCommand(pqm, ulCommand);
        kz2UpdatePacketPtr(pqm, pso, p, 0);
    }
    if (pqm->fDisabled != 0) kz2ConfigEnable(pqm);
}

BOOL bCreatePatternSurface(PDEV* ppdev) {
    KZ2QUEUEMGT pqm = ppdev->pqm;
    if (pqm == nullptr || ppdev->psoPattern != nullptr) return ppdev->psoPattern != nullptr;
    LONG cx = kPatternEdge, cy = kPatternEdge;
    for (ULONG k = 0; k < cPatternCopies(pqm); ++k) {
        cx = std::max<LONG>(cx, static_cast<LONG>(pqm->axTileOrigin[k]) + kPatternEdge);
        cy = std::max<LONG>(cy, static_cast<LONG>(pqm->ayTileOrigin[k]) + kPatternEdge);
    }
    POINTL ptl = {0, 0};
    HSURF hsurf = CreateDeviceBitmap(ppdev, cx, cy, ppdev->iBitmapFormat, &ptl,
                                     DFB_FL_PLACED | DFB_FL_CLASS80);
    if (hsurf == nullptr) return FALSE;
    SURFOBJ* pso = EngLockSurface(hsurf);
    if (pso == nullptr) {
        // Without its surface object the surface's record is found through
        // the allocation that names the surface.
        struct Find {
            HSURF hsurf;
            DFB* pdfb;
        } find = {hsurf, nullptr};
        for (PAGEBLOCK& pb : ppdev->aPageBlock) {
            if (!pb.fInUse) continue;
            vForEachAllocation(
                &pb,
                [](DFB* pdfb, void* pv) {
                    Find* pf = static_cast<Find*>(pv);
                    if (pdfb->hsurf == pf->hsurf) pf->pdfb = pdfb;
                },
                &find);
        }
        if (find.pdfb != nullptr && find.pdfb->pdsurf != nullptr)
            vDeleteDeviceBitmap(find.pdfb->pdsurf);
        else EngDeleteSurface(hsurf);
        return FALSE;
    }
    ppdev->psoPattern = pso;
    ppdev->iPatternUniq = 0;
    return TRUE;
}

void vDeletePatternSurface(PDEV* ppdev) {
    SURFOBJ* pso = ppdev->psoPattern;
    if (pso == nullptr) return;
    DSURF* pdsurf = reinterpret_cast<DSURF*>(pso->dhsurf);
    ppdev->psoPattern = nullptr;
    ppdev->iPatternUniq = 0;
    EngUnlockSurface(pso);
    vDeleteDeviceBitmap(pdsurf);
}
