// The rectangle clear of board-memory buffers (the clear entries in seams.h): one four-corner
// primitive per clip rectangle under a one-instruction program the clear
// writes itself, once more for the lower image of a stereo page
// configuration, and once more for the overlay planes of a deep buffer while
// overlay contexts live.
#include <algorithm>

#include "lgigl.h"
#include "glpdev.h"
#include "shared/frame/hwframe.h"
#include "../../seams.h"

namespace {

constexpr ULONG kClearCommand = 0x2101026u;      // class 6, clip pair, rgb0 per packet, 1 instruction, 1 pid
// The masked clear: rgb0 and z0 per packet, two instructions. z0 holds the
// bits each pixel keeps: pr8 = z0 AND pixmap 0, then pixmap 0 = rgb0 OR pr8
// (the value with the kept bits cleared).
constexpr ULONG kMaskedCommand = 0x2205026u;
constexpr ULONG kKeepBits = 0x10386a00u;         // pr8 = z0 AND pixmap 0
constexpr ULONG kMergeValue = 0x10364341u;       // pixmap 0 = rgb0 OR pr8
constexpr ULONG kCopyColour = 0x10360348u;       // rgb0 into pixmap 0
constexpr ULONG kCombineColour1 = 0x10366b40u;   // rgb0 combined with pixmap 0 into pixmap 0 (1-bit overlay)
constexpr ULONG kOverlayValue1 = 0x7FFFFFu;      // the value of a 1-bit buffer's clear while overlays live
constexpr ULONG kClearRoom = 4128;               // bytes reserved for one packet
constexpr ULONG kRightSlots[] = {8, 9};

// The screen rectangle of one packet (x1, y1 exclusive).
struct Rect {
    LONG x0, y0, x1, y1;
};

ULONG ulPacked(LONG x, LONG y) { return (static_cast<ULONG>(y) << 16) | (static_cast<ULONG>(x) & 0xFFFFu); }

// One packet: the head, then the rectangle's corners (one rasterizer) or
// its tile pieces (several).
void vClearPacket(N_HwRecord* phw, ULONG pid, ULONG instr, ULONG ulValue, ULONG ulKeep, const Rect& r) {
    ULONG* p = _NNextQAddrMC(phw, 0, &phw->batchCount, kClearRoom);
    KZ2QUEUEMGT qm = phw->qm;
    if (p == nullptr || qm == nullptr || qm->pLayout == nullptr) {
        _NUpdateQAddr(phw);
        return;
    }
    const ULONG cQueues = std::max<ULONG>(qm->pLayout->cQueues, 1);
    for (ULONG q = 0; q < cQueues; ++q) qm[q].pPacket[0] = ulKeep != 0 ? kMaskedCommand : kClearCommand;
    *p++ = pid;
    if (ulKeep != 0) {
        *p++ = kKeepBits;
        *p++ = kMergeValue;
    } else {
        *p++ = instr;
    }
    *p++ = ulPacked(r.x0, r.y0);
    *p++ = ulPacked(r.x1, r.y1);
    if (ulKeep != 0) {
        *p++ = ulValue & ~ulKeep;
        *p++ = ulKeep;
    } else {
        *p++ = ulValue;
    }
    if (cQueues == 1) {
        const auto corner = [](LONG x, LONG y) { return ((static_cast<ULONG>(y) << 16) | (static_cast<ULONG>(x) & 0xFFFu)) << 4; };
        *p++ = corner(r.x0, r.y0);
        *p++ = corner(r.x1, r.y0);
        *p++ = corner(r.x1, r.y1);
        *p++ = corner(r.x0, r.y1);
        ++qm->cPrims;
        qm->pqCurrent->pWrite = p;
    } else {
        kz2WriteRectNoPrimData(qm, p, r.x0, r.y0, r.x1, r.y1);
    }
    phw->batchCount = N_BATCH_PRIMS;
    _NUpdateQAddr(phw);
}

// The clear of one buffer at the bit depth given (the overlay pass clears a
// deep buffer's planes as a 4-bit one). The window rectangle is x0..x1,
// y0..y1, x1 and y1 excluded.
void vClearSplit(N_Context* pctx, const GLBuffer* pb, ULONG bpp, LONG x0, LONG y0, LONG x1, LONG y1, ULONG ulValue,
                 ULONG ulKeep) {
    N_HwRecord* phw = pctx->pHw;
    PDEV* ppdev = phw->pDevice != nullptr ? phw->pDevice->ppdev : nullptr;
    if (ppdev == nullptr) return;
    const PAGECONFIG* ppc = pGLPageConfig(ppdev);
    const LONG cxScreen = plGLScreenSize(ppdev)[0], cyScreen = plGLScreenSize(ppdev)[1];
    // A split board's second screen lies right of the first.
    const LONG cxScreens = _NScreensWidth(phw, cxScreen);
    const bool bStereoPages = ppc != nullptr && ppc->fStereo != 0;
    const bool bBoardStereo = (pGLBoardConfig(ppdev)->flags & BCF_STEREO) != 0;
    const bool bOverlays = *pulGLOverlayContexts(ppdev) != 0;
    const bool bDepth = pctx->buffers[N_SLOT_DEPTH].pBuffer == pb;
    const bool bRight = std::any_of(std::begin(kRightSlots), std::end(kRightSlots),
                                    [&](ULONG s) { return pctx->buffers[s].pBuffer == pb; });

    // 1. Screen pixels (64-bit sums held to the packed words' range).
    const auto screen = [](LONG v, LONG origin) {
        return static_cast<LONG>(std::clamp<std::int64_t>(std::int64_t{v} + origin, -0x8000, 0x7FFF));
    };
    Rect r{screen(x0, pb->x), screen(y0, pb->y), screen(x1, pb->x), screen(y1, pb->y)};
    if (std::int64_t{x1} - x0 == cxScreen && std::int64_t{y1} - y0 == cyScreen) plGLSwapState(ppdev)[0] = 0;

    // 2. A second pass for the lower image of a stereo page configuration,
    // for buffers both eyes share.
    const bool bShared = bDepth || bBoardStereo || phw->stereo == 0;
    const ULONG cPasses = bStereoPages && bShared ? 2 : 1;

    // The head by depth: a 1-bit buffer under overlays combines, a 4-bit
    // one names the overlay planes of its pixmap.
    ULONG pid = _NPidOf(pb), instr = kCopyColour;
    if (bOverlays && bpp == 1) {
        instr = kCombineColour1;
        ulValue = kOverlayValue1;
        ulKeep = 0;
    } else if (bOverlays && bpp == 4) {
        pid = (pid & 0x1Fu) | 0xC000u;
        ulKeep = 0;
    }

    LONG yShift = 0;  // the clip rectangles follow the rectangle down
    for (ULONG pass = 0; pass < cPasses; ++pass) {
        // 3a. The lower image lies one screen height down; the move is
        // applied to the rectangle as the previous pass left it.
        LONG yLimit = cyScreen;
        if (bpp > 4 && bStereoPages && (bRight || (pass == 1 && bShared))) {
            r.y0 += cyScreen;
            r.y1 += cyScreen;
            yShift += cyScreen;
            yLimit = 2 * cyScreen;
        }
        // 3c. One packet per clip rectangle (screen coordinates).
        for (ULONG i = 0; i < pctx->cClipRects; ++i) {
            const ULONG* c = pctx->pulDecodedClip + 4 * std::size_t{i};
            Rect k{std::max<LONG>(r.x0, static_cast<LONG>(c[0])), std::max<LONG>(r.y0, static_cast<LONG>(c[1]) + yShift),
                   std::min<LONG>(r.x1, static_cast<LONG>(c[2])), std::min<LONG>(r.y1, static_cast<LONG>(c[3]) + yShift)};
            k.y1 = std::min(k.y1, yLimit);
            // Nothing of the screen is left to clear: no packet, so the
            // board never sees inverted or off-screen corners.
            k.x0 = std::max<LONG>(k.x0, 0);
            k.y0 = std::max<LONG>(k.y0, 0);
            k.x1 = std::min(k.x1, cxScreens);
            if (k.x0 >= k.x1 || k.y0 >= k.y1) continue;
            vClearPacket(phw, pid, instr, ulValue, ulKeep, k);
        }
    }
}

}  // namespace

