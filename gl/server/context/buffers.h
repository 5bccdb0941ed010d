// The buffer manager's records: a drawable's buffer set and the window
// record it keeps. The buffer record and the device record of a buffer in
// board memory, which the lgi layer reads, lie in its contract
// (lgi/lgigl.h).
#pragma once

#include "glsrv.h"
#include "lgi/lgigl.h"

struct GLVisual;

// What the set knows of its window.
struct GLWindowRecord {
    const void* pOps;  // the buffer manager's operations
    SURFOBJ* pso;      // the surface of the last swap or make-current
    ULONG ulUnused;
    WNDOBJ* pwo;       // the window object
};

// Words of the buffer set holding its buffers.
enum : ULONG {
    GLBS_FRONT_LEFT, GLBS_BACK_LEFT, GLBS_FRONT_RIGHT, GLBS_BACK_RIGHT,
    GLBS_ALPHA0, GLBS_ALPHA1, GLBS_ALPHA2, GLBS_ALPHA3,
    GLBS_DEPTH, GLBS_STENCIL, GLBS_ACCUM, GLBS_BUFFERS
};

struct GLBufferSet {
    ULONG aulDescriptor[6];    // 0-5 the set descriptor (1, 0, 1, 1, 1, 1)
    GLWindowRecord* pWindow;   // 6
    GLVisual* pvis;            // 7
    ULONG iClipSerial;         // 8 the clip serial of the last clip update
    void* pClipRegion;         // 9 the GL clip region
    RECTL* prclBoxes;          // 10-13 the clip boxes, count, capacity
    ULONG cBoxes;
    ULONG cBoxCapacity;
    ULONG ulReserved13;
    GLBuffer* apBuffers[GLBS_BUFFERS];  // 14-24 by GLBS_...
    ULONG bOverlay;            // 25 an overlay-layer visual was bound to the set
};

// A buffer set of the window for the visual: front and back buffers (and
// the right ones on a stereo board with a stereo visual), listed; or null.
GLBufferSet* __glCreateBufferSet(SURFOBJ* pso, WNDOBJ* pwo, GLVisual* pvis);
// Makes the buffers of the mask's ancillary kinds that the set lacks
// (depth, alpha, stencil, accumulation): 1, or 0 when one could not be
// made for want of memory (the others are still made). Alpha and stencil buffers lie
// in the device's one alpha and one stencil surface (the stencil in the
// alpha surface when the board has fewer than 3 stencil bits) when the
// board has such bits, else in host memory of the screen's size with rows
// of the screen's width; the accumulation buffer is in host memory that
// _DAllocAccumBuffer gives on first use.
ULONG _DCreateMissingBuffers(GLBufferSet* pbs, ULONG flMask);
// The alpha planes of the colour buffers a buffer mask names (front left,
// back left, front right, back right each its own plane).
inline ULONG flAlphaPlanesOf(ULONG flColour) {
    static constexpr struct {
        ULONG colour, alpha;
    } kPlanes[] = {{GLBUFFER_FRONT_LEFT, GLBUFFER_ALPHA},
                   {GLBUFFER_BACK_LEFT, GLBUFFER_PLANE_40000},
                   {GLBUFFER_FRONT_RIGHT, GLBUFFER_PLANE_20000},
                   {GLBUFFER_BACK_RIGHT, GLBUFFER_PLANE_80000}};
    ULONG fl = 0;
    for (const auto& p : kPlanes)
        if (flColour & p.colour) fl |= p.alpha;
    return fl;
}
// The alpha and stencil bits of the device's buffers and their two plane
// masks: the board's, or 6 and 2 with masks 0xF0 and 0x0F while the stencil
// shares the alpha surface, or 8 for a surface of their own.
void _DGetAncillaryBits(ULONG* pcAlphaBits, ULONG* pcStencilBits, ULONG aulMasks[2]);
// The buffer whose rectangle stands for the set, or null (said).
GLBuffer* _DGetActiveBuffer(GLBufferSet* pbs);
// Tells the display driver that the set's front buffer is drawn into.
void _DFrontBufferDrawn(GLBufferSet* pbs);
// The global list of sets: the index of pbs's entry (or a free one for
// null), or -1.
LONG _DFindBufferList(GLBufferSet* pbs);
// Live entries of the global list and its capacity.
ULONG _DBufferListCount(ULONG* pcCapacity);

// --- the buffer manager's operations ---------------------------------------------
// Swaps the planes of flPlanes of the window: TRUE, or FALSE.
BOOL __wglSwapBuffers(SURFOBJ* pso, WNDOBJ* pwo, ULONG flPlanes);
// Works out again whether an overlay plane is in use.
void _DUpdateOverlayPresent(void);
// Sets the buffer manager up for the device once its format table is chosen.
void __glInitBufferManager(PDEV* ppdev);
// The window's client region changed (pbs: its buffer set, or null).
void _DClientRegionChanged(GLBufferSet* pbs, WNDOBJ* pwo);
// The window's surface moved.
void _DSurfaceMoved(PDEV* ppdev, GLBufferSet* pbs, WNDOBJ* pwo);
// Frees a drawable's buffer set.
void _DFreeBufferSet(PDEV* ppdev, GLBufferSet* pbs);
struct GLContext;
// Binds the drawable's buffers of the lgi buffer mask to the lgi layer
// (the clip list first, when the window or the scissor box changed it):
// TRUE when they are bound. On a visual with alpha bits each colour buffer
// of the mask brings its alpha plane, and the context keeps that mask.
BOOL _DBindBuffers(GLContext* gc, ULONG flBufferMask);
// Replaces the buffer set's clip region by the box (window coordinates from
// the top), or drops it for null; the set's clip serial is reset, so the
// next bind builds the clip list again (the window's region cut to the box).
struct __GLXbox;
void _DSetClipRegion(GLContext* gc, const __GLXbox* pbox);
// The drawable of the context switches to another layer's visual.
struct GLContext;
void __glSwitchBufferLayer(GLContext* gc, GLBufferSet* pbs, GLVisual* pvis);
