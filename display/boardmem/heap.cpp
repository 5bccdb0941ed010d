// Board-memory allocation: the page blocks (address spaces of one pixel
// format and one flag class) and the free-space tree of each.
//
// A page block's tree starts as one free node over the whole space. An
// allocation takes a free leaf and splits it around the rectangle, one side
// at a time, the largest margin first, until no margin is left on the left
// or top and at most SPLIT_SLACK pixels on the right and bottom; every split
// turns the node into a split node with two children. Releasing an
// allocation frees its leaf and merges free siblings back into their parent,
// up the tree; when the root is free again the block is released.
//
// The placed allocator chooses, over the page blocks of the format and flag
// class, the free leaf that leaves the smallest margin around the new
// rectangle (a margin below SPLIT_SLACK + 1 ends the search at once). The
// general and tile allocators first look for the place that needs the
// fewest pages without a slot, and only among those for the smallest
// margin: besides a leaf's top left corner they try, in every page of the
// block that already holds a slot, the first place of the leaf inside that
// page. So small surfaces and tiles fill the pages already mapped, along a
// page's rows as well as down its columns, before new pages (and slots) are
// taken. All three open a new page block only when no leaf fits.
#include <algorithm>
#include <vector>

#include "boardmem/boardmem.h"
#include "pdev.h"

namespace {

bool bFreeLeaf(const DFB* pdfb) {
    return (pdfb->fl & (DFB_STATE_SPLIT | DFB_STATE_ALLOCATED)) == 0;
}

DFB* pdfbNewNode(PAGEBLOCK* ppb, DFB* pdfbParent, LONG x, LONG y, LONG cx, LONG cy) {
    DFB* pdfb = static_cast<DFB*>(LocalAlloc(LPTR, sizeof(DFB)));
    if (pdfb == nullptr) return nullptr;
    pdfb->ppb = ppb;
    pdfb->pid = ppb->id;
    pdfb->x = x;
    pdfb->y = y;
    pdfb->cx = pdfb->cxNode = cx;
    pdfb->cy = pdfb->cyNode = cy;
    pdfb->pdfbParent = pdfbParent;
    return pdfb;
}

// Visits every node of a tree, parents before children, until fn answers
// false.
template <typename Fn>
void vWalk(DFB* pdfbRoot, Fn fn) {
    std::vector<DFB*> stack;
    if (pdfbRoot != nullptr) stack.push_back(pdfbRoot);
    while (!stack.empty()) {
        DFB* pdfb = stack.back();
        stack.pop_back();
        if (!fn(pdfb)) return;
        if (pdfb->fl & DFB_STATE_SPLIT) {
            stack.push_back(pdfb->pdfbChild2);
            stack.push_back(pdfb->pdfbChild1);
        }
    }
}

// Where a new rectangle would go in a free leaf, and what it leaves over.
struct FIT {
    DFB* pdfbLeaf = nullptr;
    PAGEBLOCK* ppb = nullptr;
    LONG x = 0, y = 0;
    ULONG cNewPages = 0;        // pages it covers that hold no slot yet
    LONG lMargin = 0x7FFFFFFF;  // the largest of the four margins (none yet)

    // Fewer new pages first, then the smaller margin.
    bool bBetter(const FIT& o) const {
        return cNewPages != o.cNewPages ? cNewPages < o.cNewPages : lMargin < o.lMargin;
    }
    // Nothing can beat it: no new page and a margin the split keeps.
    bool bPerfect() const {
        return pdfbLeaf != nullptr && cNewPages == 0 && lMargin <= SPLIT_SLACK;
    }
};

// The rectangle (x, y, cx, cy) inside leaf pdfb: its largest margin, or -1
// when it does not fit.
LONG lMarginIn(const DFB* pdfb, LONG x, LONG y, LONG cx, LONG cy) {
    const LONG l = x - pdfb->x, t = y - pdfb->y;
    const LONG r = pdfb->x + pdfb->cxNode - (x + cx), b = pdfb->y + pdfb->cyNode - (y + cy);
    if (l < 0 || t < 0 || r < 0 || b < 0) return -1;
    return std::max({l, t, r, b});
}

// A placement rule: where the rectangle goes in a free leaf (false: nowhere).
struct PLACEMENT {
    enum Kind { Placed, General, Tile } kind;
    LONG cx, cy;
    LONG x, y;  // Placed: the position asked for

    bool bPlace(const DFB* pdfb, LONG* px, LONG* py) const {
        switch (kind) {
            case Placed:
                *px = x;
                *py = y;
                break;
            case General:
                *px = pdfb->x;
                *py = pdfb->y;
                break;
            case Tile:  // the first multiple of the tile size in the leaf
                *px = lAlignUp(pdfb->x);
                *py = lAlignUp(pdfb->y);
                break;
        }
        return lMarginIn(pdfb, *px, *py, cx, cy) >= 0;
    }

