// The display driver's contract stood in for, for the buffer manager's
// program: a device record of the test's own (the driver's record layout
// published in gGLPdevFields), and the driver's exports the buffer manager,
// image transfer and the device's textures call (swaps, copies, tiles and
// device bitmaps, zoomed writes, the queues of a window redraw), each noting
// what reached it. Beside it, the drawable and visual look-ups of pixel
// formats and lgi's buffer binding answer what the test set.
#pragma once

#include <deque>
#include <vector>

#include "context/buffers.h"
#include "context/context.h"
#include "glpdev.h"
#include "pixfmt/drawable.h"
#include "pixfmt/pixfmt.h"
#include "vornix_surface.h"
#include "vornix_swap.h"

namespace driver_double {

// The device record: the fields gGLPdevFields names, at offsets of its own.
struct TestPdev {
    PAGECONFIG* pPageConfig = nullptr;
    ULONG iPixelClass = 2;
    ULONG iBitmapFormat = BMF_32BPP;
    HANDLE hDriver = nullptr;
    BoardConfig bc{};
    CRITICAL_SECTION csEscape{};
    HSURF hsurfScreen = nullptr;
    LONG cxScreen = 640, cyScreen = 480;
    SURFOBJ* psoBack = nullptr;
    SURFOBJ* psoZ = nullptr;
    LONG alSwapState[3] = {0, -1, 0};
    CRITICAL_SECTION csRamdac{};
    ULONG cGLOverlayContexts = 0;
    ULONG fTexture16 = 0;
    GLHOOKSLOTS hooks{};
    const DSURF* pdsurfDither = nullptr;
    ULONG pidDither = 0;
};

struct SwapCall {
    SURFOBJ* psoBack;
    SURFOBJ* psoFront;
    CLIPOBJ* pco;
    RECTL rcl;
    ULONG ulPageMask;
    BOOL bDirect;
    ULONG fPlanes;
};
struct CopyCall {
    SURFOBJ* psoDst;
    SURFOBJ* psoSrc;
    CLIPOBJ* pco;
    RECTL rcl;
    POINTL ptl;
    ULONG iMode;
    ULONG ulFirstSource;  // the source's first pixel when it is a host bitmap
    void* pvDstBits;      // the destination's bits
};
// Texture surfaces: engine device bitmaps over records of the test, each
// with the next pid.
struct MadeSurface {
    DFB dfb{};
    DSURF dsurf{};
    LONG cx = 0, cy = 0;
    ULONG iFormat = 0;
    bool bTile = false;
    POINTL at{-1, -1};  // the position a placed bitmap was asked for
};
struct ZoomCall {
    SURFOBJ* psoDst;
    RECTL rcl;
    ULONG z[4];
    RECTL clip;
};

extern std::vector<SwapCall> gSwaps;           // kz2SwapBackToFrontC
extern std::vector<CopyCall> gCopies;          // CopyBits
extern std::vector<CopyCall> gDrvCopies;       // DrvCopyBits (into texture surfaces)
extern std::deque<MadeSurface> gMade;          // tiles and device bitmaps made
extern int gcTileFailures;                     // tiles refused before the next is made
extern std::deque<ULONG> gTilePids;            // the pids the next tiles get (else the next in turn)
extern FLONG gflBitmaps;                       // the flags device bitmaps are asked with
extern std::vector<ZoomCall> gZooms;           // kz2WriteRectZoom
extern std::vector<std::vector<ULONG>> gPackets;  // each closed redraw packet's words, from its header
extern int gcFrontDrawn;                       // kz2FrontBufferDrawn

// What the server's other parts answer.
extern std::vector<std::vector<ULONG>> gBinds;  // kinds of each N_BindBuffers
extern GLDrawable* gpdraw;                      // what pdrawFromWindow answers
extern GLVisual* gpvisMain;                     // what pvisLookup answers for the main layer

}  // namespace driver_double
