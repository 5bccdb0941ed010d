// The board side of the polygon stipple load: the context's scratch pixmap
// (the 128 x 128 off-screen pixmap that holds the stipple, and whose pid the
// render programs take as their default) and one pass of the load, which
// lays one 16 x 16 cell of the aligned 32 x 32 pattern over the pixmap.
//
// The pattern is laid on the pixmap's space's own 32-pixel grid: the pixel
// at (x, y) of the space holds the pattern's bit of every window pixel
// whose board position is (x, y) modulo 32. The render programs read it
// through the stipple tile: a 32 x 32 square of that grid inside the
// pixmap, named by a tile pid, whose pixel at a fragment's position is the
// square's pixel at that position modulo 32 (platform/board/render3d.h).
// The load goes through the same tile pid, so that every rasterizer keeps
// the whole square whichever screen tiles it owns.
#include <algorithm>

#include "lgigl.h"
#include "glpdev.h"
#include "queue.h"
#include "shared/frame/hwframe.h"
#include "3d/validate/validate.h"
#include "../../seams.h"

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

constexpr ULONG kPidTile = 0x40u;        // bit 6: a tile pid
constexpr ULONG kPidTileFields = 0x1FE0u; // bits 5-12: marker, size, column, row
constexpr ULONG kPidColumnShift = 9, kPidRowShift = 11;

// The first multiple of 32 at or after v whose 32-pixel column (or row),
// modulo 4, is not 0: the scratch pixmaps the generator claims for its
// texture passes are tiles of that column and row in their space.
LONG lSquareAt(LONG v) {
    LONG a = (v + kPattern - 1) & ~(kPattern - 1);
    if (((a / kPattern) & 3) == 0) a += kPattern;
    return a;
}

// A pixel corner as a packed 28.4 position word.
ULONG ulCorner(LONG x, LONG y) {
    return ((static_cast<ULONG>(y) << 16) | (static_cast<ULONG>(x) & 0xFFFu)) << 4;
}

// The words since the current queue's mark (a rectangle, and before the
// first one the packet's body) sent to every queue.
ULONG* pBroadcast(N_HwFrame& f, ULONG* p) {
    KZ2QUEUEMGT qm = f.qm;
    if (f.cQueues == 1) {
        ++qm->cPrims;
        qm->pqCurrent->pWrite = p;
        return p;
    }
    return kz2CopyPrim(qm, p)->pWrite;
}

}  // namespace

ULONG _NStippleTilePid(const void* pvPixmap, ULONG pidForm) {
    auto* pPixmap = static_cast<const GLBuffer*>(pvPixmap);
    if (pPixmap == nullptr || pPixmap->x < 0 || pPixmap->y < 0) return 0xFFFFu;
    const ULONG column = static_cast<ULONG>(lSquareAt(pPixmap->x) / kPattern) & 3u;
    const ULONG row = static_cast<ULONG>(lSquareAt(pPixmap->y) / kPattern) & 3u;
    // Size code 0: a square of 32 pixels.
    return (pidForm & ~kPidTileFields) | kPidTile | column << kPidColumnShift | row << kPidRowShift;
}

void* _NCreateScratchPixmap(N_Context* pctx) {
    PDEV* ppdev = pctx != nullptr ? ppdevOf(pctx->pHw) : nullptr;
    return ppdev != nullptr ? _DCreateScratchPixmap(ppdev) : nullptr;
}

ULONG _NBoardStipplePass(N_HwRecord* phw, void* pvPixmap, ULONG rowBase, ULONG cell, const ULONG* pulWords) {
    auto* pPixmap = static_cast<const GLBuffer*>(pvPixmap);
    PDEV* ppdev = ppdevOf(phw);
    const ULONG pid = _NPidOf(pPixmap);
    if (ppdev == nullptr || pid == 0xFFFFu || pulWords == nullptr || rowBase >= kPattern || cell >= kPattern)
        return 0;
    KZ2QUEUEMGT qm = _NRefreshQueueMgt(phw);
    if (qm == nullptr) return 0;
    // A split board's second screen draws at its own x, where its packets
    // cannot reach the pixmap's place in off-screen memory: no tile there
    // (the load would land on its screen), so no load; the stippled fills
    // are drawn by the software stages.
    if (qm->pLayout != nullptr && qm->pLayout->bSplitScreen != 0) return 0;
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
    *p++ = _NStippleTilePid(pPixmap, pid | (bStereo ? kPidFormatBits : 0u));
    *p++ = kSetInstruction;
    *p++ = kClearInstruction;
    for (ULONG i = 0; i < 8; ++i) *p++ = pulWords[i];
    *p++ = kSetValue;
    *p++ = kClearValue;
    // The cell at every 32 pixels of the space's grid where it lies whole
    // inside the pixmap (the stipple tile's square among them), each
    // rectangle sent to every rasterizer: each keeps the whole tile.
    auto first = [](LONG origin, ULONG offset) {
        return origin + ((static_cast<LONG>(offset) - origin) & (kPattern - 1));
    };
    const LONG xEnd = pPixmap->x + kPixmapSide, yEnd = pPixmap->y + kPixmapSide;
    for (LONG y0 = first(pPixmap->y, rowBase); y0 + kCell <= yEnd; y0 += kPattern) {
        for (LONG x0 = first(pPixmap->x, cell); x0 + kCell <= xEnd; x0 += kPattern) {
            *p++ = ulCorner(x0, y0);
            *p++ = ulCorner(x0 + kCell, y0);
            *p++ = ulCorner(x0 + kCell, y0 + kCell);
            *p++ = ulCorner(x0, y0 + kCell);
            p = pBroadcast(f, p);
        }
    }
    phw->batchCount = 400;
    _NUpdateQAddr(phw);
    return 1;
}