    // The first coordinate at or after v that the rule allows: a multiple
    // of the tile size for tiles, v itself otherwise.
    LONG lAlignUp(LONG v) const { return kind == Tile ? (v + cx - 1) / cx * cx : v; }
};

// The candidates of a leaf: its own corner, and for the general and tile
// rules the first place of the leaf inside each page of the block that
// holds a slot. fn(x, y) gets each place where the rectangle fits.
template <typename Fn>
void vForEachPlace(const PDEV* ppdev, const PAGEBLOCK* ppb, const DFB* pdfb, const PLACEMENT& place,
                   Fn fn) {
    LONG x = 0, y = 0;
    if (place.bPlace(pdfb, &x, &y)) fn(x, y);
    if (place.kind == PLACEMENT::Placed) return;
    LONG pcx = 0, pcy = 0;
    vPageSize(ppdev, ppb->iFormat, &pcx, &pcy);
    for (const PAGESLOT& slot : ppdev->aaSlot[0]) {
        if (slot.ppb != ppb) continue;
        // The part of the page inside the leaf, if any.
        const LONG x0 = std::max(slot.x, pdfb->x), y0 = std::max(slot.y, pdfb->y);
        if (x0 >= std::min(slot.x + pcx, pdfb->x + pdfb->cxNode) ||
            y0 >= std::min(slot.y + pcy, pdfb->y + pdfb->cyNode))
            continue;
        x = place.lAlignUp(x0);
        y = place.lAlignUp(y0);
        if (lMarginIn(pdfb, x, y, place.cx, place.cy) >= 0) fn(x, y);
    }
}

// The best free leaf and place over the page blocks of a format and flag
// class. The placed rule goes by the margin alone; the others count the
// pages each place would add first.
FIT fitFind(PDEV* ppdev, ULONG iFormat, FLONG flClass, const PLACEMENT& place) {
    FIT best;
    for (PAGEBLOCK& pb : ppdev->aPageBlock) {
        if (!pb.fInUse || pb.iFormat != iFormat || pb.flClass != flClass) continue;
        vWalk(pb.pdfbRoot, [&](DFB* pdfb) {
            if (!bFreeLeaf(pdfb)) return true;
            vForEachPlace(ppdev, &pb, pdfb, place, [&](LONG x, LONG y) {
                FIT fit{pdfb, &pb, x, y, 0, lMarginIn(pdfb, x, y, place.cx, place.cy)};
                if (place.kind != PLACEMENT::Placed)
                    fit.cNewPages = cPagesWithoutSlot(ppdev, &pb, x, y, place.cx, place.cy);
                if (best.pdfbLeaf == nullptr || fit.bBetter(best)) best = fit;
            });
            return !best.bPerfect();
        });
        if (best.bPerfect()) break;
    }
    return best;
}

// The first unused page block from block 0 (DFB_FL_LOW_BLOCKS) or from
// BLOCK_FIRST_GENERAL, made for the format and flag class.
PAGEBLOCK* ppbNewBlock(PDEV* ppdev, ULONG iFormat, FLONG fl) {
    const ULONG iFirst = (fl & DFB_FL_LOW_BLOCKS) ? 0 : BLOCK_FIRST_GENERAL;
    for (ULONG i = iFirst; i < PAGE_BLOCKS; ++i) {
        PAGEBLOCK& pb = ppdev->aPageBlock[i];
        if (pb.fInUse) continue;
        pb.pdfbRoot = pdfbNewNode(&pb, nullptr, 0, 0, BLOCK_EXTENT, BLOCK_EXTENT);
        if (pb.pdfbRoot == nullptr) return nullptr;
        pb.fInUse = 1;
        pb.iFormat = iFormat;
        pb.flClass = fl & DFB_FL_CLASS80;
        return &pb;
    }
    return nullptr;
}

// Merges free siblings into their parent, from pdfb up; answers the highest
// node that became (or was) a free leaf.
DFB* pdfbMergeUp(DFB* pdfb) {
    while (pdfb->pdfbParent != nullptr) {
        DFB* pdfbParent = pdfb->pdfbParent;
        if (!bFreeLeaf(pdfbParent->pdfbChild1) || !bFreeLeaf(pdfbParent->pdfbChild2)) break;
        LocalFree(pdfbParent->pdfbChild1);
        LocalFree(pdfbParent->pdfbChild2);
        pdfbParent->pdfbChild1 = pdfbParent->pdfbChild2 = nullptr;
        pdfbParent->fl = 0;
        pdfb = pdfbParent;
    }
    return pdfb;
}

// Releases a page block whose root is a free leaf.
void vReleaseBlockIfEmpty(PDEV* ppdev, PAGEBLOCK* ppb) {
    if (ppb->pdfbRoot == nullptr || !bFreeLeaf(ppb->pdfbRoot)) return;
    LocalFree(ppb->pdfbRoot);
    *ppb = PAGEBLOCK{ppb->id, 0, 0, 0, nullptr};
    vFreeUnusedSlots(ppdev);
}

// Splits a free leaf around (x, y, cx, cy) and answers the node left for the
// rectangle, or null when a node could not be made (the tree is then merged
// back as it was).
DFB* pdfbSplitAround(DFB* pdfb, LONG x, LONG y, LONG cx, LONG cy) {
    for (;;) {
        const LONG l = x - pdfb->x, t = y - pdfb->y;
        const LONG r = pdfb->x + pdfb->cxNode - (x + cx);
        const LONG b = pdfb->y + pdfb->cyNode - (y + cy);
        // The sides still to be split off, the largest first.
        const LONG am[4] = {l, t, r > SPLIT_SLACK ? r : 0, b > SPLIT_SLACK ? b : 0};
        const int side = static_cast<int>(std::max_element(am, am + 4) - am);
        if (am[side] == 0) return pdfb;

        // Children: left/right of a vertical cut, or top/bottom of a
        // horizontal one; the rectangle stays in the "keep" child.
        LONG cut = 0;
        const bool bVertical = side == 0 || side == 2;
        if (side == 0) cut = x;
        if (side == 1) cut = y;
        if (side == 2) cut = x + cx;
        if (side == 3) cut = y + cy;
        DFB* pdfb1;
        DFB* pdfb2;
        if (bVertical) {
            pdfb1 = pdfbNewNode(pdfb->ppb, pdfb, pdfb->x, pdfb->y, cut - pdfb->x, pdfb->cyNode);
            pdfb2 = pdfbNewNode(pdfb->ppb, pdfb, cut, pdfb->y, pdfb->x + pdfb->cxNode - cut,
                                pdfb->cyNode);
        } else {
            pdfb1 = pdfbNewNode(pdfb->ppb, pdfb, pdfb->x, pdfb->y, pdfb->cxNode, cut - pdfb->y);
            pdfb2 = pdfbNewNode(pdfb->ppb, pdfb, pdfb->x, cut, pdfb->cxNode,
                                pdfb->y + pdfb->cyNode - cut);
        }
        if (pdfb1 == nullptr || pdfb2 == nullptr) {
            LocalFree(pdfb1);
            LocalFree(pdfb2);
            pdfbMergeUp(pdfb);
            return nullptr;
        }
        pdfb->pdfbChild1 = pdfb1;
        pdfb->pdfbChild2 = pdfb2;
        pdfb->fl = DFB_STATE_SPLIT;
        // A left or top margin is child 1 and the rectangle goes on in child 2;
        // a right or bottom margin is child 2.
        pdfb = (side == 0 || side == 1) ? pdfb2 : pdfb1;
    }
}

// Takes a fit: splits, marks the allocation, gives its pages slots.
DFB* pdfbTake(PDEV* ppdev, const FIT& fit, LONG cx, LONG cy, FLONG fl) {
    DFB* pdfb = pdfbSplitAround(fit.pdfbLeaf, fit.x, fit.y, cx, cy);
    if (pdfb == nullptr) {
        vReleaseBlockIfEmpty(ppdev, fit.ppb);
        return nullptr;
    }
    pdfb->fl = (fl & DFB_FL_CALLER) | DFB_STATE_ALLOCATED;
    pdfb->pid = fit.ppb->id;
    pdfb->cx = cx;
    pdfb->cy = cy;
    if (!bPagesForAllocation(ppdev, pdfb)) {
        // No slot left: nothing of the attempt stays, not even the slots
        // its first pages got.
        vReleaseDfb(ppdev, pdfb);
        vFreeUnusedSlots(ppdev);
        return nullptr;
    }
    return pdfb;
}

DFB* pdfbAlloc(PDEV* ppdev, ULONG iFormat, FLONG fl, const PLACEMENT& place) {
    if (!ppdev->fPageTable) return nullptr;
    if (iFormat != BMF_8BPP && iFormat != BMF_16BPP && iFormat != BMF_32BPP) return nullptr;
    if (place.cx <= 0 || place.cy <= 0 || place.cx > BLOCK_EXTENT || place.cy > BLOCK_EXTENT)
        return nullptr;
    FIT fit = fitFind(ppdev, iFormat, fl & DFB_FL_CLASS80, place);
    if (fit.pdfbLeaf == nullptr) {
        PAGEBLOCK* ppb = ppbNewBlock(ppdev, iFormat, fl);
        if (ppb == nullptr) return nullptr;
        fit.ppb = ppb;
        fit.pdfbLeaf = ppb->pdfbRoot;
        if (!place.bPlace(fit.pdfbLeaf, &fit.x, &fit.y)) {
            vReleaseBlockIfEmpty(ppdev, ppb);
            return nullptr;
        }
    }
    return pdfbTake(ppdev, fit, place.cx, place.cy, fl);
}

}  // namespace

