// The pieces every fill packet shares: the destination's pid and board
// origin, the colour in the board's form, the command word, the clip pair,
// and the routing of rectangles and points to the rasterizers whose tiles
// they touch.
#include "fill/fill_internal.h"
#include "queue/queue.h"
#include "rop/rop.h"

BOOL bFillTarget(SURFOBJ* pso, FILLTARGET* pft) {
    if (pso == nullptr || pso->dhsurf == nullptr) return FALSE;
    const DSURF* pdsurf = reinterpret_cast<const DSURF*>(pso->dhsurf);
    if (pdsurf->pdfb == nullptr || pdsurf->ppdev == nullptr) return FALSE;
    KZ2QUEUEMGT pqm = kz2GetQueueMgt(pso, kz2GetBlockEnable(0, 0, 0, 0));
    if (pqm == nullptr) return FALSE;
    pft->ppdev = pdsurf->ppdev;
    pft->pqm = pqm;
    pft->pid = pdsurf->pdfb->pid & 0xFFFFu;
    pft->xOrg = pdsurf->pdfb->x;
    pft->yOrg = pdsurf->pdfb->y;
    pft->cx = pso->sizlBitmap.cx;
    pft->cy = pso->sizlBitmap.cy;
    return TRUE;
}

ULONG ulFillColour(const PDEV* ppdev, ULONG c) {
    if (ppdev->ulColourModel == COLOUR_MODEL_INDEXED) return c;
    switch (ppdev->iBitmapFormat) {
        case BMF_8BPP: return (c & 0xE0u) << 16 | (c & 0x1Cu) << 11 | (c & 0x3u) << 5;
        case BMF_16BPP: return (c & 0x7C00u) << 8 | (c & 0x3E0u) << 5 | (c & 0x1Fu) << 2;
        default: return c;
    }
}

void vSetCommand(KZ2QUEUEMGT pqm, ULONG ulCommand) {
    for (ULONG i = 0; i < cQueuesOf(pqm); ++i) pqm[i].pPacket[0] = ulCommand;
}

ULONG* pWriteFillClip(ULONG* p, const FILLTARGET* pft, LONG yEye) {
    const LONG x = pft->xOrg, y = pft->yOrg + yEye;
    *p++ = ulClipWord(x, y);
    *p++ = ulClipWord(x + pft->cx, y + pft->cy);
    return p;
}

ULONG* pRouteRect(KZ2QUEUEMGT pqm, ULONG* p, LONG x0, LONG y0, LONG x1, LONG y1) {
    const ULONG v00 = ulPackVertex(x0, y0), v11 = ulPackVertex(x1, y1);
    p[0] = v00;
    p[1] = ulPackVertex(x1, y0);
    p[2] = v11;
    p[3] = ulPackVertex(x0, y1);
    return pRoutePrimitive(pqm, p + 4, v00, v11, bSameTile(x0, y0, x1, y1));
}

ULONG cRop3Program(ULONG* pw, ULONG rop3, ULONG regD, ULONG regS, ULONG regP, const ROPTAIL& tail,
                   bool bMasked) {
    if (!bMasked) return cRop3Instructions(pw, rop3, regD, regS, regP, tail.ulLast);
    ULONG n = cRop3Instructions(pw, rop3, regD, regS, regP, tail.ulStaged);
    if (n != 0) pw[n++] = tail.ulPlane;
    return n;
}

void vWriteFillBatches(const FILLTARGET* pft, SURFOBJ* pso, const ULONG* aulProgram, ULONG cInstr,
                       const ULONG* aulConstants, ULONG cConstants, ULONG flInfo, ULONG ulMask,
                       const RECTL* prcl, ULONG c, LONG yEye, ULONG ulCommand) {
    KZ2QUEUEMGT pqm = pft->pqm;
    for (ULONG iFirst = 0; iFirst < c; iFirst += FILL_BATCH) {
        const ULONG cBatch = std::min<ULONG>(FILL_BATCH, c - iFirst);
        ULONG* p = kz2NewPacketQueue(pqm, pso, cBatch);
        *p++ = pft->pid;
        for (ULONG k = 0; k < cInstr; ++k) *p++ = aulProgram[k];
        p = pWriteFillClip(p, pft, yEye);
        for (ULONG k = 0; k < cConstants; ++k) *p++ = aulConstants[k];
        if (flInfo & ROPINFO_NEEDS_ZERO) *p++ = 0;
        if (flInfo & ROPINFO_NEEDS_ALL_ONES) *p++ = ulMask;
        for (ULONG k = iFirst; k < iFirst + cBatch; ++k) {
            const RECTL& r = prcl[k];
            p = pRouteRect(pqm, p, r.left + pft->xOrg, r.top + pft->yOrg + yEye,
                           r.right + pft->xOrg, r.bottom + pft->yOrg + yEye);
        }
        vSetCommand(pqm, ulCommand);
        kz2UpdatePacketPtr(pqm, pso, p, 0);
    }
}
