// The board side of the polygon stipple load: the context's scratch pixmap
// (the 128 x 128 off-screen pixmap that holds the stipple, and whose pid the
// render programs take as their default) and one pass of the load, which
// lays one 16 x 16 cell of the aligned 32 x 32 pattern over the pixmap.
#include <algorithm>

#include "lgigl.h"
#include "glpdev.h"
#include "queue.h"
#include "shared/hwframe.h"
#include "validate.h"
#include "../seams.h"

namespace {

// Rectangles; one word a packet for registers 27 and 28; the cell words;
// one pid; two instructions.
constexpr ULONG kStippleCommand = 0x02205086u;
// rgb0 (register 13) <- register 27 where the cell bit is set, and <-
// register 28 where it is clear.
constexpr ULONG kSetInstruction = 0x02360348u;
constexpr ULONG kClearInstruction = 0x0A380348u;
constexpr ULONG kSetValue = 0xF0u;
constexpr ULONG kClearValue = 0u;
constexpr ULONG kPidFormatBits = 0xE000u;
constexpr ULONG kRoomPerQueue = 256;  // bytes: the sixteen rectangles
constexpr ULONG kHeadRoom = 60;       // bytes: pid, instructions, cell and value words
constexpr LONG kPixmapSide = 128;
constexpr LONG kPattern = 32;  // the stipple repeats every 32 pixels
constexpr LONG kCell = 16;

PDEV* ppdevOf(N_HwRecord* phw) {
    return phw != nullptr && phw->pDevice != nullptr ? phw->pDevice->ppdev : nullptr;
}

ULONG ulPidOf(const GLBuffer* pb) {
    const auto* pdr = pb != nullptr ? static_cast<const GLDeviceRecord*>(pb->pDeviceRecord) : nullptr;
    return pdr != nullptr ? pdr->pid : 0xFFFFu;
}

// A pixel corner as a packed 28.4 position word.
ULONG ulCorner(LONG x, LONG y) {
    return ((static_cast<ULONG>(y) << 16) | (static_cast<ULONG>(x) & 0xFFFu)) << 4;
}

}  // namespace

void* _NCreateScratchPixmap(N_Context* pctx) {
    PDEV* ppdev = pctx != nullptr ? ppdevOf(pctx->pHw) : nullptr;
    return ppdev != nullptr ? _DCreateScratchPixmap(ppdev) : nullptr;
}

ULONG _NBoardStipplePass(N_HwRecord* phw, void* pvPixmap, ULONG rowBase, ULONG cell, const ULONG* pulWords) {
    auto* pPixmap = static_cast<const GLBuffer*>(pvPixmap);
    PDEV* ppdev = ppdevOf(phw);
    const ULONG pid = ulPidOf(pPixmap);
    if (ppdev == nullptr || pid == 0xFFFFu || pulWords == nullptr || rowBase >= kPattern || cell >= kPattern)
        return 0;
    KZ2QUEUEMGT qm = _NRefreshQueueMgt(phw);
    if (qm == nullptr) return 0;
    // The load runs no program that needs the optional units.
    kz2ConfigDisable(qm, N_UNIT_A_BIT | N_UNIT_B_BIT);
    const ULONG cQueues = qm->pLayout != nullptr ? std::max<ULONG>(qm->pLayout->cQueues, 1) : 1;
    N_HwFrame f;
    f.phw = phw;
    ULONG* p = _NNextQAddrMC(phw, 0, &phw->batchCount, cQueues * kRoomPerQueue + kHeadRoom);
    if (p == nullptr || !_NHwFrameQueues(&f)) {
        _NUpdateQAddr(phw);
        return 0;
    }
    for (ULONG q = 0; q < f.cQueues; ++q) f.qm[q].pPacket[0] = kStippleCommand;
    // The same pid form as the render programs give the pixmap.
    const PAGECONFIG* ppc = pGLPageConfig(ppdev);
    const bool bStereo = ppc != nullptr && ppc->fStereo != 0;
    *p++ = pid | (bStereo ? kPidFormatBits : 0u);
    *p++ = kSetInstruction;
    *p++ = kClearInstruction;
    for (ULONG i = 0; i < 8; ++i) *p++ = pulWords[i];
    *p++ = kSetValue;
    *p++ = kClearValue;
    // The cell at every 32 pixels of the pixmap, each rectangle routed to
    // the rasterizer that owns it by its first and third corners.
    for (LONG y = static_cast<LONG>(rowBase); y < kPixmapSide; y += kPattern) {
        for (LONG x = static_cast<LONG>(cell); x < kPixmapSide; x += kPattern) {
            const LONG x0 = pPixmap->x + x, y0 = pPixmap->y + y;
            const ULONG a = ulCorner(x0, y0), c = ulCorner(x0 + kCell, y0 + kCell);
            *p++ = a;
            *p++ = ulCorner(x0 + kCell, y0);
            *p++ = c;
            *p++ = ulCorner(x0, y0 + kCell);
            p = _NHwRouteTriangle(f, p, a, c, a);
        }
    }
    phw->batchCount = 400;
    _NUpdateQAddr(phw);
    return 1;
}