void _NClearRectSplit(const GLBuffer* pBuffer, LONG x, LONG y, LONG cx, LONG cy, ULONG ulValue) {
    _NClearRectMasked(pBuffer, x, y, cx, cy, ulValue, 0);
}

void _NClearRectMasked(const GLBuffer* pBuffer, LONG x, LONG y, LONG cx, LONG cy, ULONG ulValue, ULONG ulKeep) {
    if (!bNHaveContext() || pBuffer == nullptr) return;
    N_Context* pctx = gpNCurrent;
    const auto end = [](LONG v, LONG c) { return static_cast<LONG>(std::clamp<std::int64_t>(std::int64_t{v} + c, INT32_MIN, INT32_MAX)); };
    const LONG x1 = end(x, cx), y1 = end(y, cy);
    vClearSplit(pctx, pBuffer, pBuffer->bitsPerPixel, x, y, x1, y1, ulValue, ulKeep);

    // 4. The overlay planes of a deep colour buffer are cleared to 0.
    PDEV* ppdev = pctx->pHw->pDevice != nullptr ? pctx->pHw->pDevice->ppdev : nullptr;
    if (ppdev != nullptr && *pulGLOverlayContexts(ppdev) != 0 && pBuffer->bitsPerPixel >= 24 &&
        pctx->buffers[N_SLOT_DEPTH].pBuffer != pBuffer)
        vClearSplit(pctx, pBuffer, 4, x, y, x1, y1, 0, 0);
}

void _NClearRect(N_BoundBuffer* pSlot, LONG x, LONG y, LONG cx, LONG cy, ULONG ulValue, ULONG) {
    if (pSlot != nullptr) _NClearRectSplit(pSlot->pBuffer, x, y, cx, cy, ulValue);
}
