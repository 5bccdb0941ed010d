// Solid fills: rectangles painted with one colour under a ROP3, in packets
// of at most 512 rectangles; in a stereo mode the list is drawn again for the
// second eye, cyScreen lower in board memory.
#include <algorithm>

#include "fill/fill_internal.h"
#include "queue/queue.h"
#include "rop/rop.h"

namespace {

// The fixed programs of the three ROPs that need no compiling: the colour,
// the constant 0, the constant all ones, each copied into the pixmap.
struct FixedProgram {
    ULONG rop3;
    ULONG ulWord;
};
constexpr FixedProgram kFixedPrograms[] = {
    {0xF0, ulInstr(OP_COPY, REG_PIXMAP, REG_COLOUR, REG_NONE, INSTR_CLIP)},
    {0x00, ulInstr(OP_COPY, REG_PIXMAP, REG_CONST0, REG_NONE, INSTR_CLIP)},
    {0xFF, ulInstr(OP_COPY, REG_PIXMAP, REG_CONST1, REG_NONE, INSTR_CLIP)},
};
static_assert(kFixedPrograms[0].ulWord == 0x10360348u && kFixedPrograms[1].ulWord == 0x103A0348u &&
              kFixedPrograms[2].ulWord == 0x103C0348u);

// The program of a solid fill; answers its number of words.
ULONG cSolidProgram(ULONG* pw, ULONG rop3, ULONG ulPlaneMask) {
    for (const FixedProgram& f : kFixedPrograms) {
        if (f.rop3 == rop3) {
            pw[0] = f.ulWord;
            return 1;
        }
    }
    return cRop3Program(pw, rop3, REG_PIXMAP, REG_NONE, REG_COLOUR, kTailFill,
                        ulPlaneMask != PLANE_MASK_ALL);
}

}  // namespace

void vFillSolid(SURFOBJ* pso, ROP4 rop4, ULONG flInfo, ULONG iSolidColour, RECTL* prcl, ULONG c) {
    FILLTARGET ft;
    if (!bFillTarget(pso, &ft)) return;
    PDEV* ppdev = ft.ppdev;
    KZ2QUEUEMGT pqm = ft.pqm;
    if (flInfo & ROPINFO_READS_D) kz2ConfigDisable(pqm, FILL_DISABLE_UNIT);

    const ULONG rop3 = rop4 & 0xFF;
    const ULONG ulMask = ulPlaneMask(ppdev, ft.pid);
    ULONG ulColour = ulFillColour(ppdev, iSolidColour);
    if (ulMask == PLANE_MASK_NO_OVERLAY) {
        flInfo |= ROPINFO_NEEDS_ALL_ONES;
        if (rop3 == 0xF0) ulColour &= PLANE_MASK_NO_OVERLAY;
    }
    ULONG aulProgram[8];
    const ULONG cInstr = cSolidProgram(aulProgram, rop3, ulMask);
    const ULONG ulCommand = cInstr << CMD2D_INSTR_SHIFT | flCommandConstants(flInfo) | CMD2D_FILL;

    const ULONG cPasses = ppdev->pPageConfig != nullptr && ppdev->pPageConfig->fStereo ? 2 : 1;
    if (cInstr == 0 && c != 0) {
        // Nothing to draw (0xAA): the packet ends after its pid word, which
        // no queue takes; the close lets the flush thread in again.
        ULONG* p = kz2NewPacketQueue(pqm, pso, std::min<ULONG>(FILL_BATCH, c));
        *p++ = ft.pid;
        kz2UpdatePacketPtr(pqm, pso, p, 0);
    }
    for (ULONG iPass = 0; iPass < cPasses && cInstr != 0; ++iPass) {
        const LONG yEye = iPass == 0 ? 0 : ppdev->cyScreen;
        vWriteFillBatches(&ft, pso, aulProgram, cInstr, &ulColour, 1, flInfo, ulMask, prcl, c, yEye,
                          ulCommand);
    }
    if (pqm->fDisabled != 0) kz2ConfigEnable(pqm);
}
