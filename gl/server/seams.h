// What the server's entry, command escape and request decoders call of the
// server's other parts: pixel formats and visuals, drawables, contexts,
// device buffers, primitive segments, display lists, the primitive buffer,
// the lgi layer, and the engine's window and translation objects. Until a part is built its
// functions here say so on the debugger ("<name>: not available yet") and
// answer failure; each part replaces its own.
#pragma once

#include "context/context.h"
#include "segment/segment.h"

// --- pixel formats, visuals and drawables: pixfmt.h, drawable.h --------------------
#include "pixfmt/pixfmt.h"
#include "pixfmt/drawable.h"

// --- device buffers: buffers.h
#include "context/buffers.h"

// --- contexts: context.h
#include "context/context.h"

// --- primitive segments and the primitive buffer: prim.h
#include "prim/prim.h"

// --- what a context's GL state needs of its drawable, visual and buffers ----------------------
struct GLContext;
// (_DBindBuffers and _DSetClipRegion: the buffer manager, buffers.h.)
// The bound drawable's height (0 without one); the visual's
// double-buffer and stereo flags.
LONG __glDrawableHeight(GLContext* gc);
BOOL __glVisualDoubleBuffered(GLContext* gc);
BOOL __glVisualStereo(GLContext* gc);
// Hand the lgi layer the six clip planes with their enables, the colour
// format (N_ATTR_PIXEL_FORMAT) of the visual; work out the viewport from the
// drawable and the screen: TRUE when done (context/viewport.cpp).
BOOL __glXPushClipPlanes(GLContext* gc);
BOOL __glXPushColorFormat(GLContext* gc);
BOOL __glXValidateViewport(GLContext* gc);
// The texture state worked out again: texture/texture_requests.h.
#include "texture/texture_requests.h"
// The display driver's copy of the board configuration of the device the
// context was made on (its rasterizers, stereo values and flags), or null
// without a context: contexts (context.cpp).
struct BoardConfig;
BoardConfig* __glBoardConfig(GLContext* gc);

// --- the lgi layer: its contract --------------------------------------------------------
#include "lgi/lgi.h"

// --- what the request decoders of the segment use -------------------------------------------
// The display lists (the large render command of a compiling context goes
// to __glXAppendLargeChunk): list/list.h.
#include "list/list.h"

// --- what the state requests use --------------------------------------------------------
// The bound drawable's buffer size (x1 - x0, y1 - y0): TRUE when known
// (the buffer manager, buffers.cpp).
BOOL __glDrawableSize(GLContext* gc, LONG* pcx, LONG* pcy);
