// Mapping of the primary, back and depth buffers onto page slots.
//
// The buffer swap exchanges front and back by exchanging the slot registers
// of their pages, so the slots of the three buffers are chosen together: at
// each point where a page of the primary and/or the depth buffer begins, the
// depth page takes a slot of one parity (alternating from one depth page to
// the next), the primary page a slot of the other parity, and the back page
// a slot at or above the primary's whose bits contain the primary slot's.
// A page these rules cannot place (the searches say so on the debugger)
// still gets any free slot: no page of the three buffers is left unmapped
// while a slot is free.
#include <algorithm>

#include "boardmem/boardmem.h"
#include "pdev.h"

namespace {

bool bSlotFree(const PDEV* ppdev, LONG s) { return ppdev->aaSlot[0][s].ppb == nullptr; }

// Any free slot, for a page the searches below could not place.
LONG iAnyFreeSlot(const PDEV* ppdev) {
    for (LONG s = 0; s < PAGE_SLOTS; ++s)
        if (bSlotFree(ppdev, s)) return s;
    return -1;
}

// A depth slot: the first free slot of the given parity.
LONG FindFreeTriPageZ(PDEV* ppdev, ULONG ulParity) {
    for (LONG s = static_cast<LONG>(ulParity & 1); s < PAGE_SLOTS; s += 2)
        if (bSlotFree(ppdev, s)) return s;
    DbgPrint("FindFreeTriPageZ: uh-oh, didn't find a required page?\n");
    return -1;
}

// A primary slot: the first free slot of the given parity, stepping by 4 from
// the parity's first slot and then from the one after it.
LONG FindFreeTriPageV1(PDEV* ppdev, ULONG ulParity) {
    for (LONG start = static_cast<LONG>(ulParity & 1); start < 4; start += 2)
        for (LONG s = start; s < PAGE_SLOTS; s += 4)
            if (bSlotFree(ppdev, s)) return s;
    DbgPrint("FindFreeTriPageV1: uh-oh, didn't find a required page?\n");
    return -1;
}

// A back slot for primary slot p: the first free slot at or above p, stepping
// by 2, whose bits contain p's or are contained in them; else the first free
// slot of the other parity.
LONG FindFreeTriPageV2(PDEV* ppdev, LONG p) {
    for (LONG s = p; s < PAGE_SLOTS; s += 2)
        if (bSlotFree(ppdev, s) && ((s & p) == p || (s & p) == s)) return s;
    DbgPrint("FindFreeTriPageV2: xxx tbd need to force VSYNC on swaps\n");
    for (LONG s = (p & 1) ^ 1; s < PAGE_SLOTS; s += 2)
        if (bSlotFree(ppdev, s)) return s;
    DbgPrint("FindFreeTriPageV2: uh-oh, didn't find a required page?\n");
    return -1;
}

// A buffer being walked: its allocation and page size.
struct TRIBUF {
    DFB* pdfb;
    LONG cxPage, cyPage;

    // Origin of the page holding the buffer's pixel at (dx, dy) from its origin.
    void vPageOf(LONG dx, LONG dy, LONG* px, LONG* py) const {
        *px = (pdfb->x + dx) / cxPage * cxPage;
        *py = (pdfb->y + dy) / cyPage * cyPage;
    }
    bool bCovers(LONG dx, LONG dy) const { return dx < pdfb->cx && dy < pdfb->cy; }
    // The slot of the page at (dx, dy), or -1.
    LONG iSlot(const PDEV* ppdev, LONG dx, LONG dy) const {
        LONG px, py;
        vPageOf(dx, dy, &px, &py);
        return iFindSlot(ppdev, pdfb->ppb, px, py);
    }
    // Whether the page at (dx, dy) still waits for a slot.
    bool bBegins(const PDEV* ppdev, LONG dx, LONG dy) const {
        return bCovers(dx, dy) && iSlot(ppdev, dx, dy) < 0;
    }
    // Gives the page at (dx, dy) slot s (or any free slot when the search
    // found none); answers the slot, -1 when none was free.
    LONG iMap(PDEV* ppdev, LONG dx, LONG dy, LONG s) const {
        if (s < 0) s = iAnyFreeSlot(ppdev);
        if (s < 0) return -1;
        LONG px, py;
        vPageOf(dx, dy, &px, &py);
        vSetSlot(ppdev, static_cast<ULONG>(s), pdfb->ppb, px, py);
        return s;
    }
};

struct MAPCTX {
    PDEV* ppdev;
    BOOL bAll;
};

void vMapAllocation(DFB* pdfb, void* pv) {
    MAPCTX* pctx = static_cast<MAPCTX*>(pv);
    if (!bPagesForAllocation(pctx->ppdev, pdfb)) pctx->bAll = FALSE;
}

}  // namespace

