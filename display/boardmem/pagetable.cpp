// The page table: 32 page slots per screen, each naming which page of which
// page block the board's physical page s holds, the slot registers that tell
// the rasterizers, and the giving and taking back of slots as allocations
// come and go.
//
// A slot register changes what every packet still queued would address, so
// every change first drains the queues (when there are queues: none exist
// before the surface is enabled). Only the restore after a mode switch
// writes the registers without draining: nothing is queued then.
#include <algorithm>

#include "boardmem/boardmem.h"
#include "pdev.h"
#include "platform/mmio.h"

std::atomic<ULONG> gulSlotBank{0};

namespace {

// Page multiplier by its two-bit code.
const LONG kalPageMul[4] = {1, 2, 4, 4};

// Fields of the tile-ownership word of rasterizer 0.
constexpr ULONG kMemoryClassShift = 13;
constexpr ULONG kXMulShift = 9;
constexpr ULONG kYMulShift = 11;
constexpr ULONG kMaxMemoryClass = 2;

// The screen whose slot table rasterizer r follows: on a split board the
// first cQueuesPerScreen rasterizers show screen 0, the others screen 1.
ULONG iScreenOf(const PDEV* ppdev, ULONG r) {
    const QUEUELAYOUT& l = ppdev->layout;
    if (!l.bSplitScreen || l.cQueuesPerScreen == 0) return 0;
    return std::min<ULONG>(r / l.cQueuesPerScreen, PAGE_TABLES - 1);
}

// Writes slot s's register of every rasterizer from its screen's table.
void vWriteSlotRegisters(PDEV* ppdev, ULONG iSlot) {
    for (ULONG r = 0; r < MAX_RASTERIZERS && ppdev->apRegs[r] != nullptr; ++r) {
        VnxRegWrite(ppdev->apRegs[r], VNX_REG_PAGE_SLOT0 + 4 * iSlot,
                    ulSlotRegister(&ppdev->aaSlot[iScreenOf(ppdev, r)][iSlot]));
    }
}

// Lets the board finish every packet queued so far.
void vDrainQueues(PDEV* ppdev, PVOID pvOwner) {
    KZ2QUEUEMGT qm = ppdev->pqm;
    if (qm == nullptr) return;
    kz2NewPacketQueue(qm, pvOwner, 1);
    kz2SoftUpdatePacketPtr(qm, qm->pStreamEnd);
    kz2FlushQueue(qm, static_cast<ULONG>(-1), nullptr, nullptr);
}

// Pixels of rectangle (x, y, cx, cy) inside the page at (px, py).
ULONG cOverlap(LONG x, LONG y, LONG cx, LONG cy, LONG px, LONG py, LONG pcx, LONG pcy) {
    const LONG w = std::min(x + cx, px + pcx) - std::max(x, px);
    const LONG h = std::min(y + cy, py + pcy) - std::max(y, py);
    return w > 0 && h > 0 ? static_cast<ULONG>(w) * static_cast<ULONG>(h) : 0;
}

// Calls fn(px, py) for the origin of every page the allocation covers.
template <typename Fn>
void vForEachPage(const PDEV* ppdev, const DFB* pdfb, Fn fn) {
    LONG pcx = 0, pcy = 0;
    vPageSize(ppdev, pdfb->ppb->iFormat, &pcx, &pcy);
    const LONG x0 = pdfb->x / pcx * pcx, y0 = pdfb->y / pcy * pcy;
    for (LONG py = y0; py < pdfb->y + pdfb->cy; py += pcy)
        for (LONG px = x0; px < pdfb->x + pdfb->cx; px += pcx) fn(px, py, pcx, pcy);
}

// Adds an allocation's area and flag class to the slots holding its pages.
void vCountAllocation(DFB* pdfb, void* pv) {
    PDEV* ppdev = static_cast<PDEV*>(pv);
    vForEachPage(ppdev, pdfb, [&](LONG px, LONG py, LONG pcx, LONG pcy) {
        const LONG s = iFindSlot(ppdev, pdfb->ppb, px, py);
        if (s < 0) return;
        const ULONG c = cOverlap(pdfb->x, pdfb->y, pdfb->cx, pdfb->cy, px, py, pcx, pcy);
        for (ULONG t = 0; t < PAGE_TABLES; ++t) {
            PAGESLOT& slot = ppdev->aaSlot[t][s];
            slot.cPixels += c;
            slot.flClass = std::max<ULONG>(slot.flClass, pdfb->fl & DFB_FL_CLASS_MASK);
        }
    });
}

}  // namespace

ULONG ulSlotRegister(const PAGESLOT* pslot) {
    if (pslot->ppb == nullptr) return VNX_PAGE_SLOT_FREE;
    return ((static_cast<ULONG>(pslot->y) >> 7) & 0x3Fu) << 11 |
           ((static_cast<ULONG>(pslot->x) >> 7) & 0x3Fu) << 5 | pslot->ppb->id;
}

void vPageSize(const PDEV* ppdev, ULONG iFormat, LONG* pcx, LONG* pcy) {
    const ULONG iPixelClass = iFormat == BMF_8BPP ? 0 : iFormat == BMF_16BPP ? 1 : 2;
    const PAGECONFIG& row = gaPageConfig[ppdev->ulMemoryClass * 3 + iPixelClass];
    *pcx = static_cast<LONG>(row.cxPage) * ppdev->cxPageMul;
    *pcy = static_cast<LONG>(row.cyPage) * ppdev->cyPageMul;
}