DFB* pdfbAllocPlaced(PDEV* ppdev, LONG cx, LONG cy, ULONG iFormat, const POINTL* pptl, FLONG fl) {
    if (pptl == nullptr || pptl->x < 0 || pptl->y < 0) return nullptr;
    // Past the space's last pixel: refused (64-bit sums, so no overflow).
    if (static_cast<long long>(pptl->x) + cx > BLOCK_EXTENT ||
        static_cast<long long>(pptl->y) + cy > BLOCK_EXTENT)
        return nullptr;
    return pdfbAlloc(ppdev, iFormat, fl, PLACEMENT{PLACEMENT::Placed, cx, cy, pptl->x, pptl->y});
}

DFB* pdfbAllocGeneral(PDEV* ppdev, LONG cx, LONG cy, ULONG iFormat, FLONG fl) {
    return pdfbAlloc(ppdev, iFormat, fl, PLACEMENT{PLACEMENT::General, cx, cy, 0, 0});
}

DFB* pdfbAllocTile(PDEV* ppdev, LONG size, ULONG iFormat, FLONG fl) {
    return pdfbAlloc(ppdev, iFormat, fl, PLACEMENT{PLACEMENT::Tile, size, size, 0, 0});
}

DFB* pdfbAllocAlias(PDEV* ppdev, LONG x, LONG y, LONG cx, LONG cy, FLONG fl) {
    DFB* pdfb = static_cast<DFB*>(LocalAlloc(LPTR, sizeof(DFB)));
    if (pdfb == nullptr) return nullptr;
    pdfb->fl = fl & DFB_FL_CALLER;
    pdfb->pid = ppdev->pidBack;
    pdfb->x = x;
    pdfb->y = y;
    pdfb->cx = pdfb->cxNode = cx;
    pdfb->cy = pdfb->cyNode = cy;
    return pdfb;
}

