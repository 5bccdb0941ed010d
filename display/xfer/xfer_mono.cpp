// 1-bit expansion: a 1-bit host bitmap drawn onto a device surface with two
// colours, as the two-colour fill draws with a brush, but the mask comes from
// the bitmap: the destination is cut into cells of 16 x 16 pixels on the
// board's 16-pixel grid, each a rectangle primitive carrying its own sixteen
// 16-bit mask rows.
//
// Mask rows follow the board's rule: the bit of board pixel (x, y) is bit
// 15 - (x & 15) of row y & 15, rows in pairs per word, the first of a pair in
// the high half (row r is 16-bit slot r ^ 1 in memory order). Each row is
// gathered from the bitmap for exactly the cell's pixels, so a bitmap whose
// bits do not start on the cell grid (any source-to-destination offset) still
// lands pixel for pixel; bits outside the rectangle stay 0.
#include <algorithm>
#include <cstring>

#include "fill/fill.h"
#include "rop/rop.h"
#include "xfer/xfer.h"

namespace {

struct MONO {
    FILLTARGET ft;
    const BYTE* pjScan0;  // the bitmap's row 0
    LONG lDelta;
    LONG xSrc;  // the bitmap pixel of the rectangle's left and top
    LONG ySrc;
    ULONG aulProgram[2 * 4 + 2];
    ULONG cInstructions;
    ULONG flInfo;
    ULONG ulFg;
    ULONG ulBg;
    ULONG ulPlaneMask;
};

// The bits of pixels xFrom .. xFrom + c - 1 (c <= 16) of a bitmap row, the
// first in bit 15.
ULONG ulSourceBits(const BYTE* pjRow, LONG xFrom, LONG c) {
    const LONG iFirstByte = xFrom >> 3, iLastByte = (xFrom + c - 1) >> 3;
    ULONG v = 0;
    for (LONG i = iFirstByte; i <= iLastByte; ++i)
        v |= ULONG{pjRow[i]} << (24 - 8 * (i - iFirstByte));
    const ULONG w = (v << (xFrom & 7)) >> 16;
    return w & (0xFFFFu << (16 - c)) & 0xFFFFu;
}

// One pass: the board rectangle [x0, x1) x [y0, y1) (the eye's offset in
// it), packets of at most 128 cells.
void vExpandPass(const MONO& m, LONG yEye, LONG x0, LONG y0, LONG x1, LONG y1) {
    KZ2QUEUEMGT pqm = m.ft.pqm;
    const LONG xCell0 = x0 & ~(XFER_MONO_CELL - 1), yCell0 = y0 & ~(XFER_MONO_CELL - 1);
    const LONG cCellsX = (x1 - xCell0 + XFER_MONO_CELL - 1) / XFER_MONO_CELL;
    const LONG cCells = cCellsX * ((y1 - yCell0 + XFER_MONO_CELL - 1) / XFER_MONO_CELL);
    const ULONG ulCommand =
        m.cInstructions << CMD2D_INSTR_SHIFT | flCommandConstants(m.flInfo) | XFER_CMD_MONO;
    PVOID pvOwner = reinterpret_cast<PVOID>(&bExpandMono);

    for (LONG iCell = 0; iCell < cCells;) {
        const LONG cPacket = std::min<LONG>(XFER_MONO_PACKET_CELLS, cCells - iCell);
        ULONG* p = kz2NewPacketQueue(pqm, pvOwner, static_cast<ULONG>(cPacket));
        *p++ = m.ft.pid;
        for (ULONG k = 0; k < m.cInstructions; ++k) *p++ = m.aulProgram[k];
        p = pWriteFillClip(p, &m.ft, yEye);
        *p++ = m.ulFg;
        *p++ = m.ulBg;
        if (m.flInfo & ROPINFO_NEEDS_ZERO) *p++ = 0;
        if (m.flInfo & ROPINFO_NEEDS_ALL_ONES) *p++ = m.ulPlaneMask;

        for (LONG iEnd = iCell + cPacket; iCell < iEnd; ++iCell) {
            const LONG xCell = xCell0 + (iCell % cCellsX) * XFER_MONO_CELL;
            const LONG yCell = yCell0 + (iCell / cCellsX) * XFER_MONO_CELL;
            const LONG cx0 = std::max(x0, xCell), cx1 = std::min(x1, xCell + XFER_MONO_CELL);
            const LONG cy0 = std::max(y0, yCell), cy1 = std::min(y1, yCell + XFER_MONO_CELL);
            USHORT ausRows[XFER_MONO_CELL] = {};
            for (LONG y = cy0; y < cy1; ++y) {
                const BYTE* pjRow =
                    m.pjScan0 + static_cast<std::ptrdiff_t>(m.ySrc + (y - y0)) * m.lDelta;
                const ULONG ulBits = ulSourceBits(pjRow, m.xSrc + (cx0 - x0), cx1 - cx0);
                ausRows[y - yCell] = static_cast<USHORT>(ulBits >> (cx0 - xCell));
            }
            for (LONG r = 0; r < XFER_MONO_CELL; r += 2)
                *p++ = ULONG{ausRows[r]} << 16 | ausRows[r + 1];
            p = pRouteRect(pqm, p, cx0, cy0, cx1, cy1);
        }
        vSetCommand(pqm, ulCommand);
        kz2UpdatePacketPtr(pqm, pvOwner, p, 0);
    }
}

struct CLIPMONO {
    SURFOBJ* pso;
    ROP4 rop4Fg;
    ROP4 rop4Bg;
    SURFOBJ* psoMono;
    ULONG* pulXlate;
    ULONG iMode;
};

void vExpandClip(void* pv, RECTL* prcl, POINTL* pptlSrc) {
    const CLIPMONO* p = static_cast<const CLIPMONO*>(pv);
    bExpandMono(p->pso, nullptr, p->rop4Fg, p->rop4Bg, p->psoMono, prcl, pptlSrc, p->pulXlate,
                p->iMode);
}

}  // namespace