void vSetSlot(PDEV* ppdev, ULONG iSlot, PAGEBLOCK* ppb, LONG x, LONG y) {
    for (ULONG t = 0; t < PAGE_TABLES; ++t) ppdev->aaSlot[t][iSlot] = PAGESLOT{0, 0, ppb, x, y};
    if (ppb == nullptr) ++ppdev->cFreeSlots;
    else --ppdev->cFreeSlots;
    vDrainQueues(ppdev, ppb);
    vWriteSlotRegisters(ppdev, iSlot);
}

BOOL bInitPageTable(PDEV* ppdev) {
    const ULONG ulWord = VnxRegRead(ppdev->pjRegs, VNX_REG_TILE_OWNER);
    // Class 3 has no page configuration; the largest pages are the nearest.
    ppdev->ulMemoryClass = std::min<ULONG>((ulWord >> kMemoryClassShift) & 3u, kMaxMemoryClass);
    ppdev->ulPageMulCodeX = (ulWord >> kXMulShift) & 3u;
    ppdev->ulPageMulCodeY = (ulWord >> kYMulShift) & 3u;
    ppdev->cxPageMul = kalPageMul[ppdev->ulPageMulCodeX];
    ppdev->cyPageMul = kalPageMul[ppdev->ulPageMulCodeY];

    vFreePageTable(ppdev);
    for (ULONG i = 0; i < PAGE_BLOCKS; ++i) ppdev->aPageBlock[i] = PAGEBLOCK{i, 0, 0, 0, nullptr};
    ppdev->cFreeSlots = 0;
    for (ULONG s = 0; s < PAGE_SLOTS; ++s) vSetSlot(ppdev, s, nullptr, 0, 0);
    ppdev->fPageTable = 1;
    return TRUE;
}

void vRestorePageTable(PDEV* ppdev) {
    for (ULONG s = 0; s < PAGE_SLOTS; ++s) vWriteSlotRegisters(ppdev, s);
}

LONG iFindSlot(const PDEV* ppdev, const PAGEBLOCK* ppb, LONG x, LONG y) {
    for (ULONG s = 0; s < PAGE_SLOTS; ++s) {
        const PAGESLOT& slot = ppdev->aaSlot[0][s];
        if (slot.ppb == ppb && slot.x == x && slot.y == y) return static_cast<LONG>(s);
    }
    return -1;
}

// Bank b holds slots b, b + 3, b + 6, ...; the search starts in the bank
// where the last one left off and moves on to the next bank only when a bank
// has no free slot.
LONG iFindFreeSlot(PDEV* ppdev) {
    for (ULONG i = 0; i < SLOT_BANKS; ++i) {
        const ULONG b = gulSlotBank.load() % SLOT_BANKS;
        for (ULONG s = b; s < PAGE_SLOTS; s += SLOT_BANKS)
            if (ppdev->aaSlot[0][s].ppb == nullptr) return static_cast<LONG>(s);
        gulSlotBank = (b + 1) % SLOT_BANKS;
    }
    return -1;
}

void vRecountSlots(PDEV* ppdev) {
    for (auto& table : ppdev->aaSlot)
        for (PAGESLOT& slot : table) slot.cPixels = slot.flClass = 0;
    for (PAGEBLOCK& pb : ppdev->aPageBlock)
        if (pb.fInUse) vForEachAllocation(&pb, vCountAllocation, ppdev);
}

void vFreeUnusedSlots(PDEV* ppdev) {
    vRecountSlots(ppdev);
    for (ULONG s = 0; s < PAGE_SLOTS; ++s) {
        const PAGESLOT& slot = ppdev->aaSlot[0][s];
        if (slot.ppb != nullptr && slot.cPixels == 0) vSetSlot(ppdev, s, nullptr, 0, 0);
    }
}

ULONG cPagesWithoutSlot(const PDEV* ppdev, const PAGEBLOCK* ppb, LONG x, LONG y, LONG cx, LONG cy) {
    LONG pcx = 0, pcy = 0;
    vPageSize(ppdev, ppb->iFormat, &pcx, &pcy);
    ULONG c = 0;
    for (LONG py = y / pcy * pcy; py < y + cy; py += pcy)
        for (LONG px = x / pcx * pcx; px < x + cx; px += pcx)
            if (iFindSlot(ppdev, ppb, px, py) < 0) ++c;
    return c;
}

BOOL bPagesForAllocation(PDEV* ppdev, DFB* pdfb) {
    ULONG cMissing = 0;
    vForEachPage(ppdev, pdfb, [&](LONG px, LONG py, LONG, LONG) {
        if (iFindSlot(ppdev, pdfb->ppb, px, py) < 0) ++cMissing;
    });
    if (cMissing > ppdev->cFreeSlots) vFreeUnusedSlots(ppdev);

    BOOL bAll = TRUE;
    vForEachPage(ppdev, pdfb, [&](LONG px, LONG py, LONG, LONG) {
        if (!bAll || iFindSlot(ppdev, pdfb->ppb, px, py) >= 0) return;
        const LONG s = iFindFreeSlot(ppdev);
        if (s < 0) {
            bAll = FALSE;
            return;
        }
        vSetSlot(ppdev, static_cast<ULONG>(s), pdfb->ppb, px, py);
    });
    if (bAll) vCountAllocation(pdfb, ppdev);
    return bAll;
}
