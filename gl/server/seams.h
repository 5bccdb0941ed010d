// What the server's entry and command escape call of the server's other
// parts: pixel formats and visuals, drawables, contexts, device buffers,
// request segments and their decoders, primitive segments, dispatch tables,
// and the engine's window and translation objects. Until a part is built its
// functions here say so on the debugger ("<name>: not available yet") and
// answer failure; each part replaces its own.
#pragma once

#include "glsrv.h"

// --- pixel formats and visuals ----------------------------------------------------------
// Chooses the pixel-format table for the device's board and mode.
void __glChooseFormatTable(PDEV* ppdev);
// Builds the visual records: 0, or 11 (BadAlloc).
ULONG glInitVisualConfigs(PDEV* ppdev);
void glFreeVisualConfigs(void);
// The describe-pixel-format hook: the number of formats offered.
LONG glDrvDescribePixelFormat(DHPDEV dhpdev, LONG iPixelFormat, ULONG cjpfd,
                              PIXELFORMATDESCRIPTOR* ppfd);
// Copies cj bytes of a layer plane's descriptor to pjOut: TRUE, or FALSE.
BOOL __glDrvDescribeLayerPlane(LONG iPixelFormat, LONG iLayer, ULONG cj, BYTE* pjOut);
// Sets the number of pixel formats offered: TRUE when it took effect.
BOOL __glSetFormatCount(USHORT cFormats);
// The window's layer palette: entries copied or stored, 0 on failure.
// The entries are 32-bit words, not necessarily aligned; the layer, start
// and count are the client's words as they came.
ULONG __glGetLayerPaletteEntries(WNDOBJ* pwo, LONG iLayer, LONG iStart, LONG cEntries,
                                 BYTE* pjEntries);
ULONG __glSetLayerPaletteEntries(WNDOBJ* pwo, LONG iLayer, LONG iStart, LONG cEntries,
                                 const BYTE* pjEntries);
ULONG __glRealizeLayerPalette(WNDOBJ* pwo, LONG iLayer, BOOL bRealize);

// --- drawables ----------------------------------------------------------------------------
// The set-pixel-format hook: makes the window's drawable; TRUE, or FALSE.
BOOL glDrvSetPixelFormat(SURFOBJ* pso, LONG iPixelFormat, HWND hwnd);

// --- device buffers -------------------------------------------------------------------------
// Swaps the planes of flPlanes of the window: TRUE, or FALSE.
BOOL __wglSwapBuffers(SURFOBJ* pso, WNDOBJ* pwo, ULONG flPlanes);
// Works out again whether an overlay plane is in use.
void _DUpdateOverlayPresent(void);

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

// --- what a context's GL state needs of its drawable, visual and buffers ----------------------
struct GLContext;
struct __GLXbox;
// Binds the drawable's buffers of the lgi buffer mask to the lgi layer:
// TRUE when they are bound.
BOOL _DBindBuffers(GLContext* gc, ULONG flBufferMask);
// Replaces the buffer set's clip region by the box (window coordinates from
// the top), or drops it for null; the set's clip serial is reset.
void _DSetClipRegion(GLContext* gc, const __GLXbox* pbox);
// The bound drawable's height; the visual's double-buffer and stereo flags.
LONG __glDrawableHeight(GLContext* gc);
BOOL __glVisualDoubleBuffered(GLContext* gc);
BOOL __glVisualStereo(GLContext* gc);
// Hand the lgi layer the six clip planes with their enables, the colour
// format (lgi attribute 104) of the visual; work out the viewport from the
// drawable and the screen: TRUE when done.
BOOL __glXPushClipPlanes(GLContext* gc);
BOOL __glXPushColorFormat(GLContext* gc);
BOOL __glXValidateViewport(GLContext* gc);
// Has the texture state worked out again.
void __glXValidateTexture(GLContext* gc);
// The display driver's copy of the board configuration of the context's
// device (its stereo values and flags), or null.
struct BoardConfig;
BoardConfig* __glBoardConfig(GLContext* gc);

// --- the server's primitive buffer -------------------------------------------------------
// Closes the primitive at End: 0 when the buffer may stay open,
// GL_OUT_OF_MEMORY when it must be sent.
ULONG __glClosePrimitive(GLClient* pgc);
// Sends the primitive buffer by its target: to the display list being
// compiled, or to the lgi layer.
void __glSendPrimitive(GLClient* pgc);

// --- engine objects named in the command header -----------------------------------------------
// The window and translation objects of the call that the engine named by
// its handles; null for 0 or when the engine knows no such object.
WNDOBJ* pwoFromEngineHandle(ULONG hwo);
XLATEOBJ* pxoFromEngineHandle(ULONG hxo);
