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

// What contexts need of parts not built yet: the RAMDAC's
// overlay register written under csRamdac; the context's large-command
// record, primitive buffer, packet buffers and primitive segment freed (its
// display lists go with __glXFreeContextLists).
void __glWriteOverlayRamdac(PDEV* ppdev, ULONG ulValue);
void __glFreeContextBuffers(GLContext* gc);

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
// The texture state worked out again: texture/texture_requests.h.
#include "texture/texture_requests.h"
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

// --- pixel store and the unpack and pack steps (what textures and display lists use) ------
// Copies a request's 20-byte unpack header {swap bytes, LSB first, 2 unused,
// row length, skip rows, skip pixels, alignment} over the context's unpack
// state.
void __glXSetRequestUnpack(GLClient* pgc, const void* pvHeader);
// Unpacks a width x height image of type (GL enumerant) and components,
// cjElement bytes an element, at pvData, by the context's unpack state, into
// a tightly packed image: GL_NO_ERROR with *ppvImage the image (pvData
// itself when it can be used in place and bForceCopy is clear, else a
// LocalAlloc buffer the caller frees with LocalFree), or the GL error
// (GL_OUT_OF_MEMORY; GL_INVALID_VALUE when the image the unpack state
// describes needs more than the cjData bytes at pvData: nothing past them is
// read).
ULONG __glXUnpackImage(GLClient* pgc, LONG width, LONG height, ULONG type, ULONG components,
                       ULONG cjElement, const void* pvData, ULONG cjData, void** ppvImage,
                       BOOL bForceCopy);
// Lays a tightly packed image out by the context's pack state (bSwap and
// bLsbFirst standing in for the state's flags): GL_NO_ERROR with *ppvOut
// (pvImage itself, or a LocalAlloc buffer the caller frees) and *pcjOut its
// byte size, or the GL error.
ULONG __glXPackImage(GLClient* pgc, LONG width, LONG height, ULONG type, ULONG components,
                     ULONG cjElement, const void* pvImage, BOOL bSwap, BOOL bLsbFirst, void** ppvOut,
                     ULONG* pcjOut);

// --- the primitive buffer as the display lists use it ------------------------------------
// Opens the context's primitive buffer for a primitive of the GL mode, its
// packets going to the target (GLX_PACKETS_IMMEDIATE or GLX_PACKETS_LIST):
// 0, or GL_OUT_OF_MEMORY.
ULONG __glOpenPrimitive(GLClient* pgc, __GLXprimBuffer** ppBuffer, __GLXpacketBuffer** ppPacket,
                        ULONG target, ULONG mode, ULONG option);
// Takes the per-vertex requests of the primitive open in a display list's
// batch back out as render requests one after another (a LocalAlloc buffer
// the caller frees) and closes the primitive without them, so that the
// batch holds the earlier primitives only: TRUE with *ppj and *pcj, or
// FALSE (nothing changed) when they cannot be had.
BOOL __glTakeBackPrimitive(GLClient* pgc, BYTE** ppj, ULONG* pcj);

// --- the lgi layer: its contract --------------------------------------------------------
#include "lgi/lgi.h"

// --- engine objects named in the command header -----------------------------------------------
// The window and translation objects of the call that the engine named by
// its handles; null for 0 or when the engine knows no such object.
WNDOBJ* pwoFromEngineHandle(ULONG hwo);
XLATEOBJ* pxoFromEngineHandle(ULONG hxo);

// --- what the request decoders of the segment use -------------------------------------------
// The lgi vertex record the context's primitive buffer fills (null when it
// has none), and the step after each vertex stored there: the record-full
// word the position setter answered (wrap when full, the first vertex of a
// line loop kept).
struct N_VertexRecord;
N_VertexRecord* __glXVertexRecord(GLClient* pgc);
void __glXAfterVertex(GLClient* pgc, ULONG fFull);
// The display lists (the large render command of a compiling context goes
// to __glXAppendLargeChunk): list/list.h.
#include "list/list.h"

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
