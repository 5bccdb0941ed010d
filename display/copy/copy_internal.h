// What the copy files share and nothing outside them uses.
#pragma once

#include "copy/copy.h"

// What a copy needs of a surface.
typedef struct COPYSIDE {
    PDEV* ppdev;
    KZ2QUEUEMGT pqm;
    ULONG pid;
    LONG xOrg;  // board origin
    LONG yOrg;
    LONG cx;  // surface size
    LONG cy;
} COPYSIDE;
BOOL bCopySide(SURFOBJ* pso, COPYSIDE* pcs);
// rop3 applied to stored pixels d and s with the pattern 0 (the host side of
// a copy whose tiles have different owners).
ULONG ulApplyCopyRop(ULONG rop3, ULONG d, ULONG s);
