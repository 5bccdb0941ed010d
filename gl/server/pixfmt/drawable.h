// Drawables: the server's record of a window with an OpenGL pixel format,
// and the window's GL clip list.
#pragma once

#include <pixman.h>

#include "glsrv.h"

struct GLBufferSet;  // the window's device buffers (device buffers)

// The window's clip list: 16-bit boxes relative to the client rectangle,
// held as a pixman region; what was last handed to lgi.
struct GLClipList {
    pixman_region16_t region;  // empty with cBoxes 0 while the whole window is drawn
    ULONG* pulPacked;          // two words a box for lgi: (y1 << 16) | x1, (y2 << 16) | x2
    ULONG cBoxes;              // boxes in pulPacked
    ULONG cCapacity;           // boxes pulPacked holds (at least 10 once made)
    ULONG iUniq;               // the window's clip serial the list was built from
    BOOL bWhole;               // trivial clip: no boxes, the whole window
    BOOL bStale;               // rebuilt at the next bind whatever the serial
    BOOL bScissor;             // the list is cut to boxScissor
    pixman_box16_t boxScissor; // the scissor box, relative to the client rectangle
};

// A bound context: one node of a drawable's list, newest first.
struct GLContextNode {
    GLContextNode* pNext;
    GLContext* gc;
};

struct GLDrawable {
    GLBufferSet* pBufferSet;     // 0 null until the first make-current
    GLContextNode* pContexts;    // 1 the bound contexts
    LONG iPixelFormat;           // 2 1-based
    ULONG iLayer;                // 3 0 main, 1 overlay
    PDEV* ppdev;                 // 4 the owning device
    ULONG aulPalette[256];       // 5-260 the overlay palette, 0x00BBGGRR
    WNDOBJ* pwo;                 // the window object it consumes
    GLDrawable* pNextDrawable;   // the server's list of drawables
    GLDrawable** ppPrevDrawable; // the link that points at this one
    GLClipList clip;             // the window's clip list
};

// The set-pixel-format hook and the window callback.
BOOL glDrvSetPixelFormat(SURFOBJ* pso, LONG iPixelFormat, HWND hwnd);
void glWindowCallback(WNDOBJ* pwo, FLONG fl);
// Frees the drawable: every bound context lets go of it first.
void __glFreeDrawable(GLDrawable* pdraw);
// Frees every drawable and deletes its window object (shut-down: the
// engine must not call into the server once it is gone).
void __glFreeAllDrawables(void);
// The drawable a window object's consumer names, or null.
GLDrawable* pdrawFromWindow(WNDOBJ* pwo);
// The window and translation objects of the running call that the engine
// named by its handles in the command header; null for 0 or a handle the
// engine does not know for this call.
WNDOBJ* pwoFromEngineHandle(ULONG hwo);
XLATEOBJ* pxoFromEngineHandle(ULONG hxo);

// Binds a context to the drawable, with the context's lgi context current:
// the clip list goes to lgi. 0, or -1 when the node cannot be made.
LONG __glBindDrawable(GLDrawable* pdraw, GLContext* gc);
// Removes the context's node; nothing when it has none.
void __glUnbindDrawable(GLDrawable* pdraw, GLContext* gc);

// Rebuilds the clip list from the window object's clip: 1, or 0 with the
// previous list kept.
ULONG __glUpdateClipList(GLClipList* pcl, WNDOBJ* pwo);
// Hands the clip list to the current lgi context in screen coordinates,
// rebuilt first when the window's clip serial moved on or the list is stale.
void __glBindClipList(GLClipList* pcl, WNDOBJ* pwo);
void __glFreeClipList(GLClipList* pcl);

// --- the overlay palette (palette.cpp) ------------------------------------------
#include "miniport_ioctl.h"
// The 256 colour registers that show an overlay palette on a display of
// the bitmap format: at 16 bits every register shows entry 1; otherwise
// registers 16k..16k+15 show entry k, and 0..15 are black.
void vBuildOverlayLut(const ULONG* pulPalette, ULONG iBitmapFormat, VIDEO_CLUTDATA* plut);