void vReleaseDfb(PDEV* ppdev, DFB* pdfb) {
    if (pdfb == nullptr) return;
    PAGEBLOCK* ppb = pdfb->ppb;
    if (ppb == nullptr) {  // an alias, or an allocation whose page table is gone
        LocalFree(pdfb);
        return;
    }
    pdfb->fl = 0;
    pdfb->pid = ppb->id;
    pdfb->cx = pdfb->cxNode;
    pdfb->cy = pdfb->cyNode;
    pdfb->pdsurf = nullptr;
    pdfb->hsurf = nullptr;
    pdfbMergeUp(pdfb);
    vReleaseBlockIfEmpty(ppdev, ppb);
}

void vForEachAllocation(PAGEBLOCK* ppb, void (*fn)(DFB* pdfb, void* pv), void* pv) {
    vWalk(ppb->pdfbRoot, [&](DFB* pdfb) {
        if (pdfb->fl & DFB_STATE_ALLOCATED) fn(pdfb, pv);
        return true;
    });
}

void vFreePageTable(PDEV* ppdev) {
    for (PAGEBLOCK& pb : ppdev->aPageBlock) {
        std::vector<DFB*> nodes;
        vWalk(pb.pdfbRoot, [&](DFB* pdfb) {
            nodes.push_back(pdfb);
            return true;
        });
        for (DFB* pdfb : nodes) {
            if ((pdfb->fl & DFB_STATE_ALLOCATED) && pdfb->pdsurf != nullptr) {
                // Its surface frees it: it keeps its size, loses its memory.
                pdfb->ppb = nullptr;
                pdfb->pdfbParent = pdfb->pdfbChild1 = pdfb->pdfbChild2 = nullptr;
            } else {
                LocalFree(pdfb);
            }
        }
        pb = PAGEBLOCK{pb.id, 0, 0, 0, nullptr};
    }
    for (auto& table : ppdev->aaSlot)
        for (PAGESLOT& slot : table) slot = PAGESLOT{};
    ppdev->cFreeSlots = PAGE_SLOTS;
    ppdev->fPageTable = 0;
}
