// What the fill files share and nothing outside them uses.
#pragma once

#include "fill/fill.h"

// Writes the rectangles of one fill pass (one stereo eye, yEye lower) in
// packets of at most FILL_BATCH: pid, program, clip pair, the cConstants
// constant words, the zero and all-ones words the ROP asks for (flInfo), the
// routed rectangles, then the command word; each packet is closed and kicked.
void vWriteFillBatches(const FILLTARGET* pft, SURFOBJ* pso, const ULONG* aulProgram, ULONG cInstr,
                       const ULONG* aulConstants, ULONG cConstants, ULONG flInfo, ULONG ulMask,
                       const RECTL* prcl, ULONG c, LONG yEye, ULONG ulCommand);
