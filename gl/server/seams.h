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

// What a context going away needs of parts not built yet: its display list
// being compiled, its primitive buffer with its lgi vertex ring, and its
// primitive segment's mapping freed (each called only when the context has
// one).
void __glFreeCompiledList(GLContext* gc);
void __glFreePrimBuffer(GLContext* gc);
void __glUnmapPrimSegment(GLContext* gc);

// --- primitive segments ---------------------------------------------------------------------
// Maps the primitive segment of the client's current context: 1, or -1.
LONG __glMapPrimSegment(GLClient* pgc, ULONG hSection, ULONG cjSection);

// --- what a context's GL state needs of its drawable, visual and buffers ----------------------
struct GLContext;
// (_DBindBuffers and _DSetClipRegion: the buffer manager, buffers.h.)
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
// Opens the client's primitive buffer for a primitive of the GL mode, its
// packets going to the target (GLX_PACKETS_IMMEDIATE or GLX_PACKETS_LIST)
// with the option word: 0, or GL_OUT_OF_MEMORY when it cannot be had.
ULONG __glOpenPrimitive(GLClient* pgc, ULONG target, ULONG mode, ULONG option);
// Closes the primitive at End: 0 when the buffer may stay open,
// GL_OUT_OF_MEMORY when it must be sent.
ULONG __glClosePrimitive(GLClient* pgc);
// Sends the primitive buffer by its target: to the display list being
// compiled, or to the lgi layer.
void __glSendPrimitive(GLClient* pgc);

// --- the lgi layer: its contract --------------------------------------------------------
#include "lgi/lgi.h"

// --- what the request decoders of the segment use -------------------------------------------
// The lgi vertex record the context's primitive buffer fills (null when it
// has none), and the step after each vertex stored there: the record-full
// word the position setter answered (wrap when full, the first vertex of a
// line loop kept).
struct N_VertexRecord;
N_VertexRecord* __glXVertexRecord(GLClient* pgc);
void __glXAfterVertex(GLClient* pgc, ULONG fFull);
// Hands the context's large render command record to the display list
// being compiled: 0 when the list took it, else an X error (the record is
// then still the caller's).
ULONG __glXAppendLargeChunk(GLClient* pgc);

// --- the lgi layer: vertex setters, queues, selection and feedback ------------------------
void N_SetVertexColor3(N_VertexRecord* pvr, float r, float g, float b);
void N_SetVertexColor4(N_VertexRecord* pvr, float r, float g, float b, float a);
void N_SetVertexIndex(N_VertexRecord* pvr, float index);
void N_SetVertexNormal(N_VertexRecord* pvr, float x, float y, float z);
void N_SetVertexTexCoord(N_VertexRecord* pvr, float s, float t, float r, float q);
// Position setters answer the record-full word.
ULONG N_SetVertexPos2(N_VertexRecord* pvr, float x, float y);
ULONG N_SetVertexPos3(N_VertexRecord* pvr, float x, float y, float z);
ULONG N_SetVertexPos4(N_VertexRecord* pvr, float x, float y, float z, float w);
// Kicks the board queues; drains them.
void N_Flush(void);
void N_Finish(void);
// Feedback into a buffer of cWords words of the type (less GL_2D); its end
// stores the count of values written, -1 after an overflow.
void N_BeginFeedback(float* pBuffer, ULONG cWords, ULONG iType);
void N_EndFeedback(LONG* pcValues);
// Selection: the name stack is cleared; each hit calls the callback with its
// argument, the names, their count and the hit's depth range.
typedef void (*N_SelectCallback)(void* pvArg, const ULONG* pNames, ULONG cNames, float zMin,
                                 float zMax);
void N_InitNames(void);
void N_SetSelectCallback(N_SelectCallback pfn, void* pvArg);

// --- what the state requests use --------------------------------------------------------
// The bound drawable's buffer size (x1 - x0, y1 - y0): TRUE when known.
BOOL __glDrawableSize(GLContext* gc, LONG* pcx, LONG* pcy);
