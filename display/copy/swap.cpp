// The buffer swap: the front buffer is made to show the back buffer inside
// a clipped rectangle. Pages of board memory that the rectangle covers
// wholly (or at least half, where allowed) are exchanged between the two
// buffers by swapping their page-slot registers, so nothing is copied for
// them; only the rest is copied on the board at the same position.
//
// The remembered rectangle: a swap whose rectangle equals the last one's
// skips copying the uncovered remainder of half-covered pages into the back
// buffer, since the remainder is still equal in both buffers. It is
// forgotten exactly when the front buffer may have changed behind it: by
// any 2D drawing (kz2NewPacketQueue) and by 3D drawing into the front
// buffer, which the GL server reports with kz2FrontBufferDrawn. 3D drawing
// into the back buffer keeps it: that is what the next swap presents.
// Only a swap that may itself be remembered (no plane mask, no page mask,
// no complex clip) uses it, and any other swap forgets it, since its
// exchanges leave the remainders of the pages unequal.
#include <algorithm>
#include <vector>

#include "cliprects.h"
#include "copy/copy_internal.h"
#include "platform/engine.h"
#include "platform/mmio.h"
#include "vornix_swap.h"

namespace {

constexpr ULONG kMaskMain16 = 0x7FFFFFu;
constexpr ULONG kMaskOverlay16 = 0x800000u;
constexpr ULONG kMaskAll = 0xFFFFFFu;
constexpr ULONG kSwapBatch = 50;

ULONG cArea(const RECTL& r) {
    return static_cast<ULONG>(r.right - r.left) * static_cast<ULONG>(r.bottom - r.top);
}

void vSetPidFormat(SURFOBJ* pso, ULONG ulFormat) {
    DFB* pdfb = reinterpret_cast<DSURF*>(pso->dhsurf)->pdfb;
    pdfb->pid = (pdfb->pid & ~PID_FORMAT_MASK) | ulFormat;
}

// The area of rcl not covered by the rectangles: each rectangle is
// subtracted from every piece, leaving at most four pieces of it.
std::vector<RECTL> vUncovered(const RECTL& rcl, const std::vector<RECTL>& covered) {
    std::vector<RECTL> pieces{rcl};
    for (const RECTL& c : covered) {
        std::vector<RECTL> next;
        for (const RECTL& p : pieces) {
            RECTL i;
            if (!bRectIntersect(&p, &c, &i)) {
                next.push_back(p);
                continue;
            }
            if (p.top < i.top) next.push_back(RECTL{p.left, p.top, p.right, i.top});
            if (i.bottom < p.bottom) next.push_back(RECTL{p.left, i.bottom, p.right, p.bottom});
            if (p.left < i.left) next.push_back(RECTL{p.left, i.top, i.left, i.bottom});
            if (i.right < p.right) next.push_back(RECTL{i.right, i.top, p.right, i.bottom});
        }
        pieces.swap(next);
    }
    return pieces;
}

// The slot of screen table t that holds page (x, y) of ppb, or -1.
LONG iSlotOf(const PDEV* ppdev, ULONG t, const PAGEBLOCK* ppb, LONG x, LONG y) {
    for (ULONG s = 0; s < PAGE_SLOTS; ++s) {
        const PAGESLOT& slot = ppdev->aaSlot[t][s];
        if (slot.ppb == ppb && slot.x == x && slot.y == y) return static_cast<LONG>(s);
    }
    return -1;
}

// Writes slot s's register in the register window of every rasterizer of
// screen t.
void vWriteScreenSlot(PDEV* ppdev, ULONG t, ULONG s) {
    const QUEUELAYOUT& l = ppdev->layout;
    for (ULONG r = 0; r < MAX_RASTERIZERS && ppdev->apRegs[r] != nullptr; ++r) {
        const ULONG tr = l.bSplitScreen && l.cQueuesPerScreen != 0
                             ? std::min<ULONG>(r / l.cQueuesPerScreen, PAGE_TABLES - 1)
                             : 0;
        if (tr == t)
            VnxRegWrite(ppdev->apRegs[r], VNX_REG_PAGE_SLOT0 + 4 * s,
                        ulSlotRegister(&ppdev->aaSlot[t][s]));
    }
}

struct SwapPass {
    PDEV* ppdev;
    KZ2QUEUEMGT pqm;
    SURFOBJ* psoBack;
    SURFOBJ* psoFront;
    const RECTL* prcl;
    ULONG ulPageMask;
    bool bRemembered;  // the rectangle equals the remembered one and nothing drew since
};

// One page of the walk: its board rectangle, its screen (slot table) and
// its index in the walk.
struct Page {
    RECTL rcl;  // front-buffer board coordinates
    ULONG t;
    ULONG k;
};

// The page exchange for one batch of rectangles (screen coordinates).
void vExchangeBatch(const SwapPass& sp, std::vector<RECTL> arcl, bool bLast) {
    PDEV* ppdev = sp.ppdev;
    COPYSIDE f, b;
    if (!bCopySide(sp.psoFront, &f) || !bCopySide(sp.psoBack, &b)) return;
    const DFB* pdfbF = reinterpret_cast<DSURF*>(sp.psoFront->dhsurf)->pdfb;
    const DFB* pdfbB = reinterpret_cast<DSURF*>(sp.psoBack->dhsurf)->pdfb;
    LONG pcx = 0, pcy = 0;
    vPageSize(ppdev, ppdev->iBitmapFormat, &pcx, &pcy);
    if (pcx <= 0 || pcy <= 0) return;

    // Board coordinates of the front buffer; in stereo the rectangles are
    // repeated one screen height lower.
    const bool bStereo = ppdev->pPageConfig != nullptr && ppdev->pPageConfig->fStereo;
    const LONG cyWalk = bStereo ? 2 * ppdev->cyScreen : ppdev->cyScreen;
    const ULONG c = static_cast<ULONG>(arcl.size());
    for (ULONG i = 0; i < c && bStereo; ++i)
        arcl.push_back(RECTL{arcl[i].left, arcl[i].top + ppdev->cyScreen, arcl[i].right,
                             arcl[i].bottom + ppdev->cyScreen});
    for (RECTL& r : arcl) {
        r.left += f.xOrg;
        r.right += f.xOrg;
        r.top += f.yOrg;
        r.bottom += f.yOrg;
    }

    // The walk: screen by screen, rows of page height, columns of page width.
    std::vector<Page> pages;
    const ULONG cScreens = std::max<ULONG>(ppdev->layout.cScreens, 1);
    ULONG k = 0;
    for (ULONG t = 0; t < cScreens; ++t) {
        const LONG x0 = f.xOrg + static_cast<LONG>(t) * ppdev->cxScreen;
        for (LONG py = f.yOrg / pcy * pcy; py < f.yOrg + cyWalk; py += pcy)
            for (LONG px = x0 / pcx * pcx; px < x0 + ppdev->cxScreen; px += pcx)
                pages.push_back(Page{RECTL{px, py, px + pcx, py + pcy}, t, k++});
    }
    auto covered = [&](const Page& pg) {
        ULONG n = 0;
        for (const RECTL& r : arcl) {
            RECTL i;
            if (bRectIntersect(&r, &pg.rcl, &i)) n += cArea(i);
        }
        return n;
    };
    auto allowed = [&](const Page& pg) {
        return bLast && (pg.k >= 32 || ((sp.ulPageMask >> (31 - pg.k)) & 1u) == 0);
    };
    const ULONG cPage = static_cast<ULONG>(pcx) * static_cast<ULONG>(pcy);

    // a. The uncovered area of each half-covered page that will be
    // exchanged goes into the back buffer first.
    std::vector<bool> abSwap(pages.size(), false);
    for (std::size_t i = 0; i < pages.size(); ++i) {
        const ULONG n = covered(pages[i]);
        const bool bFull = n == cPage;
        const bool bHalf = n != 0 && 2 * n >= cPage && allowed(pages[i]);
        abSwap[i] = bFull || bHalf;
        if (bFull || !bHalf || sp.bRemembered) continue;
        for (const RECTL& r : vUncovered(pages[i].rcl, arcl)) {
            RECTL rclIn;
            const RECTL rclSurface = {f.xOrg, f.yOrg, f.xOrg + ppdev->cxSurface, f.yOrg + cyWalk};
            if (!bRectIntersect(&r, &rclSurface, &rclIn)) continue;
            ulCopyRectSamePos(sp.psoBack, sp.psoFront, rclIn.left, rclIn.top,
                              rclIn.right - rclIn.left, rclIn.bottom - rclIn.top, 0xCC, FALSE,
                              FALSE, 0);
        }
    }

    // b. The vertical-blank wait (it drains the queues in any case).
    kz2VBLANKWait(sp.pqm);

    // c. The exchange of the slots.
    for (std::size_t i = 0; i < pages.size(); ++i) {
        if (!abSwap[i]) continue;
        const Page& pg = pages[i];
        const LONG xMem = pg.rcl.left - static_cast<LONG>(pg.t) * ppdev->cxScreen;
        const LONG sF = iSlotOf(ppdev, pg.t, pdfbF->ppb, xMem, pg.rcl.top);
        const LONG sB = iSlotOf(ppdev, pg.t, pdfbB->ppb, xMem, pg.rcl.top);
        if (sF < 0 || sB < 0) {
            abSwap[i] = false;
            continue;
        }
        std::swap(ppdev->aaSlot[pg.t][sF], ppdev->aaSlot[pg.t][sB]);
        vWriteScreenSlot(ppdev, pg.t, static_cast<ULONG>(sF));
        vWriteScreenSlot(ppdev, pg.t, static_cast<ULONG>(sB));
    }

    // d. What lies on pages not exchanged is copied.
    for (const RECTL& r : arcl) {
        for (std::size_t i = 0; i < pages.size(); ++i) {
            RECTL rclIn;
            if (abSwap[i] || !bRectIntersect(&r, &pages[i].rcl, &rclIn)) continue;
            ulCopyRectSamePos(sp.psoFront, sp.psoBack, rclIn.left, rclIn.top,
                              rclIn.right - rclIn.left, rclIn.bottom - rclIn.top, 0xCC, FALSE,
                              FALSE, 0);
        }
    }
}

}  // namespace