BOOL bExpandMono(SURFOBJ* pso, CLIPOBJ* /*pco*/, ROP4 rop4Fg, ROP4 rop4Bg, SURFOBJ* psoMono,
                 RECTL* prclDst, POINTL* pptlSrc, ULONG* pulXlate, ULONG iMode) {
    MONO m{};
    if (prclDst == nullptr || pptlSrc == nullptr || psoMono == nullptr ||
        psoMono->iBitmapFormat != BMF_1BPP || psoMono->pvScan0 == nullptr ||
        !bFillTarget(pso, &m.ft)) {
        return TRUE;
    }
    const DSURF* pdsurf = reinterpret_cast<const DSURF*>(pso->dhsurf);
    RECTL rcl = *prclDst;
    POINTL ptl = *pptlSrc;
    if (!bClipTransfer(&rcl, &ptl, pdsurf->cx, pdsurf->cy, psoMono->sizlBitmap.cx,
                       psoMono->sizlBitmap.cy)) {
        return TRUE;
    }
    PDEV* ppdev = m.ft.ppdev;
    KZ2QUEUEMGT pqm = m.ft.pqm;
    m.pjScan0 = static_cast<const BYTE*>(psoMono->pvScan0);
    m.lDelta = psoMono->lDelta;
    m.xSrc = ptl.x;
    m.ySrc = ptl.y;

    // The two programs: the foreground where the bit is 1, the background
    // where it is 0; under the reduced plane mask each is staged and masked.
    const ULONG rop3Fg = rop4Fg & 0xFF, rop3Bg = rop4Bg & 0xFF;
    m.ulPlaneMask = ulPlaneMask(ppdev, m.ft.pid);
    const bool bReduced = m.ulPlaneMask != PLANE_MASK_ALL;
    m.cInstructions = cTwoColourProgram(m.aulProgram, rop3Fg, rop3Bg, m.ulPlaneMask);
    if (m.cInstructions == 0) return TRUE;

    m.flInfo = ulRop3Info(rop3Fg) | ulRop3Info(rop3Bg);
    if (bReduced) m.flInfo |= ROPINFO_NEEDS_ALL_ONES;
    // Without a translation the bits' values are the colours.
    m.ulFg = ulFillColour(ppdev, pulXlate != nullptr ? pulXlate[1] : 1);
    m.ulBg = ulFillColour(ppdev, pulXlate != nullptr ? pulXlate[0] : 0);

    if (m.flInfo & ROPINFO_READS_D) kz2ConfigDisable(pqm, FILL_DISABLE_UNIT);
    const LONG x0 = m.ft.xOrg + rcl.left, x1 = m.ft.xOrg + rcl.right;
    const LONG y0 = m.ft.yOrg + rcl.top, y1 = m.ft.yOrg + rcl.bottom;
    const LONG cyScreen = ppdev->cyScreen;
    if (iMode != 3) vExpandPass(m, 0, x0, y0, x1, y1);
    if (iMode == 1 || iMode == 3) vExpandPass(m, cyScreen, x0, y0 + cyScreen, x1, y1 + cyScreen);
    if (pqm->fDisabled != 0) kz2ConfigEnable(pqm);
    return TRUE;
}

BOOL bExpandMonoClipped(SURFOBJ* pso, CLIPOBJ* pco, ROP4 rop4Fg, ROP4 rop4Bg, SURFOBJ* psoMono,
                        RECTL* prclDst, POINTL* pptlSrc, ULONG* pulXlate, ULONG iMode) {
    if (prclDst == nullptr || pptlSrc == nullptr) return TRUE;
    CLIPMONO context{pso, rop4Fg, rop4Bg, psoMono, pulXlate, iMode};
    vForEachClipRect(pco, prclDst, pptlSrc, vExpandClip, &context);
    return TRUE;
}
