// What the server's entry and command escape call of the server's other
// parts: pixel formats and visuals, drawables, contexts, device buffers,
// request segments and their decoders, primitive segments, dispatch tables,
// the lgi layer, and the engine's window and translation objects. Until a
// part is built its functions here say so on the debugger ("<name>: not
// available yet") and answer failure; each part replaces its own.
#pragma once

#include "glsrv.h"

// --- dispatch tables --------------------------------------------------------------------
// Builds the request dispatch tables: TRUE, or FALSE after freeing what it made.
BOOL glInitDispatchVectors(void);
void glFreeDispatchVectors(void);

// --- pixel formats, visuals and drawables: pixfmt.h, drawable.h --------------------
#include "pixfmt.h"
#include "drawable.h"

// --- device buffers -------------------------------------------------------------------------
// Swaps the planes of flPlanes of the window: TRUE, or FALSE.
BOOL __wglSwapBuffers(SURFOBJ* pso, WNDOBJ* pwo, ULONG flPlanes);
// Works out again whether an overlay plane is in use.
void _DUpdateOverlayPresent(void);
struct GLBufferSet;
// Sets the buffer manager up for the device once its format table is chosen.
void __glInitBufferManager(PDEV* ppdev);
// The window's client region changed (pbs: its buffer set, or null).
void _DClientRegionChanged(GLBufferSet* pbs, WNDOBJ* pwo);
// The window's surface moved.
void _DSurfaceMoved(PDEV* ppdev, GLBufferSet* pbs, WNDOBJ* pwo);
// Frees a drawable's buffer set.
void _DFreeBufferSet(PDEV* ppdev, GLBufferSet* pbs);

// --- contexts -------------------------------------------------------------------------------
// A new context on a layer of a pixel format, or null.
GLContext* __glDrvCreateContext(SURFOBJ* pso, LONG iPixelFormat, LONG iLayer);
// Deletes the context's driver object without its callback and frees the
// context: its result, or -1 when the engine refuses.
ULONG __glDrvDeleteContext(GLContext* gc);
ULONG __glDrvReleaseContext(GLContext* gc);
// Makes the context current for the client with its window: 1, or 0.
ULONG __glDrvSetContext(GLClient* pgc, GLContext* gc, SURFOBJ* pso, WNDOBJ* pwo, XLATEOBJ* pxo);
ULONG __glDrvShareLists(GLContext* gcSource, GLContext* gcTarget);
ULONG __glDrvCopyContext(GLContext* gcSource, GLContext* gcTarget, ULONG flMask);
// The context's client word is cleared (its client is going away).
void __glContextLoseClient(GLContext* gc);
// The context's window moved: its next bind marks buffer mask and viewport.
void __glContextWindowChanged(GLContext* gc);
// The drawable the context is bound to goes: the context's lgi context is
// made current, it finishes and leaves its client when current on one,
// releases its lgi buffer binding and forgets the drawable.
void __glContextDrawableGone(GLContext* gc);
// Makes the context's lgi context current: TRUE, or FALSE when it has none.
BOOL __glMakeLgiCurrent(GLContext* gc);
// Frees a context and its driver object, without the driver object's
// callback, at shut-down.
void __glDestroyContext(GLContext* gc);

// --- request segments -----------------------------------------------------------------------
// Maps the announced segment for the client and sets its view: 1, or -1.
LONG __glMapSMSegment(GLClient* pgc, ULONG cjSection, ULONG hSection);
// Run the render commands of the current half, one large render command, or
// one single request of the client's segment: TRUE when they ran.
BOOL __glRunHalf(GLClient* pgc);
BOOL __glRenderLarge(GLClient* pgc);
BOOL __glSingleRequest(GLClient* pgc);

// --- primitive segments ---------------------------------------------------------------------
// Maps the primitive segment of the client's current context: 1, or -1.
LONG __glMapPrimSegment(GLClient* pgc, ULONG hSection, ULONG cjSection);

// --- the lgi layer ------------------------------------------------------------------------
void N_Init(ULONG ul0, ULONG ul1, ULONG ul2, ULONG ul3);
// Binds the window's clip rectangles to the current lgi context: two words
// a rectangle, (ymin << 16) | xmin and (ymax << 16) | xmax, screen
// coordinates.
LONG N_BindClipList(LONG cRects, const ULONG* pulRects);

// --- engine objects named in the command header -----------------------------------------------
// The window and translation objects of the call that the engine named by
// its handles; null for 0 or when the engine knows no such object.
WNDOBJ* pwoFromEngineHandle(ULONG hwo);
XLATEOBJ* pxoFromEngineHandle(ULONG hxo);