extern "C" void kz2SwapBackToFrontC(SURFOBJ* psoBack, SURFOBJ* psoFront, CLIPOBJ* pco, RECTL* prcl,
                                    ULONG ulPageMask, BOOL bDirect, ULONG fPlanes) {
    COPYSIDE f, b;
    if (prcl == nullptr || !bCopySide(psoFront, &f) || !bCopySide(psoBack, &b)) return;
    PDEV* ppdev = f.ppdev;
    const BOOL bRemember =
        (bDirect || ulPageMask != 0)
            ? FALSE
            : pco == nullptr || pco->iDComplexity == DC_TRIVIAL || pco->iDComplexity == DC_RECT;
    KZ2QUEUEMGT qm = kz2GetQueueMgt(psoBack->dhsurf, kz2GetBlockEnable(0, 0, 1, 1));
    if (qm == nullptr) return;
    // Whether the rectangle equals the remembered one and nothing changed
    // the front buffer since.
    const bool bRemembered = bRemember && ppdev->rclSwap.left == prcl->left &&
                             ppdev->rclSwap.top == prcl->top &&
                             ppdev->rclSwap.right == prcl->right &&
                             ppdev->rclSwap.bottom == prcl->bottom && prcl->left < prcl->right;
    const bool bMasked = bDirect || ppdev->bc.maskedSwap != 0;

    bool bExchange = false;
    if (bMasked) {
        const bool b32 = ppdev->iBitmapFormat == BMF_32BPP;
        if (!b32 && fPlanes == 1) {
            vCopyRectMaskedClipped(psoFront, psoBack, pco, prcl, kMaskMain16);
        } else if (!b32 && fPlanes == 2) {
            vCopyRectMaskedClipped(psoFront, psoBack, pco, prcl, kMaskOverlay16);
        } else if (b32 && fPlanes == 1) {
            vCopyRectMaskedClipped(psoFront, psoBack, pco, prcl, kMaskAll);
        } else if (b32 && (fPlanes == 2 || ulPageMask != 0)) {
            vSetPidFormat(psoFront, PID_FORMAT_OVERLAY);
            vSetPidFormat(psoBack, PID_FORMAT_OVERLAY);
            vCopyRectMaskedClipped(psoFront, psoBack, pco, prcl, kMaskAll);
            vSetPidFormat(psoFront, PID_FORMAT_32);
            vSetPidFormat(psoBack, PID_FORMAT_32);
            if (fPlanes != 2) vCopyRectMaskedClipped(psoFront, psoBack, pco, prcl, kMaskAll);
        } else {
            bExchange = true;
        }
    } else {
        bExchange = (fPlanes & 1u) != 0;
    }

    if (bExchange) {
        SwapPass sp{ppdev, qm, psoBack, psoFront, prcl, ulPageMask, bRemembered};
        if (pco == nullptr || pco->iDComplexity == DC_TRIVIAL) {
            vExchangeBatch(sp, {*prcl}, true);
        } else if (pco->iDComplexity == DC_RECT) {
            RECTL rcl;
            if (bRectIntersect(prcl, &pco->rclBounds, &rcl)) vExchangeBatch(sp, {rcl}, true);
        } else if (pco->iDComplexity == DC_COMPLEX) {
            vEnumClipBatches<kSwapBatch>(pco, CD_ANY, kSwapBatch,
                                         [&](const RECTL* arclEnum, ULONG cEnum, BOOL bMore) {
                                             std::vector<RECTL> arcl;
                                             for (ULONG i = 0; i < cEnum; ++i) {
                                                 RECTL rcl;
                                                 if (bRectIntersect(&arclEnum[i], prcl, &rcl))
                                                     arcl.push_back(rcl);
                                             }
                                             if (!arcl.empty() || !bMore)
                                                 vExchangeBatch(sp, arcl, !bMore);
                                         });
        }
    }

    kz2FlushPacket(qm);
    ppdev->rclSwap = bRemember ? *prcl : RECTL{0, 0, 0, 0};
}

extern "C" void kz2FrontBufferDrawn(KZ2QUEUEMGT qm) {
    if (qm == nullptr || qm->pLayout == nullptr || qm->pLayout->ppdevSelf == nullptr) return;
    PDEV* ppdev = qm->pLayout->ppdevSelf;
    ppdev->rclSwap.left = 0;
    ppdev->rclSwap.right = 0;
}
