// The buffer swap the GL server calls to present a window's back buffer.
#pragma once

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

}  // extern "C"