BOOL TrimapBitmaps(PDEV* ppdev, DSURF* pdsurfPrimary, DSURF* pdsurfBack, DSURF* pdsurfDepth) {
    if (pdsurfPrimary == nullptr || pdsurfBack == nullptr || pdsurfDepth == nullptr) return FALSE;
    DFB* pdfbP = pdsurfPrimary->pdfb;
    DFB* pdfbB = pdsurfBack->pdfb;
    DFB* pdfbD = pdsurfDepth->pdfb;
    if (pdfbP == nullptr || pdfbB == nullptr || pdfbD == nullptr || pdfbP->ppb == nullptr ||
        pdfbB->ppb == nullptr || pdfbD->ppb == nullptr)
        return FALSE;

    TRIBUF prim{pdfbP, 0, 0}, back{pdfbB, 0, 0}, depth{pdfbD, 0, 0};
    vPageSize(ppdev, pdfbP->ppb->iFormat, &prim.cxPage, &prim.cyPage);
    vPageSize(ppdev, pdfbB->ppb->iFormat, &back.cxPage, &back.cyPage);
    vPageSize(ppdev, pdfbD->ppb->iFormat, &depth.cxPage, &depth.cyPage);
    if (pdfbB->x != pdfbP->x || pdfbB->y != pdfbP->y || back.cxPage != prim.cxPage ||
        back.cyPage != prim.cyPage) {
        DbgPrint("TrimapBitmaps error - bitmaps different location/format\n");
        return FALSE;
    }

    // Every slot of the three page blocks is chosen afresh.
    for (ULONG s = 0; s < PAGE_SLOTS; ++s) {
        const PAGEBLOCK* ppb = ppdev->aaSlot[0][s].ppb;
        if (ppb != nullptr && (ppb == pdfbP->ppb || ppb == pdfbB->ppb || ppb == pdfbD->ppb))
            vSetSlot(ppdev, s, nullptr, 0, 0);
    }

    BOOL bAll = TRUE;
    ULONG ulToggle = TRIMAP_TOGGLE_START;
    const LONG cxStep = std::min(depth.cxPage, prim.cxPage);
    const LONG cyStep = std::min(depth.cyPage, prim.cyPage);
    for (LONG dy = 0; dy < pdfbP->cy; dy += cyStep) {
        for (LONG dx = 0; dx < pdfbP->cx; dx += cxStep) {
            const bool bPrimary = prim.bBegins(ppdev, dx, dy);
            const bool bDepth = depth.bBegins(ppdev, dx, dy);
            if (!bPrimary && !bDepth) continue;

            // The depth slot of this point: a new one, or the one already
            // covering it (when the depth buffer covers it at all).
            LONG sDepth = -1;
            if (bDepth) {
                ULONG ulParity = ulToggle ^ 1;
                if (!bPrimary) {  // beside the primary slot covering this point
                    const LONG sPrim = prim.iSlot(ppdev, dx, dy);
                    ulParity = sPrim >= 0 ? (static_cast<ULONG>(sPrim) & 1) ^ 1 : ulParity;
                }
                sDepth = depth.iMap(ppdev, dx, dy, FindFreeTriPageZ(ppdev, ulParity));
                if (sDepth < 0) bAll = FALSE;
            } else if (depth.bCovers(dx, dy)) {
                sDepth = depth.iSlot(ppdev, dx, dy);
            }

            if (bPrimary) {
                const ULONG ulDepthParity =
                    sDepth >= 0 ? static_cast<ULONG>(sDepth) & 1 : ulToggle ^ 1;
                const LONG sPrim =
                    prim.iMap(ppdev, dx, dy, FindFreeTriPageV1(ppdev, ulDepthParity ^ 1));
                if (sPrim < 0) {
                    bAll = FALSE;
                } else if (back.bBegins(ppdev, dx, dy)) {
                    if (back.iMap(ppdev, dx, dy, FindFreeTriPageV2(ppdev, sPrim)) < 0) bAll = FALSE;
                }
            }
            if (bPrimary && bDepth) ulToggle ^= 1;
        }
    }

    // Whatever else the three page blocks hold (and any part of the buffers
    // the walk did not reach) gets its pages back the ordinary way.
    MAPCTX ctx{ppdev, TRUE};
    for (PAGEBLOCK* ppb : {pdfbP->ppb, pdfbB->ppb, pdfbD->ppb})
        vForEachAllocation(ppb, vMapAllocation, &ctx);
    vRecountSlots(ppdev);
    return bAll && ctx.bAll;
}
