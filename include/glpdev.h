// Where the GL server finds what it reads in the display driver's device
// record (`PDEV`): the block of hook slots (glhookslots.h) and the other
// fields. The server does not see the record's declaration: the driver
// exports this one table of byte offsets, and checks at compile time that
// the fields have the types named here and that the hook-slot block lies as
// GLHOOKSLOTS has it.
#pragma once

#include "boardconfig.h"
#include "pageconfig.h"
#include "platform/ddi.h"
#include "platform/export.h"
#include "platform/kernel.h"

struct PDEV;
struct DSURF;

// Byte offsets of the fields in the driver's PDEV.
typedef struct GLPDEVFIELDS {
    ULONG cjPageConfig;    // PAGECONFIG*: the active page configuration
    ULONG cjPixelClass;    // ULONG: 0 8 bpp, 1 16 bpp, 2 32 bpp (the display depth code)
    ULONG cjBitmapFormat;  // ULONG: BMF_8BPP, BMF_16BPP or BMF_32BPP
    ULONG cjDriver;        // HANDLE: the miniport
    ULONG cjBoardConfig;   // BoardConfig: the driver's copy of the board configuration
    ULONG cjEscapeLock;    // CRITICAL_SECTION: csEscape, held around every hook
    // The device buffers' surfaces and the swap.
    ULONG cjScreen;        // HSURF: the primary surface (the front buffer)
    ULONG cjScreenSize;    // LONG[2]: cxScreen, cyScreen
    ULONG cjBack;          // SURFOBJ*: the back buffer, or null
    ULONG cjDepth;         // SURFOBJ*: the depth buffer, or null (no 3D)
    ULONG cjSwapState;     // LONG[3]: the swap state (0 the layer swap mode, 1 main, 2 overlay)
    ULONG cjRamdacLock;    // CRITICAL_SECTION: csRamdac
    ULONG cjOverlayContexts;  // ULONG: cGLOverlayContexts
    ULONG cjTexture16;     // ULONG: fTexture16, textures in the board's 16-bit form
    // The hook slots.
    ULONG cjHookSlots;     // GLHOOKSLOTS: the block from hGLServer to pfnGLServerUnload
    // The drawing area and its queues.
    ULONG cjSurfaceHeight; // LONG: cySurface, where a stereo board's second image starts
    ULONG cjDsurfScreen;   // DSURF*: pdsurfScreen, the first argument of kz2GetQueueMgt
    // The pattern registers and the 3D dither tile.
    ULONG cjPatternUniq;   // ULONG: iPatternUniq, 0xdeadbabe while the registers hold the dither matrix
    ULONG cjDsurfDither;   // DSURF*: pdsurfDither, the dither tile (LoadDitherMat), or null
    ULONG cjPidDither;     // ULONG: pidDither, the dither tile's pid word
} GLPDEVFIELDS;

extern "C" {
VNX_EXPORT extern const GLPDEVFIELDS gGLPdevFields;
}

template <typename T>
inline T* pGLPdevField(struct PDEV* ppdev, ULONG cj) {
    return reinterpret_cast<T*>(reinterpret_cast<BYTE*>(ppdev) + cj);
}
inline PAGECONFIG* pGLPageConfig(struct PDEV* ppdev) {
    return *pGLPdevField<PAGECONFIG*>(ppdev, gGLPdevFields.cjPageConfig);
}
inline ULONG ulGLPixelClass(struct PDEV* ppdev) {
    return *pGLPdevField<ULONG>(ppdev, gGLPdevFields.cjPixelClass);
}
inline ULONG ulGLBitmapFormat(struct PDEV* ppdev) {
    return *pGLPdevField<ULONG>(ppdev, gGLPdevFields.cjBitmapFormat);
}
inline HANDLE hGLDriver(struct PDEV* ppdev) {
    return *pGLPdevField<HANDLE>(ppdev, gGLPdevFields.cjDriver);
}
inline BoardConfig* pGLBoardConfig(struct PDEV* ppdev) {
    return pGLPdevField<BoardConfig>(ppdev, gGLPdevFields.cjBoardConfig);
}
inline CRITICAL_SECTION* pGLEscapeLock(struct PDEV* ppdev) {
    return pGLPdevField<CRITICAL_SECTION>(ppdev, gGLPdevFields.cjEscapeLock);
}
inline HSURF hsurfGLScreen(struct PDEV* ppdev) {
    return *pGLPdevField<HSURF>(ppdev, gGLPdevFields.cjScreen);
}
inline LONG* plGLScreenSize(struct PDEV* ppdev) {
    return pGLPdevField<LONG>(ppdev, gGLPdevFields.cjScreenSize);
}
inline SURFOBJ* psoGLBack(struct PDEV* ppdev) {
    return *pGLPdevField<SURFOBJ*>(ppdev, gGLPdevFields.cjBack);
}
inline SURFOBJ* psoGLDepth(struct PDEV* ppdev) {
    return *pGLPdevField<SURFOBJ*>(ppdev, gGLPdevFields.cjDepth);
}
inline LONG* plGLSwapState(struct PDEV* ppdev) {
    return pGLPdevField<LONG>(ppdev, gGLPdevFields.cjSwapState);
}
inline CRITICAL_SECTION* pGLRamdacLock(struct PDEV* ppdev) {
    return pGLPdevField<CRITICAL_SECTION>(ppdev, gGLPdevFields.cjRamdacLock);
}
inline ULONG ulGLTexture16(struct PDEV* ppdev) {
    return *pGLPdevField<ULONG>(ppdev, gGLPdevFields.cjTexture16);
}
inline ULONG* pulGLOverlayContexts(struct PDEV* ppdev) {
    return pGLPdevField<ULONG>(ppdev, gGLPdevFields.cjOverlayContexts);
}
inline LONG lGLSurfaceHeight(struct PDEV* ppdev) {
    return *pGLPdevField<LONG>(ppdev, gGLPdevFields.cjSurfaceHeight);
}
inline const void* pvGLDsurfScreen(struct PDEV* ppdev) {
    return *pGLPdevField<const void*>(ppdev, gGLPdevFields.cjDsurfScreen);
}
inline ULONG* pulGLPatternUniq(struct PDEV* ppdev) {
    return pGLPdevField<ULONG>(ppdev, gGLPdevFields.cjPatternUniq);
}
inline const struct DSURF* pdsurfGLDither(struct PDEV* ppdev) {
    return *pGLPdevField<const struct DSURF*>(ppdev, gGLPdevFields.cjDsurfDither);
}
inline ULONG ulGLPidDither(struct PDEV* ppdev) {
    return *pGLPdevField<ULONG>(ppdev, gGLPdevFields.cjPidDither);
}
