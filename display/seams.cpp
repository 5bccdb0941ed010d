// Entry points whose work is not built yet. Each says so on the debugger and
// answers its failure (or declining) value, so the engine falls back or
// fails cleanly. An entry leaves this file when its real code arrives.
#include "entry.h"

void vNotBuiltYet(const char* pszFunction) {
    DbgPrint("%s: not built yet\n", pszFunction);
}

// --- surface life cycle ------------------------------------------------------

HSURF DrvEnableSurface(DHPDEV) {
    vNotBuiltYet("DrvEnableSurface");
    return nullptr;
}

void DrvDisableSurface(DHPDEV) { vNotBuiltYet("DrvDisableSurface"); }

BOOL DrvAssertMode(DHPDEV, BOOL) {
    vNotBuiltYet("DrvAssertMode");
    return FALSE;
}

// --- drawing -----------------------------------------------------------------

BOOL DrvTextOut(SURFOBJ*, STROBJ*, FONTOBJ*, CLIPOBJ*, RECTL*, RECTL*, BRUSHOBJ*, BRUSHOBJ*,
                POINTL*, MIX) {
    vNotBuiltYet("DrvTextOut");
    return FALSE;
}

BOOL DrvStrokePath(SURFOBJ*, PATHOBJ*, CLIPOBJ*, XFORMOBJ*, BRUSHOBJ*, POINTL*, LINEATTRS*, MIX) {
    vNotBuiltYet("DrvStrokePath");
    return FALSE;
}

BOOL DrvCopyBits(SURFOBJ*, SURFOBJ*, CLIPOBJ*, XLATEOBJ*, RECTL*, POINTL*) {
    vNotBuiltYet("DrvCopyBits");
    return FALSE;
}

// Declining lets the engine make a host bitmap.
HSURF DrvCreateDeviceBitmap(DHPDEV, SIZEL, ULONG) {
    vNotBuiltYet("DrvCreateDeviceBitmap");
    return nullptr;
}

void DrvDeleteDeviceBitmap(DHSURF) { vNotBuiltYet("DrvDeleteDeviceBitmap"); }

ULONG DrvDitherColor(DHPDEV, ULONG, ULONG, ULONG*) {
    vNotBuiltYet("DrvDitherColor");
    return 0;
}

BOOL DrvFillPath(SURFOBJ*, PATHOBJ*, CLIPOBJ*, BRUSHOBJ*, POINTL*, MIX, FLONG) {
    vNotBuiltYet("DrvFillPath");
    return FALSE;
}

BOOL DrvStrokeAndFillPath(SURFOBJ*, PATHOBJ*, CLIPOBJ*, XFORMOBJ*, BRUSHOBJ*, LINEATTRS*,
                          BRUSHOBJ*, POINTL*, MIX, FLONG) {
    vNotBuiltYet("DrvStrokeAndFillPath");
    return FALSE;
}

BOOL DrvStretchBlt(SURFOBJ*, SURFOBJ*, SURFOBJ*, CLIPOBJ*, XLATEOBJ*, COLORADJUSTMENT*, POINTL*,
                   RECTL*, RECTL*, POINTL*, ULONG) {
    vNotBuiltYet("DrvStretchBlt");
    return FALSE;
}

BOOL DrvRealizeBrush(BRUSHOBJ*, SURFOBJ*, SURFOBJ*, SURFOBJ*, XLATEOBJ*, ULONG) {
    vNotBuiltYet("DrvRealizeBrush");
    return FALSE;
}

BOOL DrvBitBlt(SURFOBJ*, SURFOBJ*, SURFOBJ*, CLIPOBJ*, XLATEOBJ*, RECTL*, POINTL*, POINTL*,
               BRUSHOBJ*, POINTL*, ROP4) {
    vNotBuiltYet("DrvBitBlt");
    return FALSE;
}

BOOL DrvPaint(SURFOBJ*, CLIPOBJ*, BRUSHOBJ*, POINTL*, MIX) {
    vNotBuiltYet("DrvPaint");
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

// --- OpenGL and escapes --------------------------------------------------------

LONG DrvDescribePixelFormat(DHPDEV, LONG, ULONG, PIXELFORMATDESCRIPTOR*) {
    vNotBuiltYet("DrvDescribePixelFormat");
    return 0;
}

BOOL DrvSetPixelFormat(SURFOBJ*, LONG, HWND) {
    vNotBuiltYet("DrvSetPixelFormat");
    return FALSE;
}

BOOL DrvSwapBuffers(SURFOBJ*, WNDOBJ*) {
    vNotBuiltYet("DrvSwapBuffers");
    return FALSE;
}

ULONG DrvEscape(SURFOBJ*, ULONG, ULONG, PVOID, ULONG, PVOID) {
    vNotBuiltYet("DrvEscape");
    return 0;
}

ULONG DrvDrawEscape(SURFOBJ*, ULONG, CLIPOBJ*, RECTL*, ULONG, PVOID) {
    vNotBuiltYet("DrvDrawEscape");
    return 0;
}
