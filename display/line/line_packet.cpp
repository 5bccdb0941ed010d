// The line packet: its header, opening and closing, and the routing of each
// line primitive to the rasterizers whose tiles it touches.
#include <cstdint>

#include "fill/fill.h"
#include "line/line.h"
#include "queue/queue.h"
#include "rop/rop.h"

namespace {

// Command word of a line packet (| instruction count << 20 | constants).
#define CMD2D_LINES 0x0200103Cu
}  // namespace

void vLineHeader(PDEV* ppdev, LINESTATE* pls) {
    const DSURF* pdsurf = reinterpret_cast<const DSURF*>(pls->pso->dhsurf);
    const ULONG pid = pdsurf->pdfb->pid & 0xFFFFu;
    const ULONG ulPlane = ulPlaneMask(ppdev, pid);
    ULONG flInfo = ulRop2Info(pls->ulMix & 15);
    ULONG* p = pls->aulHeader;
    *p++ = pid;
    // Under the reduced plane mask the overlay bit is kept: the program goes
    // through register 9 and is ANDed with the plane mask in register 30.
    if (ulPlane != PLANE_MASK_ALL) flInfo |= ROPINFO_NEEDS_ALL_ONES;
    const ULONG cInstr = cRop3Program(p, ulRop2ToRop3(pls->ulMix & 15), REG_PIXMAP, REG_NONE,
                                      REG_COLOUR, kTailFill, ulPlane != PLANE_MASK_ALL);
    p += cInstr;
    *p++ = pls->ulClipA;
    *p++ = pls->ulClipB;
    *p++ = pls->ulColour;
    if (flInfo & ROPINFO_NEEDS_ZERO) *p++ = 0;
    if (flInfo & ROPINFO_NEEDS_ALL_ONES) *p++ = ulPlane;
    pls->cHeader = static_cast<ULONG>(p - pls->aulHeader);
    pls->ulCommand = cInstr << CMD2D_INSTR_SHIFT | flCommandConstants(flInfo) | CMD2D_LINES;
}

void vLineOpen(LINESTATE* pls, LONG x, LONG y) {
    if (pls->pqm == nullptr)
        pls->pqm = kz2GetQueueMgt(pls->pso->dhsurf, kz2GetBlockEnable(x, y, 1, 1));
    if (pls->pWrite != nullptr || pls->pqm == nullptr) return;
    ULONG* p = kz2NewPacketQueue(pls->pqm, pls->pso, LINE_BATCH);
    for (ULONG i = 0; i < pls->cHeader; ++i) *p++ = pls->aulHeader[i];
    pls->pWrite = p;
    pls->cPrims = 0;
}

void vLineClose(LINESTATE* pls) {
    if (pls->pWrite != nullptr) {
        KZ2QUEUEMGT pqm = pls->pqm;
        if (pls->cPrims == 0) {
            // Nothing was drawn: the header goes again, and the closing call
            // lets the flush thread in.
            pqm->pqCurrent->pWrite = pqm->pqCurrent->pPacket + 2;
            kz2UpdatePacketPtr(pqm, pls->pso, pqm->pqCurrent->pWrite, 0);
        } else {
            vSetCommand(pqm, pls->ulCommand);
            kz2UpdatePacketPtr(pqm, pls->pso, pls->pWrite, 0);
        }
    }
    pls->pWrite = nullptr;
    pls->cPrims = 0;
}

void vLinePrimitive(LINESTATE* pls, ULONG ulA, ULONG ulB) {
    if (pls->pWrite != nullptr && pls->cPrims >= LINE_BATCH) vLineClose(pls);
    if (pls->pWrite == nullptr) vLineOpen(pls, xOf(ulA) >> 4, yOf(ulA) >> 4);
    if (pls->pWrite == nullptr) return;
    KZ2QUEUEMGT pqm = pls->pqm;
    if (ulA == ulB && pqm->pqCurrent->cPrims != 0) return;  // nothing to add
    ULONG* p = pls->pWrite;
    p[0] = ulA;
    p[1] = ulB;
    ULONG* pEnd = p + 2;
    ++pls->cPrims;

    // The segment widened by a pixel at each end, away from the other end.
    LONG xa = xOf(ulA), ya = yOf(ulA), xb = xOf(ulB), yb = yOf(ulB);
    auto widen = [](LONG* a, LONG* b) {
        const LONG d = *a <= *b ? 16 : -16;
        *a -= d;
        *b += d;
    };
    widen(&xa, &xb);
    widen(&ya, &yb);
    const QUEUELAYOUT* pLayout = pqm->pLayout;
    const bool bOneTile = bSameTile28_4(xa, ya, xb, yb);
    if (pLayout->cQueues == 1) {
        pls->pWrite = pInline(pqm, pEnd, pqm->pqCurrent);
    } else if (pLayout->bSplitScreen) {
        pls->pWrite = kz2CopyPrimMulScreen(pqm, pEnd, ulB, bOneTile);
    } else if (bOneTile && pqm->pqCurrent->cPrims != 0) {
        pls->pWrite = pInline(pqm, pEnd, pqm + pqm->abTileQueue[KZ2_TILE_OF(ulClipWord(xb, yb))]);
    } else {
        pls->pWrite = kz2CopyPrimOpt(pqm, pEnd, ulB, ulClipWord(xb, yb), ulClipWord(xa, ya));
    }
}

BOOL bLines(PDEV*, const POINTFIX* pptfxFirst, const POINTFIX* pptfxNext, const RUN* prun,
            ULONG n, STYLESTATE* pss, LINESTATE* pls, const RECTL* prclClip, FLONG fl) {
    const std::int64_t xo = std::int64_t{pls->xOrg} * 16, yo = std::int64_t{pls->yOrg} * 16;
    std::int64_t x0 = pptfxFirst->x + xo, y0 = pptfxFirst->y + yo;
    vLineOpen(pls, static_cast<LONG>(x0 >> 4), static_cast<LONG>(y0 >> 4));
    if (fl & LINE_RUNS) {
        vGeneralLine(x0, y0, pptfxNext[0].x + xo, pptfxNext[0].y + yo, prun, n, pss, pls, prclClip, fl);
        return TRUE;
    }
    auto fits = [](std::int64_t v) { return v >= -32768 && v <= 32767; };
    for (ULONG i = 0; i < n; ++i) {
        const std::int64_t x1 = pptfxNext[i].x + xo, y1 = pptfxNext[i].y + yo;
        if (!(fl & LINE_STYLED) && fits(x0) && fits(y0) && fits(x1) && fits(y1)) {
            vLinePrimitive(pls, ulClipWord(static_cast<LONG>(x0), static_cast<LONG>(y0)),
                           ulClipWord(static_cast<LONG>(x1), static_cast<LONG>(y1)));
        } else {
            vGeneralLine(x0, y0, x1, y1, nullptr, 0, pss, pls, prclClip, fl);
        }
        x0 = x1;
        y0 = y1;
    }
    return TRUE;
}
