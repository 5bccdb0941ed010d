// Solid fills: rectangles painted with one colour under a ROP3, in packets
// of at most 512 rectangles; in a stereo mode the list is drawn again for the
// second eye, cyScreen lower in board memory.
#include <algorithm>

#include "cliprects.h"
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

BOOL bFillSolidOne(SURFOBJ* pso, CLIPOBJ* pco, const RECTL* prcl, ULONG rop3, ULONG flInfo,
                   ULONG iSolidColour) {
    // The case it serves: one of the three fixed programs, no constant but
    // those the descriptor names, a clip of one rectangle at most, one eye,
    // all planes, no units switched off.
    if (pso == nullptr || prcl == nullptr || pso->dhsurf == nullptr) return FALSE;
    if (pco != nullptr && pco->iDComplexity != DC_TRIVIAL && pco->iDComplexity != DC_RECT)
        return FALSE;
    ULONG ulProgram = 0;
    for (const FixedProgram& f : kFixedPrograms) {
        if (f.rop3 == rop3) ulProgram = f.ulWord;
    }
    if (ulProgram == 0 || (flInfo & ROPINFO_READS_D) != 0) return FALSE;
    const DSURF* pdsurf = reinterpret_cast<const DSURF*>(pso->dhsurf);
    const DFB* pdfb = pdsurf->pdfb;
    PDEV* ppdev = pdsurf->ppdev;
    const PDEV* ppdevQueues = reinterpret_cast<const PDEV*>(pso->dhpdev);  // kz2GetQueueMgt's
    if (pdfb == nullptr || ppdev == nullptr || ppdevQueues == nullptr) return FALSE;
    KZ2QUEUEMGT pqm = ppdevQueues->pqm;
    if (pqm == nullptr || pqm->fDisabled != 0) return FALSE;
    if (ppdev->pPageConfig != nullptr && ppdev->pPageConfig->fStereo) return FALSE;
    const ULONG pid = pdfb->pid & 0xFFFFu;
    if (ulPlaneMask(ppdev, pid) != PLANE_MASK_ALL) return FALSE;

    // The clip wrapper's rectangle: inside the surface, then inside the
    // clip bounds. Nothing left draws nothing, as there.
    const RECTL rclSurface = {0, 0, pso->sizlBitmap.cx, pso->sizlBitmap.cy};
    RECTL r;
    if (!bRectIntersect(prcl, &rclSurface, &r)) return TRUE;
    if (pco != nullptr && pco->iDComplexity == DC_RECT) {
        const RECTL rclInside = r;
        if (!bRectIntersect(&rclInside, &pco->rclBounds, &r)) return TRUE;
    }

    const ULONG ulColour = ulFillColour(ppdev, iSolidColour);
    const ULONG ulCommand = 1u << CMD2D_INSTR_SHIFT | flCommandConstants(flInfo) | CMD2D_FILL;
    const LONG x = pdfb->x, y = pdfb->y;
    const ULONG ulClip0 = ulClipWord(x, y),
                ulClip1 = ulClipWord(x + rclSurface.right, y + rclSurface.bottom);
    const LONG x0 = r.left + x, y0 = r.top + y, x1 = r.right + x, y1 = r.bottom + y;
    const ULONG v00 = ulPackVertex(x0, y0), v10 = ulPackVertex(x1, y0);
    const ULONG v11 = ulPackVertex(x1, y1), v01 = ulPackVertex(x0, y1);
    const bool bZero = (flInfo & ROPINFO_NEEDS_ZERO) != 0;
    const bool bOnes = (flInfo & ROPINFO_NEEDS_ALL_ONES) != 0;
    const ULONG cWords = 9 + (bZero ? 1 : 0) + (bOnes ? 1 : 0);
    return bQueueOnePrimitive(pqm, ulCommand, cWords, v00, [&](ULONG* p) {
        *p++ = pid;
        *p++ = ulProgram;
        *p++ = ulClip0;
        *p++ = ulClip1;
        *p++ = ulColour;
        if (bZero) *p++ = 0;
        if (bOnes) *p++ = PLANE_MASK_ALL;
        p[0] = v00;
        p[1] = v10;
        p[2] = v11;
        p[3] = v01;
    });
}
