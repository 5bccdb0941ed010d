// The buffer swap the GL server calls to present a window's back buffer.
#pragma once

#include "kz2queue.h"
#include "platform/ddi.h"
#include "platform/export.h"
#include "platform/kernel.h"

extern "C" {

// Makes the front buffer show the back buffer inside *prcl (screen pixels,
// right and bottom excluded) clipped by pco (may be null). Whole pages are
// exchanged by swapping their page-slot registers after the vertical-blank
// wait; partly covered pages are copied. ulPageMask: one bit per page of the
// walk (bit 31 first), set = only a fully covered page may be exchanged.
// bDirect: a plane-masked copy instead. fPlanes: 1 main planes, 2 the
// overlay plane, 3 both.
VNX_EXPORT void kz2SwapBackToFrontC(SURFOBJ* psoBack, SURFOBJ* psoFront, CLIPOBJ* pco, RECTL* prcl,
                                    ULONG ulPageMask, BOOL bDirect, ULONG fPlanes);

// Tells the driver that 3D drawing went into the front buffer, so the next
// swap cannot rely on the remembered swap rectangle: it forgets it. A swap
// whose rectangle equals the last one's skips copying the uncovered
// remainder of half-covered pages into the back buffer; 2D drawing forgets
// the rectangle by itself, 3D drawing into the back buffer keeps it, and the
// GL server calls this whenever it draws with the front buffer as (one of)
// its draw buffers.
VNX_EXPORT void kz2FrontBufferDrawn(KZ2QUEUEMGT qm);

}  // extern "C"
