// Two-colour fills: a monochrome 8x8 pattern chooses, pixel by pixel,
// between a foreground ROP3 with the foreground colour and a background ROP3
// with the background colour. The pattern is loaded into every rasterizer
// before each fill (and for each stereo eye); the fill's instructions carry
// the mask bits that pick the pixels each program writes.
#include <algorithm>
#include <cstring>

#include "fill/fill_internal.h"
#include "queue/queue.h"
#include "rop/rop.h"

namespace {

// The monochrome load's instruction: register 10 into 11, no clip.
constexpr ULONG kMonoLoadWord = ulInstr(OP_COPY, REG_TEMP11, REG_TEMP10);
static_assert(kMonoLoadWord == 0x001402C8u);

// The position words of the monochrome load: the first primitive carries the
// pattern words to every queue.
constexpr ULONG kMonoPositions[] = {0x0, 0x80, 0x100, 0x200};

inline USHORT usRotateRight(USHORT us, ULONG n) {
    n &= 15;
    return static_cast<USHORT>(n == 0 ? us : (us >> n) | (us << (16 - n)));
}

}  // namespace

ULONG cTwoColourProgram(ULONG* pw, ULONG rop3Fg, ULONG rop3Bg, ULONG ulPlaneMask) {
    constexpr ROPTAIL kFg{TWO_COLOUR_LAST_FG, TWO_COLOUR_STAGED_FG, TWO_COLOUR_PLANE_FG};
    constexpr ROPTAIL kBg{TWO_COLOUR_LAST_BG, TWO_COLOUR_STAGED_BG, TWO_COLOUR_PLANE_BG};
    const bool bReduced = ulPlaneMask != PLANE_MASK_ALL;
    const ULONG n = cRop3Program(pw, rop3Fg, REG_PIXMAP, REG_NONE, REG_COLOUR, kFg, bReduced);
    return n + cRop3Program(pw + n, rop3Bg, REG_PIXMAP, REG_NONE, REG_BACK, kBg, bReduced);
}

void vLoadMonoPattern(KZ2QUEUEMGT pqm, const USHORT* pusRows, LONG xOrg, LONG yOrg) {
    const ULONG cQueues = cQueuesOf(pqm);
    ULONG* p = kz2NewPacketQueue(pqm, pqm, cQueues);
    vSetCommand(pqm, CMD2D_MONO_LOAD);
    *p++ = kMonoLoadWord;
    ULONG aulRows[4];
    const ULONG iFirst = (0u - static_cast<ULONG>(yOrg)) & 7;
    for (ULONG w = 0; w < 4; ++w) {
        const USHORT usHigh = usRotateRight(pusRows[(iFirst + 2 * w) & 7], xOrg & 7);
        const USHORT usLow = usRotateRight(pusRows[(iFirst + 2 * w + 1) & 7], xOrg & 7);
        aulRows[w] = static_cast<ULONG>(usHigh) << 16 | usLow;
    }
    for (int copy = 0; copy < 2; ++copy) {
        for (ULONG w : aulRows) *p++ = w;
    }
    const ULONG cPositions = cQueues > 2 ? 4 : 2;
    for (ULONG k = 0; k < cPositions; ++k) {
        *p++ = kMonoPositions[k];
        p = pRoutePoint(pqm, p, kMonoPositions[k]);
    }
    kz2UpdatePacketPtr(pqm, pqm, p, 0);
}

void vFillTwoColour(SURFOBJ* pso, RECTL* prcl, ULONG c, REALBRUSH* prbrush, POINTL* pptlBrushOrg,
                    ULONG flInfo, ROP4 rop4) {
    FILLTARGET ft;
    if (!bFillTarget(pso, &ft) || prbrush == nullptr) return;
    PDEV* ppdev = ft.ppdev;
    KZ2QUEUEMGT pqm = ft.pqm;

    USHORT ausRows[REALBRUSH_ROWS];
    std::memcpy(ausRows, prbrush->ajPattern, sizeof ausRows);
    const LONG xOrg = lBrushOrigin(pptlBrushOrg != nullptr ? pptlBrushOrg->x : 0, ft.xOrg);
    const LONG yOrg = lBrushOrigin(pptlBrushOrg != nullptr ? pptlBrushOrg->y : 0, ft.yOrg);

    const ULONG ulMask = ulPlaneMask(ppdev, ft.pid);
    if (ulMask != PLANE_MASK_ALL) flInfo |= ROPINFO_NEEDS_ALL_ONES;
    ULONG aulProgram[12];
    const ULONG cInstr = cTwoColourProgram(aulProgram, rop4 & 0xFF, (rop4 >> 8) & 0xFF, ulMask);
    const ULONG ulCommand =
        cInstr << CMD2D_INSTR_SHIFT | flCommandConstants(flInfo) | CMD2D_TWO_COLOUR;
    const ULONG ulFore = ulFillColour(ppdev, prbrush->ulForeColor);
    const ULONG ulBack = ulFillColour(ppdev, prbrush->ulBackColor);

    const ULONG cPasses = ppdev->pPageConfig != nullptr && ppdev->pPageConfig->fStereo ? 2 : 1;
    for (ULONG iPass = 0; iPass < cPasses; ++iPass) {
        const LONG yEye = iPass == 0 ? 0 : ppdev->cyScreen;
        vLoadMonoPattern(pqm, ausRows, xOrg, lBrushOrigin(yOrg, yEye));
        if (flInfo & ROPINFO_READS_D) kz2ConfigDisable(pqm, FILL_DISABLE_UNIT);
        if (cInstr == 0) break;  // neither ROP draws anything
        const ULONG aulColours[2] = {ulFore, ulBack};
        vWriteFillBatches(&ft, pso, aulProgram, cInstr, aulColours, 2, flInfo, ulMask, prcl, c,
                          yEye, ulCommand);
    }
    if (pqm->fDisabled != 0) kz2ConfigEnable(pqm);
}
