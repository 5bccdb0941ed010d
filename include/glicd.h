// The installable-client-driver interface between the system OpenGL library
// and an OpenGL client driver: the driver's exports with C linkage, as the
// library finds them by name in the driver it loads, and the library's
// callback. A context handle (DHGLRC) is the driver's own value for the
// context, opaque to the library.
#pragma once

#include "glentries.h"
#include "platform/gdi.h"
#include "platform/kernel.h"

typedef ULONG_PTR DHGLRC;

// The library's set-table callback, handed to DrvSetContext.
typedef void (*PFN_SETPROCTABLE)(const GLCLTPROCTABLE* pTable);

// The driver's exports, one typedef each, named after the export.
typedef BOOL (*PFN_DrvValidateVersion)(ULONG ulVersion);
typedef DHGLRC (*PFN_DrvCreateContext)(HDC hdc);
typedef DHGLRC (*PFN_DrvCreateLayerContext)(HDC hdc, INT iLayerPlane);
typedef BOOL (*PFN_DrvDeleteContext)(DHGLRC dhglrc);
typedef const GLCLTPROCTABLE* (*PFN_DrvSetContext)(HDC hdc, DHGLRC dhglrc, PFN_SETPROCTABLE pfnSetProcTable);
typedef BOOL (*PFN_DrvReleaseContext)(DHGLRC dhglrc);
typedef BOOL (*PFN_DrvShareLists)(DHGLRC dhglrc1, DHGLRC dhglrc2);
typedef BOOL (*PFN_DrvCopyContext)(DHGLRC dhglrcSrc, DHGLRC dhglrcDst, UINT mask);
// The layer-plane descriptor is 32 bytes; the library passes its buffer.
typedef BOOL (*PFN_DrvDescribeLayerPlane)(HDC hdc, INT iPixelFormat, INT iLayerPlane, UINT nBytes, void* plpd);
typedef INT (*PFN_DrvGetLayerPaletteEntries)(HDC hdc, INT iLayerPlane, INT iStart, INT cEntries, ULONG* pcr);
typedef INT (*PFN_DrvSetLayerPaletteEntries)(HDC hdc, INT iLayerPlane, INT iStart, INT cEntries, const ULONG* pcr);
typedef BOOL (*PFN_DrvRealizeLayerPalette)(HDC hdc, INT iLayerPlane, BOOL bRealize);
typedef BOOL (*PFN_DrvSwapLayerBuffers)(HDC hdc, UINT fuPlanes);
// The library entry: (module, reason, reserved), reasons 0 to 3 as DllMain's.
typedef BOOL (*PFN_GLCltDllInitialize)(HMODULE hModule, ULONG ulReason, PVOID pvReserved);
