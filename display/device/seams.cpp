// Entry points whose work is not built yet. Each says so on the debugger and
// answers its failure (or declining) value, so the engine falls back or
// fails cleanly. An entry leaves this file when its real code arrives.
#include "device/entry.h"
#include "dither/dithercolor.h"

void vNotBuiltYet(const char* pszFunction) { DbgPrint("%s: not built yet\n", pszFunction); }

// --- drawing -----------------------------------------------------------------

BOOL DrvTextOut(SURFOBJ*, STROBJ*, FONTOBJ*, CLIPOBJ*, RECTL*, RECTL*, BRUSHOBJ*, BRUSHOBJ*,
                POINTL*, MIX) {
    vNotBuiltYet("DrvTextOut");
    return FALSE;
}

// The colour dither of DrvDitherColor: the engine then uses the nearest
// solid colour.
BOOL bColorDitherBrush(ULONG, ULONG*) {
    vNotBuiltYet("bColorDitherBrush");
    return FALSE;
}

// --- pointer -----------------------------------------------------------------

// SPS_DECLINE: the engine draws the pointer itself.
ULONG DrvSetPointerShape(SURFOBJ*, SURFOBJ*, SURFOBJ*, XLATEOBJ*, LONG, LONG, LONG, LONG, RECTL*,
                         FLONG) {
    vNotBuiltYet("DrvSetPointerShape");
    return 1;
}

void DrvMovePointer(SURFOBJ*, LONG, LONG, RECTL*) { vNotBuiltYet("DrvMovePointer"); }
