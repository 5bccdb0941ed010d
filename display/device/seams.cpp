// Entry points whose work is not built yet. Each says so on the debugger and
// answers its failure (or declining) value, so the engine falls back or
// fails cleanly. An entry leaves this file when its real code arrives.
#include "device/entry.h"

void vNotBuiltYet(const char* pszFunction) { DbgPrint("%s: not built yet\n", pszFunction); }

// --- drawing -----------------------------------------------------------------

BOOL DrvStrokePath(SURFOBJ*, PATHOBJ*, CLIPOBJ*, XFORMOBJ*, BRUSHOBJ*, POINTL*, LINEATTRS*, MIX) {
    vNotBuiltYet("DrvStrokePath");
    return FALSE;
}

BOOL DrvFillPath(SURFOBJ*, PATHOBJ*, CLIPOBJ*, BRUSHOBJ*, POINTL*, MIX, FLONG) {
    vNotBuiltYet("DrvFillPath");
    return FALSE;
}

BOOL DrvStrokeAndFillPath(SURFOBJ*, PATHOBJ*, CLIPOBJ*, XFORMOBJ*, BRUSHOBJ*, LINEATTRS*, BRUSHOBJ*,
                          POINTL*, MIX, FLONG) {
    vNotBuiltYet("DrvStrokeAndFillPath");
    return FALSE;
}

BOOL DrvStretchBlt(SURFOBJ*, SURFOBJ*, SURFOBJ*, CLIPOBJ*, XLATEOBJ*, COLORADJUSTMENT*, POINTL*,
                   RECTL*, RECTL*, POINTL*, ULONG) {
    vNotBuiltYet("DrvStretchBlt");
    return FALSE;
}

BOOL DrvPaint(SURFOBJ*, CLIPOBJ*, BRUSHOBJ*, POINTL*, MIX) {
    vNotBuiltYet("DrvPaint");
    return FALSE;
}
