// Block copies inside one rasterizer's tiles: the rectangle is cut into 8x8
// blocks aligned to the source's 8-pixel grid and sent 256 blocks to a
// packet. Each packet starts with three set-up instructions that have the
// rasterizer fetch each pixel's source sample into register 12 (the
// copy-address table, loaded into register 8 beforehand, serves that
// fetch), then the ROP program with D = 13, S = 12, P = 0.
#include <algorithm>

#include "copy/copy_internal.h"
#include "queue/queue.h"
#include "rop/rop.h"

const ULONG aulCopyTable[COPY_TABLE_WORDS] = {
    0x00000000, 0x00000040, 0x00000000, 0x00000040, 0x00000000, 0x00000040, 0x00000000, 0x00000040,
    0x00000000, 0x00000000, 0x00000020, 0x00000020, 0x00000040, 0x00000040, 0x00000060, 0x00000060,
};

void vLoadCopyTable(KZ2QUEUEMGT pqm, SURFOBJ* psoPattern) {
    if (pqm == nullptr || psoPattern == nullptr) return;
    // The table as 4 x 4 points at each rasterizer's lowest tile, loaded
    // into register 8 as the pattern is into register 12.
    vLoadSquares(
        psoPattern, COPY_TABLE_SIDE,
        [](const void*, LONG i, LONG j) { return aulCopyTable[i * COPY_TABLE_SIDE + j]; }, nullptr,
        COPY_TABLE_LOAD);
}

void vCopyBlocks(SURFOBJ* psoDst, SURFOBJ* psoSrc, RECTL* prclDst, POINTL* pptSrc, ULONG rop3,
                 ULONG flInfo, BOOL bMask) {
    COPYSIDE d, s;
    if (prclDst == nullptr || pptSrc == nullptr || !bCopySide(psoDst, &d) || !bCopySide(psoSrc, &s))
        return;
    PDEV* ppdev = d.ppdev;
    KZ2QUEUEMGT pqm = d.pqm;
    const LONG L = prclDst->left + d.xOrg, T = prclDst->top + d.yOrg;
    const LONG R = prclDst->right + d.xOrg, B = prclDst->bottom + d.yOrg;
    if (L >= R || T >= B) return;
    const LONG DX = pptSrc->x + s.xOrg - L, DY = pptSrc->y + s.yOrg - T;  // pixels
    // On split boards a source right of the first screen is counted from
    // the second screen (where its pixels lie in that board's memory); the
    // destination stays in desktop x. The stepping direction is the
    // desktop's, the block grid and the source words the counted source's.
    const LONG xSrcScreen =
        ppdev->layout.bSplitScreen && pptSrc->x + s.xOrg >= ppdev->cxScreen ? ppdev->cxScreen : 0;
    const LONG DXS = DX - xSrcScreen;
    const LONG dx = DXS * 16, dy = DY * 16;  // 28.4

    ULONG aulProgram[8];
    constexpr ROPTAIL kTailBlock{COPY_LAST_BLOCK, COPY_LAST_BLOCK_STAGED, COPY_PLANE_BLOCK};
    const ULONG flConst = flCommandConstants(flInfo) | (bMask ? CMD2D_CONST1 : 0u);
    const ULONG n =
        cRop3Program(aulProgram, rop3, REG_PIXMAP, REG_PATTERN, REG_NONE, kTailBlock, bMask);
    if (n == 0) return;
    const ULONG ulSplit = ppdev->layout.bSplitScreen ? INSTR_CLIP : 0u;
    const ULONG aulSetup[3] = {COPY_SETUP0 | ulSplit,
                               COPY_SETUP1 | ulCopyPhase(dx, dy) << COPY_PHASE_SHIFT | ulSplit,
                               COPY_SETUP2 | ulSplit};
    const ULONG ulCommand = (n + 3) << CMD2D_INSTR_SHIFT | flConst | CMD2D_BLOCK_COPY;
    const ULONG ulPids = ulCopyPid(s.pid) << 16 | ulCopyPid(d.pid);

    // Blocks aligned to the source's 8-pixel grid, stepping away from the
    // side the source lies on, so that no block reads what an earlier one
    // wrote.
    const LONG xStep = DX < 0 ? -COPY_BLOCK : COPY_BLOCK;
    const LONG yStep = DY < 0 ? -COPY_BLOCK : COPY_BLOCK;
    auto blockOf = [](LONG v, LONG d) { return v - ((v + d) & (COPY_BLOCK - 1)); };
    const LONG bx0 = xStep > 0 ? blockOf(L, DXS) : blockOf(R - 1, DXS);
    const LONG by0 = yStep > 0 ? blockOf(T, DY) : blockOf(B - 1, DY);
    auto inRange = [](LONG b, LONG lo, LONG hi) { return b + COPY_BLOCK > lo && b < hi; };

    ULONG* p = nullptr;
    ULONG cInPacket = 0;
    auto open = [&] {
        p = kz2NewPacketQueue(pqm, psoDst, COPY_PACKET_BLOCKS);
        *p++ = ulPids;
        for (ULONG w : aulSetup) *p++ = w;
        for (ULONG k = 0; k < n; ++k) *p++ = aulProgram[k];
        *p++ = ulClipWord(L, T);
        *p++ = ulClipWord(R, B);
        for (int k = 0; k < 4; ++k) *p++ = 0;
        if (flConst & CMD2D_CONST0) *p++ = 0;
        if (flConst & CMD2D_CONST1) *p++ = bMask ? COPY_BLOCK_PLANE_MASK : PLANE_MASK_ALL;
        cInPacket = 0;
    };
    auto close = [&] {
        vSetCommand(pqm, ulCommand);
        kz2UpdatePacketPtr(pqm, psoDst, p, 0);
        p = nullptr;
    };
    for (LONG by = by0; inRange(by, T, B); by += yStep) {
        for (LONG bx = bx0; inRange(bx, L, R); bx += xStep) {
            if (p == nullptr) open();
            const LONG xs = (bx + DXS) * 16, ys = (by + DY) * 16;
            *p++ = (static_cast<ULONG>(xs) & ~0x3Fu) | (static_cast<ULONG>(dx) & 0x30u);
            *p++ = (static_cast<ULONG>(ys) & ~0x1Fu) | (static_cast<ULONG>(dy) & 0x10u);
            *p++ = 0;
            *p++ = 0;
            p = pRouteRect(pqm, p, std::max(bx, L), std::max(by, T), std::min(bx + COPY_BLOCK, R),
                           std::min(by + COPY_BLOCK, B));
            if (++cInPacket == COPY_PACKET_BLOCKS) close();
        }
    }
    if (p != nullptr) close();
}
